// The built program run as a user runs it, in a fresh directory, with the
// real compiler where the output depends on it.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <ostream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

using end_to_end::BinaryScriptFile;
using end_to_end::CompileWithLuac;
using end_to_end::CompilerTemporaries;
using end_to_end::Contains;
using end_to_end::ReadLog;
using end_to_end::RequirementsFile;
using end_to_end::RunTool;
using end_to_end::TextScriptFile;
using test_support::Exists;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

class EndToEndTest : public ::testing::Test {
 protected:
  test_support::TempDir temp;
  // The compiler is run with "-s" unless this is set.
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

const char* const kScript =
    "-- a small script\n"
    "local count = 0\n"
    "function Tick(step)\n"
    "  count = count + step\n"
    "  if count > 10 then print('done', count) end\n"
    "  return count\n"
    "end\n";

const char* const kShotScript =
    "function Start()\n"
    "  PlayCinematicShot('Intro01')\n"
    "  Wait(1) -- PlayCinematicShot('commented')\n"
    "  PlayCinematicShot('Pan2')\n"
    "  PlayCinematicShot('INTRO01')\n"
    "end\n";

// The usage text, with the program's name in both of its places.
std::string UsageText(const std::string& program) {
  return "This program is based on TOLVERAN. All TOLVERAN applications\n"
         "have the same command line format, and many options in common.\n"
         "General format:\n"
         "\n"
         "\t" + program + " -<option> <value>\n"
         "\n"
         "Any option must have a \"-\" in front of it.\n"
         "An option may be followed by any number of values.\n"
         "For example\n"
         "\n"
         "\t" + program + " -INPUTFILE FOO.TGA BAR.TGA\n"
         "\n"
         "Here, \"-INPUTFILE\" is the option, \"FOO\" is the first value\n"
         "of this option, and \"BAR\" is the second value.\n"
         "Some options do not require a value.\n"
         "\n"
         "Options may be specified on the command line, or in an option file.\n"
         "An option file has the same file name as an input file, but with the\n"
         "\".option\" file extension appended after the complete file name.\n"
         "For example, if an input file is named \"FOO.TGA\", then the matching\n"
         "option file would be named \"FOO.TGA.OPTION\"\n"
         "\n"
         "Available options in this build are:\n"
         "\n"
         "\toption\t\tvalue\tdescription\n"
         "\t------\t\t-----\t-----------\n"
         "\t-INPUTFILE\tfile\t(specify input files - wild cards \"*\" and \"?\"\n"
         "\t\t\t\tare allowed.  A wildcard preceded by \"!\" is\n"
         "\t\t\t\trecursively applied to all subdirectories - \n"
         "\t\t\t\tex. !props\\*.msh will search for props\\*.msh,\n"
         "\t\t\t\tprops\\*\\*.msh, etc.)\n"
         "\t-OUTPUTDIR\tdir\t(specify where to write output files)\n"
         "\t-SOURCEDIR\tdir\t(input files will be searched for relative\n"
         "\t\t\t\tto this base directory - defaults to \".\")\n"
         "\t-PLATFORMDIR\tdir\t(input and option files found relative\n"
         "\t\t\t\tto this base directory will override files with\n"
         "\t\t\t\tthe same relative path from -INPUTDIR)\n"
         "\t-TEXT\t\t\t(write to text format UCF file)\n"
         "\t-QUIET\t\t\t(suppress all messages except errors)\n"
         "\t-VERBOSE\t\t(use additional console output)\n"
         "\t-DEBUG\t\t\t(write debugging information to console)\n"
         "\t-CHECKDATE\t\t(only munge if output is out of date)\n"
         "\t-SKIP\t\t\t(do nothing - useful in option files)\n"
         "\t-CONTINUE\t\t(continue after error)\n"
         "\t-PLATFORM\t\t(xbox|ps2|pc - platform to generate data for)\n"
         "\n";
}

std::string Today() {
  std::time_t now = std::time(nullptr);
  char date[16];
  std::strftime(date, sizeof date, "%m/%d/%y", std::localtime(&now));
  return date;
}

// Checks the tool log's two header lines and returns what follows them.
std::string ToolLogAfterHeader(const std::string& dateBefore, const std::string& dateAfter) {
  std::string log = ReadLog("tolscript.log");
  std::smatch header;
  static const std::regex headerPattern(
      "Logging tolscript\n([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]([0-9]{2}/[0-9]{2}/[0-9]{2})\n");
  if (!std::regex_search(log, header, headerPattern,
                         std::regex_constants::match_continuous)) {
    ADD_FAILURE() << "tool log header: " << log;
    return log;
  }
  std::string date = header[2].str();
  EXPECT_TRUE(date == dateBefore || date == dateAfter) << date;
  return log.substr(static_cast<size_t>(header.length(0)));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  bool shown;
};

void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.name; }

class UsageTest : public EndToEndTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, UsageTextWhenNoInputIsNamed) {
  WriteFile("a.lua", kScript);
  std::string dateBefore = Today();
  test_support::ProgramRun run = RunTool(GetParam().args);
  std::string dateAfter = Today();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, GetParam().shown ? UsageText("tolscript") : "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ListNames("."), (std::vector<std::string>{"a.lua", "tolscript.log"}));
  EXPECT_EQ(ToolLogAfterHeader(dateBefore, dateAfter), "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UsageTest,
    ::testing::Values(UsageCase{"no_arguments", {}, true},
                      UsageCase{"a_value_before_any_option", {"a.lua"}, true},
                      UsageCase{"inputfile_without_a_value", {"-inputfile"}, true},
                      UsageCase{"inputfile_followed_by_an_option", {"-inputfile", "-text"}, true},
                      UsageCase{"value_of_another_option", {"-verbose", "a.lua"}, true},
                      UsageCase{"quiet_alone", {"-quiet"}, false}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

struct OutputCase {
  const char* name;
  std::vector<std::string> args;
  bool text;
};

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

class OutputFormTest : public EndToEndTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputFormTest, ScriptChunkHoldsTheStrippedCompiledCode) {
  REQUIRE_LUAC();
  WriteFile("tick.lua", kScript);
  std::string compiled = CompileWithLuac("tick.lua", {"-s"});
  std::vector<std::string> args{"-inputfile", "tick.lua"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  test_support::ProgramRun run = RunTool(args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Munging tick.lua\n");
  EXPECT_EQ(run.err, "");
  std::string expected =
      GetParam().text ? TextScriptFile("tick", compiled) : BinaryScriptFile("tick", compiled);
  EXPECT_EQ(ReadFile("tick.script"), expected);
  // No requirements file, no compiler or output temporaries.
  EXPECT_EQ(ListNames("."), (std::vector<std::string>{"tick.lua", "tick.script", "tolscript.log"}));
}

INSTANTIATE_TEST_SUITE_P(
    Options, OutputFormTest,
    ::testing::Values(OutputCase{"binary", {}, false},
                      OutputCase{"binary_with_b", {"-b"}, false},
                      OutputCase{"binary_with_t", {"-t"}, false},
                      OutputCase{"text", {"-text"}, true},
                      OutputCase{"text_with_t", {"-TEXT", "-T"}, true}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, AnEmptyScriptStillGetsAllThreeChunks) {
  REQUIRE_LUAC();
  WriteFile("empty.lua", "");
  std::string compiled = CompileWithLuac("empty.lua", {"-s"});
  test_support::ProgramRun run = RunTool({"-inputfile", "empty.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile("empty.script"), BinaryScriptFile("empty", compiled));
}

struct NamingCase {
  const char* name;
  std::string file;
  std::string value;
  std::string output;
  std::string scriptName;
  std::string munging;
};

void PrintTo(const NamingCase& c, std::ostream* out) { *out << c.name; }

class MixedCaseTest : public EndToEndTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(MixedCaseTest, NamesTheOutputAndTheScript) {
  REQUIRE_LUAC();
  const NamingCase& c = GetParam();
  WriteFile(c.file, kScript);
  std::string compiled = CompileWithLuac(c.file, {"-s"});
  test_support::ProgramRun run = RunTool({"-inputfile", c.value});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Munging " + c.munging + "\n");
  EXPECT_EQ(ReadFile(c.output), BinaryScriptFile(c.scriptName, compiled));
  // The output keeps exactly the case expected, no variant beside it.
  size_t slash = c.output.rfind('/');
  std::string dir = slash == std::string::npos ? "." : c.output.substr(0, slash);
  std::string outputName = c.output.substr(slash + 1);
  std::string inputName = c.file.substr(c.file.rfind('/') + 1);
  std::set<std::string> expected{inputName, outputName};
  if (dir == ".") expected.insert("tolscript.log");
  std::vector<std::string> names = ListNames(dir);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MixedCaseTest,
    ::testing::Values(
        // A command-line value is lowered: the file is found in any case
        // and the output is named from the lowered value.
        NamingCase{"plain_value", "Foo.LUA", "Foo.LUA", "foo.script", "foo", "foo.lua"},
        NamingCase{"plain_value_in_a_directory", "Sub/MiXed.Lua", "sub\\MIXED.lua",
                   "Sub/mixed.script", "mixed", "mixed.lua"},
        // A wildcard hands on the name as stored.
        NamingCase{"wildcard", "Foo.LUA", "*.lua", "Foo.script", "foo", "Foo.LUA"},
        NamingCase{"several_dots", "Intro.Part2.lua", "*.lua", "Intro.Part2.script",
                   "intro.part2", "Intro.Part2.lua"}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, CinematicsModeWritesTheShotRequirements) {
  REQUIRE_LUAC();
  // "-cinematics" comes from the option file of the second input and stays
  // in force for the third; the first is munged before it.
  WriteFile("before.lua", kShotScript);
  WriteFile("shots.lua", kShotScript);
  WriteFile("shots.lua.option", "-cinematics");
  WriteFile("plain.lua", kScript);
  std::string shotsCompiled = CompileWithLuac("shots.lua", {"-s"});
  std::string plainCompiled = CompileWithLuac("plain.lua", {"-s"});
  test_support::ProgramRun run =
      RunTool({"-inputfile", "before.lua", "shots.lua", "plain.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Munging before.lua\nMunging shots.lua\nMunging plain.lua\n");
  EXPECT_EQ(ReadFile("before.script"), BinaryScriptFile("before", shotsCompiled));
  EXPECT_FALSE(Exists("before.script.req"));
  EXPECT_EQ(ReadFile("shots.script"), BinaryScriptFile("shots", shotsCompiled));
  EXPECT_EQ(ReadFile("shots.script.req"), RequirementsFile({"intro01", "pan2"}));
  EXPECT_EQ(ReadFile("plain.script"), BinaryScriptFile("plain", plainCompiled));
  EXPECT_EQ(ReadFile("plain.script.req"), RequirementsFile({}));
  EXPECT_EQ(CompilerTemporaries(), std::vector<std::string>{});
}

TEST_F(EndToEndTest, CinematicsOnTheCommandLineWithTextOutput) {
  REQUIRE_LUAC();
  WriteFile("shots.lua", kShotScript);
  std::string compiled = CompileWithLuac("shots.lua", {"-s"});
  test_support::ProgramRun run = RunTool({"-inputfile", "shots.lua", "-CINEMATICS", "-text"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile("shots.script"), TextScriptFile("shots", compiled));
  EXPECT_EQ(ReadFile("shots.script.req"), RequirementsFile({"intro01", "pan2"}));
}

// Sources holding NUL bytes, which the compiler takes in comments and
// strings: the shot scan still reads every line to the end of the file.
struct NulSourceCase {
  const char* name;
  std::string source;
  std::vector<std::string> shots;
};

using namespace std::string_literals;

void PrintTo(const NulSourceCase& c, std::ostream* out) { *out << c.name; }

class NulSourceTest : public EndToEndTest, public ::testing::WithParamInterface<NulSourceCase> {};

TEST_P(NulSourceTest, CinematicsScanReadsPastEveryNul) {
  REQUIRE_LUAC();
  const NulSourceCase& c = GetParam();
  WriteFile("a.lua", c.source);
  std::string compiled = CompileWithLuac("a.lua", {"-s"});
  test_support::ProgramRun run = RunTool({"-inputfile", "a.lua", "-cinematics"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", compiled));
  EXPECT_EQ(ReadFile("a.script.req"), RequirementsFile(c.shots));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, NulSourceTest,
    ::testing::Values(
        NulSourceCase{"in_a_comment_line", "-- a\0b\nPlayCinematicShot('after')\n"s,
                      {"after"}},
        NulSourceCase{"in_a_string", "local s = 'x\0y'\nPlayCinematicShot('Next')\n"s,
                      {"next"}},
        NulSourceCase{"on_the_calls_line",
                      "PlayCinematicShot('one')\nlocal t = '\0' PlayCinematicShot('two')\n"s,
                      {"one", "two"}},
        NulSourceCase{"past_a_long_run_of_nuls",
                      "-- " + std::string(70000, '\0') + "\nPlayCinematicShot('far')\n", {"far"}}),
    [](const ::testing::TestParamInfo<NulSourceCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, AFailedCompileLeavesNothingAndContinueGoesOn) {
  REQUIRE_LUAC();
  WriteFile("broken.lua", "function Broken(\n  x = = 1\n");
  // Outputs of an earlier run go as well.
  WriteFile("broken.script", "old output");
  WriteFile("broken.script.req", "old requirements");
  WriteFile("good.lua", kScript);
  std::string compiled = CompileWithLuac("good.lua", {"-s"});
  test_support::ProgramRun run =
      RunTool({"-inputfile", "broken.lua", "good.lua", "-continue", "-cinematics"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "Munging broken.lua\n"
            "\n**** ERROR: luac returned 1\n"
            "ERROR reading processed script\n"
            "Munging good.lua\n");
  // The compiler's own message first, then the error as raised and as
  // reported by the continuing munge.
  EXPECT_TRUE(Contains(run.err, "broken.lua")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Error: Could not read input file.Error: Could not read input "
                                "file. [continuing]\n"))
      << run.err;
  EXPECT_EQ(ReadFile("good.script"), BinaryScriptFile("good", compiled));
  EXPECT_EQ(ReadFile("good.script.req"), RequirementsFile({}));
  EXPECT_EQ(ListNames("."), (std::vector<std::string>{"broken.lua", "good.lua", "good.script",
                                                      "good.script.req", "tolscript.log"}));
}

struct MissingCase {
  const char* name;
  std::vector<std::string> extraArgs;
  std::string out;
  std::string err;
  bool secondMunged;
};

void PrintTo(const MissingCase& c, std::ostream* out) { *out << c.name; }

class MissingInputTest : public EndToEndTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingInputTest, AMissingFirstInputOfTwo) {
  if (GetParam().secondMunged) REQUIRE_LUAC();
  WriteFile("b.lua", kScript);
  std::vector<std::string> args{"-inputfile", "a.lua", "b.lua"};
  args.insert(args.end(), GetParam().extraArgs.begin(), GetParam().extraArgs.end());
  std::string dateBefore = Today();
  test_support::ProgramRun run = RunTool(args);
  std::string dateAfter = Today();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_EQ(run.err, GetParam().err);
  EXPECT_EQ(Exists("b.script"), GetParam().secondMunged);
  std::string programPath = platform::MakeFullPath(TOLSCRIPT_PROGRAM).value_or("?");
  std::string problems = GetParam().err;
  // The log holds the messages without their console prefix.
  for (size_t at; (at = problems.find("Error: ")) != std::string::npos;) problems.erase(at, 7);
  EXPECT_EQ(ToolLogAfterHeader(dateBefore, dateAfter),
            "PROBLEM OCCURED(Error): " + programPath + "\n" + problems);
}

INSTANTIATE_TEST_SUITE_P(
    Continue, MissingInputTest,
    ::testing::Values(
        // Reported where it is raised and again where the run catches it.
        MissingCase{"ends_the_run",
                    {},
                    "",
                    "Error: Input file .\\a.lua does not exist."
                    "Error: Input file .\\a.lua does not exist.\n",
                    false},
        MissingCase{"with_continue",
                    {"-continue"},
                    "Munging b.lua\n",
                    "Error: Input file .\\a.lua does not exist. [continuing]\n",
                    true}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, CheckdateRebuildsOnlyAnOutOfDateOutput) {
  REQUIRE_LUAC();
  WriteFile("a.lua", kScript);
  std::vector<std::string> args{"-inputfile", "a.lua", "-checkdate"};
  test_support::ProgramRun first = RunTool(args);
  EXPECT_EQ(first.out, "Munging a.lua\n");
  std::string output = ReadFile("a.script");
  ASSERT_FALSE(output.empty());
  int64_t outputTime = test_support::GetMTime("a.script");

  // Nothing changed: up to date.
  test_support::ProgramRun second = RunTool(args);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(ReadFile("a.script"), output);
  EXPECT_EQ(test_support::GetMTime("a.script"), outputTime);

  test_support::SetMTime("a.lua", outputTime + 1);
  test_support::ProgramRun third = RunTool(args);
  EXPECT_EQ(third.exitCode, 0);
  EXPECT_EQ(third.out, "Munging a.lua\n");
  EXPECT_EQ(ReadFile("a.script"), output);
}

TEST_F(EndToEndTest, OutputdirCollectsTheOutputsOfSeveralDirectories) {
  REQUIRE_LUAC();
  WriteFile("src/one.lua", kScript);
  WriteFile("src/more/two.lua", kShotScript);
  test_support::MakeDirs("out");
  std::string oneCompiled = CompileWithLuac("src/one.lua", {"-s"});
  std::string twoCompiled = CompileWithLuac("src/more/two.lua", {"-s"});
  test_support::ProgramRun run = RunTool(
      {"-inputfile", "src\\one.lua", "src\\more\\two.lua", "-outputdir", "out\\", "-cinematics"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ListNames("out"), (std::vector<std::string>{"one.script", "one.script.req",
                                                        "two.script", "two.script.req"}));
  EXPECT_EQ(ReadFile("out/one.script"), BinaryScriptFile("one", oneCompiled));
  EXPECT_EQ(ReadFile("out/two.script.req"), RequirementsFile({"intro01", "pan2"}));
  EXPECT_EQ(ListNames("src"), (std::vector<std::string>{"more", "one.lua"}));
  EXPECT_EQ(ListNames("src/more"), std::vector<std::string>{"two.lua"});
  EXPECT_EQ(CompilerTemporaries(), std::vector<std::string>{});
}

TEST_F(EndToEndTest, RecursivePatternMungesTheWholeTree) {
  REQUIRE_LUAC();
  const std::vector<std::string> inputs{"a.lua", "Mixed.Lua", "sub/b.lua", "sub/deep/c.lua",
                                        "Tools/e.lua"};
  for (const std::string& input : inputs) WriteFile(input, kScript);
  WriteFile("sub/notes.txt", "not a script");
  std::string compiled = CompileWithLuac("a.lua", {"-s"});
  test_support::ProgramRun run = RunTool({"-inputfile", "!*.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The top directory first, then each subdirectory depth first.
  EXPECT_EQ(run.out,
            "Munging a.lua\nMunging Mixed.Lua\nMunging b.lua\nMunging c.lua\nMunging e.lua\n");
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", compiled));
  EXPECT_EQ(ReadFile("Mixed.script"), BinaryScriptFile("mixed", compiled));
  EXPECT_EQ(ReadFile("sub/b.script"), BinaryScriptFile("b", compiled));
  EXPECT_EQ(ReadFile("sub/deep/c.script"), BinaryScriptFile("c", compiled));
  EXPECT_EQ(ReadFile("Tools/e.script"), BinaryScriptFile("e", compiled));
  EXPECT_EQ(ListNames("sub"), (std::vector<std::string>{"b.lua", "b.script", "deep", "notes.txt"}));
}

}  // namespace
