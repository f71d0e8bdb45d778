// The pure rules over paths and names, case by case. What holds for any
// string (split and join give the path back, the listing order is total,
// lists lose no byte) is the fuzz target's.
#include <gtest/gtest.h>

#include <algorithm>

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
  EXPECT_EQ(JoinPath("c", "\\data", "foo", "lua"), "c:\\data\\foo.lua");
  EXPECT_EQ(JoinPath("", "a/", "", ".x"), "a/.x");
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

}  // namespace
}  // namespace platform
