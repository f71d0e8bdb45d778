#include <gtest/gtest.h>

#include "framework/test_tool.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleLevel(1); }
  void TearDown() override { SetConsoleLevel(1); }
  TestTool tool;
};

int PlatformOf(const std::vector<std::string>& arguments) {
  TestTool tool;
  std::vector<const char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(a.c_str());
  tool.ParsePlatform(static_cast<int32_t>(pointers.size()), pointers.data());
  return tool.platform;
}

TEST_F(OptionsTest, PlatformCodes) {
  EXPECT_EQ(PlatformOf({"-Platform", "XBOX"}), kPlatformXbox);
  EXPECT_EQ(PlatformOf({"-platform", "ps2", "xbox"}), kPlatformXbox);
  EXPECT_EQ(PlatformOf({"-platform", "pc"}), kPlatformPc);
  EXPECT_EQ(PlatformOf({"-platform", "ps2"}), kPlatformPs2);
  EXPECT_EQ(PlatformOf({"-platform", "other"}), kPlatformNone);
  EXPECT_EQ(PlatformOf({"-platform", "pc", "-platform"}), kPlatformPc);
  EXPECT_EQ(PlatformOf({"pc"}), kPlatformNone);
  EXPECT_EQ(PlatformOf({}), kPlatformNone);
}

TEST_F(OptionsTest, ValuesAreGroupedLoweredAndTheLastWins) {
  tool.Parse({"stray", "-OutputDir", "C:\\Data", "-sourcedir", "a", "b", "-text"});
  EXPECT_TRUE(tool.outputDir == "c:\\data");
  EXPECT_TRUE(tool.sourceDir == "b");
  EXPECT_TRUE(tool.textOutput);
  tool.Parse({"-outputdir"});
  EXPECT_FALSE(tool.outputDir.NotEmpty());
  // A value cannot begin with '-': it is an option of its own.
  tool.Parse({"-platformdir", "-x"});
  EXPECT_FALSE(tool.platformDir.NotEmpty());
  EXPECT_EQ(tool.toolOptions, std::vector<std::string>{"-x="});
}

TEST_F(OptionsTest, FlagsLevelsAndToolOptions) {
  tool.Parse({"-checkdate", "yes", "no", "-skip", "-continue", "-quiet", "-verbose"});
  EXPECT_TRUE(tool.checkDate);
  EXPECT_TRUE(tool.skipInput);
  EXPECT_TRUE(tool.continueOnError);
  EXPECT_EQ(ConsoleLevel(), 2);
  tool.Parse({"-DEBUG"});
  EXPECT_EQ(ConsoleLevel(), 3);

  tool.Parse({"-cinematics", "-Foo", "Bar", "Baz", "--verbose", "-inputfile", "x.lua",
              "-platform", "pc"});
  EXPECT_EQ(tool.toolOptions,
            (std::vector<std::string>{"-cinematics=", "-foo=bar", "-foo=baz", "--verbose="}));
  EXPECT_EQ(tool.platform, kPlatformNone);  // "-platform" is passed over
  EXPECT_EQ(ConsoleLevel(), 3);
}

TEST_F(OptionsTest, ResetLeavesLevelAndPlatformAndCallsTheTool) {
  tool.Parse({"-text", "-skip", "-continue", "-checkdate", "-outputdir", "o", "-sourcedir", "s",
              "-platformdir", "p", "-quiet"});
  tool.platform = kPlatformPc;
  int resetsBefore = tool.resets;
  tool.ResetStandardOptions();
  EXPECT_EQ(tool.resets, resetsBefore + 1);
  EXPECT_FALSE(tool.textOutput || tool.skipInput || tool.continueOnError || tool.checkDate);
  EXPECT_FALSE(tool.outputDir.NotEmpty() || tool.sourceDir.NotEmpty() ||
               tool.platformDir.NotEmpty());
  EXPECT_EQ(ConsoleLevel(), 0);
  EXPECT_EQ(tool.platform, kPlatformPc);
}

TEST_F(OptionsTest, AnOptionFilesTokensApplyOnTopOfTheCommandLine) {
  tool.SetCommandLine({"-outputdir", "out", "-checkdate"});
  tool.Parse({"-text", "-outputdir", "other"});
  EXPECT_TRUE(tool.checkDate);
  EXPECT_TRUE(tool.textOutput);
  EXPECT_TRUE(tool.outputDir == "other");
}

struct OverrideCase {
  const char* name;
  std::string platformDir;
  std::optional<std::string> marker;
  std::optional<std::string> entries;
  std::vector<std::string> expected;
};

class OverrideDirsTest : public ::testing::TestWithParam<OverrideCase> {};

TEST_P(OverrideDirsTest, MarkerIsReplacedByEachEntry) {
  const OverrideCase& c = GetParam();
  test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", c.marker);
  test_support::ScopedEnv entries("MUNGE_PLATFORM_OVERRIDE_STR", c.entries);
  TestTool tool;
  tool.platformDir = ToolString(c.platformDir.c_str());
  tool.BuildOverrideDirs();
  std::vector<std::string> got;
  for (const ToolString& dir : tool.overrideDirs) got.push_back(dir.Text());
  EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, OverrideDirsTest,
    ::testing::Values(
        OverrideCase{"found", "data\\pc", "pc", "pc_low;;pc_demo", {"data\\pc_low", "data\\pc_demo"}},
        OverrideCase{"capital_marker_never_matches", "data\\pc", "PC", "x", {}},
        OverrideCase{"unset_marker_prefixes", "p", std::nullopt, "x;y", {"xp", "yp"}},
        OverrideCase{"empty_marker_prefixes", "p", "", "x;y", {"xp", "yp"}},
        OverrideCase{"first_occurrence_only", "pc\\pc", "pc", "ov", {"ov\\pc"}},
        OverrideCase{"no_entries", "data\\pc", "pc", std::nullopt, {}},
        OverrideCase{"more_than_ten",
                     "d\\pc", "pc", "a;b;c;d;e;f;g;h;i;j;k;l",
                     {"d\\a", "d\\b", "d\\c", "d\\d", "d\\e", "d\\f", "d\\g", "d\\h", "d\\i",
                      "d\\j", "d\\k", "d\\l"}}),
    [](const ::testing::TestParamInfo<OverrideCase>& info) { return std::string(info.param.name); });

}  // namespace
