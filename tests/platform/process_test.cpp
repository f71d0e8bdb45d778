// Running programs: the argument vector arrives whole, what a child prints
// comes back whole and apart, and how it ended is told exactly, once: an
// exit status, a signal, or a program that could not be started.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "platform/process.h"
#include "support/test_support.h"

namespace platform {
namespace {

using test_support::ScopedEnv;
using Kind = RunResult::Kind;

TEST(ProcessTest, ChildrenRunTogetherAndEachTellsHowItEnded) {
  test_support::TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", "args.txt");  // in the current directory
  ScopedEnv status("ARGV_RECORDER_STATUS", "3");
  const std::vector<std::string> hostile = {"with blank", " padded ", "\"quoted\"", "say \"hi\"",
      "a\\b", "trailing\\", "\\\\\"", "", "$(echo no)", "`x`", "*", "it's", "tab\there",
      "a&b|c<d>e", "%PATH%", "^", "\"", "\\"};
  struct Case {
    std::vector<std::string> argv;
    Kind kind;
    int code;
    std::string output, errorOutput, error;
    bool kill = false;
  } cases[] = {
      {{TOLSCRIPT_ARGV_RECORDER}, Kind::Exited, 3, "", "", ""},
      {{"tolscript-missing", "x"}, Kind::StartFailed, -1, "", "", "tolscript-missing: "},
      {{"missing-dir\\tolscript-missing"}, Kind::StartFailed, -1, "", "", "tolscript-missing"},
      {{}, Kind::StartFailed, -1, "", "", "no program"},
      {{TOLSCRIPT_ARGV_RECORDER, std::string("a\0b", 3)}, Kind::StartFailed, -1, "", "", "NUL"},
#ifdef _WIN32
      {{GetExecutablePath(), "--gtest_list_tests", "--gtest_filter=ProcessTest.Children*"},
       Kind::Exited, 0, "ProcessTest.\n  ChildrenRunTogetherAndEachTellsHowItEnded\n", "", ""},
#else
      // More output than a pipe holds, on both streams at once.
      {{"sh", "-c", "echo out; echo err >&2; head -c 300000 /dev/zero | tr '\\0' o; exit 2"},
       Kind::Exited, 2, "out\n" + std::string(300000, 'o'), "err\n", ""},
      {{"sh", "-c", "exit 127"}, Kind::Exited, 127, "", "", ""},
      {{"sh", "-c", "kill -9 $$"}, Kind::Signalled, 9, "", "", "killed by signal 9"},
      {{"sh", "-c", "sleep 5; echo > late"}, Kind::Exited, 0, "", "", "", true},
      {{"tolscript-missing"}, Kind::StartFailed, -1, "", "", ": No such file or directory"},
#endif
  };
  cases[0].argv.insert(cases[0].argv.end(), hostile.begin(), hostile.end());
  auto check = [](const RunResult& result, const Case& c) {
    EXPECT_EQ(result.kind, c.kind) << result.error;
    EXPECT_EQ(result.exitCode, c.code);
    EXPECT_EQ(test_support::NormalizeLineEnds(result.output), c.output);
    EXPECT_EQ(result.errorOutput, c.errorOutput);
    EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    EXPECT_EQ(result.Succeeded(), c.kind == Kind::Exited && c.code == 0);
  };
  ProcessSet children;
  std::map<int, const Case*> started;
  for (const Case& c : cases) {
    RunResult failure;
    int child = children.Start(c.argv, &failure);
    if (child < 0) check(failure, c);
    if (child >= 0 && c.kill) children.Kill(child);
    if (child >= 0 && !c.kill) started[child] = &c;
  }
  // Each ended child is told once, whether or not it was taken yet.
  std::set<int> ended;
  for (size_t i = 0; i < started.size(); ++i) ended.insert(children.WaitForAny());
  ASSERT_EQ(ended.size(), started.size());
  for (int child : ended) check(children.Take(child), *started.at(child));
  EXPECT_TRUE(children.Running() == 0 && children.WaitForAny() == -1);
  EXPECT_FALSE(test_support::Exists("late"));  // killed before it could write
  std::string recorded;
  for (const std::string& argument : hostile) recorded += "[" + argument + "]\n";
  EXPECT_EQ(test_support::ReadFile(temp.Path() + "/args.txt"), recorded);
}

#ifndef _WIN32
// The last search is kept, yet a changed PATH or a program gone is seen.
TEST(ProcessTest, ProgramsAreFoundThroughAChangingPathAndInProgramForm) {
  test_support::TempDir temp;
  namespace fs = std::filesystem;
  fs::create_directories("A");
  fs::copy_file(TOLSCRIPT_ARGV_RECORDER, "A/prog");
  test_support::WriteFile("B/prog", "#!/bin/sh\nexit 7\n");
  test_support::WriteFile("B/plain", "");
  fs::permissions("B/prog", fs::perms::owner_all);
  ScopedEnv status("ARGV_RECORDER_STATUS", "5");
  std::string a = temp.Path() + "/A", b = temp.Path() + "/B", result;
  std::optional<ScopedEnv> path;
  for (const std::string& list : {a + ":" + b, b + ":" + a, a + ":" + b, std::string(), b}) {
    if (list.empty()) fs::rename("A/prog", "A/Prog");
    path.reset();
    path.emplace("PATH", list.empty() ? a + ":" + b : list);
    result += std::to_string(test_support::RunProgram({"prog"}).exitCode);
  }
  EXPECT_EQ(result + std::to_string(test_support::RunProgram({"a\\prog"}).exitCode), "575775");
  EXPECT_EQ(test_support::RunProgram({"plain"}).error, "plain: Permission denied");
}
#endif

}  // namespace
}  // namespace platform
