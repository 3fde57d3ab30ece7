// The reading of "--NAME VALUE" and "--NAME=VALUE" that the options of every command
// and those of get and put share.
#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/OptionValue.h"

namespace quaverly::cli {
namespace {

constexpr std::array<std::string_view, 2> kNames{"--to", "--convert"};

struct Case {
  std::vector<std::string_view> args;  // the option stands first
  std::string_view name;
  std::string_view value;
  std::size_t next;  // where `at` stands afterwards
};

TEST(OptionValueTest, TakesTheValueAfterTheEqualsSignOrTheNextArgument) {
  const std::vector<Case> cases = {
      {{"--to", "POPS", "A.MID"}, "--to", "POPS", 1},
      {{"--to=POPS", "A.MID"}, "--to", "POPS", 0},
      {{"--convert=never"}, "--convert", "never", 0},
      // An empty value is still a value; only the first '=' separates.
      {{"--to=", "A.MID"}, "--to", "", 0},
      {{"--to=a=b"}, "--to", "a=b", 0},
      // The next argument is the value whatever it looks like.
      {{"--to", "--yes"}, "--to", "--yes", 1},
      {{"--to", ""}, "--to", "", 1},
  };
  for (const Case& c : cases) {
    std::size_t at = 0;
    const OptionValue option = takeOptionValue(c.args, at, kNames);
    EXPECT_TRUE(option.ok()) << c.args[0] << ": " << option.error;
    EXPECT_EQ(option.name, c.name) << c.args[0];
    EXPECT_EQ(option.value, c.value) << c.args[0];
    EXPECT_EQ(at, c.next) << c.args[0];
  }

  // Further along the arguments, `at` moves from where it stood.
  const std::vector<std::string_view> args{"A.MID", "--convert", "ask", "B.MID"};
  std::size_t at = 1;
  const OptionValue option = takeOptionValue(args, at, kNames);
  EXPECT_EQ(option.value, "ask");
  EXPECT_EQ(at, 2u);
}

TEST(OptionValueTest, RefusesAMissingValueAndUnknownNames) {
  struct Refusal {
    std::vector<std::string_view> args;
    std::size_t at;  // where the option stands
    std::span<const std::string_view> names;
    std::string error;
  };
  const std::vector<Refusal> cases = {
      {{"--to"}, 0, kNames, "option --to needs a value"},
      {{"A.MID", "--convert"}, 1, kNames, "option --convert needs a value"},
      // Names match whole, up to the first '='.
      {{"--tox", "POPS"}, 0, kNames, "unknown option '--tox'"},
      {{"--t=POPS"}, 0, kNames, "unknown option '--t=POPS'"},
      {{"-to", "POPS"}, 0, kNames, "unknown option '-to'"},
      {{"--TO", "POPS"}, 0, kNames, "unknown option '--TO'"},
      {{"--yes=1"}, 0, kNames, "unknown option '--yes=1'"},
      // Only the names given count: put takes --convert, get does not.
      {{"--convert=ask"}, 0, std::span(kNames).first(1), "unknown option '--convert=ask'"},
  };
  for (const Refusal& c : cases) {
    std::size_t at = c.at;
    const OptionValue option = takeOptionValue(c.args, at, c.names);
    EXPECT_FALSE(option.ok()) << c.error;
    EXPECT_EQ(option.error, c.error);
    EXPECT_EQ(option.name, "") << c.error;
    EXPECT_EQ(option.value, "") << c.error;
    EXPECT_EQ(at, c.at) << c.error;
  }
}

TEST(OptionValueTest, AnOptionIsADashAndMore) {
  for (const std::string_view arg : {"-q", "--to", "--", "-x=1"}) EXPECT_TRUE(looksLikeOption(arg)) << arg;
  for (const std::string_view arg : {"", "-", "A.MID", "0:/-x"}) EXPECT_FALSE(looksLikeOption(arg)) << arg;
}

}  // namespace
}  // namespace quaverly::cli
