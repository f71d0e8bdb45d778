#include <gtest/gtest.h>

#include "framework/test_tool.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

using test_support::WriteFile;

class InputDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleLevel(0); }
  void TearDown() override { SetConsoleLevel(1); }

  std::string Discover(const std::string& value, const std::vector<std::string>& commandLine = {}) {
    tool.SetCommandLine(commandLine);
    try {
      tool.InputFileOption(value.c_str());
    } catch (HandyException error) {
      return error.GetMessage();
    }
    return "";
  }

  test_support::TempDir temp;
  TestTool tool;
};

TEST_F(InputDiscoveryTest, WildcardInTheCurrentDirectory) {
  WriteFile("b.lua", "");
  WriteFile("A.LUA", "");
  WriteFile("c.txt", "");
  test_support::MakeDirs("dir.lua");
  ASSERT_EQ(Discover("*.lua"), "");
  EXPECT_EQ(tool.InputPaths(), (std::vector<std::string>{".\\A.LUA", ".\\b.lua"}));
}

TEST_F(InputDiscoveryTest, EachNameOnceFromTheFirstRootThatHasIt) {
  WriteFile("src/scripts/a.lua", "");
  WriteFile("src/scripts/b.lua", "");
  WriteFile("plat/scripts/a.lua", "");
  WriteFile("ov0/scripts/c.lua", "");
  WriteFile("ov1/scripts/c.lua", "");
  WriteFile("ov1/scripts/b.lua", "");
  tool.overrideDirs = {ToolString("ov0"), ToolString("ov1")};
  ASSERT_EQ(Discover("scripts\\*.lua", {"-sourcedir", "src", "-platformdir", "plat"}), "");
  // Handed on by the last root that holds a name, read from the first.
  EXPECT_EQ(tool.InputPaths(), (std::vector<std::string>{"plat\\scripts\\a.lua",
                                                          "ov1\\scripts\\b.lua",
                                                          "ov0\\scripts\\c.lua"}));
}

TEST_F(InputDiscoveryTest, ADirectoryInAHigherRootHidesAFile) {
  WriteFile("src/x.lua", "");
  test_support::MakeDirs("plat/x.lua");
  ASSERT_EQ(Discover("*.lua", {"-sourcedir", "src", "-platformdir", "plat"}), "");
  EXPECT_TRUE(tool.calls.empty());
}

TEST_F(InputDiscoveryTest, RecursiveOrderOverAllRoots) {
  WriteFile("src/a.lua", "");
  WriteFile("src/s1/x.lua", "");
  WriteFile("src/s2/y.lua", "");
  WriteFile("src/s2/deep/d.lua", "");
  WriteFile("plat/p.lua", "");
  WriteFile("plat/s1/z.lua", "");
  WriteFile("plat/ponly/q.lua", "");
  WriteFile("ov0/o.lua", "");
  WriteFile("ov0/S2/w.lua", "");
  WriteFile("ov0/oonly/r.lua", "");
  WriteFile("ov1/oonly/r2.lua", "");
  tool.overrideDirs = {ToolString("ov0"), ToolString("ov1")};
  ASSERT_EQ(Discover("!*.lua", {"-sourcedir", "src", "-platformdir", "plat"}), "");
  EXPECT_EQ(tool.InputPaths(),
            (std::vector<std::string>{
                "src\\.\\a.lua", "plat\\.\\p.lua", "ov0\\.\\o.lua",
                "src\\.\\s1\\x.lua", "plat\\.\\s1\\z.lua",
                "src\\.\\s2\\y.lua", "ov0\\.\\s2\\w.lua",
                "src\\.\\s2\\deep\\d.lua",
                // A directory that only overrides have is searched once per
                // root that has it, with all roots each time.
                "ov0\\.\\oonly\\r.lua", "ov1\\.\\oonly\\r2.lua",
                "ov0\\.\\oonly\\r.lua", "ov1\\.\\oonly\\r2.lua",
                "plat\\.\\ponly\\q.lua"}));  // then platform-only ones
}

TEST_F(InputDiscoveryTest, ASharedOverrideOnlyDirectoryIsSearchedOncePerRoot) {
  WriteFile("ov0/extra/a.lua", "");
  WriteFile("ov1/extra/a.lua", "");
  test_support::MakeDirs("src");
  tool.overrideDirs = {ToolString("ov0"), ToolString("ov1")};
  ASSERT_EQ(Discover("!*.lua", {"-sourcedir", "src"}), "");
  EXPECT_EQ(tool.InputPaths(),
            (std::vector<std::string>{"ov0\\.\\extra\\a.lua", "ov0\\.\\extra\\a.lua"}));
}

TEST_F(InputDiscoveryTest, ManySubdirectoriesInEveryRoot) {
  for (int i = 0; i < 300; ++i) WriteFile("plat/d" + std::to_string(i) + "/f.lua", "");
  test_support::MakeDirs("src");
  ASSERT_EQ(Discover("!*.lua", {"-sourcedir", "src", "-platformdir", "plat"}), "");
  EXPECT_EQ(tool.calls.size(), 300u);
}

TEST_F(InputDiscoveryTest, MalformedValues) {
  EXPECT_EQ(Discover("scrip*\\a.lua"),
            "Input file option scrip*\\a.lua: wildcards for directories are not supported.");
  EXPECT_EQ(Discover("!d?r/x/*.lua"),
            "Input file option !d?r/x/*.lua: wildcards for directories are not supported.");
  EXPECT_EQ(Discover("!a.lua"), "Input file option !a.lua: recursive '!' must be followed by wildcard.");
  int errors = ErrorCount();
  EXPECT_EQ(Discover("!a.lua", {"-continue"}), "");
  EXPECT_EQ(Discover("s*\\a.lua", {"-continue"}), "");
  EXPECT_EQ(ErrorCount(), errors + 2);
  EXPECT_TRUE(tool.calls.empty());
}

TEST_F(InputDiscoveryTest, PlainValueKeepsItsDirectoriesInTheName) {
  WriteFile("src/scripts/a.lua", "");
  ASSERT_EQ(Discover("scripts\\a.lua", {"-sourcedir", "src"}), "");
  EXPECT_EQ(tool.InputPaths(), std::vector<std::string>{"src\\.\\scripts\\a.lua"});
}

TEST_F(InputDiscoveryTest, ListFiles) {
  WriteFile("a.lua", "");
  WriteFile("b.lua", "");
  WriteFile("sub/inner.txt", "b.lua\r\n\t*.lua");
  WriteFile("list.txt", "A.lua @sub\\inner.txt\n");
  WriteFile("empty.txt", " \r\n\t ");
  ASSERT_EQ(Discover("@list.txt"), "");
  // List tokens keep their case; the same file named twice is munged twice.
  EXPECT_EQ(tool.InputPaths(),
            (std::vector<std::string>{".\\A.lua", ".\\b.lua", ".\\a.lua", ".\\b.lua"}));
  tool.calls.clear();
  int errors = ErrorCount();
  EXPECT_EQ(Discover("@empty.txt"), "");
  EXPECT_TRUE(tool.calls.empty());
  EXPECT_EQ(ErrorCount(), errors);

  EXPECT_EQ(Discover("@missing.txt"), "Input file @missing.txt: can't load file.");
  EXPECT_EQ(Discover("@missing.txt", {"-continue"}), "");
  EXPECT_EQ(ErrorCount(), errors + 2);
}

TEST_F(InputDiscoveryTest, ListsThatNameThemselvesEndWithAnError) {
  WriteFile("a.lua", "");
  WriteFile("self.txt", "a.lua @SELF.TXT");
  WriteFile("one.txt", "@two.txt");
  WriteFile("two.txt", "@./one.txt a.lua");
  EXPECT_EQ(Discover("@self.txt"), "Input file @SELF.TXT: list names itself.");
  EXPECT_EQ(tool.calls.size(), 1u);
  EXPECT_EQ(Discover("@one.txt"), "Input file @./one.txt: list names itself.");
  tool.calls.clear();
  // With "-continue" the rest of the outer list goes on.
  EXPECT_EQ(Discover("@one.txt", {"-continue"}), "");
  EXPECT_EQ(tool.calls.size(), 1u);
}

TEST_F(InputDiscoveryTest, DeeplyNestedListsStopWithAnError) {
  const int depth = 2000;
  for (int i = 0; i < depth; ++i)
    WriteFile("l" + std::to_string(i) + ".txt", "@l" + std::to_string(i + 1) + ".txt");
  WriteFile("l" + std::to_string(depth) + ".txt", "a.lua");
  WriteFile("a.lua", "");
  std::string message = Discover("@l0.txt");
  EXPECT_NE(message.find("nested more than"), std::string::npos) << message;
  EXPECT_TRUE(tool.calls.empty());
}

}  // namespace
