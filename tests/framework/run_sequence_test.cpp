#include <gtest/gtest.h>

#include "framework/test_tool.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

using test_support::WriteFile;

class RunSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleLevel(1); }
  void TearDown() override { SetConsoleLevel(1); }

  void Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "prog");
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    tool.Run(static_cast<int32_t>(argv.size()), argv.data());
  }

  test_support::TempDir temp;
  TestTool tool;
};

TEST_F(RunSequenceTest, InputsAreWalkedInCommandLineOrderLowerCased) {
  WriteFile("a.lua", "");
  WriteFile("b.lua", "");
  WriteFile("c.lua", "");
  Run({"-quiet", "-INPUTFILE", "B.LUA", "A.lua", "-verbose", "c.lua", "-inputfile", "c.lua"});
  EXPECT_EQ(tool.InputPaths(), (std::vector<std::string>{".\\b.lua", ".\\a.lua", ".\\c.lua"}));
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(RunSequenceTest, OptionsAnywhereOnTheLineApplyToEveryInput) {
  WriteFile("a.lua", "");
  test_support::MakeDirs("out");
  Run({"-inputfile", "a.lua", "-outputdir", "out\\", "-text", "-quiet"});
  ASSERT_EQ(tool.calls.size(), 1u);
  EXPECT_TRUE(tool.calls[0].textOutput);
  EXPECT_TRUE(test_support::Exists("out/a.out"));
}

TEST_F(RunSequenceTest, AFatalErrorEndsTheWalkAndClosesTheLogs) {
  WriteFile("b.lua", "");
  Run({"-quiet", "-inputfile", "missing.lua", "b.lua"});
  EXPECT_TRUE(tool.calls.empty());
  EXPECT_EQ(ErrorCount(), 2);  // raised, then reported by the run
  // The tool log holds the header and the problem, and is closed.
  std::string log = test_support::NormalizeLineEnds(test_support::ReadFile("prog.log"));
  EXPECT_EQ(log.rfind("Logging ", 0), 0u) << log;
  EXPECT_NE(log.find("PROBLEM OCCURED(Error): "), std::string::npos) << log;
  EXPECT_NE(log.find("Input file .\\missing.lua does not exist.Input file .\\missing.lua "
                     "does not exist.\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(GetMungeLog(), nullptr);  // no folder for it under the drive root
}

TEST_F(RunSequenceTest, WithContinueTheWalkGoesOn) {
  WriteFile("b.lua", "");
  Run({"-quiet", "-continue", "-inputfile", "missing.lua", "b.lua"});
  EXPECT_EQ(tool.InputPaths(), std::vector<std::string>{".\\b.lua"});
  EXPECT_EQ(ErrorCount(), 1);
}

TEST_F(RunSequenceTest, OverrideDirectoriesComeFromTheCommandLinesPlatformDir) {
  test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", std::string("pc"));
  test_support::ScopedEnv entries("MUNGE_PLATFORM_OVERRIDE_STR", std::string("pc_low"));
  WriteFile("data/pc_low/a.lua", "");
  WriteFile("data/pc/a.lua", "");
  Run({"-quiet", "-platformdir", "DATA\\PC", "-inputfile", "a.lua"});
  EXPECT_EQ(tool.InputPaths(), std::vector<std::string>{"data\\pc_low\\.\\a.lua"});

  // Without "-platformdir" the variables are not read.
  TestTool other;
  const char* argv[] = {"prog", "-quiet", "-inputfile", "a.lua"};
  other.Run(4, argv);
  EXPECT_TRUE(other.overrideDirs.empty());
}

TEST_F(RunSequenceTest, ValuesWithoutAnInputOptionAreNotInputs) {
  WriteFile("a.lua", "");
  Run({"-quiet"});
  Run({"-quiet", "a.lua"});
  Run({"-quiet", "-inputfile"});
  Run({"a.lua", "-quiet", "-outputdir", "a.lua"});
  EXPECT_TRUE(tool.calls.empty());
  EXPECT_EQ(ErrorCount(), 0);
}

}  // namespace
