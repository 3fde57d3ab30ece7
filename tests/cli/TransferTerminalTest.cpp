// The four-choice question on a terminal: each key gives its answer, Cancel has a key
// in both languages, Esc cancels, and an empty line asks again instead of answering.
#include <gtest/gtest.h>

#include <sstream>

#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "cli/TransferTerminal.h"

namespace quaverly::cli {
namespace {

struct Asked {
  MessageResult result;
  std::string shown;
};

Asked ask(std::string typed, Language language) {
  setLanguage(language);
  std::ostringstream err;
  std::istringstream in(std::move(typed));
  TransferTerminal terminal(err, false, in, true, AnswerPolicy::Ask);
  const MessageResult result = terminal.presenter()(MessageStyle::OverwriteQuestion, "replace A.MID?");
  setLanguage(Language::English);
  return {result, err.str()};
}

TEST(TransferTerminalTest, EachKeyGivesItsAnswer) {
  struct Case {
    const char* typed;
    MessageResult result;
  };
  for (const Case& c :
       {Case{"y\n", MessageResult::Yes}, Case{"A\n", MessageResult::YesToAll}, Case{"n\n", MessageResult::No},
        Case{"c\n", MessageResult::Cancel}, Case{"\x1b\n", MessageResult::Cancel}, Case{"", MessageResult::Cancel},
        Case{"\nyes\nn\n", MessageResult::No}}) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.typed)));
    EXPECT_EQ(ask(c.typed, Language::English).result, c.result);
  }
}

TEST(TransferTerminalTest, EmptyLinesAskAgain) {
  const Asked asked = ask("\n\nc\n", Language::English);
  EXPECT_EQ(asked.result, MessageResult::Cancel);
  std::size_t prompts = 0;
  for (std::size_t at = asked.shown.find("replace A.MID?"); at != std::string::npos;
       at = asked.shown.find("replace A.MID?", at + 1)) {
    ++prompts;
  }
  EXPECT_EQ(prompts, 3u);
}

TEST(TransferTerminalTest, CancelShowsItsKeysInBothLanguages) {
  EXPECT_NE(ask("c\n", Language::English).shown.find("[c/Esc] Cancel"), std::string::npos);
  const Asked japanese = ask("c\n", Language::Japanese);
  EXPECT_EQ(japanese.result, MessageResult::Cancel);
  EXPECT_NE(japanese.shown.find("[c/Esc] \xEF\xBD\xB7\xEF\xBD\xAC\xEF\xBE\x9D\xEF\xBD\xBE\xEF\xBE\x99"),
            std::string::npos)
      << japanese.shown;
  EXPECT_NE(japanese.shown.find("[y] "), std::string::npos);
}

}  // namespace
}  // namespace quaverly::cli
