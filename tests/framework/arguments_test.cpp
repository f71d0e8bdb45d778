// Arguments of list and option files, and the Windows command lines that
// the platform quotes for the programs it starts: what holds for any string
// (tokens end at blanks, quoting comes back whole) is the fuzz target's;
// the Windows-only test checks both against the system's own splitter.
#include <gtest/gtest.h>

#include "framework/input_paths.h"
#include "platform/command_line.h"
#include "support/windows_command_line.h"

namespace {

using Strings = std::vector<std::string>;

// The splitting is the system's as the Windows-only test finds it; the
// quoting must come back whole through it.
TEST(CommandLineTest, QuotesAndSplitsByTheSystemRules) {
  const std::vector<std::pair<Strings, std::string>> cases = {
      {{}, ""}, {{"C:\\Program Files\\x.exe", ""}, "\"C:\\Program Files\\x.exe\" \"\""},
      {{"p", "a b", "a\tb", "a\nb", "a\vb"}, "p \"a b\" \"a\tb\" \"a\nb\" \"a\vb\""},
      // Backslashes are literal unless a quote follows them.
      {{"p", "c:\\d\\", "m d\\", "\"", "a\\\"b"}, "p c:\\d\\ \"m d\\\\\" \"\\\"\" \"a\\\\\\\"b\""},
      {{"dir\\", "&|<>^%!()", "\xc3\xa9\x01"}, "dir\\ &|<>^%!() \xc3\xa9\x01"}};
  for (const auto& [argv, line] : cases) {
    EXPECT_EQ(platform::QuoteWindowsCommandLine(argv), line);
    EXPECT_EQ(test_support::ParseWindowsCommandLine(line), argv) << line;
  }
  EXPECT_EQ(platform::QuoteWindowsCommandLine({"my \"prog\"", "x"}), "\"my prog\" x");
  // Lines the quoting never makes: "" inside quotes is a literal quote that
  // also ends the quoted part; the program name ends at a quote or blank.
  for (const auto& [line, argv] : std::vector<std::pair<std::string, Strings>>{
           {"p a\\\\\\b d\"e f\"g", {"p", "a\\\\\\b", "de fg"}}, {"p a\"b c", {"p", "ab c"}},
           {"p a\"b\"\" c d", {"p", "ab\"", "c", "d"}}, {"p \"\"\"a b\"", {"p", "\"a", "b"}},
           {"\"a\"b c", {"a", "b", "c"}}, {"p\\\" x", {"p\\\"", "x"}}, {"  x", {"", "x"}}})
    EXPECT_EQ(test_support::ParseWindowsCommandLine(line), argv) << line;
}

// One spelling per file: the key's rules, the same key for every spelling
// being the fuzz target's.
TEST(InputPathsTest, CanonicalKeysResolveDotsAndKeepTheStart) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:/Data/./x/..//B\\", "c:\\data\\b"}, {"\\a\\..\\..\\b", "\\..\\b"},
      {"a/../../b", "..\\b"}, {"/x", "\\x"}, {"x", "x"}, {"c:x\\..", "c:"}};
  for (const auto& [path, key] : cases) EXPECT_EQ(CanonicalKey(path), key) << path;
}

}  // namespace
