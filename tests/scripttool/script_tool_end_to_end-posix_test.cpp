// End-to-end cases that need POSIX: a fake compiler written as a shell
// script, control over PATH, and paths under the drive root.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <regex>
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
using end_to_end::RunTool;
using test_support::Exists;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

// Appends a line "call" and then one "[arg]" line per argument to
// $FAKE_LUAC_LOG, writes $FAKE_LUAC_BYTES to the file named after "-o"
// ("-": standard output) unless the input's name holds "silent", and
// exits with $FAKE_LUAC_STATUS.
const char* const kFakeLuac =
    "#!/bin/sh\n"
    "{ echo call; for arg in \"$@\"; do printf '[%s]\\n' \"$arg\"; done; } >> \"$FAKE_LUAC_LOG\"\n"
    "out= input=\n"
    "while [ $# -gt 0 ]; do\n"
    "  if [ \"$1\" = -o ]; then out=$2; fi\n"
    "  input=$1\n"
    "  shift\n"
    "done\n"
    "[ \"$out\" = - ] && out=/dev/stdout\n"
    "case $input in *silent*) ;; *) printf '%s' \"$FAKE_LUAC_BYTES\" > \"$out\" ;; esac\n"
    "exit \"${FAKE_LUAC_STATUS:-0}\"\n";

class FakeCompilerTest : public ::testing::Test {
 protected:
  FakeCompilerTest() {
    // Outside the run's directory, so that only the program's files are there.
    WriteFile(tools.Path() + "/bin/luac", kFakeLuac);
    chmod((tools.Path() + "/bin/luac").c_str(), 0755);
    run.emplace();
  }

  // Each compiler call, as the list of its arguments.
  std::vector<std::vector<std::string>> CompilerCalls() const {
    std::vector<std::vector<std::string>> calls;
    std::string log = ReadFile(logPath);
    size_t start = 0;
    while (start < log.size()) {
      size_t end = log.find('\n', start);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(start, end - start);
      start = end + 1;
      if (line == "call") {
        calls.emplace_back();
      } else if (!calls.empty() && line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        calls.back().push_back(line.substr(1, line.size() - 2));
      } else {
        ADD_FAILURE() << "unexpected compiler log line: " << line;
      }
    }
    return calls;
  }

  test_support::TempDir tools;
  std::string logPath = tools.Path() + "/luac-calls.txt";
  test_support::ScopedEnv path{"PATH",
                              tools.Path() + "/bin:" + platform::GetEnv("PATH").value_or("")};
  test_support::ScopedEnv log{"FAKE_LUAC_LOG", logPath};
  test_support::ScopedEnv bytes{"FAKE_LUAC_BYTES", std::string("compiled")};
  test_support::ScopedEnv status{"FAKE_LUAC_STATUS", std::nullopt};
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
  // The directory the program runs in; made after `tools`, so current.
  std::optional<test_support::TempDir> run;
};

struct ArgumentCase {
  const char* name;
  std::string file;
  std::optional<std::string> debugSymbols;
  std::vector<std::string> options;
};

void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

class CompilerArgumentsTest : public FakeCompilerTest,
                              public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(CompilerArgumentsTest, TheCompilerGetsEachArgumentWhole) {
  const ArgumentCase& c = GetParam();
  test_support::ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", c.debugSymbols);
  WriteFile(c.file, "print('x')\n");
  test_support::ProgramRun result = RunTool({"-inputfile", c.file});
  EXPECT_EQ(result.exitCode, 0) << result.err;

  std::vector<std::vector<std::string>> calls = CompilerCalls();
  ASSERT_EQ(calls.size(), 1u) << ReadFile(logPath);
  std::vector<std::string> call = calls[0];
  ASSERT_EQ(call.size(), c.options.size() + 3) << ReadFile(logPath);
  std::vector<std::string> options(call.begin(),
                                   call.begin() + static_cast<long>(c.options.size()));
  EXPECT_EQ(options, c.options);
  EXPECT_EQ(call[c.options.size()], "-o");
  // The compiled code comes through standard output.
  EXPECT_EQ(call[c.options.size() + 1], "-");
  EXPECT_EQ(call[c.options.size() + 2], "./" + c.file);

  // Nothing of the name was run as a command.
  EXPECT_FALSE(Exists("pwned"));
  EXPECT_FALSE(Exists(tools.Path() + "/pwned"));
  std::string base = c.file.substr(0, c.file.size() - 4);
  EXPECT_EQ(ReadFile(base + ".script"), BinaryScriptFile(base, "compiled"));
  std::vector<std::string> expected{c.file, base + ".script", "tolscript.log"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListNames("."), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CompilerArgumentsTest,
    ::testing::Values(
        ArgumentCase{"stripped", "a.lua", std::nullopt, {"-s"}},
        ArgumentCase{"debug_symbols", "a.lua", std::string("1"), {}},
        ArgumentCase{"debug_symbols_set_empty", "a.lua", std::string(""), {}},
        ArgumentCase{"blanks_and_command_substitution", "a b $(touch pwned); c.lua", std::nullopt,
                     {"-s"}},
        ArgumentCase{"quotes_backquotes_and_pipes",
                     "it's \"q\" `touch pwned` | & > x.lua", std::nullopt, {"-s"}}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(FakeCompilerTest, AFailingCompilerThatLeftAFileFailsTheConversion) {
  test_support::ScopedEnv failing("FAKE_LUAC_STATUS", std::string("1"));
  WriteFile("a.lua", "print('a')\n");
  WriteFile("b.lua", "print('b')\n");
  test_support::ProgramRun result =
      RunTool({"-inputfile", "a.lua", "b.lua", "-cinematics", "-jobs", "1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out,
            "Munging a.lua\n"
            "\n**** ERROR: luac returned 1\n"
            "ERROR reading processed script\n");
  EXPECT_EQ(result.err, "Error: Could not read input file.Error: Could not read input file.\n");
  // No output, no requirements file, no temporary; b.lua not reached.
  EXPECT_EQ(CompilerCalls().size(), 1u);
  EXPECT_EQ(ListNames("."), (std::vector<std::string>{"a.lua", "b.lua", "tolscript.log"}));
}

// A compiler that reports success but writes nothing gives no output:
// the last script's compiled code is never taken for it.
TEST_F(FakeCompilerTest, ACompilerThatWritesNothingFailsThatConversionOnly) {
  WriteFile("a.lua", "print('a')\n");
  WriteFile("b_silent.lua", "print('b')\n");
  WriteFile("c.lua", "print('c')\n");
  test_support::ProgramRun result = RunTool({"-inputfile", "*.lua", "-continue"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(Contains(result.out, "ERROR reading processed script\n")) << result.out;
  ASSERT_EQ(CompilerCalls().size(), 3u);
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", "compiled"));
  EXPECT_FALSE(Exists("b_silent.script"));
  EXPECT_EQ(ReadFile("c.script"), BinaryScriptFile("c", "compiled"));
  EXPECT_TRUE(CompilerTemporaries().empty());
}

TEST(MissingCompilerTest, FailsTheConversionCleanly) {
  test_support::TempDir emptyBin;
  test_support::ScopedEnv path("PATH", emptyBin.Path());
  test_support::TempDir temp;
  WriteFile("a.lua", "print('a')\n");
  test_support::ProgramRun result = RunTool({"-inputfile", "a.lua"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out.rfind("Munging a.lua\n\n**** ERROR: luac", 0), 0u) << result.out;
  EXPECT_TRUE(Contains(result.out, "\nERROR reading processed script\n")) << result.out;
  EXPECT_TRUE(Contains(result.err, "Error: Could not read input file.")) << result.err;
  EXPECT_EQ(ListNames("."), (std::vector<std::string>{"a.lua", "tolscript.log"}));
}

class RealCompilerTest : public ::testing::Test {
 protected:
  test_support::TempDir temp;
};

TEST_F(RealCompilerTest, DebugSymbolsKeepTheCompilersDebugInformation) {
  REQUIRE_LUAC();
  WriteFile("a.lua", "local x = 1\nfunction F(y)\n  return x + y\nend\n");
  // The compiled code names its source as the compiler was given it.
  std::string stripped = CompileWithLuac("./a.lua", {"-s"});
  std::string full = CompileWithLuac("./a.lua", {});
  ASSERT_NE(stripped, full);
  for (const char* value : {"1", ""}) {
    test_support::ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", std::string(value));
    test_support::ProgramRun run = RunTool({"-inputfile", "a.lua"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", full)) << "value \"" << value << "\"";
  }
  test_support::ScopedEnv noDebugSymbols("LUA_DEBUG_SYMBOLS", std::nullopt);
  test_support::ProgramRun run = RunTool({"-inputfile", "a.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", stripped));
  EXPECT_EQ(CompilerTemporaries(), std::vector<std::string>{});
}

TEST(DriveRootTest, DriveAndRootedPathsLiveUnderTheDriveRoot) {
  REQUIRE_LUAC();
  test_support::ScopedEnv noDebugSymbols("LUA_DEBUG_SYMBOLS", std::nullopt);
  test_support::TempDir drive;
  test_support::TempDir work;
  test_support::ScopedEnv driveRoot("MUNGE_DRIVE_ROOT", drive.Path());
  WriteFile(drive.Path() + "/Src/a.lua", "print('a')\n");
  test_support::MakeDirs(drive.Path() + "/munged");
  std::string compiled = CompileWithLuac(drive.Path() + "/Src/a.lua", {"-s"});
  test_support::ProgramRun run =
      RunTool({"-inputfile", "a.lua", "-sourcedir", "\\src", "-outputdir", "C:\\Munged\\"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(drive.Path() + "/munged/a.script"), BinaryScriptFile("a", compiled));
  EXPECT_EQ(ListNames(drive.Path() + "/Src"), std::vector<std::string>{"a.lua"});
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"tolscript.log"});
}

// Where names are looked for, as the README warns: list paths from the
// current folder, a plain value under the roots even with a leading '/',
// and the marker variable compared in its exact letter case.
TEST(LookupPitfallsTest, BehaveAsTheReadmeSays) {
  REQUIRE_LUAC();
  test_support::ScopedEnv noDebugSymbols("LUA_DEBUG_SYMBOLS", std::nullopt);
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::optional<std::string> marker;  // MUNGE_PLATFORM_DIR_STR
    std::vector<std::string> args;      // "{temp}" stands for the run's folder
    int exitCode;
    std::string output;  // made from `source`; nothing made when empty
    std::string source;
    std::string err;  // a part of standard error
  };
  const std::string kList = "lists/outer.txt";
  const Case cases[] = {
      {"nested_list_from_the_current_folder",
       {{kList, "@lists/inner.txt\n"}, {"lists/inner.txt", "a.lua\n"}, {"src/a.lua", "return 1\n"}},
       std::nullopt, {"-inputfile", "@" + kList, "-sourcedir", "src"}, 0, "src/a.script",
       "src/a.lua", ""},
      {"nested_list_not_from_the_lists_folder",
       {{kList, "@inner.txt\n"}, {"lists/inner.txt", "a.lua\n"}, {"src/a.lua", "return 1\n"}},
       std::nullopt, {"-inputfile", "@" + kList, "-sourcedir", "src"}, 1, "", "",
       "Input file @inner.txt: can't load file."},
      {"plain_value_with_a_leading_slash", {{"abs/a.lua", "return 1\n"}}, std::nullopt,
       {"-inputfile", "{temp}/abs/a.lua"}, 1, "", "",
       "Input file .\\{temp}/abs/a.lua does not exist."},
      {"wildcard_with_a_leading_slash", {{"abs/a.lua", "return 1\n"}}, std::nullopt,
       {"-inputfile", "{temp}/abs/*.lua"}, 0, "abs/a.script", "abs/a.lua", ""},
      {"marker_in_upper_case_never_matches",
       {{"plat/pc/a.lua", "return 'platform'\n"}, {"plat/ovr/a.lua", "return 'override'\n"}},
       "PC", {"-inputfile", "a.lua", "-platformdir", "plat\\pc", "-outputdir", "out\\"}, 0,
       "out/a.script", "plat/pc/a.lua", ""},
      {"marker_in_lower_case",
       {{"plat/pc/a.lua", "return 'platform'\n"}, {"plat/ovr/a.lua", "return 'override'\n"}},
       "pc", {"-inputfile", "a.lua", "-platformdir", "plat\\pc", "-outputdir", "out\\"}, 0,
       "out/a.script", "plat/ovr/a.lua", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir temp;
    test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", c.marker);
    test_support::ScopedEnv overrides("MUNGE_PLATFORM_OVERRIDE_STR", std::string("ovr"));
    for (const auto& [path, content] : c.files) WriteFile(path, content);
    test_support::MakeDirs("out");
    auto withTemp = [&temp](std::string text) {
      for (size_t at; (at = text.find("{temp}")) != std::string::npos;)
        text.replace(at, 6, temp.Path());
      return text;
    };
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(withTemp(arg));
    test_support::ProgramRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_TRUE(Contains(run.err, withTemp(c.err))) << run.err;
    if (!c.output.empty()) {
      EXPECT_EQ(ReadFile(c.output), BinaryScriptFile("a", CompileWithLuac(c.source, {"-s"})));
    }
    EXPECT_EQ(ListNames("out").empty(), c.output.rfind("out/", 0) != 0);
  }
}

// The munge log lives at Corvantis/Data under the drive root, which the
// test directory is.
class MungeLogTest : public ::testing::TestWithParam<bool> {
 protected:
  test_support::TempDir temp;
};

TEST_P(MungeLogTest, CollectsTheProblemsOfEveryRunWhenItsFolderExists) {
  bool folderExists = GetParam();
  if (folderExists) test_support::MakeDirs("Corvantis/Data");
  std::string programPath = platform::MakeFullPath(TOLSCRIPT_PROGRAM).value_or("?");
  std::string expected;
  for (const std::string input : {"first.lua", "second.lua"}) {
    test_support::ProgramRun run = RunTool({"-inputfile", input});
    EXPECT_EQ(run.exitCode, 1);
    std::string message = "Input file .\\" + input + " does not exist.";
    expected += "PROBLEM OCCURED(Error): " + programPath + "\n" + message + message + "\n";
  }
  if (folderExists) {
    EXPECT_EQ(ReadLog("Corvantis/Data/MungeLog.txt"), expected);
  } else {
    EXPECT_FALSE(Exists("Corvantis"));
  }
  // The tool log holds the last run only.
  EXPECT_TRUE(Contains(ReadLog("tolscript.log"), "second.lua"));
  EXPECT_FALSE(Contains(ReadLog("tolscript.log"), "first.lua"));
}

INSTANTIATE_TEST_SUITE_P(Folder, MungeLogTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "present" : "missing");
                         });

}  // namespace
