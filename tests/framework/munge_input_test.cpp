#include <gtest/gtest.h>

#include "framework/test_tool.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

using test_support::Exists;
using test_support::ReadFile;
using test_support::SetMTime;
using test_support::WriteFile;

class MungeInputTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleLevel(0); }
  void TearDown() override { SetConsoleLevel(1); }

  // Runs the munge of a plain input under the given command line and
  // returns the message of the fatal error, or "" when there was none.
  std::string Munge(const std::string& name, const std::vector<std::string>& commandLine = {}) {
    tool.SetCommandLine(commandLine);
    try {
      tool.MungeInput(".", name);
    } catch (HandyException error) {
      return error.GetMessage();
    }
    return "";
  }

  test_support::TempDir temp;
  TestTool tool;
};

struct NamingCase {
  const char* name;
  std::string input;
  std::vector<std::string> commandLine;
  std::string output;
  std::string requirements;
  std::string mungedName;
};

class OutputNamingTest : public MungeInputTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(OutputNamingTest, OutputAndRequirementsPaths) {
  const NamingCase& c = GetParam();
  WriteFile(c.input, "source");
  test_support::MakeDirs("out");
  tool.requireSomething = true;
  ASSERT_EQ(Munge(c.input, c.commandLine), "");
  ASSERT_EQ(tool.calls.size(), 1u);
  EXPECT_EQ(tool.calls[0].name, c.mungedName);
  EXPECT_TRUE(Exists(c.output)) << c.output;
  EXPECT_TRUE(Exists(c.requirements)) << c.requirements;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OutputNamingTest,
    ::testing::Values(
        NamingCase{"beside_input", "a.lua", {}, "a.out", "a.out.req", "a"},
        NamingCase{"in_subdirectory", "sub/a.lua", {}, "sub/a.out", "sub/a.out.req", "a"},
        NamingCase{"output_dir_with_separator", "sub/a.lua", {"-outputdir", "out\\"},
                   "out/a.out", "out/a.out.req", "a"},
        NamingCase{"output_dir_without_separator_drops_its_last_part", "sub/a.lua",
                   {"-outputdir", "out\\ignored"}, "out/a.out", "out/a.out.req", "a"},
        NamingCase{"several_dots", "foo.bar.lua", {}, "foo.bar.out", "foo.bar.out.req", "foo.bar"},
        NamingCase{"no_extension", "plain", {}, "plain.out", "plain.out.req", "plain"},
        NamingCase{"upper_case_name_keeps_its_case_on_disk", "Foo.LUA", {}, "Foo.out",
                   "Foo.out.req", "foo"}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return std::string(info.param.name); });

TEST_F(MungeInputTest, WritesTheChosenFormAndDropsAnEmptyRequirementsFile) {
  WriteFile("a.lua", "x");
  WriteFile("a.out.req", "left from an earlier run");
  ASSERT_EQ(Munge("a.lua"), "");
  std::string binary = ReadFile("a.out");
  EXPECT_EQ(binary.substr(0, 4), "ucfb");
  EXPECT_EQ(binary.size(), 20u);  // root, "TEST" holding "a" and its NUL, padding
  EXPECT_FALSE(Exists("a.out.req"));

  ASSERT_EQ(Munge("a.lua", {"-text"}), "");
  EXPECT_EQ(ReadFile("a.out"), "\nucft\n{\n\tTEST\n\t{\n\t\t\"a\"\n\t}\n}");
  EXPECT_FALSE(Exists("a.out.req"));
  EXPECT_TRUE(tool.calls[1].textOutput);
}

TEST_F(MungeInputTest, OptionFileHoldsForItsInputOnly) {
  WriteFile("a.lua", "x");
  WriteFile("a.lua.option", "-text -outputdir out\\ -platform pc -inputfile b.lua -foo");
  WriteFile("b.lua", "x");
  test_support::MakeDirs("out");
  tool.platform = kPlatformXbox;
  ASSERT_EQ(Munge("a.lua", {"-continue"}), "");
  ASSERT_EQ(Munge("b.lua", {"-continue"}), "");
  ASSERT_EQ(tool.calls.size(), 2u);  // the option file's -inputfile adds nothing
  EXPECT_TRUE(tool.calls[0].textOutput);
  EXPECT_EQ(tool.calls[0].outputDir, "out\\");
  EXPECT_TRUE(Exists("out/a.out"));
  EXPECT_FALSE(tool.calls[1].textOutput);
  EXPECT_EQ(tool.calls[1].outputDir, "");
  EXPECT_TRUE(Exists("b.out"));
  EXPECT_EQ(tool.platform, kPlatformXbox);
  EXPECT_TRUE(tool.continueOnError);
  EXPECT_FALSE(tool.textOutput);
}

TEST_F(MungeInputTest, SkipAndLevelsFromAnOptionFile) {
  WriteFile("a.lua", "x");
  WriteFile("a.lua.option", "-skip -verbose");
  ASSERT_EQ(Munge("a.lua"), "");
  EXPECT_TRUE(tool.calls.empty());
  EXPECT_FALSE(Exists("a.out"));
  EXPECT_FALSE(tool.skipInput);
  // The level lasts when the command line names none ...
  EXPECT_EQ(ConsoleLevel(), 2);
  // ... and the command line's own level comes back when it does.
  ASSERT_EQ(Munge("a.lua", {"-quiet"}), "");
  EXPECT_EQ(ConsoleLevel(), 0);
}

TEST_F(MungeInputTest, UnreadableOptionFileFailsTheInput) {
  WriteFile("a.lua", "x");
  test_support::MakeDirs("a.lua.option");  // exists, cannot be loaded
  EXPECT_EQ(Munge("a.lua"), "Option file .\\a.lua.option: can't load file.");
  EXPECT_TRUE(tool.calls.empty());
  int errors = ErrorCount();
  EXPECT_EQ(Munge("a.lua", {"-continue"}), "");
  EXPECT_GT(ErrorCount(), errors);
  EXPECT_TRUE(tool.calls.empty());
}

struct DateCase {
  const char* name;
  int64_t input, output, option, tool;  // option 0: no option file
  bool outOfDate;
  bool munged;
};

class CheckDateTest : public MungeInputTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(CheckDateTest, MungesOnlyWhatIsOutOfDate) {
  const DateCase& c = GetParam();
  WriteFile("a.lua", "x");
  WriteFile("a.out", "old");
  SetMTime("a.lua", c.input);
  SetMTime("a.out", c.output);
  if (c.option != 0) {
    WriteFile("a.lua.option", "-foo");
    SetMTime("a.lua.option", c.option);
  }
  tool.outOfDate = c.outOfDate;
  tool.SetCommandLine({"-checkdate"});
  tool.toolFileTime = c.tool * 1000000000;
  tool.MungeInput(".", "a.lua");
  EXPECT_EQ(tool.calls.size(), c.munged ? 1u : 0u);
  EXPECT_EQ(ReadFile("a.out") == "old", !c.munged);
}

INSTANTIATE_TEST_SUITE_P(
    Times, CheckDateTest,
    ::testing::Values(DateCase{"equal_is_up_to_date", 1000, 1000, 0, 500, false, false},
                      DateCase{"one_second_older", 1000, 999, 0, 500, false, true},
                      DateCase{"newer_output", 1000, 2000, 0, 500, false, false},
                      DateCase{"older_than_the_tool", 1000, 1500, 0, 1501, false, true},
                      DateCase{"as_old_as_the_tool", 1000, 1500, 0, 1500, false, false},
                      DateCase{"option_file_newer", 1000, 1500, 1501, 500, false, true},
                      DateCase{"option_file_equal", 1000, 1500, 1500, 500, false, false},
                      DateCase{"tool_says_out_of_date", 1000, 1500, 0, 500, true, true},
                      DateCase{"far_future_times", 1000, 4102444800LL, 0, 500, false, false}),
    [](const ::testing::TestParamInfo<DateCase>& info) { return std::string(info.param.name); });

TEST_F(MungeInputTest, WithoutCheckDateEverythingIsMunged) {
  WriteFile("a.lua", "x");
  WriteFile("a.out", "old");
  SetMTime("a.lua", 1000);
  SetMTime("a.out", 5000);
  ASSERT_EQ(Munge("a.lua"), "");
  EXPECT_EQ(tool.calls.size(), 1u);
  // A missing output is always made, also under "-checkdate".
  WriteFile("b.lua", "x");
  ASSERT_EQ(Munge("b.lua", {"-checkdate"}), "");
  EXPECT_EQ(tool.calls.size(), 2u);
}

TEST_F(MungeInputTest, FailedConversionLeavesNothingAndRestoresOptions) {
  WriteFile("a.lua", "x");
  WriteFile("a.lua.option", "-text");
  WriteFile("a.out", "from an earlier run");
  WriteFile("a.out.req", "from an earlier run");
  tool.failingNames = {"a"};
  tool.requireSomething = true;
  EXPECT_EQ(Munge("a.lua"), "conversion of a failed");
  EXPECT_FALSE(Exists("a.out"));
  EXPECT_FALSE(Exists("a.out.req"));
  EXPECT_EQ(test_support::ListNames("."), (std::vector<std::string>{"a.lua", "a.lua.option"}));
  EXPECT_FALSE(tool.textOutput);  // restored before the error went on

  int errors = ErrorCount();
  EXPECT_EQ(Munge("a.lua", {"-continue"}), "");
  EXPECT_GT(ErrorCount(), errors);
  EXPECT_TRUE(tool.continueOnError);
  EXPECT_FALSE(tool.textOutput);
}

TEST_F(MungeInputTest, ContinueFromAnOptionFileDoesNotCoverItsOwnFailure) {
  WriteFile("a.lua", "x");
  WriteFile("a.lua.option", "-continue");
  tool.failingNames = {"a"};
  EXPECT_EQ(Munge("a.lua"), "conversion of a failed");
}

TEST_F(MungeInputTest, MissingInputNamesTheLastCandidate) {
  EXPECT_EQ(Munge("nope.lua"), "Input file .\\nope.lua does not exist.");
  EXPECT_EQ(Munge("nope.lua", {"-sourcedir", "src"}), "Input file src\\.\\nope.lua does not exist.");
  int errors = ErrorCount();
  EXPECT_EQ(Munge("nope.lua", {"-continue"}), "");
  EXPECT_EQ(ErrorCount(), errors + 1);
}

TEST_F(MungeInputTest, MissingOutputDirectoryFailsTheInput) {
  WriteFile("a.lua", "x");
  std::string message = Munge("a.lua", {"-outputdir", "missing\\"});
  EXPECT_EQ(message.rfind("Could not open missing\\a.out for output. DOS reports:\n", 0), 0u)
      << message;
  EXPECT_TRUE(tool.calls.empty());
}

TEST_F(MungeInputTest, InputsAreFoundInTheRootsInTheirOrder) {
  WriteFile("ov1/d/a.lua", "1");
  WriteFile("plat/d/a.lua", "p");
  WriteFile("src/d/a.lua", "s");
  WriteFile("plat/d/b.lua", "p");
  WriteFile("src/d/b.lua", "s");
  WriteFile("src/d/c.lua", "s");
  // The option file is looked for on its own: here only the source has one.
  WriteFile("src/d/a.lua.option", "-text");
  tool.SetCommandLine({"-sourcedir", "src", "-platformdir", "plat"});
  tool.overrideDirs = {ToolString("ov0"), ToolString("ov1")};
  for (const char* name : {"a.lua", "b.lua", "c.lua"}) tool.MungeInput("d", name);
  EXPECT_EQ(tool.InputPaths(),
            (std::vector<std::string>{"ov1\\d\\a.lua", "plat\\d\\b.lua", "src\\d\\c.lua"}));
  EXPECT_TRUE(tool.calls[0].textOutput);
  EXPECT_TRUE(Exists("ov1/d/a.out"));  // beside the copy that was read
}

}  // namespace
