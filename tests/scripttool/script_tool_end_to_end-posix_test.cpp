// The built program with a fake compiler, a shell script first on PATH that
// records its arguments, or with none at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "support/test_support.h"

namespace {

using namespace test_support;
using namespace std::string_literals;

// Appends its arguments as "[arg]" and a line end to $FAKE_LUAC_LOG in one
// write, the random part of a temporary name left out; writes "compiled" to
// the file after "-o", or nothing when the input's name holds "silent", or
// makes no file when it holds "none"; and
// exits with $FAKE_LUAC_STATUS, or is killed, after a line on each of its
// standard output and error; or leaves a FIFO there and succeeds.
const char* const kFakeLuac =
    "#!/bin/sh\n"
    "for input; do\n"
    "  if [ \"$last\" = -o ]; then out=$input; line=\"$line[${out%.tmp*}.tmp]\";\n"
    "  else line=\"$line[$input]\"; fi; last=$input\n"
    "done\n"
    "printf '%s\\n' \"$line\" >> \"$FAKE_LUAC_LOG\"\n"
    "case $input in *silent*) : > \"$out\" ;; *none*) ;; *) printf compiled > \"$out\" ;; esac\n"
    "[ \"$FAKE_LUAC_STATUS\" = fifo ] && { command -p rm \"$out\"; command -p mkfifo \"$out\"; exit 0; }\n"
    "[ -z \"$FAKE_LUAC_STATUS\" ] ||\n"
    "  { echo \"luac says: $input\"; echo \"luac warns: $input\" >&2; }\n"
    "[ \"$FAKE_LUAC_STATUS\" = killed ] && kill -9 $$\n"
    "exit \"${FAKE_LUAC_STATUS:-0}\"\n";

// The line the fake compiler logs for input `name`.lua, stripped or not.
std::string Call(const std::string& name, bool stripped = true) {
  return (stripped ? "[-s]" : "") + "[-o][./"s + name + ".script.tmp][./" + name + ".lua]\n";
}

TEST(FakeCompilerTest, TheProgramTellsEveryFailureOfItsCompiler) {
  TempDir tools;  // outside the run's folder, so that only the program's files are there
  WriteProgram("bin/luac", kFakeLuac);
  MakeDirs("empty");
  const std::string log = tools.Path() + "/calls.txt";
  ScopedEnv logPath("FAKE_LUAC_LOG", log);
  ScopedEnv shortPause("TOLSCRIPT_FAILURE_PAUSE_MS", std::string("10"));
  const std::string failed = "Error: Could not read input file.";
  const struct {
    const char* bin;  // the folder PATH names
    std::optional<std::string> status, debugSymbols;
    std::vector<std::string> args, outputs;
    std::string out, err, calls;
  } cases[] = {
      {"bin", {}, "", {"-inputfile", "a.lua"}, {"a.script"}, "Munging a.lua\n", "", Call("a", false)},
      // Work started ahead for an input named again is kept when its first
      // turn writes the output.
      {"bin", {}, {}, {"-inputfile", "a.lua", "a.lua", "-jobs", "4"}, {"a.script"},
       "Munging a.lua\nMunging a.lua\n", "", Call("a") + Call("a")},
      // The bytes it wrote before it failed are no script; c.lua is not reached.
      {"bin", "1", {}, {"-inputfile", "a.lua", "c.lua", "-cinematics", "-jobs", "1"}, {},
       "Munging a.lua\nluac says: ./a.lua\n\n**** ERROR: luac returned 1\n"
       "ERROR reading processed script\n",
       "luac warns: ./a.lua\n" + failed + failed + "\n", Call("a")},
      {"bin", "killed", {}, {"-inputfile", "a.lua"}, {},
       "Munging a.lua\nluac says: ./a.lua\n\n**** ERROR: luac was ended by signal 9\n"
       "ERROR reading processed script\n",
       "luac warns: ./a.lua\n" + failed + failed + "\n", Call("a")},
      // A FIFO for code is read as no code, without waiting for a writer.
      {"bin", "fifo", {}, {"-inputfile", "a.lua"}, {}, "Munging a.lua\nERROR reading processed script\n",
       failed + failed + "\n", Call("a")},
      // An empty file is an empty body; success without a file is no
      // script, and never an earlier one's.
      {"bin", {}, {}, {"-inputfile", "*.lua", "a.lua", "-continue"},
       {"a.script", "b_silent.script", "c.script"},
       "Munging a.lua\nMunging b_silent.lua\nMunging c.lua\nMunging d_none.lua\n"
       "ERROR reading processed script\nMunging a.lua\n",
       failed + failed + " [continuing]\n",
       Call("a") + Call("b_silent") + Call("c") + Call("d_none") + Call("a")},
      {"empty", {}, {}, {"-inputfile", "a.lua"}, {},
       "Munging a.lua\n\n**** ERROR: luac could not be run: luac: " + std::string(strerror(ENOENT)) +
           "\nERROR reading processed script\n",
       failed + failed + "\n", ""},
  };
  auto start = std::chrono::steady_clock::now();
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.bin);
    ScopedEnv path("PATH", tools.Path() + "/" + c.bin);
    ScopedEnv status("FAKE_LUAC_STATUS", c.status);
    ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", c.debugSymbols);
    WriteFile(log, "");
    TempDir run;
    std::vector<std::string> names{"a.lua", "b_silent.lua", "c.lua", "d_none.lua", "tolscript.log"};
    for (size_t i = 0; i < 4; ++i) WriteFile(names[i], "print('x')\n");
    ProgramRun result = RunTolscript(c.args);
    EXPECT_EQ(result.exitCode, c.err.empty() ? 0 : 1);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    // Each input compiled once at each of its turns, never once more.
    EXPECT_EQ(LinesOf(ReadFile(log)), LinesOf(c.calls));
    for (const std::string& output : c.outputs) {
      bool silent = output.find("silent") != std::string::npos;
      EXPECT_EQ(ReadFile(output),
                BinaryScriptFile(output.substr(0, output.find('.')), silent ? "" : "compiled"));
    }
    names.insert(names.end(), c.outputs.begin(), c.outputs.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ListNames("."), names);
  }
  // Five failures, each followed by the pause the environment shortens.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

// Each compiler notes how many run while it does, itself included. Inputs
// with option files run side by side too. Started again at its turn, when
// later ones may run: b.lua, whose option file sends its output elsewhere;
// a.lua's work, whose output x/a.lua writes first, is kept.
TEST(FakeCompilerTest, AtMostTheGivenNumberOfCompilersRunAtOnce) {
  TempDir tools;
  WriteProgram("bin/luac",
               "#!/bin/sh\n"
               "for input; do [ \"$last\" = -o ] && out=$input; last=$input; done\n"
               "command -p mkdir \"$FAKE_LUAC_RUNNING/$$\"\n"
               "n=0; for p in $(command -p ls \"$FAKE_LUAC_RUNNING\"); do\n"
               "  kill -0 $p 2>/dev/null && n=$((n + 1)); done  # a killed one is not counted\n"
               "echo $n >> \"$FAKE_LUAC_LOG\"\n"
               "command -p sleep 0.3\n"
               "command -p rmdir \"$FAKE_LUAC_RUNNING/$$\"\n"
               "printf compiled > \"$out\"\n");
  MakeDirs("running");
  const std::string log = tools.Path() + "/counts.txt";
  ScopedEnv path("PATH", tools.Path() + "/bin");
  ScopedEnv logPath("FAKE_LUAC_LOG", log);
  ScopedEnv running("FAKE_LUAC_RUNNING", tools.Path() + "/running");
  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(jobs);
    WriteFile(log, "");
    TempDir run;
    for (const std::string name : {"a", "b", "c", "d", "e", "f"})
      for (const char* extension : {".lua", ".lua.option"}) WriteFile(name + extension, "");
    WriteFile("x/a.lua", "");
    WriteFile("b.lua.option", "-outputdir sub\\");
    for (const char* dir : {"sub", "out"}) MakeDirs(dir);
    ProgramRun result = RunTolscript(
        {"-inputfile", "x\\a.lua", "*.lua", "-outputdir", "out\\", "-jobs", jobs, "-quiet"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames("out").size(), 5u);
    EXPECT_EQ(ListNames("sub"), std::vector<std::string>{"b.script"});
    std::multiset<std::string> counts = LinesOf(ReadFile(log));
    ASSERT_GE(counts.size(), 7u);  // more when a first start got that far
    EXPECT_EQ(std::stoi(*counts.rbegin()), std::stoi(jobs));
  }
}

// The build record knows an output by its folder, however the command line
// spells it: the same build from another folder remakes nothing.
TEST(CheckdateTest, TheSameBuildFromAnotherFolderOrSpellingRemakesNothing) {
  REQUIRE_LUAC();
  TempDir proj;
  WriteFile("src/a.lua", "return 1\n");
  MakeDirs("out");
  MakeDirs("sub");
  const std::vector<std::string> here{"-inputfile", "*.lua", "-sourcedir", "src", "-outputdir",
                                      "out\\", "-checkdate"};
  ASSERT_EQ(RunTolscript(here).out, "Munging a.lua\n");
  std::filesystem::current_path("sub");
  const std::vector<std::string> spellings[] = {
      {"-inputfile", "*.lua", "-sourcedir", "..\\src", "-outputdir", "..\\out\\", "-checkdate"},
      {"-inputfile", "*.lua", "-sourcedir", proj.Path() + "/./src", "-outputdir",
       proj.Path() + "/out/", "-checkdate"},
  };
  for (const std::vector<std::string>& args : spellings) {
    ProgramRun run = RunTolscript(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// The program's own time comes from its file, whatever its name: one
// newer than every output remakes them all under "-checkdate".
TEST(ProgramTimeTest, AProgramWithAnExtensionOfItsOwnStillDatesItsOutputs) {
  REQUIRE_LUAC();
  TempDir run;
  std::filesystem::copy_file(TOLSCRIPT_PROGRAM, "tolscript.real");
  SetMTime("tolscript.real", 4102444800);  // 2100
  WriteFile("a.lua", "return 1\n");
  for (int round = 0; round < 2; ++round) {
    ProgramRun result = test_support::Run("./tolscript.real", {"-inputfile", "a.lua", "-checkdate"});
    EXPECT_EQ(result.out, "Munging a.lua\n") << round;
  }
}

}  // namespace
