// The built program run as a user runs it, in a fresh folder, with the real
// compiler: the outputs hold its very bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "platform/platform.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;
using Names = std::vector<std::string>;
using namespace std::string_literals;

class EndToEndTest : public ::testing::Test {
 protected:
  TempDir temp;
  ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
  ScopedEnv shortPause{"TOLSCRIPT_FAILURE_PAUSE_MS", std::string("10")};
};

const char* const kScript = "local n = 0\nfunction Tick() n = n + 1 return n end\n";
const char* const kBroken = "function Broken(\n  x = = 1\n";

// Every rule of the shot scan in one script, shots.lua and lines past the
// scan's buffers: the compiler skips the long comment, the scan reads each
// of its lines, NUL bytes and all.
const std::string kShotScript =
    ReadFile(TOLSCRIPT_SOURCE_DIR "/tests/scripttool/shots.lua") + std::string(70000, '\0') +
    "\nPlayCinematicShot('" + std::string(10000, 'N') + "')\n" + std::string(99976, ' ') +
    "PlayCinematicShot('far')\n]]\nPlayCinematicShot('last')";
const Names kShots{"intro01", "pan2", "minus", "note", "inword", "after", "unclosed", "open",
                   "nul", std::string(10000, 'n'), "far", "last"};

// The one test that waits the real pause after a failed compile.
TEST_F(EndToEndTest, OutputsHoldTheCompilersBytesAndAFailedCompileLeavesNone) {
  REQUIRE_LUAC();
  ScopedEnv realPause("TOLSCRIPT_FAILURE_PAUSE_MS", std::nullopt);
  WriteFile("Shots.lua", kShotScript);
  WriteFile("Empty.Part2.lua", "");
  WriteFile("broken.lua", kBroken);
  WriteFile("bin/broken.script", "an older output");
  WriteFile("bin/broken.script.req", "an older requirements file");
  MakeDirs("text");
  auto start = std::chrono::steady_clock::now();
  ProgramRun bin = RunTolscript(
      {"-inputfile", "*.lua", "-outputdir", "bin\\", "-cinematics", "-t", "-continue"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4900));
  EXPECT_EQ(bin.exitCode, 1);
  EXPECT_EQ(bin.out, "Munging broken.lua\n\n**** ERROR: luac returned 1\nERROR reading processed "
                     "script\nMunging Empty.Part2.lua\nMunging Shots.lua\n");
  // The compiler's own message, then the error as raised and as passed over.
  EXPECT_TRUE(Contains(bin.err, "broken.lua")) << bin.err;
  EXPECT_TRUE(Contains(bin.err, "Error: Could not read input file.Error: Could not read input "
                                "file. [continuing]\n")) << bin.err;
  ProgramRun text = RunTolscript({"-inputfile", "shots.lua", "-outputdir", "text\\", "-text", "-b"});
  EXPECT_EQ(text.out, "Munging shots.lua\n") << text.err;
  std::string shots = CompileWithLuac("Shots.lua", {"-s"});
  EXPECT_EQ(ReadFile("bin/Shots.script"), BinaryScriptFile("shots", shots));
  EXPECT_EQ(ReadFile("bin/Shots.script.req"), RequirementsFile(kShots));
  EXPECT_EQ(ReadFile("bin/Empty.Part2.script"),
            BinaryScriptFile("empty.part2", CompileWithLuac("Empty.Part2.lua", {"-s"})));
  EXPECT_EQ(ReadFile("bin/Empty.Part2.script.req"), RequirementsFile({}));
  EXPECT_EQ(ReadFile("text/shots.script"), TextScriptFile("shots", shots));
  EXPECT_EQ(ListNames("bin"), (Names{"Empty.Part2.script", "Empty.Part2.script.req",
                                     "Shots.script", "Shots.script.req"}));
  EXPECT_EQ(ListNames("text"), Names{"shots.script"});
}

// What runs print and log: the usage text when no input is named, invalid
// "-jobs" values, inputs that would be their own outputs. The tool log holds
// the last run's problems, the munge log (under the drive root, in any
// letter case) those of every run since its folder exists.
TEST_F(EndToEndTest, RunsReportTheirProblemsInBothLogs) {
  REQUIRE_LUAC();
  TempDir drive;
  fs::current_path(temp.Path());
  WriteFile("a.lua", kScript);
  WriteFile("b.script", "print('b')\n");
  const std::string program = platform::MakeFullPath(TOLSCRIPT_PROGRAM).value_or("?");
  const std::regex header("Logging tolscript\n([01][0-9]|2[0-3])(:[0-5][0-9]){2}[01][0-9]/[0-3][0-9]/[0-9]{2}\n");
  auto twice = [](const std::string& message) {
    return "Error: " + message + "Error: " + message + "\n";
  };
  auto overItself = [](const std::string& name) {
    return "Input file .\\" + name + ": its output .\\" + name + " would replace the input itself.";
  };
  // The program named "tolscript"; "-jobs" is left out of it.
  const std::string usage = ReadFile(TOLSCRIPT_SOURCE_DIR "/tests/scripttool/usage.txt");
  const struct {
    std::vector<std::string> args;
    std::string out, err;
  } cases[] = {
      {{"-inputfile", "a.lua", "-jobs", "0"}, "", twice("Invalid value 0 for -jobs.")},
      {{}, usage, ""},
      {{"a.lua"}, usage, ""},
      {{"-inputfile", "-text"}, usage, ""},
      {{"-quiet"}, "", ""},
      {{"-jobs", "2x", "-inputfile", "a.lua"}, "", twice("Invalid value 2x for -jobs.")},
      {{"-inputfile", "a.lua", "-jobs", ""}, "", twice("Invalid value  for -jobs.")},
      {{"-inputfile", "a.lua", "-jobs"}, "", twice("Invalid value  for -jobs.")},
      {{"-inputfile", "a.lua", "-jobs", "2", "x"}, "", twice("Invalid value x for -jobs.")},
      {{"-inputfile", "a.lua", "-compiler", "gcc"}, "", twice("Invalid value gcc for -compiler.")},
      {{"-compiler", "-inputfile", "a.lua"}, "", twice("Invalid value  for -compiler.")},
      {{"-inputfile", "a.lua", "-compiler", "builtin", "x"}, "",
       twice("Invalid value x for -compiler.")},
      {{"-inputfile", "b.script", "a.lua", "-continue"}, "Munging a.lua\n",
       "Error: " + overItself("b.script") + " [continuing]\n"},
      {{"-inputfile", "*.script", "-checkdate"}, "", twice(overItself("a.script"))},
  };
  std::string mungeLog;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    bool logged = Exists(DrivePath("corvantis"));
    ProgramRun run = RunTolscript(c.args);
    EXPECT_EQ(run.exitCode, c.err.empty() ? 0 : 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    // The logs hold the messages without their console prefix.
    std::string problem = std::regex_replace(c.err, std::regex("Error: "), "");
    if (!problem.empty()) problem = "PROBLEM OCCURED(Error): " + program + "\n" + problem;
    std::smatch log;
    std::string toolLog = NormalizeLineEnds(ReadFile("tolscript.log"));
    ASSERT_TRUE(std::regex_search(toolLog, log, header, std::regex_constants::match_continuous));
    EXPECT_EQ(log.suffix().str(), problem);
    if (logged) mungeLog += problem;
    MakeDirs(DrivePath("corvantis/DATA"));  // from the second run on
  }
  EXPECT_EQ(NormalizeLineEnds(ReadFile(DrivePath("corvantis/DATA/MungeLog.txt"))), mungeLog);
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", CompileWithLuac("a.lua", {"-s"})));
  EXPECT_EQ(ReadFile("b.script"), "print('b')\n");
  EXPECT_EQ(ListNames("."), (Names{"a.lua", "a.script", "b.script", "tolscript.log"}));
}

// Everything a run in a fresh tree leaves: exit status, console, and every
// file (the munge log among them); of a build record, which holds the
// outputs' times, only whether it is as the tree had it; the tool log
// without its time line.
using Files = std::vector<std::pair<std::string, std::string>>;
struct Tree {
  int scripts;  // src/s0.lua and on
  Files files;
  std::vector<std::string> before, args;  // the runs, the first one unless empty
};

std::map<std::string, std::string> RunInFreshTree(const Tree& tree, const std::string& jobs) {
  TempDir temp;
  for (const char* dir : {"Corvantis/Data", "other", "out"}) MakeDirs(dir);
  for (int i = 0; i < tree.scripts; ++i) WriteFile("src/s" + std::to_string(i) + ".lua", kScript);
  for (const auto& [path, content] : tree.files) WriteFile(path, content);
  if (!tree.before.empty()) RunTolscript(tree.before);
  std::vector<std::string> args = tree.args;
  args.insert(args.end(), {"-jobs", jobs});
  ProgramRun run = RunTolscript(args);
  std::map<std::string, std::string> left{
      {"exit status", std::to_string(run.exitCode)}, {"out", run.out}, {"err", run.err}};
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(".")) {
    if (!entry.is_regular_file()) continue;
    std::string content = ReadFile(entry.path().string());
    if (entry.path().filename() == kBuildRecordName) {
      bool seeded = std::any_of(tree.files.begin(), tree.files.end(), [&](const auto& file) {
        return fs::path(file.first) == entry.path().lexically_relative(".") &&
               file.second == content;
      });
      content = seeded ? "as it was" : "written";
    }
    if (entry.path().filename() == "tolscript.log") content.erase(content.find('\n') + 1, 16);
    left[entry.path().generic_string()] = content;
  }
  return left;
}

TEST_F(EndToEndTest, ManyCompilersGiveWhatOneGives) {
  REQUIRE_LUAC();
  const std::string shots = "PlayCinematicShot('Intro')\nPlayCinematicShot('pan')\n";
  const Tree trees[] = {
      {12, {{"src/sub/a.lua", shots}, {"src/sub/deeper/b.lua", shots}}, {},
       {"-inputfile", "!*.lua", "-sourcedir", "src", "-cinematics"}},
      {8, {{"src/s3.lua", kBroken}}, {}, {"-inputfile", "*.lua", "-sourcedir", "src"}},
      {8, {{"src/s2.lua", kBroken}, {"src/s5.lua", kBroken}}, {},
       {"-inputfile", "*.lua", "@nolist.txt", "s1.lua", "-sourcedir", "src", "-continue"}},
      // More inputs than are decided ahead, so that some are decided while
      // an input with an option file is munged.
      {40, {{"src/s1.lua.option", "-outputdir other\\"}, {"src/s2.lua.option", "-text"},
            {"src/s3.lua.option", "-skip"}, {"src/s4.lua.option", "-cinematics"}, {"src/s6.lua", shots}},
       {}, {"-inputfile", "*.lua", "-sourcedir", "src"}},
      // Outputs up to date before the run are judged ahead without the
      // cinematics mode that s4.lua's option file turns on before their
      // turn, though s4.lua itself is up to date.
      {12, {{"src/s4.lua.option", "-cinematics"}},
       {"-inputfile", "s5.lua", "s6.lua", "s7.lua", "s4.lua", "-sourcedir", "src"},
       {"-inputfile", "*.lua", "-sourcedir", "src", "-checkdate"}},
      // b/x.lua's output, up to date before the run, is the one a/x.lua
      // writes when b/x.lua's turn comes.
      {4, {{"src/a/x.lua", kScript}, {"src/b/x.lua", shots}},
       {"-inputfile", "b\\x.lua", "-sourcedir", "src", "-outputdir", "out\\"},
       {"-inputfile", "!x*.lua", "*.lua", "-sourcedir", "src", "-outputdir", "out\\", "-checkdate"}},
      // The same, with the input whose output a/x.lua writes four steps
      // after it: every decision ahead is looked at, not only the next.
      {4, {{"src/a/x.lua", kScript}, {"src/b/x.lua", shots}},
       {"-inputfile", "b\\x.lua", "-sourcedir", "src", "-outputdir", "out\\"},
       {"-inputfile", "a\\x.lua", "s0.lua", "s1.lua", "s2.lua", "b\\x.lua", "-sourcedir", "src",
        "-outputdir", "out\\", "-checkdate"}},
      // An option file's roots are its input's alone: later inputs are
      // looked for, and listed, under the command line's.
      {6, {{"src/s0.lua.option", "-sourcedir other"}, {"other/s1.lua", kBroken},
           {"other/s2.lua", shots}},
       {}, {"-inputfile", "s0.lua", "s1.lua", "s2.lua", "s3.lua", "-sourcedir", "src"}},
      {12, {{"src/s0.lua.option", "-platformdir"}, {"src/s2.lua.option", "-platformdir src -checkdate"},
            {"src/s4.lua.option", "-continue -debug"}, {"src/s7.lua.option", "-quiet"},
            {"other/s5.lua", shots}, {"other/s9.lua", shots}},
       {}, {"-inputfile", "*.lua", "-sourcedir", "src", "-platformdir", "other"}},
      // A run that stops at its first input leaves the damaged record of
      // a folder that only later inputs write to as it was, unreported.
      {4, {{"src/s0.lua", kBroken}, {"src/s0.lua.option", "-outputdir other\\"},
           {"out/s1.script", "older"}, {"out/s2.script", "older"},
           {"out/.tolscript_record", "# tolscript build record 2\nnot a line\n"}},
       {}, {"-inputfile", "*.lua", "-sourcedir", "src", "-outputdir", "out\\", "-checkdate"}},
  };
  for (const auto& tree : trees) {
    SCOPED_TRACE(::testing::PrintToString(tree.args));
    std::map<std::string, std::string> one = RunInFreshTree(tree, "1");
    EXPECT_EQ(RunInFreshTree(tree, "4"), one);
    EXPECT_TRUE(Contains(one["out"], "Munging")) << one["out"];
    for (const auto& [path, content] : one) EXPECT_FALSE(Contains(path, ".tmp")) << path;
  }
}

// The built-in compiler, at any "-jobs", gives what luac gives: every file
// written, every byte printed and logged, and the exit status, stripped or
// not, in either form, for scripts it compiles and scripts it refuses. An
// option file's "-compiler" does nothing.
TEST_F(EndToEndTest, TheBuiltinCompilerGivesWhatLuacGives) {
  REQUIRE_LUAC();
  const std::string shots = "PlayCinematicShot('Intro')\nfunction F(...) return ... end\n";
  const Tree trees[] = {
      {6, {{"src/s1.lua", kBroken}, {"src/s3.lua", shots}, {"src/s4.lua", ""},
           {"src/s2.lua.option", "-compiler bogus"}, {"src/s5.lua.option", "-compiler luac -text"}},
       {}, {"-inputfile", "*.lua", "-sourcedir", "src", "-cinematics", "-continue"}},
      {4, {{"src/s2.lua", kBroken}}, {}, {"-inputfile", "*.lua", "-sourcedir", "src", "-text"}},
      {3, {{"src/sub/deeper/a.lua", shots}}, {},
       {"-inputfile", "!*.lua", "-sourcedir", "src", "-outputdir", "out\\"}},
  };
  for (bool debugSymbols : {false, true}) {
    ScopedEnv symbols("LUA_DEBUG_SYMBOLS", debugSymbols ? std::optional<std::string>("1")
                                                        : std::nullopt);
    for (Tree tree : trees) {
      SCOPED_TRACE(::testing::PrintToString(tree.args) + (debugSymbols ? " with symbols" : ""));
      tree.args.insert(tree.args.end(), {"-compiler", "luac"});
      std::map<std::string, std::string> luac = RunInFreshTree(tree, "1");
      tree.args.back() = "builtin";
      // No program is started: there is none to start.
      ScopedEnv noPrograms("PATH", (fs::absolute("no programs here")).string());
      EXPECT_EQ(RunInFreshTree(tree, "1"), luac);
      EXPECT_EQ(RunInFreshTree(tree, "4"), luac);
      EXPECT_FALSE(Contains(luac["err"], "-compiler")) << luac["err"];
    }
  }
}

// Makes `path` a little newer than `than`: within the same second.
void JustAfter(const std::string& path, const std::string& than) {
  fs::last_write_time(path, fs::last_write_time(than) + std::chrono::microseconds(1));
}

// With "-checkdate" a change remakes exactly the output it touches, and a
// third run has nothing to do.
TEST_F(EndToEndTest, CheckdateRemakesWhatAChangeTouches) {
  REQUIRE_LUAC();
  ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", std::string("plat"));
  ScopedEnv overrides("MUNGE_PLATFORM_OVERRIDE_STR", std::string("over"));
  const int64_t programTime = platform::StatFile(TOLSCRIPT_PROGRAM).value().timeNs / 1000000000;
  std::vector<std::string> further;  // options of the runs after the change
  const struct {
    const char* name;
    std::function<void()> change;
    bool remade;
  } cases[] = {
      {"nothing", [] {}, false},
      {"input edited in the same second",
       [] { WriteFile("over/a.lua", "x = 1\n"); JustAfter("over/a.lua", "out/a.script"); }, true},
      {"override deleted", [] { fs::remove("over/a.lua"); }, true},
      {"option file deleted", [] { fs::remove("src/a.lua.option"); }, true},
      {"option file moved", [] { fs::rename("src/a.lua.option", "plat/a.lua.option"); }, true},
      {"cinematics from the option file",
       [] { WriteFile("src/a.lua.option", "-cinematics"); SetMTime("src/a.lua.option", 1000000000); },
       true},
      {"debug symbols set", [] { SetEnv("LUA_DEBUG_SYMBOLS", std::string()); }, true},
      {"another compiler first on the path",
       [] {
         std::string luac = platform::FindProgram("luac").value_or("");
         fs::create_directories("bin");
         fs::copy_file(luac, fs::path("bin") / fs::path(luac).filename());
         SetEnv("PATH", fs::absolute("bin").string() + kPathListSeparator +
                            platform::GetEnv("PATH").value_or(""));
       },
       true},
      {"compiler switched to the built-in one", [&] { further = {"-compiler", "builtin"}; }, true},
      {"output older than the program", [&] { SetMTime("out/a.script", programTime - 1); }, true},
      // An output the record does not vouch for, even one newer than all
      // it is made from.
      {"output touched", [&] { SetMTime("out/a.script", programTime + 1); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", std::nullopt);
    ScopedEnv path("PATH", platform::GetEnv("PATH"));
    WriteFile("src/a.lua", kScript);
    WriteFile("src/a.lua.option", "-b");
    WriteFile("over/a.lua", std::string(kScript) + "-- the override\n");
    for (const char* dir : {"plat", "out"}) MakeDirs(dir);
    for (const char* file : {"src/a.lua", "src/a.lua.option", "over/a.lua"})
      SetMTime(file, 1000000000);
    const std::vector<std::string> args{"-inputfile", "*.lua", "-sourcedir", "src", "-platformdir",
                                        "plat", "-outputdir", "out\\", "-checkdate"};
    ASSERT_EQ(RunTolscript(args).out, "Munging a.lua\n");
    further.clear();
    c.change();
    std::vector<std::string> then = args;
    then.insert(then.end(), further.begin(), further.end());
    std::vector<std::string> debug = then;
    debug.push_back("-debug");
    ProgramRun second = RunTolscript(debug);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Contains(second.out, "\nMunging a.lua\n"), c.remade) << second.out;
    // Said of an output only when it is left as it was.
    EXPECT_EQ(Contains(second.out, "is up to date"), !c.remade) << second.out;
    if (!c.remade) {
      EXPECT_EQ(second.out, "Considering [over\\.\\a.lua]\nout\\a.script is up to date\n");
    }
    EXPECT_EQ(RunTolscript(then).out, "");
  }
}

}  // namespace
