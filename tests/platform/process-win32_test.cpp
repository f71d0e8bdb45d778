// What only Windows does when programs are found and started, and how the
// environment and the program's own path look there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_rules.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::SetEnv;
using test_support::ScopedEnv;
using test_support::TempDir;
using test_support::WriteFile;

// The recorder's full path, taken before a test changes directory.
const std::string& Recorder() {
  static const std::string path = MakeFullPath(TOLSCRIPT_ARGV_RECORDER).value();
  return path;
}

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/"));
}

TEST(PlatformProcessWin32Test, SuffixAndListSeparatorAreWindowsOnes) {
  EXPECT_STREQ(ExecutableSuffix(), ".exe");
  EXPECT_EQ(PathListSeparator(), ';');
}

TEST(PlatformProcessWin32Test, ProgramIsFoundThroughPathWithoutItsSuffix) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "\\args.txt");
  // A directory of the program's name is passed over; empty and quoted
  // entries are allowed, as the command interpreter allows them.
  fs::create_directories(temp.Path() + "\\first\\argv_recorder.exe");
  ScopedEnv path("PATH", temp.Path() + "\\first;;c:\\tolscript-missing;\"" +
                             DirectoryOf(Recorder()) + "\"");
  for (std::string name : {"argv_recorder", "ARGV_RECORDER.EXE"}) {
    RunResult result = RunProgram({name, "x y"});
    ASSERT_EQ(result.kind, RunResult::Kind::Exited) << name << ": " << result.error;
    EXPECT_EQ(ReadFile(temp.Path() + "\\args.txt"), "[x y]\n") << name;
    fs::remove(temp.Path() + "\\args.txt");
  }
}

TEST(PlatformProcessWin32Test, SuffixIsAddedToANameWithADotOrADirectory) {
  TempDir temp;
  ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "\\args.txt");
  fs::copy_file(Recorder(), temp.Path() + "\\tool5.1.exe");
  {
    // "lua5.1" has an extension by the path rules, yet names lua5.1.exe.
    ScopedEnv path("PATH", temp.Path());
    RunResult result = RunProgram({"tool5.1", "a"});
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(ReadFile("args.txt"), "[a]\n");
  }
  std::string withoutSuffix = Recorder().substr(0, Recorder().size() - 4);
  RunResult result = RunProgram({withoutSuffix, "b"});
  ASSERT_TRUE(result.Succeeded()) << result.error;
  EXPECT_EQ(ReadFile("args.txt"), "[b]\n");
}

TEST(PlatformProcessWin32Test, NoPathMeansNoLookup) {
  TempDir temp;
  ScopedEnv path("PATH", std::nullopt);
  RunResult result = RunProgram({"argv_recorder"});
  EXPECT_EQ(result.kind, RunResult::Kind::StartFailed);
  EXPECT_NE(result.error.find("argv_recorder"), std::string::npos) << result.error;
}

TEST(PlatformProcessWin32Test, NamesNoWindowsProgramCanHaveAreRefused) {
  TempDir temp;
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{"\"" + Recorder() + "\""},
        std::vector<std::string>{Recorder(), std::string("a\0b", 3)}}) {
    RunResult result = RunProgram(argv);
    EXPECT_EQ(result.kind, RunResult::Kind::StartFailed) << argv.back();
    EXPECT_FALSE(result.error.empty());
  }
}

// Windows keeps all 32 bits of an exit status; POSIX keeps 8.
TEST(PlatformProcessWin32Test, ExitStatusKeepsItsFullRange) {
  TempDir temp;
  ScopedEnv status("ARGV_RECORDER_STATUS", "300");
  RunResult result = RunProgram({Recorder()});
  EXPECT_EQ(result.kind, RunResult::Kind::Exited) << result.error;
  EXPECT_EQ(result.exitCode, 300);
}

// This test program itself serves as a child that prints.
TEST(PlatformProcessWin32Test, OutputComesBack) {
  TempDir temp;
  RunResult result = RunProgram({GetExecutablePath(), "--gtest_list_tests",
                                 "--gtest_filter=PlatformProcessWin32Test.Output*"});
  ASSERT_TRUE(result.Succeeded()) << result.error;
  EXPECT_NE(result.output.find("OutputComesBack"), std::string::npos) << result.output;
  EXPECT_EQ(result.errorOutput, "");
}

TEST(PlatformProcessWin32Test, ExecutablePathAndFullPathsHaveADrive) {
  std::string self = GetExecutablePath();
  ASSERT_GT(self.size(), 3u);
  EXPECT_EQ(self.substr(1, 2), ":\\") << self;
  EXPECT_TRUE(EqualsIgnoreCase(self.substr(self.size() - 19), "\\platform_tests.exe")) << self;

  TempDir temp;
  std::string here = MakeFullPath(".").value();
  EXPECT_EQ(here.substr(1, 2), ":\\") << here;
  // Windows gives backslashes and resolves "..", whatever form came in.
  EXPECT_EQ(MakeFullPath("sub/../x.lua"), here + "\\x.lua");
  EXPECT_EQ(MakeFullPath("\\"), here.substr(0, 3));
  EXPECT_FALSE(MakeFullPath("").has_value());
  EXPECT_FALSE(MakeFullPath(std::string("a\0b", 3)).has_value());
}

TEST(PlatformProcessWin32Test, EnvironmentTellsEmptyFromUnsetAndKeepsTheRuntimeInStep) {
  const char* name = "TOLSCRIPT_WIN32_TEST_VARIABLE";
  ScopedEnv restore(name, std::nullopt);
  EXPECT_EQ(GetEnv(name), std::nullopt);
  EXPECT_EQ(std::getenv(name), nullptr);

  SetEnv(name, "value");
  EXPECT_EQ(GetEnv(name), "value");
  ASSERT_NE(std::getenv(name), nullptr);
  EXPECT_STREQ(std::getenv(name), "value");

  // Longer than any first guess of a buffer.
  std::string longValue(5000, 'v');
  SetEnv(name, longValue);
  EXPECT_EQ(GetEnv(name), longValue);

  // The system holds an empty value; the C runtime cannot and unsets it.
  SetEnv(name, "");
  EXPECT_EQ(GetEnv(name), "");
  EXPECT_EQ(std::getenv(name), nullptr);

  SetEnv(name, std::nullopt);
  EXPECT_EQ(GetEnv(name), std::nullopt);
  EXPECT_EQ(std::getenv(name), nullptr);
}

}  // namespace
}  // namespace platform
