// The pure rules over strings, case by case: paths, names and Windows
// command lines. What holds for any string (split and join give the path
// back, the listing order is total, lists lose no byte, quoting comes back
// whole) is the fuzz targets'. The Windows-only test checks the command
// lines against the system's own splitter.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/command_line.h"
#include "support/windows_command_line.h"
#include "platform/path_rules.h"

namespace platform {
namespace {

using Strings = std::vector<std::string>;

TEST(PathRulesTest, PathsAndNames) {
  const std::vector<Strings> paths = {{"c:\\d\\f.b.lua", "c:", "\\d\\", "f.b", ".lua"},
      {"c:x", "c:", "", "x", ""}, {"a/\\c", "", "a/\\", "c", ""}, {"d.\\.h", "", "d.\\", "", ".h"}};
  for (const Strings& c : paths) {
    PathParts parts = SplitPath(c[0]);
    EXPECT_EQ((Strings{c[0], parts.drive, parts.dir, parts.name, parts.ext}), c);
  }
  EXPECT_EQ(JoinPath("c", "\\data", "foo", "lua") + JoinPath("", "a/", "", ".x") + " " +
                CanonicalKey("C:/Data/./x/..//B\\"),
            "c:\\data\\foo.luaa/.x c:\\data\\b");
  EXPECT_EQ(ToLowerAscii("AZaz@[`{\xC4"), "azaz@[`{\xC4");
  Strings names = {"b.txt", "A.txt", "a.txt", "_x", "\xE4", "B.TXT", "ab", "a"};
  std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return ListingOrderLess(a, b); });
  // Upper-cased first, so '_' (0x5F) follows the letters; bytes unsigned.
  EXPECT_EQ(names, (Strings{"a", "A.txt", "a.txt", "ab", "B.TXT", "b.txt", "_x", "\xE4"}));
}

TEST(PathRulesTest, Wildcards) {
  // Pattern, then names it matches, "|", names it does not.
  for (const Strings& c : {Strings{"*.lua", "a.LUA", "|", "a.luac", "alua", "a.lua.bak"},
                           Strings{"*.*", "noext", ".hidden", "", "|"},
                           Strings{"foo.*", "foo", "FOO.x", "|", "foobar", "bar.foo"},
                           Strings{"a?c", "abc", "|", "ac", "abcc"}, Strings{"?", "|", ""},
                           Strings{"a*b*c", "abbbcbc", "|", "abcb", "acb"},
                           Strings{"", "", "|", "a"}, Strings{"@", "|", "`"},
                           Strings{"*a*a*a*b", "|", std::string(30, 'a')}}) {
    for (size_t i = 1, matches = 1; i < c.size(); ++i) {
      if (c[i] == "|") matches = 0;
      else EXPECT_EQ(WildcardMatch(c[0], c[i]), matches == 1) << c[0] << " against " << c[i];
    }
  }
}

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
    EXPECT_EQ(QuoteWindowsCommandLine(argv), line);
    EXPECT_EQ(test_support::ParseWindowsCommandLine(line), argv) << line;
  }
  EXPECT_EQ(QuoteWindowsCommandLine({"my \"prog\"", "x"}), "\"my prog\" x");
  // Lines the quoting never makes: "" inside quotes is a literal quote that
  // also ends the quoted part; the program name ends at a quote or blank.
  for (const auto& [line, argv] : std::vector<std::pair<std::string, Strings>>{
           {"p a\\\\\\b d\"e f\"g", {"p", "a\\\\\\b", "de fg"}}, {"p a\"b c", {"p", "ab c"}},
           {"p a\"b\"\" c d", {"p", "ab\"", "c", "d"}}, {"p \"\"\"a b\"", {"p", "\"a", "b"}},
           {"\"a\"b c", {"a", "b", "c"}}, {"p\\\" x", {"p\\\"", "x"}}, {"  x", {"", "x"}}})
    EXPECT_EQ(test_support::ParseWindowsCommandLine(line), argv) << line;
}

}  // namespace
}  // namespace platform
