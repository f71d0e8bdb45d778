// Disks and files that fail the program: a full file system, a read-only
// output directory, an input or an option file that cannot be read, a
// folder that cannot be listed. Each fails its input (or passes over the
// folder) with an error naming it, exit status 1, nothing partial left, and
// "-continue" goes on with the next input.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "child_process-posix.h"
#include "hardening_support.h"
#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

using end_to_end::BinaryScriptFile;
using end_to_end::CompileWithLuac;
using end_to_end::Contains;
using hardening::CompilerLeftovers;
using test_support::Exists;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::RunTolscript;
using test_support::WriteFile;

using Names = std::vector<std::string>;

bool IsRoot() { return geteuid() == 0; }

// A tmpfs mounted on `dir` for the scope (needs root and mount).
class ScopedMount {
 public:
  ScopedMount(const std::string& dir, const std::string& options) : dir(dir) {
    test_support::MakeDirs(dir);
    mounted = IsRoot() && Shell("mount -t tmpfs -o " + options + " tmpfs '" + dir + "'");
  }
  ~ScopedMount() {
    if (mounted && !Shell("umount '" + dir + "'") && !Shell("umount -l '" + dir + "'"))
      ADD_FAILURE() << "cannot unmount " << dir;
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  bool Mounted() const { return mounted; }
  bool MakeReadOnly() { return Shell("mount -o remount,ro '" + dir + "'"); }

 private:
  static bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string dir;
  bool mounted = false;
};

const char* const kSmall = "local x = 1\nreturn x\n";

// A script whose output is far larger than the small file system.
std::string BigScript() {
  std::string source = "local names = {\n";
  for (int i = 0; i < 6000; ++i) source += "  'entry" + std::to_string(i) + "',\n";
  return source + "}\nreturn names\n";
}

// The error as reported where it is raised, then as the run or the
// continuing munge reports it again.
std::string Reported(const std::string& message, bool continueOnError) {
  return "Error: " + message + "Error: " + message + (continueOnError ? " [continuing]\n" : "\n");
}

// Runs the program; one that has not ended after `seconds` fails the test
// and is killed with the compiler it started.
test_support::ProgramRun RunWithin(int seconds, std::vector<std::string> args) {
  args.insert(args.begin(), TOLSCRIPT_PROGRAM);
  test_support::ProgramRun run;
  {
    hardening::ChildProcess child(args, {}, "run.out", "run.err");
    std::optional<hardening::ChildExit> exit = child.WaitAtMost(seconds);
    if (!exit) {
      ADD_FAILURE() << "the program did not end within " << seconds << " s";
    } else if (exit->exited) {
      run.exitCode = exit->exitCode;
    }
  }
  run.out = ReadFile("run.out");
  run.err = ReadFile("run.err");
  std::remove("run.out");
  std::remove("run.err");
  return run;
}

class IoErrorTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_LUAC(); }
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

class FullOutputDiskTest : public IoErrorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullOutputDiskTest, AnOutputThatDoesNotFitFailsNamingItAndLeavesNothing) {
  const bool continueOnError = GetParam();
  ScopedMount disk("disk", "size=64k");
  if (!disk.Mounted())
    GTEST_SKIP() << "cannot mount a small tmpfs (needs root); full disk untested";
  WriteFile("a.lua", kSmall);
  WriteFile("big.lua", BigScript());
  WriteFile("c.lua", kSmall);
  const std::string compiled = CompileWithLuac("a.lua", {"-s"});
  WriteFile("disk/big.script", "older output");

  std::vector<std::string> args{"-inputfile", "a.lua", "big.lua", "c.lua", "-outputdir", "disk\\"};
  if (continueOnError) args.push_back("-continue");
  test_support::ProgramRun run = RunTolscript(args);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, Reported("Could not write disk\\big.script. DOS reports:\n" +
                                  std::string(strerror(ENOSPC)) + "\n",
                              continueOnError));
  EXPECT_EQ(run.out, continueOnError ? "Munging a.lua\nMunging big.lua\nMunging c.lua\n"
                                     : "Munging a.lua\nMunging big.lua\n");
  // The failed output is gone, also its older version; no temporary file.
  EXPECT_EQ(ListNames("disk"),
            continueOnError ? (Names{"a.script", "c.script"}) : (Names{"a.script"}));
  EXPECT_EQ(ReadFile("disk/a.script"), BinaryScriptFile("a", compiled));
  if (continueOnError) {
    EXPECT_EQ(ReadFile("disk/c.script"), BinaryScriptFile("c", compiled));
  }
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(Continue, FullOutputDiskTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "with_continue" : "stops");
                         });

struct FullAtCloseCase {
  const char* name;
  std::vector<std::string> options;
  std::string failingFile;
};

void PrintTo(const FullAtCloseCase& c, std::ostream* out) { *out << c.name; }

class FullDiskAtCloseTest : public IoErrorTest,
                            public ::testing::WithParamInterface<FullAtCloseCase> {};

TEST_P(FullDiskAtCloseTest, ASmallOutputOnAFullDiskFailsWhenItIsCompleted) {
  ScopedMount disk("disk", "size=64k");
  if (!disk.Mounted())
    GTEST_SKIP() << "cannot mount a small tmpfs (needs root); full disk untested";
  WriteFile("disk/a.lua", kSmall);
  WriteFile("b.lua", kSmall);
  {
    // Fill the file system to its last byte.
    std::ofstream filler("disk/filler", std::ios::binary);
    const std::string block(512, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
           filler.flush()) {
    }
  }
  test_support::ProgramRun run = [&] {
    std::vector<std::string> args{"-inputfile", "disk\\a.lua", "b.lua", "-continue"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    return RunTolscript(args);
  }();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, Reported("Could not write " + GetParam().failingFile + ". DOS reports:\n" +
                                  std::string(strerror(ENOSPC)) + "\n",
                              true));
  EXPECT_EQ(run.out, "Munging a.lua\nMunging b.lua\n");
  EXPECT_EQ(ListNames("disk"), (Names{"a.lua", "filler"}));
  EXPECT_TRUE(Exists("b.script"));
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(Forms, FullDiskAtCloseTest,
                         ::testing::Values(FullAtCloseCase{"binary", {}, ".\\disk\\a.script"},
                                           // The requirements file is completed first.
                                           FullAtCloseCase{"text_with_requirements",
                                                           {"-text", "-cinematics"},
                                                           ".\\disk\\a.script.req"}),
                         [](const ::testing::TestParamInfo<FullAtCloseCase>& info) {
                           return std::string(info.param.name);
                         });

class ReadOnlyOutputTest : public IoErrorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadOnlyOutputTest, AnOutputInAReadOnlyDirectoryFailsNamingIt) {
  const bool continueOnError = GetParam();
  // Root is not stopped by permissions; a read-only mount stops everyone.
  std::optional<ScopedMount> mount;
  if (IsRoot()) {
    mount.emplace("ro", "size=1m");
    if (!mount->Mounted()) GTEST_SKIP() << "cannot mount a tmpfs as root; read-only dir untested";
  }
  WriteFile("ro/a.lua", kSmall);
  WriteFile("ro/a.script", "older output");
  WriteFile("rw/b.lua", kSmall);
  int expectedError = EACCES;
  if (mount) {
    ASSERT_TRUE(mount->MakeReadOnly());
    expectedError = EROFS;
  } else {
    ASSERT_EQ(chmod("ro", 0555), 0);
  }
  const hardening::TreeSnapshot before = hardening::SnapshotTree("ro");

  std::vector<std::string> args{"-inputfile", "ro\\a.lua", "rw\\b.lua"};
  if (continueOnError) args.push_back("-continue");
  test_support::ProgramRun run = RunTolscript(args);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, Reported("Could not open .\\ro\\a.script for output. DOS reports:\n" +
                                  std::string(strerror(expectedError)) + "\n",
                              continueOnError));
  EXPECT_EQ(hardening::TreeChanges(before, hardening::SnapshotTree("ro")), Names{});
  EXPECT_EQ(ListNames("rw"), continueOnError ? (Names{"b.lua", "b.script"}) : (Names{"b.lua"}));
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(Continue, ReadOnlyOutputTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "with_continue" : "stops");
                         });

struct UnreadableCase {
  const char* name;
  bool needsNonRoot;  // permissions stop only other users than root
  std::function<void(const std::string& path)> make;
  std::string err;  // what the program reports for it
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.name; }

const char* const kNotAFile = "Error: Input file .\\bad.lua is not a regular file. [continuing]\n";

std::vector<UnreadableCase> UnreadableInputs() {
  return {
      {"dangling_link", false,
       [](const std::string& path) { ASSERT_EQ(symlink("nowhere.lua", path.c_str()), 0); },
       "Error: Input file .\\bad.lua does not exist. [continuing]\n"},
      // Not handed to the compiler, which would wait for a FIFO's writer or
      // read a device for ever.
      {"directory", false, [](const std::string& path) { test_support::MakeDirs(path); },
       kNotAFile},
      {"fifo", false, [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); },
       kNotAFile},
      {"link_to_a_device", false,
       [](const std::string& path) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); },
       kNotAFile},
      // The compiler cannot read it: the conversion fails.
      {"no_read_permission", true,
       [](const std::string& path) {
         WriteFile(path, kSmall);
         ASSERT_EQ(chmod(path.c_str(), 0), 0);
       },
       Reported("Could not read input file.", true)},
  };
}

class UnreadableInputTest : public IoErrorTest,
                            public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableInputTest, FailsThatInputAndContinueGoesOn) {
  const UnreadableCase& c = GetParam();
  if (c.needsNonRoot && IsRoot()) GTEST_SKIP() << "root reads files without read permission";
  c.make("bad.lua");
  // Whatever the failure, its option file holds for it alone.
  WriteFile("bad.lua.option", "-text\n");
  WriteFile("good.lua", kSmall);
  const std::string compiled = CompileWithLuac("good.lua", {"-s"});
  test_support::ProgramRun run = RunWithin(60, {"-inputfile", "bad.lua", "good.lua", "-continue"});
  EXPECT_EQ(run.exitCode, 1);
  // The compiler's own complaint may come first.
  EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
  EXPECT_TRUE(Contains(run.out, "Munging good.lua\n")) << run.out;
  EXPECT_EQ(ReadFile("good.script"), BinaryScriptFile("good", compiled));
  EXPECT_FALSE(Exists("bad.script"));
  EXPECT_EQ(hardening::OutputTemporaries("."), Names{});
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableInputTest, ::testing::ValuesIn(UnreadableInputs()),
                         [](const ::testing::TestParamInfo<UnreadableCase>& info) {
                           return std::string(info.param.name);
                         });

struct OptionFileCase {
  const char* name;
  bool needsNonRoot;
  bool continueOnError;
  std::function<void(const std::string& path)> make;
};

void PrintTo(const OptionFileCase& c, std::ostream* out) { *out << c.name; }

class UnreadableOptionFileTest : public IoErrorTest,
                                 public ::testing::WithParamInterface<OptionFileCase> {};

TEST_P(UnreadableOptionFileTest, FailsItsInput) {
  const OptionFileCase& c = GetParam();
  if (c.needsNonRoot && IsRoot()) GTEST_SKIP() << "root reads files without read permission";
  WriteFile("a.lua", kSmall);
  WriteFile("b.lua", kSmall);
  c.make("a.lua.option");
  const std::string compiled = CompileWithLuac("b.lua", {"-s"});
  std::vector<std::string> args{"-inputfile", "a.lua", "b.lua"};
  if (c.continueOnError) args.push_back("-continue");
  test_support::ProgramRun run = RunTolscript(args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, Reported("Option file .\\a.lua.option: can't load file.", c.continueOnError));
  EXPECT_EQ(run.out, c.continueOnError ? "Munging b.lua\n" : "");
  EXPECT_FALSE(Exists("a.script"));
  EXPECT_EQ(Exists("b.script"), c.continueOnError);
  if (c.continueOnError) {
    EXPECT_EQ(ReadFile("b.script"), BinaryScriptFile("b", compiled));
  }
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnreadableOptionFileTest,
    ::testing::Values(OptionFileCase{"directory_with_continue", false, true,
                                     [](const std::string& path) { test_support::MakeDirs(path); }},
                      OptionFileCase{"directory_stops", false, false,
                                     [](const std::string& path) { test_support::MakeDirs(path); }},
                      OptionFileCase{"no_read_permission", true, true,
                                     [](const std::string& path) {
                                       WriteFile(path, "-text\n");
                                       ASSERT_EQ(chmod(path.c_str(), 0), 0);
                                     }}),
    [](const ::testing::TestParamInfo<OptionFileCase>& info) {
      return std::string(info.param.name);
    });

// FIFOs and devices where the program reads a list or an option file, or
// writes a log: none may keep it waiting. A FIFO without a writer reads as
// empty, one without a reader takes no log, /dev/zero ends at its first
// byte; the run goes on as without them.
TEST_F(IoErrorTest, FifosAndDevicesAsListsOptionFilesAndLogsKeepNothingWaiting) {
  struct Case {
    const char* name;
    const char* fifo;  // made before the run, when not empty
    bool underDriveRoot;
    std::vector<std::string> args;
    int exitCode;
  };
  const Case cases[] = {
      {"option_file", "good.lua.option", false, {"-inputfile", "good.lua"}, 0},
      {"list_file", "list.txt", false, {"-inputfile", "@list.txt", "good.lua"}, 0},
      {"list_file_that_never_ends", "", false, {"-inputfile", "@/dev/zero", "good.lua"}, 0},
      {"tool_log", "tolscript.log", false, {"-inputfile", "good.lua"}, 0},
      {"munge_log", "Corvantis/Data/MungeLog.txt", true,
       {"-inputfile", "missing.lua", "good.lua", "-continue"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    WriteFile("good.lua", kSmall);
    const std::string compiled = CompileWithLuac("good.lua", {"-s"});
    std::string fifo = c.fifo;
    if (!fifo.empty()) {
      if (c.underDriveRoot) {
        fifo = test_support::DrivePath(fifo);
        test_support::MakeDirs(fifo.substr(0, fifo.rfind('/')));
      }
      ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << fifo;
    }
    test_support::ProgramRun run = RunWithin(60, c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_TRUE(Contains(run.out, "Munging good.lua\n")) << run.out;
    EXPECT_EQ(ReadFile("good.script"), BinaryScriptFile("good", compiled));
    if (!fifo.empty()) {
      struct stat status;
      ASSERT_EQ(stat(fifo.c_str(), &status), 0);
      EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "the FIFO was replaced";
    }
    EXPECT_EQ(CompilerLeftovers(), Names{});
  }
}

// Runs the program as a user whom permissions stop: "nobody" when the test
// runs as root, else the test's own user. Nothing when there is no such
// user.
std::optional<test_support::ProgramRun> RunWithoutRoot(std::vector<std::string> args) {
  args.insert(args.begin(), TOLSCRIPT_PROGRAM);
  const bool dropRoot = IsRoot();
  uid_t uid = 0;
  gid_t gid = 0;
  if (dropRoot) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || nobody->pw_uid == 0) return std::nullopt;
    uid = nobody->pw_uid;
    gid = nobody->pw_gid;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    // Only calls that are safe after a fork, until the program starts.
    int out = open("run.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open("run.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
      _exit(126);
    if (dropRoot && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  test_support::ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile("run.out");
  run.err = ReadFile("run.err");
  std::remove("run.out");
  std::remove("run.err");
  return run;
}

// Removes the folder `name` in the folder open as `dirFd` with all it
// holds, one level at a time.
void RemoveTreeAt(int dirFd, const char* name) {
  int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  if (DIR* handle = fdopendir(fd)) {
    std::vector<std::pair<std::string, bool>> entries;
    while (dirent* entry = readdir(handle)) {
      std::string child = entry->d_name;
      if (child != "." && child != "..") entries.push_back({child, entry->d_type == DT_DIR});
    }
    for (const auto& [child, isDir] : entries) {
      if (isDir) {
        RemoveTreeAt(dirfd(handle), child.c_str());
      } else {
        unlinkat(dirfd(handle), child.c_str(), 0);
      }
    }
    closedir(handle);
  } else {
    close(fd);
  }
  unlinkat(dirFd, name, AT_REMOVEDIR);
}

// Folders named `component`, `depth` deep under `top`, with a script in
// the deepest: made and removed one level at a time, since the whole path
// is too long for the system.
class DeepTree {
 public:
  DeepTree(const std::string& top, const std::string& component, int depth)
      : top(top), component(component) {
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
      mkdirat(fd, component.c_str(), 0755);
      int next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      close(fd);
      fd = next;
    }
    if (fd < 0) throw std::runtime_error("cannot make the deep tree");
    int file = openat(fd, "deep.lua", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    close(fd);
    if (file < 0 || write(file, kSmall, strlen(kSmall)) < 0) {
      throw std::runtime_error("cannot write the deep script");
    }
    close(file);
  }
  ~DeepTree() {
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    RemoveTreeAt(fd, component.c_str());
    close(fd);
  }
  DeepTree(const DeepTree&) = delete;
  DeepTree& operator=(const DeepTree&) = delete;

 private:
  std::string top;
  std::string component;
};

// A folder that "!" recursion or a wildcard cannot list is reported once,
// naming it, and the walk goes on without it: the exit status tells that
// inputs were missed. A folder that is not there is no error.
TEST_F(IoErrorTest, AFolderThatCannotBeListedIsReportedAndTheWalkGoesOn) {
  const std::string component(100, 'd');
  std::string deepFolder = "src\\.";
  // The first folder whose path, with a separator after it, reaches the
  // system's limit of 4,096 bytes.
  for (int i = 0; i < 41; ++i) deepFolder += "\\" + component;
  struct Case {
    const char* name;
    bool lockedSub;  // src/sub has no permissions at all
    bool deepTree;   // src holds a script far below the path limit
    std::vector<std::string> args;
    int exitCode;
    std::string err;
    Names outputs;
  };
  const Case cases[] = {
      {"recursion_into_a_locked_folder", true, false, {"-inputfile", "!*.lua"}, 1,
       "Error: Input directory src\\.\\sub: cannot be listed (Permission denied), passed over.\n",
       Names{"a.script", "z.script"}},
      {"recursion_with_continue", true, false, {"-inputfile", "!*.lua", "-continue"}, 1,
       "Error: Input directory src\\.\\sub: cannot be listed (Permission denied), passed over.\n",
       Names{"a.script", "z.script"}},
      {"wildcard_in_a_locked_folder", true, false, {"-inputfile", "sub\\*.lua", "a.lua"}, 1,
       "Error: Input directory src\\sub: cannot be listed (Permission denied), passed over.\n",
       Names{"a.script"}},
      {"recursion_past_the_path_limit", false, true, {"-inputfile", "!*.lua"}, 1,
       "Error: Input directory " + deepFolder +
           ": cannot be listed (File name too long), passed over.\n",
       Names{"a.script", "b.script", "z.script"}},
      {"missing_folder", false, true, {"-inputfile", "missing\\*.lua", "!none\\*.lua", "a.lua"}, 0, "",
       Names{"a.script"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    // Open to the user the program runs as.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    WriteFile("src/a.lua", kSmall);
    WriteFile("src/sub/b.lua", kSmall);
    WriteFile("src/z/z.lua", kSmall);
    test_support::MakeDirs("plat");  // holds none of the folders
    test_support::MakeDirs("out");
    ASSERT_EQ(chmod("out", 0777), 0);
    const std::string compiled = CompileWithLuac("src/a.lua", {"-s"});
    std::optional<DeepTree> deep;
    if (c.deepTree) deep.emplace("src", component, 45);
    if (c.lockedSub) {
      ASSERT_EQ(chmod("src/sub", 0), 0);
    }
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-sourcedir", "src", "-platformdir", "plat", "-outputdir", "out\\"});
    std::optional<test_support::ProgramRun> run = RunWithoutRoot(args);
    if (!run) GTEST_SKIP() << "no user without root's rights to run as";
    EXPECT_EQ(run->exitCode, c.exitCode) << run->err;
    EXPECT_EQ(run->err, c.err);
    EXPECT_EQ(ListNames("out"), c.outputs);
    EXPECT_EQ(ReadFile("out/a.script"), BinaryScriptFile("a", compiled));
    EXPECT_EQ(CompilerLeftovers(), Names{});
  }
}

}  // namespace
