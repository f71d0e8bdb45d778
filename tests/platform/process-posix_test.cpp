// What running programs means on POSIX: signals, the two output streams,
// PATH search, program paths in program form.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using test_support::Exists;
using test_support::ListNames;
using test_support::MakeDirs;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::ScopedEnv;
using test_support::TempDir;
using test_support::WriteFile;

TEST(PlatformRunProgramPosixTest, KilledChildIsSignalledNotExited) {
  TempDir temp;
  RunResult result = RunProgram({"sh", "-c", "kill -9 $$"});
  EXPECT_EQ(result.kind, RunResult::Kind::Signalled);
  EXPECT_EQ(result.exitCode, 9);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_FALSE(result.error.empty());
}

// Output arrives in pieces and more of it than a pipe holds: each read
// takes what is there, and only the pipe's end ends the child's output.
TEST(PlatformRunProgramPosixTest, OutputAndErrorComeBackApartAndWhole) {
  TempDir temp;
  RunResult result = RunProgram(
      {"sh", "-c", "echo out; echo err >&2; head -c 300000 /dev/zero | tr '\\0' o; exit 2"});
  ASSERT_EQ(result.kind, RunResult::Kind::Exited) << result.error;
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.output, "out\n" + std::string(300000, 'o'));
  EXPECT_EQ(result.errorOutput, "err\n");
}

TEST(PlatformRunProgramPosixTest, MissingProgramIsNamedWithTheSystemText) {
  TempDir temp;
  RunResult result = RunProgram({"tolscript-missing-luac"});
  EXPECT_EQ(result.kind, RunResult::Kind::StartFailed);
  EXPECT_EQ(result.error, "tolscript-missing-luac: No such file or directory");
  RunResult directory = RunProgram({"./"});
  EXPECT_EQ(directory.kind, RunResult::Kind::StartFailed);
}

TEST(PlatformRunProgramPosixTest, ProgramIsFoundThroughPathAndInProgramForm) {
  TempDir temp;
  MakeDirs("Bin");
  MakeDirs("Tools");
  fs::copy_file(TOLSCRIPT_ARGV_RECORDER, "Bin/recorder-in-path");
  fs::copy_file(TOLSCRIPT_ARGV_RECORDER, "Tools/Recorder");
  WriteFile("Bin/not-executable", "");
  ScopedEnv path("PATH", temp.Path() + "/Empty:" + temp.Path() + "/Bin");
  ScopedEnv status("ARGV_RECORDER_STATUS", "5");
  ScopedEnv out("ARGV_RECORDER_OUT", "args.txt");

  RunResult found = RunProgram({"recorder-in-path", "a b"});
  EXPECT_EQ(found.kind, RunResult::Kind::Exited) << found.error;
  EXPECT_EQ(found.exitCode, 5);
  EXPECT_EQ(ReadFile("args.txt"), "[a b]\n");

  RunResult programForm = RunProgram({"tools\\recorder", "c"});
  EXPECT_EQ(programForm.kind, RunResult::Kind::Exited) << programForm.error;
  EXPECT_EQ(programForm.exitCode, 5);
  EXPECT_EQ(ReadFile("args.txt"), "[c]\n");

  RunResult notExecutable = RunProgram({"not-executable"});
  EXPECT_EQ(notExecutable.kind, RunResult::Kind::StartFailed);
  EXPECT_EQ(notExecutable.error, "not-executable: Permission denied");
}

// Starting a program again follows a changed PATH and a program that is
// gone, however the last search is kept.
TEST(PlatformRunProgramPosixTest, PathSearchFollowsChanges) {
  TempDir temp;
  MakeDirs("A");
  fs::copy_file(TOLSCRIPT_ARGV_RECORDER, "A/prog");
  WriteFile("B/prog", "#!/bin/sh\nexit 7\n");
  fs::permissions("B/prog", fs::perms::owner_all);
  ScopedEnv status("ARGV_RECORDER_STATUS", "5");
  ScopedEnv out("ARGV_RECORDER_OUT", "args.txt");
  const std::string a = temp.Path() + "/A", b = temp.Path() + "/B";

  std::optional<ScopedEnv> path;
  path.emplace("PATH", a + ":" + b);
  EXPECT_EQ(RunProgram({"prog"}).exitCode, 5);
  path.reset();
  path.emplace("PATH", b + ":" + a);
  EXPECT_EQ(RunProgram({"prog"}).exitCode, 7);
  path.reset();
  path.emplace("PATH", a + ":" + b);
  EXPECT_EQ(RunProgram({"prog"}).exitCode, 5);
  fs::remove("A/prog");
  EXPECT_EQ(RunProgram({"prog"}).exitCode, 7);
}

TEST(PlatformRunProgramPosixTest, ArgumentWithNulIsRefused) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "/args.txt");
  RunResult result = RunProgram({TOLSCRIPT_ARGV_RECORDER, std::string("a\0b", 3)});
  EXPECT_EQ(result.kind, RunResult::Kind::StartFailed);
  EXPECT_FALSE(Exists(temp.Path() + "/args.txt"));
}

}  // namespace
}  // namespace platform
