// Running programs: the argument vector arrives exactly, exit statuses come
// back, and a program that cannot be started is told apart from one that
// ran and failed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"
#include "support/test_support.h"

namespace platform {
namespace {

using test_support::Exists;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::ScopedEnv;
using test_support::TempDir;

std::string Recorded(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += "[" + arg + "]\n";
  return text;
}

TEST(PlatformRunProgramTest, ArgumentsArriveExactly) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "/args.txt");
  const std::vector<std::string> args = {
      "plain",       "with blank",   "  padded  ",  "\"quoted\"",    "say \"hi\" now",
      "a\\b",        "trailing\\",   "c:\\dir\\",   "\\\\\"",        "semi;colon",
      "$(echo no)",  "`echo no`",    "-o",          "--flag=value",  "",
      "*",           "it's",         "tab\there",   "a&b|c<d>e",     "%PATH%",
      "^caret",      "-",            "\"",          "\\",
  };
  std::vector<std::string> argv{TOLSCRIPT_ARGV_RECORDER};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult result = RunProgram(argv);
  ASSERT_EQ(result.kind, RunResult::Kind::Exited) << result.error;
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.Succeeded());
  EXPECT_EQ(ReadFile(temp.Path() + "/args.txt"), Recorded(args));
}

TEST(PlatformRunProgramTest, NoArgumentsGivesAnEmptyVector) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "/args.txt");
  RunResult result = RunProgram({TOLSCRIPT_ARGV_RECORDER});
  ASSERT_TRUE(result.Succeeded()) << result.error;
  EXPECT_TRUE(Exists(temp.Path() + "/args.txt"));
  EXPECT_EQ(ReadFile(temp.Path() + "/args.txt"), "");
}

TEST(PlatformRunProgramTest, ExitStatusComesBack) {
  TempDir temp;
  // 127 is what a C library may use for "could not run": a program that
  // returns it itself still exited.
  for (int status : {0, 1, 3, 127}) {
    ScopedEnv code("ARGV_RECORDER_STATUS", std::to_string(status));
    RunResult result = RunProgram({TOLSCRIPT_ARGV_RECORDER});
    EXPECT_EQ(result.kind, RunResult::Kind::Exited) << status << ": " << result.error;
    EXPECT_EQ(result.exitCode, status);
    EXPECT_EQ(result.Succeeded(), status == 0);
  }
}

TEST(PlatformRunProgramTest, ChildRunsInTheCurrentDirectory) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", "relative.txt");
  RunResult result = RunProgram({TOLSCRIPT_ARGV_RECORDER, "x"});
  ASSERT_TRUE(result.Succeeded()) << result.error;
  EXPECT_EQ(ReadFile(temp.Path() + "/relative.txt"), "[x]\n");
}

TEST(PlatformRunProgramTest, MissingProgramFailsToStart) {
  TempDir temp;
  for (std::string program : {"tolscript-no-such-program", "missing-dir\\tolscript-no-such-program"}) {
    RunResult result = RunProgram({program, "arg"});
    EXPECT_EQ(result.kind, RunResult::Kind::StartFailed) << program;
    EXPECT_FALSE(result.Succeeded());
    EXPECT_NE(result.error.find("tolscript-no-such-program"), std::string::npos) << result.error;
  }
  RunResult empty = RunProgram({});
  EXPECT_EQ(empty.kind, RunResult::Kind::StartFailed);
  EXPECT_FALSE(empty.error.empty());
}

}  // namespace
}  // namespace platform
