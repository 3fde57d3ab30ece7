#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly {
namespace {

struct Shown {
  MessageStyle style;
  std::string text;
};

// Installs the built-in catalogue and a presenter that records what it is shown and
// answers with `answer`.
class MessageCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { setLanguage(Language::English); }
  void TearDown() override { setLanguage(Language::English); }

  std::vector<Shown> shown;
  MessageResult answer = MessageResult::Ok;
  ScopedMessagePresenter presenter{[this](MessageStyle style, std::string_view text) {
    shown.push_back({style, std::string(text)});
    return answer;
  }};
};

TEST_F(MessageCatalogueTest, OnlyIdsWithTextInsideTheTableHaveText) {
  ASSERT_EQ(builtInCatalogue().size(), 37U);
  for (const Language language : {Language::Japanese, Language::English}) {
    setLanguage(language);
    for (std::uint16_t id = 0; id < 37; ++id) {
      const bool unused = id == 0 || id == 13 || id == 17 || id == 22;
      EXPECT_EQ(messageText(MessageId{id}).empty(), unused) << "id " << id;
    }
    EXPECT_TRUE(messageText(MessageId{37}).empty());
    EXPECT_TRUE(messageText(MessageId{65535}).empty());
  }
  setLanguage(Language::Japanese);  // full-width full stops, not ASCII ones
  EXPECT_EQ(messageText(MessageId{2}),
            "\xe6\x8e\xa5\xe7\xb6\x9a\xe7\xa2\xba\xe8\xaa\x8d\xe4\xb8\xad"
            "\xef\xbc\x8e\xef\xbc\x8e\xef\xbc\x8e");
}

TEST_F(MessageCatalogueTest, InstalledCountAndLanguageDecideTheLookup) {
  static constexpr MessagePair kShort[] = {{"", ""}, {"ja", "en"}};
  installCatalogue(kShort, 2, Language::Japanese);
  EXPECT_EQ(messageText(MessageId{1}), "ja");
  installCatalogue(kShort, 2, Language::English);
  EXPECT_EQ(messageText(MessageId{1}), "en");
  EXPECT_TRUE(messageText(MessageId{2}).empty());  // the built-in table has id 2, this one does not
  installCatalogue(kShort, 0, Language::English);
  EXPECT_TRUE(messageText(MessageId{1}).empty());
  installCatalogue(nullptr, 37, Language::English);
  EXPECT_TRUE(messageText(MessageId{1}).empty());
}

TEST(FormatMessage, OnlyTheFirstPlaceholderTakesTheArgumentVerbatim) {
  EXPECT_EQ(formatMessage("Can't find \"%s\".", "a%s%d%n%%b"), "Can't find \"a%s%d%n%%b\".");
  EXPECT_EQ(formatMessage("%s and %s", "x"), "x and %s");
  EXPECT_EQ(formatMessage("A%sB", ""), "AB");
  EXPECT_EQ(formatMessage("%d: %s", "x"), "%d: x");
  EXPECT_EQ(formatMessage("[%s]", std::string("a\0b", 3)), std::string("[a\0b]", 5));
  // No placeholder, or no argument: the text stands as it is.
  EXPECT_EQ(formatMessage("100% done", "x"), "100% done");
  EXPECT_EQ(formatMessage("ends with %", "x"), "ends with %");
  EXPECT_EQ(formatMessage("%S", "x"), "%S");
  EXPECT_EQ(formatMessage("%d %s", std::nullopt), "%d %s");
}

TEST_F(MessageCatalogueTest, StartupFailurePutsTheTitleIntoMessage35) {
  EXPECT_EQ(showMessage(MessageId{35}, uiString(0)), MessageResult::Ok);
  setLanguage(Language::Japanese);
  showMessage(MessageId{35}, uiString(0));
  ASSERT_EQ(shown.size(), 2U);
  EXPECT_EQ(shown[0].style, MessageStyle::Notice);
  EXPECT_EQ(shown[0].text, "Cannot find TONELINK.DLL. Windows needs this file to run Quaverly.");
  EXPECT_EQ(shown[1].text,
            "TONELINK.DLL\xe3\x81\x8c\xe3\x81\xbf\xe3\x81\xa4\xe3\x81\x8b\xe3\x82\x8a\xe3\x81\xbe"
            "\xe3\x81\x9b\xe3\x82\x93\xe3\x80\x82\xe3\x81\x93\xe3\x81\xae\xe3\x83\x95\xe3\x82\xa1"
            "\xe3\x82\xa4\xe3\x83\xab\xe3\x81\xaf \xef\xbd\xb8\xef\xbd\xaa\xef\xbd\xb2\xef\xbe\x8a"
            "\xef\xbe\x9e\xef\xbe\x98\xef\xbd\xb0 \xe3\x82\x92\xe5\xae\x9f\xe8\xa1\x8c\xe3\x81\x99"
            "\xe3\x82\x8b\xe3\x81\xae\xe3\x81\xab\xe5\xbf\x85\xe8\xa6\x81\xe3\x81\xa7\xe3\x81\x99"
            "\xe3\x80\x82");
}

TEST_F(MessageCatalogueTest, StyleIsFixedPerId) {
  for (unsigned id = 0; id <= 65535; id += (id < 64 ? 1 : 997)) {
    MessageStyle expected = MessageStyle::Notice;
    if (id == 21 || id == 31 || id == 34) expected = MessageStyle::Question;
    if (id == 33) expected = MessageStyle::OverwriteQuestion;
    if (id == 28) expected = MessageStyle::ConvertQuestion;
    EXPECT_EQ(messageStyle(MessageId{static_cast<std::uint16_t>(id)}), expected) << "id " << id;
  }
}

TEST_F(MessageCatalogueTest, ShowMessagePassesStyleAndReturnsTheAnswer) {
  for (const MessageResult result :
       {MessageResult::Yes, MessageResult::YesToAll, MessageResult::No, MessageResult::Cancel}) {
    answer = result;
    EXPECT_EQ(showMessage(MessageId{33}, "SONG1.MID"), result);
    EXPECT_EQ(shown.back().style, MessageStyle::OverwriteQuestion);
  }
  EXPECT_EQ(shown.back().text,
            "The folder already contains a file named \"SONG1.MID\".\n"
            "Would you like to replace the existing file with this one?");
  for (const MessageResult result : {MessageResult::Ok, MessageResult::Cancel}) {
    answer = result;
    EXPECT_EQ(showMessage(MessageId{31}, "A.MID"), result);
    EXPECT_EQ(shown.back().style, MessageStyle::Question);
    EXPECT_EQ(shown.back().text, "Are you sure you want to delete \"A.MID\" ?");
  }
  showMessage(MessageId{28}, "B.MID");
  EXPECT_EQ(shown.back().style, MessageStyle::ConvertQuestion);
  EXPECT_EQ(shown.back().text, "Will you convert \"B.MID\" into SMF format0?");
}

TEST_F(MessageCatalogueTest, ArgumentAndPlaceholderHandling) {
  showMessage(MessageId{14}, "SONG1.MID");          // no placeholder: the argument is dropped
  showMessage(MessageId{6});                        // no argument: the placeholder stays
  showMessage(MessageId{6}, "100%s %d %n %%.MID");  // printf directives in a name are plain text
  ASSERT_EQ(shown.size(), 3U);
  EXPECT_EQ(shown[0].text, "Reception has been completed.");
  EXPECT_EQ(shown[1].text, "Can't find \"%s\".");
  EXPECT_EQ(shown[2].text, "Can't find \"100%s %d %n %%.MID\".");
}

TEST_F(MessageCatalogueTest, IdOutsideTheTableIsStillShownEmpty) {
  answer = MessageResult{42};
  EXPECT_EQ(showMessage(MessageId{37}, "x"), MessageResult{42});
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].style, MessageStyle::Notice);
  EXPECT_EQ(shown[0].text, "");
}

TEST(MessagePresenter, SetReturnsThePreviousOneAndScopeRestoresIt) {
  const auto answering = [](int value) {
    return [value](MessageStyle, std::string_view) { return MessageResult{value}; };
  };
  ScopedMessagePresenter outer(answering(3));
  EXPECT_EQ(showText(MessageStyle::Notice, "x"), MessageResult{3});
  {
    ScopedMessagePresenter inner(answering(4));
    EXPECT_EQ(showText(MessageStyle::Notice, "x"), MessageResult{4});
    const MessagePresenter previous = setMessagePresenter(answering(5));
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous(MessageStyle::Notice, ""), MessageResult{4});
    EXPECT_EQ(showText(MessageStyle::Notice, "x"), MessageResult{5});
  }
  EXPECT_EQ(showText(MessageStyle::Notice, "x"), MessageResult{3});
  EXPECT_EQ(setMessagePresenter({})(MessageStyle::Notice, ""), MessageResult{3});
  EXPECT_FALSE(setMessagePresenter(answering(3)));  // nothing was installed
}

TEST(MessagePresenter, WithoutPresenterTheTextGoesToStandardError) {
  setLanguage(Language::English);
  ScopedMessagePresenter none(MessagePresenter{});
  ::testing::internal::CaptureStderr();
  const MessageResult result = showMessage(MessageId{33}, "A.MID");
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, MessageResult::Ok);
  EXPECT_EQ(written,
            "The folder already contains a file named \"A.MID\".\n"
            "Would you like to replace the existing file with this one?\n");
}

}  // namespace
}  // namespace quaverly
