// An interrupt while compilers run stops them all, leaves no file behind
// and no output half-written, and the run ends by that signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process-posix.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

// Logs "<pid> <input>" and then writes code, except for inputs named
// "slow*", where it sleeps (as itself, so the pid logged is the sleeper).
const char* const kSleepyLuac =
    "#!/bin/sh\n"
    "for input; do :; done\n"
    "echo \"$$ $input\" >> \"$CALL_LOG\"\n"
    "case $input in *slow*) exec sleep 60 ;; esac\n"
    "printf compiled\n";

std::vector<pid_t> SleepingCompilers(const std::string& log) {
  std::vector<pid_t> pids;
  std::istringstream lines(ReadFile(log));
  std::string input;
  long pid = 0;
  while (lines >> pid >> input) {
    if (input.find("slow") != std::string::npos) pids.push_back(static_cast<pid_t>(pid));
  }
  return pids;
}

class InterruptTest : public ::testing::TestWithParam<int> {};

TEST_P(InterruptTest, StopsTheCompilersAndLeavesNothing) {
  test_support::TempDir tools;
  WriteFile(tools.Path() + "/bin/luac", kSleepyLuac);
  chmod((tools.Path() + "/bin/luac").c_str(), 0755);
  const std::string log = tools.Path() + "/calls.log";
  test_support::TempDir run;
  WriteFile("a.lua", "");
  for (const char* name : {"slow1.lua", "slow2.lua", "slow3.lua", "slow4.lua"})
    WriteFile(name, "");
  WriteFile("slow1.script", "older");

  hardening::ChildProcess child(
      {TOLSCRIPT_PROGRAM, "-inputfile", "*.lua", "-jobs", "3"},
      {{"PATH", tools.Path() + "/bin:" + platform::GetEnv("PATH").value_or("")},
       {"CALL_LOG", log}},
      tools.Path() + "/out.txt", tools.Path() + "/err.txt");
  for (int i = 0; i < 20000 && SleepingCompilers(log).size() < 3 && !child.Poll(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<pid_t> compilers = SleepingCompilers(log);
  ASSERT_EQ(compilers.size(), 3u) << ReadFile(tools.Path() + "/err.txt");

  kill(child.Pid(), GetParam());
  std::optional<hardening::ChildExit> exit = child.WaitAtMost(20);
  ASSERT_TRUE(exit.has_value()) << "the run did not stop";
  EXPECT_FALSE(exit->exited);
  EXPECT_EQ(exit->signal, GetParam());
  for (pid_t pid : compilers) {
    EXPECT_TRUE(kill(pid, 0) != 0 && errno == ESRCH) << "compiler " << pid << " still runs";
  }
  // The interrupt may come before the run turns to slow1.lua.
  std::string out = ReadFile(tools.Path() + "/out.txt");
  EXPECT_TRUE(out == "Munging a.lua\n" || out == "Munging a.lua\nMunging slow1.lua\n") << out;
  EXPECT_EQ(ReadFile(tools.Path() + "/err.txt"), "Error: Interrupted.\n");
  EXPECT_EQ(ListNames("."),
            (std::vector<std::string>{"a.lua", "a.script", "slow1.lua", "slow1.script",
                                      "slow2.lua", "slow3.lua", "slow4.lua", "tolscript.log"}));
  EXPECT_EQ(ReadFile("slow1.script"), "older");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(strsignal(info.param)).substr(0, 4) +
                                  std::to_string(info.param);
                         });

}  // namespace
