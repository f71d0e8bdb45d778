// A munge killed with SIGKILL at many points, then run again with
// "-checkdate": what the follow-up run leaves must be what an uninterrupted
// munge of the same tree makes, and no file of the killed run may pass for
// a finished output.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process-posix.h"
#include "framework/build_record.h"
#include "hardening_support.h"
#include "platform/process.h"
#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using hardening::ChildProcess;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

// Call number $SLOW_CALL waits for the file $RELEASE before it compiles,
// so that the test kills at a known point however loaded the machine is;
// each call is logged when it starts and when it ends.
const char* const kSlowLuac =
    "#!/bin/sh\n"
    "echo start >> \"$KILL_LOG\"\n"
    "if [ \"$(grep -c start \"$KILL_LOG\")\" = \"$SLOW_CALL\" ]; then\n"
    "  while [ ! -e \"$RELEASE\" ]; do sleep 0.05; done\n"
    "fi\n"
    "\"$REAL_LUAC\" \"$@\"\n"
    "status=$?\n"
    "echo end >> \"$KILL_LOG\"\n"
    "exit $status\n";

std::string FindOnPath(const std::string& program) {
  std::string path = platform::GetEnv("PATH").value_or("");
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find(':', begin);
    if (end == std::string::npos) end = path.size();
    std::string candidate = path.substr(begin, end - begin) + "/" + program;
    if (end > begin && access(candidate.c_str(), X_OK) == 0) return candidate;
    begin = end + 1;
  }
  return std::string();
}

// Small scripts with shots, plain ones in nested folders, and one whose
// compiled code is larger than the program's 64 KiB write buffer, so that
// its output is on disk while it is still being written.
std::vector<std::pair<std::string, std::string>> TreeScripts() {
  std::string big = "local names = {\n";
  for (int i = 0; i < 6000; ++i) big += "  'entry" + std::to_string(i) + "',\n";
  big += "}\nPlayCinematicShot('BigShot')\nreturn names\n";
  std::vector<std::pair<std::string, std::string>> scripts{{"big.lua", big}};
  for (int i = 1; i <= 4; ++i) {
    scripts.push_back({"ai/brain" + std::to_string(i) + ".lua",
                       "function Think(x)\n  PlayCinematicShot('Shot" + std::to_string(i) +
                           "')\n  return x * " + std::to_string(i) + "\nend\n"});
  }
  for (int i = 1; i <= 3; ++i) {
    scripts.push_back(
        {"ui/panel" + std::to_string(i) + ".lua",
         "local t = {}\nfor i = 1, " + std::to_string(i * 10) + " do t[i] = i end\nreturn t\n"});
  }
  scripts.push_back({"level/deep/door.lua", "function Open() return 'open' end\n"});
  scripts.push_back({"level/deep/gate.lua", "function Shut() PlayCinematicShot('Gate') end\n"});
  return scripts;
}

enum class KillKind {
  WhileCompiling,  // the program and its compiler, while compile number `call` waits
  ProgramOnly,     // the program alone while compile `call` waits; the compiler finishes
  AfterDelay,      // the program and its compiler, `delay` after the start
};

struct KillPoint {
  KillKind kind;
  int call = 0;
  std::chrono::microseconds delay{0};
  bool text = false;        // "-text" munge
  bool staleStart = false;  // older outputs of other content are in place

  std::string Describe() const {
    std::string what = kind == KillKind::WhileCompiling
                           ? "group killed in compile " + std::to_string(call)
                       : kind == KillKind::ProgramOnly
                           ? "program killed in compile " + std::to_string(call)
                           : "group killed after " + std::to_string(delay.count()) + " us";
    return what + (text ? ", text" : ", binary") +
           (staleStart ? ", stale outputs" : ", no outputs");
  }
};

struct TrialResult {
  std::string point;
  bool finishedBeforeKill = false;
  int completeAtKill = 0;                // outputs equal to the reference when killed
  int straysAtKill = 0;                  // compiler leftovers in the current directory
  std::vector<std::string> problems;     // anything but the reference after the follow-up
  std::vector<std::string> temporaries;  // the program's temporaries left beside the outputs
};

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_LUAC();
    realLuac = FindOnPath("luac");
    ASSERT_FALSE(realLuac.empty());
    WriteFile(tools.Path() + "/bin/luac", kSlowLuac);
    chmod((tools.Path() + "/bin/luac").c_str(), 0755);

    for (const auto& [path, source] : TreeScripts()) WriteFile(path, source);
    inputCount = static_cast<int>(TreeScripts().size());
    // Inputs older than anything a run writes, newer than a stale output.
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    for (const auto& script : TreeScripts()) test_support::SetMTime(script.first, now - 1000);
    staleTime = now - 2000;

    for (bool text : {false, true}) {
      std::string dir = ReferenceDir(text);
      test_support::MakeDirs(dir);
      std::vector<std::string> args = MungeArgs(text);
      args[3] = dir + "\\";
      test_support::ProgramRun run = test_support::RunTolscript(args);
      ASSERT_EQ(run.exitCode, 0) << run.err;
      ASSERT_EQ(ListNames(dir).size(), static_cast<size_t>(inputCount) * 2) << run.out;
      // The duration of a whole munge (the median of three) bounds the
      // random kill delays.
      std::vector<std::chrono::microseconds> durations;
      std::vector<std::string> timed = MungeArgs(text);
      timed[3] = "timing\\";
      for (int i = 0; i < 3; ++i) {
        test_support::MakeDirs("timing");
        auto start = std::chrono::steady_clock::now();
        ChildProcess child(Argv(timed), {}, tools.Path() + "/timing.out",
                           tools.Path() + "/timing.err");
        ASSERT_TRUE(child.Wait().exited);
        durations.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start));
        fs::remove_all("timing");
      }
      std::sort(durations.begin(), durations.end());
      fullRun[text] = durations[1];
    }
  }

  static std::string ReferenceDir(bool text) { return text ? "ref-text" : "ref-binary"; }

  std::vector<std::string> MungeArgs(bool text) const {
    // Several compilers in flight at any kill.
    std::vector<std::string> args{"-inputfile", "!*.lua", "-outputdir", "out\\", "-cinematics",
                                  "-checkdate", "-jobs",  "4"};
    if (text) args.push_back("-text");
    return args;
  }

  static std::vector<std::string> Argv(const std::vector<std::string>& args) {
    std::vector<std::string> argv{TOLSCRIPT_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  int CountLines(const std::string& path, const std::string& line) const {
    return static_cast<int>(hardening::CountOccurrences("\n" + ReadFile(path), "\n" + line + "\n"));
  }

  // Polls until `done` holds or the child ends (bounded, so that a broken
  // run fails the test instead of hanging it).
  template <typename Done>
  bool WaitUntil(ChildProcess* child, Done done) {
    for (int i = 0; i < 60000; ++i) {
      if (done()) return true;
      if (child != nullptr && child->Poll()) return done();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  TrialResult RunTrial(const KillPoint& point) {
    TrialResult result;
    result.point = point.Describe();
    const std::string reference = ReferenceDir(point.text);
    fs::remove_all("out");
    test_support::MakeDirs("out");
    if (point.staleStart) {
      for (const std::string& name : ListNames(reference)) {
        WriteFile("out/" + name, "stale " + name);
        test_support::SetMTime("out/" + name, staleTime);
      }
    }

    const std::string log = tools.Path() + "/calls.log";
    const std::string release = tools.Path() + "/release";
    WriteFile(log, "");
    std::remove(release.c_str());
    std::map<std::string, std::optional<std::string>> env;
    if (point.kind != KillKind::AfterDelay) {
      env = {{"PATH", tools.Path() + "/bin:" + platform::GetEnv("PATH").value_or("")},
             {"KILL_LOG", log},
             {"REAL_LUAC", realLuac},
             {"SLOW_CALL", std::to_string(point.call)},
             {"RELEASE", release}};
    }
    {
      ChildProcess child(Argv(MungeArgs(point.text)), env, tools.Path() + "/killed.out",
                         tools.Path() + "/killed.err");
      if (point.kind == KillKind::AfterDelay) {
        std::this_thread::sleep_for(point.delay);
        std::optional<hardening::ChildExit> early = child.Poll();
        result.finishedBeforeKill = early.has_value();
        if (early && (!early->exited || early->exitCode != 0)) {
          result.problems.push_back("the run ended by itself with status " +
                                    std::to_string(early->exitCode) + ", signal " +
                                    std::to_string(early->signal) + ": " +
                                    ReadFile(tools.Path() + "/killed.err"));
        }
        if (!early) child.KillGroup();
      } else {
        if (!WaitUntil(&child, [&] { return CountLines(log, "start") >= point.call; })) {
          result.problems.push_back("compile " + std::to_string(point.call) +
                                    " never started: " + ReadFile(tools.Path() + "/killed.err"));
          return result;
        }
        if (point.kind == KillKind::ProgramOnly) {
          child.KillProgram();
          child.Wait();
          // The orphaned compiler writes into its temporary file after the
          // program is gone.
          WriteFile(release, "");
          WaitUntil(nullptr, [&] { return CountLines(log, "end") >= CountLines(log, "start"); });
        }
        child.KillGroup();
      }
      child.Wait();
    }

    for (const std::string& name : ListNames(reference)) {
      if (ReadFile("out/" + name) == ReadFile(reference + "/" + name)) ++result.completeAtKill;
    }
    // The build record vouches for no output that is not complete.
    RecordEntries entries;
    size_t lines = 0;
    ParseBuildRecord(ReadFile(std::string("out/") + test_support::kBuildRecordName), &entries,
                     &lines);
    for (const auto& [name, entry] : entries) {
      std::optional<platform::FileStatus> output = platform::StatFile("out/" + name);
      if (output && output->timeNs == entry.outputTimeNs && output->size == entry.outputSize &&
          ReadFile("out/" + name) != ReadFile(reference + "/" + name)) {
        result.problems.push_back("the build record vouches for the incomplete " + name);
      }
    }
    std::vector<std::string> straysBefore = hardening::CompilerLeftovers();
    result.straysAtKill = static_cast<int>(straysBefore.size());

    test_support::ProgramRun followUp = test_support::RunTolscript(MungeArgs(point.text));
    if (followUp.exitCode != 0 || !followUp.err.empty()) {
      result.problems.push_back("follow-up run exited " + std::to_string(followUp.exitCode) + ": " +
                                followUp.err);
    }
    // Nothing of the compilers is ever in the current directory.
    for (const std::string& stray : hardening::CompilerLeftovers())
      result.problems.push_back("follow-up run left compiler file " + stray);
    std::vector<std::string> outputs;
    for (const std::string& name : ListNames("out")) {
      if (hardening::IsOutputTemporary(name)) {
        result.temporaries.push_back(name);
      } else {
        outputs.push_back(name);
      }
    }
    if (outputs != ListNames(reference)) {
      result.problems.push_back("outputs " + ::testing::PrintToString(outputs) + ", expected " +
                                ::testing::PrintToString(ListNames(reference)));
    }
    for (const std::string& name : ListNames(reference)) {
      if (test_support::Exists("out/" + name) &&
          ReadFile("out/" + name) != ReadFile(reference + "/" + name)) {
        result.problems.push_back(name + " differs from a fresh munge");
      }
    }
    return result;
  }

  // Kill points spread at random over a whole munge.
  std::vector<KillPoint> RandomPoints(int count, uint32_t seed) const {
    std::mt19937 random(seed);
    std::vector<KillPoint> points;
    for (int i = 0; i < count; ++i) {
      KillPoint point{KillKind::AfterDelay};
      point.text = i % 2 == 1;
      point.staleStart = i % 4 >= 2;
      auto span = fullRun.at(point.text).count();
      point.delay =
          std::chrono::microseconds(std::uniform_int_distribution<long long>(0, span)(random));
      points.push_back(point);
    }
    return points;
  }

  static void PrintSummary(const std::vector<TrialResult>& results) {
    std::map<int, int> complete;
    int finished = 0;
    int strays = 0;
    int withTemporaries = 0;
    for (const TrialResult& result : results) {
      ++complete[result.completeAtKill];
      if (result.finishedBeforeKill) ++finished;
      strays = std::max(strays, result.straysAtKill);
      if (!result.temporaries.empty()) ++withTemporaries;
    }
    std::string histogram;
    for (const auto& [count, trials] : complete)
      histogram += " " + std::to_string(count) + ":" + std::to_string(trials);
    std::printf(
        "%zu kill points; complete outputs at the kill (count:trials)%s; runs already finished: "
        "%d; compiler leftovers in the current directory: up to %d; trials leaving a temporary "
        "output: %d\n",
        results.size(), histogram.c_str(), finished, strays, withTemporaries);
  }

  test_support::TempDir tools;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
  // The directory the runs work in; made after `tools`, so current.
  test_support::TempDir work;
  std::string realLuac;
  int inputCount = 0;
  int64_t staleTime = 0;
  std::map<bool, std::chrono::microseconds> fullRun;
};

std::string Failures(const std::vector<TrialResult>& results, bool temporaries) {
  std::string text;
  for (const TrialResult& result : results) {
    const std::vector<std::string>& found = temporaries ? result.temporaries : result.problems;
    for (const std::string& item : found) text += result.point + ": " + item + "\n";
  }
  return text;
}

TEST_F(KillTest, KilledWhileTheCompilerRunsTheFollowUpRunCompletesTheMunge) {
  std::vector<TrialResult> results;
  for (int call = 1; call <= inputCount; ++call) {
    results.push_back(RunTrial({KillKind::WhileCompiling, call, {}, false, call % 2 == 0}));
    results.push_back(RunTrial({KillKind::ProgramOnly, call, {}, call % 2 == 1, call % 2 == 1}));
  }
  PrintSummary(results);
  EXPECT_EQ(Failures(results, false), "");
  // No output is being written while a compiler runs.
  EXPECT_EQ(Failures(results, true), "");
}

TEST_F(KillTest, KilledAtRandomPointsEveryOutputIsCompleteOrRebuilt) {
  uint32_t seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::vector<TrialResult> results;
  for (const KillPoint& point : RandomPoints(24, seed)) results.push_back(RunTrial(point));
  PrintSummary(results);
  EXPECT_EQ(Failures(results, false), "");
}

TEST_F(KillTest, KilledAtRandomPointsNoTemporaryOutputOutlivesTheFollowUpRun) {
  uint32_t seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::vector<TrialResult> results;
  for (const KillPoint& point : RandomPoints(30, seed)) results.push_back(RunTrial(point));
  PrintSummary(results);
  EXPECT_EQ(Failures(results, true), "")
      << "temporary files of killed runs that the follow-up run left beside the outputs";
}

}  // namespace
