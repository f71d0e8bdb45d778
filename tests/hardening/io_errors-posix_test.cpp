// Disks and files that fail the program: a full or read-only file system,
// files it may not read or write, FIFOs and devices, folders it cannot
// list. Each fails its input with an error naming the file, or passes over
// the folder, leaves nothing partial, keeps nothing waiting, and the run
// goes on with the next input.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hardening_support.h"

namespace hardening {
namespace {

// An error as raised, then as the continuing munge reports it again.
std::string Twice(const std::string& message) {
  return "Error: " + message + "Error: " + message + " [continuing]\n";
}

bool Shell(const std::string& command) {
  return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// Run as a user whom permissions stop: "nobody" when the test runs as
// root. z/good.lua, named after the bad input, in a folder after the bad
// folders, is munged each time. The small file systems need root to mount.
TEST_F(HardeningTest, FailingDisksFilesFifosAndFoldersFailTheirInputAloneAndKeepNothingWaiting) {
  WriteFile("z/good.lua", "return 1\n");
  ASSERT_EQ(test_support::RunTolscript({"-inputfile", "z\\good.lua"}).exitCode, 0);
  const std::string good = ReadFile("z/good.script");
  Names prefix{"timeout", "20"};
  if (geteuid() == 0)
    prefix.insert(prefix.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  const std::string notRegular =
      "Error: Input file .\\bad.lua is not a regular file. [continuing]\n";
  const std::string noOption =
      "Error: Option file .\\bad.lua.option: can't load file. [continuing]\n";
  auto failed = [](const std::string& what, int error) {
    return Twice("Could not " + what + ". DOS reports:\n" + strerror(error) + "\n");
  };
  const std::string disk = "mkdir d && mount -t tmpfs -o size=128k tmpfs d && chmod 777 d && ";
  const std::string unlisted =
      std::string(" cannot be listed (") + strerror(EACCES) + "), passed over.\n";
  // The first folder whose path, with a separator after it, reaches the
  // system's limit of 4,096 bytes.
  std::string deep = "Error: Input directory .";
  for (int i = 0; i < 41; ++i) deep += "\\" + std::string(100, '0');
  const std::string both = "Munging bad.lua\nMunging good.lua\n";
  // The compiler makes its file first, so it is the first to fail there.
  const std::string compileFailed =
      "Munging bad.lua\n\n**** ERROR: luac returned 1\nERROR reading processed script\n"
      "Munging good.lua\n";
  const std::string unreadable = Twice("Could not read input file.");
  const struct {
    const char* name;
    std::string setup;
    const char* arg;  // before z\good.lua, if any
    std::string err;  // from the first error on (the compiler may complain first)
    std::string out = "Munging good.lua\n";
  } cases[] = {
      // The compiled code fits, but not its text form, which also outgrows
      // the 64 KiB write buffer.
      {"disk_full_while_writing",
       disk + "seq 2000 | sed \"s/.*/x = 'entry&'/\" > d/bad.lua && echo -text > d/bad.lua.option",
       "d\\bad.lua", failed("write .\\d\\bad.script", ENOSPC), both},
      // Where the compiler cannot write, it fails first.
      {"disk_full", disk + "touch d/bad.lua && (cat /dev/zero > d/f; true)", "d\\bad.lua",
       unreadable, compileFailed},
      // The compiler's file cannot even be named there.
      {"output_folder_that_cannot_be_searched",
       "touch bad.lua; mkdir out; chmod 666 out; echo '-outputdir out\\' > bad.lua.option",
       "bad.lua", failed("open out\\bad.script for output", EACCES), both},
      // Replaced, not written over.
      {"older_output_without_permissions", "touch z/bad.lua z/bad.script; chmod 0 z/bad.script",
       "z\\bad.lua", "", both},
      {"input_without_read_permission", "touch bad.lua; chmod 0 bad.lua", "bad.lua", unreadable,
       compileFailed},
      {"option_file_without_read_permission",
       "touch bad.lua bad.lua.option; chmod 0 bad.lua.option", "bad.lua", noOption},
      {"option_file_that_is_a_folder", "touch bad.lua; mkdir bad.lua.option", "bad.lua", noOption},
      {"input_fifo", "mkfifo bad.lua", "bad.lua", notRegular},
      {"option_file_fifo", "mkfifo z/good.lua.option", "", ""},
      {"list_fifo", "mkfifo list.txt", "@list.txt", ""},
      // Read as soon as the writer is there, then waited on like any pipe.
      {"list_fifo_written_late",
       "mkfifo -m 666 list.txt; (exec 3<>list.txt; touch open; sleep 0.3; echo z/good.lua >&3) &"
       " while [ ! -e open ]; do sleep 0.01; done",
       "@list.txt", "", "Munging good.lua\nMunging good.lua\n"},
      {"list_device", "true", "@/dev/zero", ""},
      {"tool_log_fifo", "mkfifo tolscript.log", "", ""},
      {"munge_log_fifo", "mkdir -p Corvantis/Data; mkfifo Corvantis/Data/MungeLog.txt",
       "missing.lua", "Error: Input file .\\missing.lua does not exist. [continuing]\n"},
      {"locked_folder_under_recursion", "mkdir a; touch a/x.lua; chmod 0 a", "!*.lua",
       "Error: Input directory .\\a:" + unlisted},
      {"locked_folder_under_a_wildcard", "mkdir a; touch a/x.lua; chmod 0 a", "a\\*.lua",
       "Error: Input directory a:" + unlisted},
      // Told once, not again for a folder inside it.
      {"locked_folder_and_one_inside_it",
       "mkdir -p a/b; touch a/b/x.lua; chmod 0 a; echo 'a/*.lua a/b/*.lua' > list.txt",
       "@list.txt", "Error: Input directory a:" + unlisted},
      {"folder_past_the_path_limit",
       "d=$(printf %0100d 0); for i in $(seq 45); do mkdir $d; cd -P $d; done", "!*.lua",
       deep + ": cannot be listed (" + strerror(ENAMETOOLONG) + "), passed over.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    WriteFile("z/good.lua", "return 1\n");
    if (!Shell("(" + c.setup + ") && chmod 777 . z")) {
      EXPECT_NE(geteuid(), 0u) << "cannot set up";
      continue;
    }
    Names expected = AllPaths();
    // Recursion finds z\good.lua itself; an empty argument is none.
    Names args{"-inputfile", c.arg, "z\\good.lua", "-continue"};
    if (args[1] == "!*.lua" || args[1].empty())
      args.erase(args.begin() + (args[1].empty() ? 1 : 2));
    platform::RunResult run = RunBehind(prefix, args);
    EXPECT_EQ(run.exitCode, c.err.empty() ? 0 : 1) << "124: the run waited";
    const size_t error = std::min(run.errorOutput.find("Error: "), run.errorOutput.size());
    EXPECT_EQ(run.errorOutput.substr(error), c.err);
    EXPECT_EQ(run.output, c.out);
    EXPECT_EQ(ReadFile("z/good.script"), good);
    // Nothing made but the good output and the log; no FIFO replaced.
    for (std::string made : {"tolscript.log", "z/good.script", "z/.tolscript_record"})
      if (!std::binary_search(expected.begin(), expected.end(), made + " (fifo)"))
        expected.push_back(made);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(AllPaths(), expected);
    if (c.setup.starts_with(disk)) {
      EXPECT_TRUE(Shell("umount d"));
    }
  }
}

}  // namespace
}  // namespace hardening
