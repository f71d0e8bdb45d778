// The platform layer against the real system. Its file calls, through
// program-form paths that differ in case from the names on disk, and on
// POSIX the translation of those paths and the directory index behind it.
// Then the programs it starts: the argument vector arrives whole, what a
// child prints comes back whole and apart, and how it ended is told
// exactly, once: an exit status, a signal, or a program that could not be
// started.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <map>
#include <set>

#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using namespace test_support;
using Kind = RunResult::Kind;
using Names = std::vector<std::string>;

bool FileExists(const std::string& path) { return StatFile(path).has_value(); }
bool IsDirectory(const std::string& path) {
  return StatFile(path).value_or(FileStatus()).isDirectory;
}
bool IsRegularFile(const std::string& path) {
  return StatFile(path).value_or(FileStatus()).isRegular;
}

bool WriteThrough(const std::string& path, const char* mode = "wb") {
  FILE* stream = OpenStream(path, mode);
  return stream && std::fputs(mode, stream) >= 0 && std::fclose(stream) == 0;
}

// The names a pattern lists, folders with a '/' after them.
Names Listed(const std::string& pattern) {
  Names names;
  for (const DirEntry& entry : ListDirectory(pattern))
    names.push_back(entry.name + (entry.isDirectory ? "/" : ""));
  return names;
}

TEST(FileSystemTest, NamesAreFoundInAnyCaseAndNewNamesKeepTheCaseGiven) {
  TempDir temp;
  WriteFile("Data/Scripts/Foo.lua", "");
  SetMTime("Data/Scripts/Foo.lua", 4102444800);  // past 2038
  EXPECT_TRUE(IsRegularFile("DATA/SCRIPTS/FOO.LUA"));
  EXPECT_TRUE(IsDirectory("data\\scripts"));
  EXPECT_TRUE(IsDirectory("Data/Scripts/"));
  EXPECT_FALSE(IsDirectory("data\\scripts\\foo.lua"));
  EXPECT_FALSE(IsRegularFile("data"));
  for (const char* path : {"Data/Scripts/Foo.lua/", "data\\scripts\\foo.lua\\", "data\\other\\foo.lua", ""})
    EXPECT_FALSE(FileExists(path)) << path;
  EXPECT_EQ(StatFile("data\\scripts\\fOO.lua").value().timeNs, 4102444800 * 1000000000);
  for (const char* name : {"data\\scripts\\New.Lua", "data\\scripts\\FOO.LUA"})
    EXPECT_TRUE(WriteThrough(name)) << name;
  EXPECT_TRUE(WriteThrough("data\\scripts\\foo.lua", "ab"));
  EXPECT_EQ(StatFile("data\\scripts\\foo.lua").value().size, 4u);
  EXPECT_EQ(Listed("data\\scripts\\*"), (Names{"./", "../", "Foo.lua", "New.Lua"}));
  EXPECT_EQ(Listed("data\\*.*"), (Names{"./", "../", "Scripts/"}));
  EXPECT_EQ(Listed("data\\scripts\\foo.lua\\*"), Names{});
  EXPECT_EQ(Listed("DAT?"), Names{"Data/"});
#ifdef _WIN32
  // The system's matching also takes 8.3 names ("LONGFI~1.LUA" for a
  // ".luac") and gives '?' and a trailing '.' DOS meanings: none may show.
  for (const char* name : {"LongFileName.luac", "a.txt"}) WriteFile(name, "");
  Names listed;  // by all four patterns together
  for (const char* pattern : {"*.lua", "longfi~1.lua", "a?.txt", "*."})
    for (const std::string& name : Listed(pattern)) listed.push_back(name);
  EXPECT_EQ(listed, (Names{"./", "../"}));
#endif
}

TEST(FileSystemTest, FailuresSayWhy) {
  TempDir temp;
  for (const char* name : {"present", "gone"}) WriteFile(name, "x");
  std::string error;
  // In a folder not yet looked at; a name in another case is the same file.
  EXPECT_TRUE(RemoveFile("gone", &error)) << error;
  EXPECT_TRUE(WriteThrough("PRESENT"));
  // False, with a reason (taken, so that the next must give its own).
  auto failed = [&error](bool done) { return !done && !std::exchange(error, "").empty(); };
  errno = 0;
  EXPECT_TRUE(failed(RemoveFile("missing", &error)));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(failed(RenameFile("missing", "present", &error)));
  EXPECT_EQ(errno, ENOENT);
  fs::create_directory("folder");  // there, but no file
  EXPECT_TRUE(failed(RemoveFile("folder", &error)));
  EXPECT_TRUE(IsDirectory("folder"));
  // A missing folder, and a name too long for any system.
  for (const std::string& path : {std::string("nodir\\x"), std::string(300, 'n')}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(failed(RemoveFile(path, &error)));
    EXPECT_TRUE(failed(RenameFile(path, "target", &error)));
    EXPECT_TRUE(failed(RenameFile("present", path, &error)));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(WriteThrough(path));
    EXPECT_FALSE(WriteThrough(path + "\\y"));
    EXPECT_FALSE(WriteThrough(path + "\\z", "wbx"));
    EXPECT_EQ(Listed(path + "\\*"), Names{});
  }
#ifndef _WIN32
  fs::create_symlink("nowhere", "dangling");  // missing as a file, there as a name
  EXPECT_TRUE(RemoveFile("dangling", &error)) << error;
#endif
  EXPECT_EQ(ListNames("."), (Names{"folder", "present"}));
}

#ifndef _WIN32
TEST(PosixPathTest, NamesAreTheExactOneElseTheFirstInAnotherCaseElseAsGiven) {
  TempDir temp;
  for (const char* name : {"foo", "Foo", "FOO", "Dir/a", "DIR/b", "Data/Old", "Root/Game/Old"})
    WriteFile(name, name);
  // The exact name, else the first in listing order, else as given.
  EXPECT_EQ(ReadTextFile("Foo"), "Foo");
  EXPECT_EQ(ReadTextFile("fOO"), "FOO");
  std::string error;
  EXPECT_TRUE(RenameFile("FOO", "moved", &error)) << error;
  EXPECT_EQ(ReadTextFile("fOO"), "Foo");
  // The first of several spellings removed, the next stands for them.
  EXPECT_TRUE(RemoveFile("Foo", &error)) << error;
  EXPECT_EQ(ReadTextFile("fOO"), "foo");
  EXPECT_TRUE(RemoveFile("FOO", &error)) << error;
  EXPECT_EQ(NativePath("fOO"), "fOO");
  EXPECT_EQ(NativePath("dir\\b"), "DIR/b");
  EXPECT_EQ(NativePath("dir\\a"), "DIR/a");
  EXPECT_EQ(NativePath("Dir\\A"), "Dir/a");
  WriteFile("Data/Other.TXT", "");
  WriteFile("Data/Renamed", "");
  WriteFile("Data/New.TXT", "");
  std::filesystem::remove("Data/Old");
  // Changes through the platform, each right after the last.
  EXPECT_TRUE(WriteThrough("data\\A.txt"));
  EXPECT_TRUE(FileExists("data\\a.TXT"));
  EXPECT_TRUE(RenameFile("data\\a.txt", "data\\B.txt", &error)) << error;
  EXPECT_FALSE(FileExists("data\\a.txt"));
  EXPECT_TRUE(RemoveFile("data\\b.TXT", &error)) << error;
  EXPECT_FALSE(FileExists("data\\b.txt"));
  EXPECT_TRUE(WriteThrough("data\\b.Txt"));
  EXPECT_TRUE(RemoveFile("data\\OTHER.txt", &error)) << error;
  EXPECT_TRUE(WriteThrough("DATA\\Made.tmp", "wbx"));
  EXPECT_FALSE(WriteThrough("DATA\\Made.tmp", "wbx"));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_TRUE(FileExists("data\\made.TMP"));
  EXPECT_TRUE(RenameFile("data\\RENAMED", "data\\renamed", &error)) << error;
  EXPECT_EQ(ListNames("Data"), (Names{"Made.tmp", "New.TXT", "b.Txt", "renamed"}));
  // Drive and rooted paths land under the drive root; '/' paths stand.
  const std::string root = temp.Path() + "/Root";
  ScopedEnv drive("MUNGE_DRIVE_ROOT", root + "//");
  for (const char* path : {"c:\\game\\a", "D:/game/b", "\\game\\c", "c:d"}) WriteThrough(path);
  EXPECT_EQ(ListNames(root + "/Game"), (Names{"Old", "a", "b", "c"}));
  for (const auto& [path, native] : std::vector<std::pair<std::string, std::string>>{
           {"c:\\GAME\\old", root + "/Game/Old"}, {"\\", root}, {"c:d", root + "/d"},
           {"\\GAME\\New\\\\x//", root + "/Game/New/x/"},
           {temp.Path() + "/root/GAME", root + "/Game"},
           {".\\root\\GAME\\..\\game", "./Root/Game/../Game"}, {"e", "e"}})
    EXPECT_EQ(NativePath(path), native);
  SetEnv("MUNGE_DRIVE_ROOT", std::nullopt);
  EXPECT_EQ(NativePath("c:\\tolscript-missing\\x"), "/tolscript-missing/x");
  EXPECT_EQ(MakeFullPath("d\\x"), temp.Path() + "/d\\x");
}

TEST(PosixPathTest, NamesAtTheLimitWorkAndBeyondItFailCleanly) {
  TempDir temp;
  const std::string longest(NAME_MAX, 'N');
  std::string error, deep;
  EXPECT_TRUE(WriteThrough(longest));
  EXPECT_TRUE(RenameFile(std::string(NAME_MAX, 'n'), longest.substr(1) + "m", &error)) << error;
  EXPECT_EQ(ListNames("."), Names{longest.substr(1) + "m"});
  while (deep.size() <= PATH_MAX) deep += std::string(100, 'd') + "/";
  for (const std::string& path : {longest + "x", deep + "x", std::string("a\0b", 3)}) {
    errno = 0;
    EXPECT_FALSE(WriteThrough(path));
    EXPECT_EQ(errno, path.size() == 3 ? EINVAL : ENAMETOOLONG);
    EXPECT_EQ(NativePath(path), "");
  }
}

// While a run's name cache lives each folder is read once: a name that
// others add afterwards is found only as spelt; the program's own changes
// are found in any case.
TEST(PosixPathTest, ARunSeesTheTreeAsItFirstLookedPlusItsOwnChanges) {
  TempDir temp;
  WriteFile("Data/Old", "");
  NameCache names;
  EXPECT_TRUE(FileExists("data\\old"));
  WriteFile("Data/Other.TXT", "");
  EXPECT_FALSE(FileExists("data\\other.txt"));
  EXPECT_TRUE(FileExists("Data\\Other.TXT"));
  EXPECT_TRUE(WriteThrough("data\\Mine.txt"));
  EXPECT_EQ(NativePath("DATA\\MINE.TXT"), "Data/Mine.txt");
  std::string error;
  EXPECT_TRUE(RenameFile("data\\mine.txt", "data\\Moved.txt", &error)) << error;
  EXPECT_EQ(NativePath("data\\moved.TXT"), "Data/Moved.txt");
  EXPECT_TRUE(RemoveFile("data\\MOVED.txt", &error)) << error;
  EXPECT_EQ(NativePath("data\\moved.txt"), "Data/moved.txt");
}

// A child that has filled its pipe and runs on holds up no other child's
// end: its output is read as far as there is any, never waited for.
TEST(ProcessTest, AChildThatFilledItsPipeHoldsUpNoOther) {
  TempDir temp;
  ProcessSet children;
  RunResult failure;
  const int filled = children.Start(
      {"sh", "-c", "printf %65536s; for i in $(seq 500); do [ -e go ] && exit; sleep 0.01; done; exit 1"},
      &failure);
  ASSERT_GE(filled, 0) << failure.error;
  SleepMilliseconds(300);  // the pipe is full by now
  const int quick = children.Start({"sh", "-c", "exit 0"}, &failure);
  ASSERT_GE(quick, 0) << failure.error;
  EXPECT_EQ(children.WaitForAny(), quick);
  WriteFile("go", "");
  EXPECT_EQ(children.WaitForAny(), filled);
  const RunResult result = children.Take(filled);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output.size(), 65536u);
}
#endif

TEST(ProcessTest, ChildrenRunTogetherAndEachTellsHowItEnded) {
  TempDir temp;
  WriteFile("plain", "");  // found on PATH, but no program
  ScopedEnv path("PATH",
                               GetEnv("PATH").value_or("") + kPathListSeparator + temp.Path());
  ScopedEnv out("ARGV_RECORDER_OUT", "args.txt");  // in the current folder
  ScopedEnv status("ARGV_RECORDER_STATUS", "3");
  struct Case {  // what to run, and how it ends; `kill`: killed at once
    std::vector<std::string> argv;
    Kind kind;
    int code;
    std::string output, errorOutput, error;
    bool kill = false;
    bool tail = false;  // `output` ends what it printed
  } cases[] = {
      {{TOLSCRIPT_ARGV_RECORDER, " padded ", "say \"hi\"", "a\\b", "trailing\\", "\\\\\"", "",
        "$(echo no)", "`x`", "*", "it's", "tab\there", "a&b|c<d>e", "%PATH%", "^", "\"", "\\"},
       Kind::Exited, 3, "", "", ""},
      {{"tolscript-missing", "x"}, Kind::StartFailed, -1, "", "", "tolscript-missing: "},
      {{}, Kind::StartFailed, -1, "", "", "no program"},
      {{TOLSCRIPT_ARGV_RECORDER, std::string("a\0b", 3)}, Kind::StartFailed, -1, "", "", "NUL"},
#ifdef _WIN32
      {{GetExecutablePath(), "--gtest_list_tests", "--gtest_filter=ProcessTest.Children*"},
       Kind::Exited, 0, "ProcessTest.\n  ChildrenRunTogetherAndEachTellsHowItEnded\n", "", "",
       false, true},
#else
      // More output than a pipe holds, after the error stream has ended.
      {{"sh", "-c", "echo err >&2; exec 2>&-; echo out; printf %300000s | tr ' ' o; exit 2"},
       Kind::Exited, 2, "out\n" + std::string(300000, 'o'), "err\n", ""},
      {{"sh", "-c", "exit 127"}, Kind::Exited, 127, "", "", ""},
      {{"sh", "-c", "kill -9 $$"}, Kind::Signalled, 9, "", "", "killed by signal 9"},
      {{"sh", "-c", "sleep 5; echo > late"}, Kind::Exited, 0, "", "", "", true},
      {{"tolscript-missing"}, Kind::StartFailed, -1, "", "", ": No such file or directory"},
      {{"plain"}, Kind::StartFailed, -1, "", "", "plain: Permission denied"},
#endif
  };
  auto check = [](const RunResult& result, const Case& c) {
    EXPECT_EQ(result.kind, c.kind) << result.error;
    EXPECT_EQ(result.exitCode, c.code);
    std::string output = test_support::NormalizeLineEnds(result.output);
    if (c.tail) output.erase(0, output.size() - std::min(output.size(), c.output.size()));
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(result.errorOutput, c.errorOutput);
    EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
  };
  ProcessSet children;
  std::map<int, const Case*> started;
  for (const Case& c : cases) {
    RunResult failure;
    int child = children.Start(c.argv, &failure);
    if (child < 0) {
      EXPECT_EQ(child, -1);
      check(failure, c);
    }
    if (child >= 0 && c.kill) children.Kill(child);
    if (child >= 0 && !c.kill) started[child] = &c;
  }
  // Each ended child is told once, whether or not it was taken yet.
  std::set<int> ended;
  for (size_t i = 0; i < started.size(); ++i) ended.insert(children.WaitForAny());
  ASSERT_EQ(ended.size(), started.size());
  for (int child : ended) check(children.Take(child), *started.at(child));
  EXPECT_EQ(children.Running(), 0);
  EXPECT_EQ(children.WaitForAny(), -1);
  EXPECT_FALSE(Exists("late"));  // killed before it could write
  std::string recorded;
  for (size_t i = 1; i < cases[0].argv.size(); ++i) recorded += "[" + cases[0].argv[i] + "]\n";
  EXPECT_EQ(ReadFile(temp.Path() + "/args.txt"), recorded);
  // A program is looked for on PATH at each start: as PATH is then, and where it is then.
  const std::string first = "prog" + std::string(kExecutableSuffix), later = "later/" + first;
  fs::create_directory("later");
  for (const std::string& copy : {first, later}) fs::copy_file(TOLSCRIPT_ARGV_RECORDER, copy);
  const std::string both = temp.Path() + kPathListSeparator + temp.Path() + "/later";
  const struct {
    std::string path, removed;  // PATH, and a copy removed before the run
    Kind kind;
  } runs[] = {{temp.Path(), "", Kind::Exited}, {"/missing", "", Kind::StartFailed},
              {both, "", Kind::Exited}, {both, first, Kind::Exited}, {both, later, Kind::StartFailed}};
  for (const auto& run : runs) {
    if (!run.removed.empty()) fs::remove(run.removed);
    ScopedEnv path("PATH", run.path);
    SCOPED_TRACE(run.path + " without " + run.removed);
    RunResult result;
    const int child = children.Start({"prog"}, &result);
    if (child >= 0) {
      EXPECT_EQ(children.WaitForAny(), child);
      result = children.Take(child);
    } else {
      EXPECT_EQ(child, -1);  // the one failed start
    }
    EXPECT_EQ(result.kind, run.kind);
  }
}

}  // namespace
}  // namespace platform
