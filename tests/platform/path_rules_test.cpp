#include "platform/path_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace platform {
namespace {

struct SplitCase {
  const char* path;
  const char* drive;
  const char* dir;
  const char* name;
  const char* ext;
};

TEST(PlatformPathRulesTest, SplitPathTakesPathsApart) {
  const SplitCase cases[] = {
      {"", "", "", "", ""},
      {"name", "", "", "name", ""},
      {"name.lua", "", "", "name", ".lua"},
      {"c:\\data\\scripts\\foo.lua", "c:", "\\data\\scripts\\", "foo", ".lua"},
      {"c:foo.lua", "c:", "", "foo", ".lua"},
      {"c:", "c:", "", "", ""},
      {"data/scripts/foo.lua", "", "data/scripts/", "foo", ".lua"},
      {"data\\mixed/sep\\foo", "", "data\\mixed/sep\\", "foo", ""},
      {"archive.tar.gz", "", "", "archive.tar", ".gz"},
      {"dir.d\\file", "", "dir.d\\", "file", ""},
      {"dir\\", "", "dir\\", "", ""},
      {"\\", "", "\\", "", ""},
      {".hidden", "", "", "", ".hidden"},
      {"dir\\.hidden", "", "dir\\", "", ".hidden"},
      {"trailing.", "", "", "trailing", "."},
      {"..\\up.txt", "", "..\\", "up", ".txt"},
      {"/abs/path.x", "", "/abs/", "path", ".x"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.path);
    PathParts parts = SplitPath(c.path);
    EXPECT_EQ(parts.drive, c.drive);
    EXPECT_EQ(parts.dir, c.dir);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.ext, c.ext);
  }
}

struct JoinCase {
  const char* drive;
  const char* dir;
  const char* name;
  const char* ext;
  const char* path;
};

TEST(PlatformPathRulesTest, JoinPathPutsPartsTogether) {
  const JoinCase cases[] = {
      {"", "", "", "", ""},
      {"", "", "foo", "", "foo"},
      {"", "", "foo", ".lua", "foo.lua"},
      {"", "", "foo", "lua", "foo.lua"},
      {"c:", "\\data\\", "foo", ".lua", "c:\\data\\foo.lua"},
      {"c", "\\data", "foo", "lua", "c:\\data\\foo.lua"},
      {"d:", "", "foo", ".x", "d:foo.x"},
      {"", "data", "foo", "", "data\\foo"},
      {"", "data/", "foo", "", "data/foo"},
      {"", "data\\", "", ".hidden", "data\\.hidden"},
      {"", "a\\b", "", "", "a\\b\\"},
  };
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(std::string(c.drive) + "|" + c.dir + "|" + c.name + "|" + c.ext);
    EXPECT_EQ(JoinPath(c.drive, c.dir, c.name, c.ext), c.path);
  }
}

TEST(PlatformPathRulesTest, SplitThenJoinGivesThePathBack) {
  for (const char* path : {"c:\\data\\foo.lua", "data\\a.b.c", "name", "dir\\.hidden",
                           "c:x.y", "\\rooted\\file.txt"}) {
    PathParts parts = SplitPath(path);
    EXPECT_EQ(JoinPath(parts.drive, parts.dir, parts.name, parts.ext), path);
  }
}

TEST(PlatformPathRulesTest, CaseFoldingTouchesAsciiLettersOnly) {
  EXPECT_EQ(ToLowerAscii("Data\\SCRIPTS\\Foo-1_Z.LUA"), "data\\scripts\\foo-1_z.lua");
  std::string upper = "abc@[`{xyz";
  for (char& c : upper) c = ToUpperAscii(c);
  EXPECT_EQ(upper, "ABC@[`{XYZ");
  EXPECT_EQ(ToLowerAscii("\xC4\xD6"), "\xC4\xD6");
  EXPECT_TRUE(EqualsIgnoreCase("Foo.LUA", "fOO.lua"));
  EXPECT_TRUE(EqualsIgnoreCase("", ""));
  EXPECT_FALSE(EqualsIgnoreCase("foo", "foo "));
  EXPECT_FALSE(EqualsIgnoreCase("@", "`"));  // 0x40 and 0x60 differ by the case bit
  EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
}

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

TEST(PlatformPathRulesTest, WildcardMatchFollowsTheSystemListingRules) {
  const MatchCase cases[] = {
      {"*", "anything.txt", true},
      {"*", "", true},
      {"*", ".", true},
      {"*", "..", true},
      {"*.*", "noext", true},
      {"*.*", "a.b", true},
      {"*.*", ".hidden", true},
      {"*.lua", "a.lua", true},
      {"*.lua", "a.LUA", true},
      {"*.LUA", "a.lua", true},
      {"*.lua", "a.luac", false},
      {"*.lua", "alua", false},
      {"*.lua", "a.lua.bak", false},
      {"?", "a", true},
      {"?", "", false},
      {"?", "ab", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"foo.*", "foo", true},
      {"foo.*", "foo.txt", true},
      {"foo.*", "foobar", false},
      {"foo.*", "bar.foo", false},
      {"a*b*c", "abc", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "abbbcbc", true},
      {"a*b*c", "abcb", false},
      {"a*b*c", "acb", false},
      {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {"**", "x", true},
      {"", "", true},
      {"", "a", false},
      {"exact", "EXACT", true},
      {"exact", "exactly", false},
      {"data_?.bin", "DATA_7.BIN", true},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " vs " + c.name);
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.matches);
  }
}

TEST(PlatformPathRulesTest, ListingOrderSortsByUpperCaseThenBytes) {
  std::vector<std::string> names = {"b.txt", "A.txt", "a.txt", "_x", "B.TXT", "ab", "Z", "a"};
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return ListingOrderLess(a, b); });
  // Upper-cased, '_' (0x5F) sorts after the letters; a prefix first.
  const std::vector<std::string> expected = {"a", "A.txt", "a.txt", "ab", "B.TXT", "b.txt",
                                             "Z", "_x"};
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(ListingOrderLess("same", "same"));
  EXPECT_TRUE(ListingOrderLess("", "a"));
  EXPECT_FALSE(ListingOrderLess("a", ""));
  // Bytes above 0x7F compare unsigned: after every ASCII name.
  EXPECT_TRUE(ListingOrderLess("z", "\xE4"));
}

TEST(PlatformPathRulesTest, SplitListKeepsEveryEntryInOrder) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitList("", ';'), List{""});
  EXPECT_EQ(SplitList("a", ';'), List{"a"});
  EXPECT_EQ(SplitList("a;b c;;d\\", ';'), (List{"a", "b c", "", "d\\"}));
  EXPECT_EQ(SplitList(";a;", ';'), (List{"", "a", ""}));
  EXPECT_EQ(SplitList("/bin:/usr/bin;x", ':'), (List{"/bin", "/usr/bin;x"}));
}

struct PosixCase {
  const char* path;
  const char* start;
  std::vector<std::string> components;
};

TEST(PlatformPathRulesTest, SplitForPosixFindsTheStartDirectory) {
  const std::string root = "/drive";
  const PosixCase cases[] = {
      {"c:\\data\\x.lua", "/drive", {"data", "x.lua"}},
      {"C:/data/x.lua", "/drive", {"data", "x.lua"}},
      {"c:x.lua", "/drive", {"x.lua"}},
      {"c:", "/drive", {}},
      {"\\data\\x", "/drive", {"data", "x"}},
      {"\\", "/drive", {}},
      {"/usr/bin/luac", "/", {"usr", "bin", "luac"}},
      {"/", "/", {}},
      {"data\\scripts\\x.lua", ".", {"data", "scripts", "x.lua"}},
      {"data//scripts\\\\x.lua\\", ".", {"data", "scripts", "x.lua"}},
      {".\\a\\..\\b", ".", {".", "a", "..", "b"}},
      {"", ".", {}},
      {"name", ".", {"name"}},
  };
  for (const PosixCase& c : cases) {
    SCOPED_TRACE(c.path);
    PosixPath split = SplitForPosix(c.path, root);
    EXPECT_EQ(split.start, c.start);
    EXPECT_EQ(split.components, c.components);
  }
}

}  // namespace
}  // namespace platform
