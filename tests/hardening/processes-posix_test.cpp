// Runs cut short: a munge killed at fixed and random points, an interrupt
// while compilers run, a closed standard output, the files a dead run left.
#include <signal.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "framework/build_record.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "hardening_support.h"
#include "support/test_support.h"

namespace hardening {
namespace {

using platform::RunResult;

// A compiler whose call number $AT sends $SIGNAL (SIGKILL when unset) to
// the program that started it. Its calls for inputs matching $SLOW wait
// while the program lives, or sleep long when the signal is an interrupt,
// which must stop them: so the signal finds them in flight however loaded
// the machine is. One that outlives the program says so in
// $CALLS.outlived.
const char* const kSignallingLuac =
    "#!/bin/sh\n"
    "echo \"$$ $*\" >> \"$CALLS\"\n"
    "[ \"$(wc -l < \"$CALLS\")\" -ge \"$AT\" ] && kill -\"${SIGNAL:-KILL}\" $PPID\n"
    "case \"$*\" in *\"$SLOW\"*) ;; *) exec \"$REAL_LUAC\" \"$@\" ;; esac\n"
    "[ \"${SIGNAL:-KILL}\" = KILL ] || exec sleep 30\n"
    "while kill -0 $PPID 2>/dev/null; do sleep 0.01; done\n"
    "echo \"$$ $*\" >> \"$CALLS.outlived\"\n"
    "exec \"$REAL_LUAC\" \"$@\"\n";

class ProcessTest : public HardeningTest {
 protected:
  void SetUp() override {
    HardeningTest::SetUp();
    InstallLuac(kSignallingLuac);
  }
  // What starts the program with the signalling compiler and `settings`;
  // a program that gets no signal is terminated after 10 s.
  Names Signalling(const Names& settings) {
    Names prefix = WithCompiler("10", {"CALLS=" + calls});
    prefix.insert(prefix.end(), settings.begin(), settings.end());
    return prefix;
  }
  const std::string calls = tools.Path() + "/calls.log";
};

// Munges killed with SIGKILL, each followed by a munge with "-checkdate":
// every output must then be what a clean munge writes, with nothing beside
// it, and after the kill the build record may vouch for no incomplete one.
TEST_F(ProcessTest, AKilledMungeIsCompletedByTheNextRun) {
#ifdef __linux__
  // The killed runs' compilers become this process's children.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  // Compiled to more than the 64 KiB write buffer, so that its output is on
  // disk while it is written.
  std::string big = "PlayCinematicShot('BigShot')\n";
  for (int i = 0; i < 6000; ++i) big += "x = 'entry" + std::to_string(i) + "'\n";
  WriteFile("big.lua", big);
  WriteFile("one.lua", "return 1\n");
  for (std::string name : {"ai/a1", "ai/a2", "ai/a3", "ai/a4", "ui/u1", "ui/u2"})
    WriteFile(name + ".lua", "function F(x) PlayCinematicShot('" + name + "') return x end\n");
  // Inputs older than anything a run writes, newer than a stale output.
  const int64_t now = std::time(nullptr);
  for (const std::string& path : AllPaths())
    if (path.ends_with(".lua")) test_support::SetMTime(path, now - 1000);
  auto args = [](bool text, const std::string& out) {
    Names args{"-inputfile",  "!*.lua",     "-outputdir", out + "\\",
               "-cinematics", "-checkdate", "-jobs",      "4"};
    if (text) args.push_back("-text");
    return args;
  };
  const auto start = std::chrono::steady_clock::now();
  for (const char* ref : {"ref0", "ref1"}) {
    test_support::MakeDirs(ref);
    ASSERT_TRUE(RunBehind({}, args(ref[3] == '1', ref)).Succeeded());
    // Named like a temporary file of big.script, but not one of the program's.
    WriteFile(std::string(ref) + "/big.script.tmpNOTOUR", "foreign");
  }
  const std::chrono::duration<double> fullRun = (std::chrono::steady_clock::now() - start) / 2;

  struct Point {
    std::string what;
    Names prefix;      // what starts the program
    int signal;        // that ends the program; 0: any end
    bool text, stale;  // "-text"; older outputs of other content in place
  };
  std::vector<Point> points{
      {"four compiles in flight", Signalling({"SLOW=/ai/", "AT=6"}), SIGKILL, false, true},
      {"one compile in flight, three after it", Signalling({"SLOW=one", "AT=5"}), SIGKILL, true, false},
      {"the last compiles in flight", Signalling({"SLOW=/ui/", "AT=8"}), SIGKILL, false, false},
      // Past the compiled code (about 160 KB), short of its text form.
      {"an output half written", {"prlimit", "--fsize=300000"}, SIGXFSZ, true, true},
  };
  const uint32_t seed = std::random_device()();
  std::mt19937 random(seed);
  for (int i = 0; i < 8; ++i) {
    std::string delay =
        std::to_string(std::uniform_real_distribution<double>(0, fullRun.count())(random));
    points.push_back({"after " + delay + " s, seed " + std::to_string(seed),
                      {"timeout", "-s", "KILL", delay}, 0, i % 2 == 1, i % 4 >= 2});
  }
  for (const Point& point : points) {
    SCOPED_TRACE(point.what);
    const std::string ref = point.text ? "ref1" : "ref0";
    std::filesystem::remove_all("out");
    for (const std::string& name : point.stale ? test_support::ListNames(ref) : Names{}) {
      WriteFile("out/" + name, "stale");
      test_support::SetMTime("out/" + name, now - 2000);
    }
    WriteFile("out/big.script.tmpNOTOUR", "foreign");
    WriteFile(calls, "");
    std::filesystem::remove(calls + ".outlived");
    RunResult killed = RunBehind(point.prefix, args(point.text, "out"));
    // Its compilers die with it, but one inside a system call ends that
    // call first; what they made is there once they are gone.
    while (waitpid(-1, nullptr, 0) > 0) {
    }
    EXPECT_FALSE(std::filesystem::exists(calls + ".outlived")) << ReadFile(calls + ".outlived");
    if (point.signal != 0) {
      EXPECT_EQ(killed.kind, RunResult::Kind::Signalled) << killed.error << killed.errorOutput;
      EXPECT_EQ(killed.exitCode, point.signal);
    }
    RecordEntries entries;
    size_t lines = 0;
    ParseBuildRecord(ReadFile("out/" + std::string(test_support::kBuildRecordName)), &entries,
                     &lines);
    for (const auto& [name, entry] : entries) {
      std::optional<platform::FileStatus> output = platform::StatFile("out/" + name);
      if (output && output->timeNs == entry.outputTimeNs && output->size == entry.outputSize) {
        EXPECT_EQ(ReadFile("out/" + name), ReadFile(ref + "/" + name)) << "vouched for " << name;
      }
    }
    RunResult followUp = RunBehind({}, args(point.text, "out"));
    EXPECT_TRUE(followUp.Succeeded());
    EXPECT_EQ(followUp.errorOutput, "");
    EXPECT_EQ(TreeDifferences(ref, "out"), Names{});
  }
#ifdef __linux__
  prctl(PR_SET_CHILD_SUBREAPER, 0);
#endif
}

// An interrupt while compilers run stops them all, leaves no file behind,
// not even half an output, and ends the run by that signal.
TEST_F(ProcessTest, AnInterruptStopsTheCompilersAndLeavesNothing) {
  for (auto [number, name] : {std::pair{SIGINT, "INT"}, {SIGTERM, "TERM"}, {SIGHUP, "HUP"}}) {
    SCOPED_TRACE(name);
    test_support::TempDir dir;
    WriteFile(calls, "");
    for (const char* input : {"a.lua", "slow1.lua", "slow2.lua", "slow3.lua", "slow4.lua"})
      WriteFile(input, "return 1\n");
    WriteFile("slow1.script", "older");
    RunResult run = RunBehind(Signalling({"SLOW=slow", "AT=4", std::string("SIGNAL=") + name}),
                              {"-inputfile", "*.lua", "-jobs", "3"});
    EXPECT_EQ(run.kind, RunResult::Kind::Signalled) << run.error;
    EXPECT_EQ(run.exitCode, number);
    // The interrupt may come before the run turns to slow1.lua.
    EXPECT_TRUE(run.output == "Munging a.lua\n" ||
                run.output == "Munging a.lua\nMunging slow1.lua\n")
        << run.output;
    EXPECT_EQ(run.errorOutput, "Error: Interrupted.\n");
    std::istringstream log(ReadFile(calls));
    int compilers = 0;
    for (std::string line; std::getline(log, line);) {
      if (line.find("slow") == std::string::npos) continue;
      ++compilers;
      EXPECT_NE(kill(std::stoi(line), SIGKILL), 0) << line << " still ran";
      EXPECT_EQ(errno, ESRCH) << line;
    }
    EXPECT_EQ(compilers, 3);
    EXPECT_EQ(test_support::ListNames("."),
              (Names{"a.lua", "a.script", "slow1.lua", "slow1.script", "slow2.lua", "slow3.lua",
                     "slow4.lua", "tolscript.log"}));
    EXPECT_EQ(ReadFile("slow1.script"), "older");
  }
}

// An interrupt while the built-in compiler works in its threads ends the
// run by that signal, with no file left but whole outputs.
TEST_F(HardeningTest, AnInterruptStopsTheBuiltinCompilerAndLeavesNothing) {
  std::string big = "local t = {}\n";
  for (int i = 0; i < 80000; ++i) big += "t[" + std::to_string(i) + "] = 'k" + std::to_string(i) + "'\n";
  for (int i = 0; i < 16; ++i) WriteFile("big" + std::to_string(i) + ".lua", big);
  RunResult run = RunBehind({"timeout", "--preserve-status", "-k", "20", "-s", "INT", "0.3"},
                            {"-inputfile", "*.lua", "-compiler", "builtin", "-jobs", "2"});
  // timeout tells the program's end by the signal as 128 plus its number.
  EXPECT_EQ(run.kind, RunResult::Kind::Exited) << run.error;
  EXPECT_EQ(run.exitCode, 128 + SIGINT);
  EXPECT_EQ(run.errorOutput, "Error: Interrupted.\n");
  for (const std::string& name : test_support::ListNames("."))
    EXPECT_TRUE(name.ends_with(".lua") || name.ends_with(".script") || name == "tolscript.log") << name;
}

// A compiler that waits, for every input but a1 and a2, until $CLOSED is
// there.
const char* const kWaitingLuac =
    "#!/bin/sh\n"
    "case \"$*\" in *a1.lua|*a2.lua) ;; *)\n"
    "  n=0\n"
    "  while [ ! -e \"$CLOSED\" ] && [ $n -lt 1000 ]; do sleep 0.01; n=$((n + 1)); done ;;\n"
    "esac\n"
    "exec \"$REAL_LUAC\" \"$@\"\n";

// A reader of the run's output that goes after two lines (as "| head -2")
// stops the run as an interrupt would, whether SIGPIPE is caught or
// ignored: the run removes its temporary files and ends by SIGPIPE.
TEST_F(HardeningTest, AClosedOutputStopsTheRunAndLeavesNothing) {
  InstallLuac(kWaitingLuac);
  for (const char* input : {"a1", "a2", "w1", "w2", "w3", "w4", "w5", "w6"})
    WriteFile(std::string(input) + ".lua", "return 1\n");
  const std::string closed = tools.Path() + "/closed", status = tools.Path() + "/status";
  // `trap` is given "-" (SIGPIPE at its default) or "" (ignored).
  const std::string pipeline =
      "{ trap \"$0\" PIPE; \"$@\"; echo $? > \"$STATUS\"; }"
      " | { head -n 2 > /dev/null; exec 0<&-; touch \"$CLOSED\"; }";
  for (const char* sigpipe : {"-", ""}) {
    SCOPED_TRACE(std::string("trap '") + sigpipe + "' PIPE");
    std::filesystem::remove(closed);
    std::filesystem::remove(status);
    RunResult run = test_support::RunProgram(
        WithCompiler("20", {"CLOSED=" + closed, "STATUS=" + status, "sh", "-c", pipeline, sigpipe,
                            TOLSCRIPT_PROGRAM, "-inputfile", "*.lua", "-jobs", "4"}));
    EXPECT_EQ(ReadFile(status), std::to_string(128 + SIGPIPE) + "\n");
    EXPECT_EQ(run.errorOutput, "Error: Interrupted.\n");
    Names temporary;
    for (const std::string& path : AllPaths())
      if (path.find(".tmp") != std::string::npos) temporary.push_back(path);
    EXPECT_EQ(temporary, Names{});
  }
}

// A compiler that, on a script whose name holds "kill", kills the program
// that started it.
const char* const kKillingLuac =
    "#!/bin/sh\n"
    "case \"$*\" in *kill*) sleep 0.3; kill -9 $PPID; exit 1 ;; esac\n"
    "exec \"$REAL_LUAC\" \"$@\"\n";

// Work started ahead for an input whose option file then sends its output
// elsewhere, cut short by a kill: its file in the command line's folder
// goes with the next run that writes there, whatever it writes.
TEST_F(HardeningTest, ADeadRunsFilesGoWithTheNextRunThatWritesThere) {
  InstallLuac(kKillingLuac);
  test_support::MakeDirs("out");
  WriteFile("a_kill.lua", "return 1\n");
  WriteFile("b.lua", "return 2\n");
  WriteFile("b.lua.option", "-outputdir other\\");
  WriteFile("c.lua", "return 3\n");
  RunBehind(WithCompiler("20", {}),
            {"-inputfile", "a_kill.lua", "b.lua", "-outputdir", "out\\", "-jobs", "2"});
  const Names left = test_support::ListNames("out");
  ASSERT_EQ(left.size(), 1u) << "the work ahead was not left";
  EXPECT_TRUE(left[0].starts_with("b.script.tmp")) << left[0];
  RunResult next = RunBehind({}, {"-inputfile", "c.lua", "-outputdir", "out\\"});
  EXPECT_TRUE(next.Succeeded()) << next.errorOutput;
  EXPECT_EQ(test_support::ListNames("out"), Names{"c.script"});
}


// Whether `pid` runs (a zombie does not).
bool Runs(pid_t pid) {
  if (kill(pid, 0) != 0) return false;
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t state = stat.rfind(')');
  return state == std::string::npos || stat.compare(state, 3, ") Z") != 0;
}

bool EndsSoon(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Runs(pid) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !Runs(pid);
}

// A compiler that starts a program of its own, then sends $SIGNAL to the
// run: what it started must end with the run, however the run ends.
const char* const kSpawningLuac =
    "#!/bin/sh\n"
    "sleep 300 &\n"
    "echo $! > \"$SLEEPER\"\n"
    "kill -\"$SIGNAL\" $PPID\n"
    "wait\n";

TEST_F(HardeningTest, WhatACompilerStartedEndsWithTheRun) {
  InstallLuac(kSpawningLuac);
  WriteFile("a.lua", "return 1\n");
  const std::string sleeper = tools.Path() + "/sleeper.pid";
  for (auto [number, name] :
       {std::pair{SIGINT, "INT"}, {SIGTERM, "TERM"}, {SIGHUP, "HUP"}, {SIGKILL, "KILL"}}) {
    SCOPED_TRACE(name);
    std::filesystem::remove(sleeper);
    RunResult run = RunBehind(WithCompiler("10", {"SLEEPER=" + sleeper, std::string("SIGNAL=") + name}),
                              {"-inputfile", "a.lua"});
    EXPECT_EQ(run.kind, RunResult::Kind::Signalled) << run.error;
    EXPECT_EQ(run.exitCode, number);
    const std::string written = ReadFile(sleeper);
    ASSERT_FALSE(written.empty());
    const pid_t pid = std::stoi(written);
    EXPECT_TRUE(EndsSoon(pid));
    kill(pid, SIGKILL);
  }
}

// "-jobs 1000" with 64 file handles: the compilers in flight fit the
// handles, and no input fails for want of one.
TEST_F(HardeningTest, FewerHandlesThanJobsFailNoInput) {
  constexpr int kScripts = 40;
  for (int i = 0; i < kScripts; ++i)
    WriteFile("s" + std::to_string(i) + ".lua", "return " + std::to_string(i) + "\n");
  RunResult run = RunBehind({"prlimit", "--nofile=64"}, {"-inputfile", "*.lua", "-jobs", "1000"});
  EXPECT_EQ(run.kind, RunResult::Kind::Exited) << run.error;
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errorOutput, "");
  Names names = test_support::ListNames(".");
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& name) { return name.ends_with(".script"); }),
            kScripts);
}

}  // namespace
}  // namespace hardening
