#include "app/messages/UiStrings.h"

#include <gtest/gtest.h>

#include <string>

namespace quaverly {
namespace {

constexpr std::string_view kJapaneseTitle =
    "\xef\xbd\xb8\xef\xbd\xaa\xef\xbd\xb2\xef\xbe\x8a\xef\xbe\x9e\xef\xbe\x98\xef\xbd\xb0";  // ｸｪｲﾊﾞﾘｰ
constexpr std::string_view kJapaneseCancel =
    "\xef\xbd\xb7\xef\xbd\xac\xef\xbe\x9d\xef\xbd\xbe\xef\xbe\x99";  // ｷｬﾝｾﾙ (half-width)
constexpr std::string_view kConvertAll = "\xe5\x85\xa8\xe3\x81\xa6\xe5\xa4\x89\xe6\x8f\x9b(&A)";  // 全て変換(&A)

class UiStringsTest : public ::testing::Test {
 protected:
  void TearDown() override { setLanguage(Language::English); }
};

TEST_F(UiStringsTest, LocaleIdChoosesTheLanguageForStringsAndCatalogue) {
  EXPECT_EQ(languageFromLocaleId(0x0411), Language::Japanese);
  for (const unsigned other : {0x0409U, 0x0011U, 0x0412U, 0x0804U, 0U, 0x10411U}) {
    EXPECT_EQ(languageFromLocaleId(other), Language::English) << std::hex << other;
  }

  setLanguage(languageFromLocaleId(0x0411));
  EXPECT_TRUE(isJapanese());
  EXPECT_FALSE(isEnglish());
  EXPECT_EQ(stringBase(), 0U);
  EXPECT_EQ(uiString(0), kJapaneseTitle);
  EXPECT_EQ(messageText(MessageId{26}), builtInCatalogue()[26].japanese);

  setLanguage(languageFromLocaleId(0x0409));
  EXPECT_EQ(uiLanguage(), Language::English);
  EXPECT_EQ(stringBase(), 1000U);
  EXPECT_EQ(uiString(0), "Quaverly");
  EXPECT_EQ(uiString(52), "Already used for another file.");
  EXPECT_EQ(messageText(MessageId{26}), "Memory overflow.");
  EXPECT_TRUE(uiString(19).empty());
  EXPECT_TRUE(uiString(58).empty());
}

TEST_F(UiStringsTest, EveryItemExistsInBothLanguagesExceptNineteen) {
  for (unsigned n = 0; n <= 57; ++n) {
    EXPECT_EQ(resourceString(1000 + n).empty(), n == 19) << "id " << 1000 + n;
    EXPECT_EQ(resourceString(2000 + n).empty(), n == 19) << "id " << 2000 + n;
  }
  for (const unsigned absent : {0U, 102U, 104U, 127U, 131U, 999U, 1058U, 1999U, 2058U, 3000U}) {
    EXPECT_TRUE(resourceString(absent).empty()) << "id " << absent;
  }
}

TEST_F(UiStringsTest, TextsAreByteExact) {
  EXPECT_EQ(resourceString(1000), kJapaneseTitle);
  EXPECT_EQ(resourceString(1013), kJapaneseCancel);
  EXPECT_EQ(resourceString(1038),  // ＭＳ Ｐゴシック: full-width letters, ASCII space
            "\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf");
  EXPECT_EQ(resourceString(1057), kConvertAll);
  EXPECT_EQ(resourceString(2052), "Already used for another file.");
  EXPECT_EQ(resourceString(2054), "Failed to create \"%s\".");
  EXPECT_EQ(resourceString(103), "Quaverly");
  EXPECT_EQ(resourceString(105), resourceString(103));
  EXPECT_EQ(resourceString(128), "Quaverly\n\nQuaver\n\n\nQuaverly.Document\nQuaver Document");
  EXPECT_EQ(resourceString(129), "%02d/%02d/%02d  %02d:%02d");
  EXPECT_EQ(resourceString(130), "%y/%m/%d  %H:%M");
}

TEST_F(UiStringsTest, ResourceStringIsShownAsNoticeWithTheSameFormatting) {
  setLanguage(Language::English);
  MessageStyle style = MessageStyle::Question;
  std::string text;
  ScopedMessagePresenter presenter([&](MessageStyle s, std::string_view t) {
    style = s;
    text = t;
    return MessageResult{9};
  });
  EXPECT_EQ(showResourceString(1054 + stringBase(), "50%s %d.MID"), MessageResult{9});
  EXPECT_EQ(style, MessageStyle::Notice);
  EXPECT_EQ(text, "Failed to create \"50%s %d.MID\".");
  showResourceString(2052, "ignored");
  EXPECT_EQ(text, "Already used for another file.");
}

TEST_F(UiStringsTest, FourChoiceButtonsFollowLanguageAndVariant) {
  EXPECT_EQ(fourChoiceVariant(MessageStyle::OverwriteQuestion), FourChoiceVariant::Overwrite);
  EXPECT_EQ(fourChoiceVariant(MessageStyle::ConvertQuestion), FourChoiceVariant::Convert);
  EXPECT_FALSE(fourChoiceVariant(MessageStyle::Notice));
  EXPECT_FALSE(fourChoiceVariant(MessageStyle::Question));

  setLanguage(Language::Japanese);
  const FourChoiceTexts overwrite = fourChoiceButtonTexts(FourChoiceVariant::Overwrite);
  const FourChoiceTexts convert = fourChoiceButtonTexts(FourChoiceVariant::Convert);
  EXPECT_EQ(overwrite.yes, "\xe3\x81\xaf\xe3\x81\x84(&Y)");  // はい(&Y)
  EXPECT_EQ(overwrite.yesToAll,                              // すべて上書き(&A)
            "\xe3\x81\x99\xe3\x81\xb9\xe3\x81\xa6\xe4\xb8\x8a\xe6\x9b\xb8\xe3\x81\x8d(&A)");
  EXPECT_EQ(overwrite.no, "\xe3\x81\x84\xe3\x81\x84\xe3\x81\x88(&N)");  // いいえ(&N)
  EXPECT_EQ(overwrite.cancel, kJapaneseCancel);
  EXPECT_EQ(convert.yesToAll, kConvertAll);
  EXPECT_EQ(convert.yes, overwrite.yes);
  EXPECT_EQ(convert.no, overwrite.no);
  EXPECT_EQ(convert.cancel, overwrite.cancel);

  setLanguage(Language::English);
  for (const auto variant : {FourChoiceVariant::Overwrite, FourChoiceVariant::Convert}) {
    const FourChoiceTexts english = fourChoiceButtonTexts(variant);
    EXPECT_EQ(english.yes, "&Yes");
    EXPECT_EQ(english.yesToAll, "Yes to &All");
    EXPECT_EQ(english.no, "&No");
    EXPECT_EQ(english.cancel, "Cancel");
  }
}

}  // namespace
}  // namespace quaverly
