// The pure rules over strings, case by case: paths, names and Windows
// command lines. What holds for any string (split and join give the path
// back, the listing order is total, lists lose no byte, quoting comes back
// whole) is the fuzz targets'. The Windows-only test checks the command
// lines against the system's own splitter.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/command_line.h"
#include "platform/path_rules.h"

namespace platform {
namespace {

TEST(PathRulesTest, SplitPathAndJoinPath) {
  const std::vector<std::vector<std::string>> cases = {  // path, drive, dir, name, ext
      {"", "", "", "", ""}, {"name.lua", "", "", "name", ".lua"}, {"c:", "c:", "", "", ""},
      {"c:\\data\\scripts\\foo.lua", "c:", "\\data\\scripts\\", "foo", ".lua"},
      {"c:foo", "c:", "", "foo", ""}, {"data\\mixed/sep\\foo", "", "data\\mixed/sep\\", "foo", ""},
      {"archive.tar.gz", "", "", "archive.tar", ".gz"}, {"dir.d\\file", "", "dir.d\\", "file", ""},
      {"dir\\.hidden", "", "dir\\", "", ".hidden"}, {"trailing.", "", "", "trailing", "."},
      {"/abs/path.x", "", "/abs/", "path", ".x"}};
  for (const auto& c : cases) {
    PathParts parts = SplitPath(c[0]);
    EXPECT_EQ((std::vector<std::string>{c[0], parts.drive, parts.dir, parts.name, parts.ext}), c);
  }
  EXPECT_EQ(JoinPath("c", "\\data", "foo", "lua"), "c:\\data\\foo.lua");
  EXPECT_EQ(JoinPath("", "data/", "", ".hidden"), "data/.hidden");
  EXPECT_EQ(JoinPath("", "a\\b", "", ""), "a\\b\\");
}

TEST(PathRulesTest, CaseFoldingAndWildcards) {
  EXPECT_EQ(ToLowerAscii("AZaz@[`{\xC4"), "azaz@[`{\xC4");
  EXPECT_EQ(ToUpperAscii('a'), 'A');
  EXPECT_EQ(ToUpperAscii('{'), '{');
  EXPECT_EQ(ToUpperAscii('`'), '`');
  const std::vector<std::tuple<const char*, const char*, bool>> cases = {
      {"*", "", true}, {"*", "..", true}, {"*.*", "noext", true}, {"*.*", ".hidden", true},
      {"*.lua", "a.LUA", true}, {"*.LUA", "a.lua", true}, {"*.lua", "a.luac", false},
      {"*.lua", "alua", false}, {"*.lua", "a.lua.bak", false}, {"?", "", false},
      {"?", "ab", false}, {"a?c", "abc", true}, {"a?c", "ac", false}, {"foo.*", "foo", true},
      {"foo.*", "foobar", false}, {"foo.*", "bar.foo", false}, {"a*b*c", "abbbcbc", true},
      {"a*b*c", "abcb", false}, {"a*b*c", "acb", false}, {"**", "x", true}, {"", "", true},
      {"", "a", false}, {"exact", "EXACT", true}, {"exact", "exactly", false},
      {"@", "`", false}, {"*a*a*a*b", std::string(30, 'a').c_str(), false}};
  for (const auto& [pattern, name, matches] : cases)
    EXPECT_EQ(WildcardMatch(pattern, name), matches) << pattern << " against " << name;
}

TEST(PathRulesTest, ListingOrderAndCanonicalKeys) {
  std::vector<std::string> names = {"b.txt", "A.txt", "a.txt", "_x", "\xE4", "B.TXT", "ab", "a"};
  std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return ListingOrderLess(a, b); });
  // Upper-cased first, so '_' (0x5F) follows the letters; bytes unsigned.
  EXPECT_EQ(names, (std::vector<std::string>{"a", "A.txt", "a.txt", "ab", "B.TXT", "b.txt", "_x",
                                             "\xE4"}));
  EXPECT_EQ(CanonicalKey("C:/Data/./x/..//B\\"), "c:\\data\\b");
  EXPECT_EQ(CanonicalKey("\\a\\..\\..\\b"), "\\..\\b");
  EXPECT_EQ(CanonicalKey("a/b"), "a\\b");
}

TEST(PathRulesTest, SplitForPosixFindsTheStartDirectory) {
  const std::vector<std::vector<std::string>> cases = {  // path, start, components...
      {"c:\\data\\x.lua", "/drive", "data", "x.lua"}, {"C:/data", "/drive", "data"},
      {"c:x.lua", "/drive", "x.lua"}, {"c:", "/drive"}, {"\\data\\x", "/drive", "data", "x"},
      {"\\", "/drive"}, {"/usr/bin", "/", "usr", "bin"}, {"/", "/"}, {"", "."},
      {"data//scripts\\\\x.lua\\", ".", "data", "scripts", "x.lua"},
      {".\\a\\..\\b", ".", ".", "a", "..", "b"}};
  for (const auto& c : cases) {
    PosixPath split = SplitForPosix(c[0], "/drive");
    split.components.insert(split.components.begin(), {c[0], split.start});
    EXPECT_EQ(split.components, c);
  }
}

using Argv = std::vector<std::string>;

TEST(WindowsCommandLineTest, QuotesOnlyWhatNeedsItAndEveryVectorComesBack) {
  const std::vector<std::pair<Argv, std::string>> cases = {
      {{}, ""}, {{""}, "\"\""}, {{"p", "", ""}, "p \"\" \"\""},
      {{"C:\\Program Files\\luac.exe", "-o"}, "\"C:\\Program Files\\luac.exe\" -o"},
      {{"p", "a b", "a\tb", "a\nb", "a\vb"}, "p \"a b\" \"a\tb\" \"a\nb\" \"a\vb\""},
      // Backslashes are literal unless a quote follows them.
      {{"p", "c:\\dir\\", "my dir\\", "my dir\\\\"}, "p c:\\dir\\ \"my dir\\\\\" \"my dir\\\\\\\\\""},
      {{"p", "\"", "a\\\"b", "\\\\\""}, "p \"\\\"\" \"a\\\\\\\"b\" \"\\\\\\\\\\\"\""},
      // No command interpreter reads the line.
      {{"p", "&|<>^%!()", "*.lua", "\xc3\xa9\xff\x01"}, "p &|<>^%!() *.lua \xc3\xa9\xff\x01"},
      // The program name has no escape for a quote, and needs none.
      {{"p\"q", "x"}, "pq x"}, {{"my \"prog\"", "x"}, "\"my prog\" x"}, {{"dir\\", "x"}, "dir\\ x"}};
  for (const auto& [argv, line] : cases) {
    EXPECT_EQ(QuoteWindowsCommandLine(argv), line);
    if (argv.empty() || argv[0].find('"') == std::string::npos) {
      EXPECT_EQ(ParseWindowsCommandLine(line), argv) << line;
    }
  }
}

TEST(WindowsCommandLineTest, SplitsLinesByTheSystemRules) {
  const std::vector<std::pair<std::string, Argv>> cases = {
      {"p   ", {"p"}}, {"p \t a\t\tb ", {"p", "a", "b"}}, {"  x", {"", "x"}},
      {"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
      {"p a\\\\\\\\\"b c\" d", {"p", "a\\\\b c", "d"}}, {"p \"a\\\\\\\" b\"", {"p", "a\\\" b"}},
      {"p a\"b c", {"p", "ab c"}},
      // Inside quotes, "" is a literal quote that also ends the quoted part.
      {"p a\"b\"\" c d", {"p", "ab\"", "c", "d"}}, {"p \"a\"\"b c\"", {"p", "a\"b", "c"}},
      {"p \"\"\"", {"p", "\""}}, {"p \"\"\"a b\"", {"p", "\"a", "b"}},
      // The program name: to the next quote or blank, no escapes.
      {"\"a\"b c", {"a", "b", "c"}}, {"\"a b", {"a b"}}, {"p\\\" x", {"p\\\"", "x"}},
      {"\"dir\\\" x", {"dir\\", "x"}}, {"a\"b c\" d", {"a\"b", "c d"}}};
  for (const auto& [line, argv] : cases) EXPECT_EQ(ParseWindowsCommandLine(line), argv) << line;
}

}  // namespace
}  // namespace platform
