// Runs that share an output folder, and the temporary files runs leave:
// a live run's files are never taken for a dead run's, and a dead run's
// go with the next run that writes into their folder.
#include <regex>

#include "hardening_support.h"

namespace hardening {
namespace {

using test_support::MakeDirs;

// A compiler that compiles, then waits $LINGER seconds; on a script whose
// name holds "kill" it kills the program that started it instead.
const char* const kLingeringLuac =
    "#!/bin/sh\n"
    "case \"$*\" in *kill*) command -p sleep 0.3; kill -9 $PPID; exit 1 ;; esac\n"
    "\"$REAL_LUAC\" \"$@\" || exit\n"
    "exec sleep \"${LINGER:-0}\"\n";

class SharedFolderTest : public HardeningTest {
 protected:
  void SetUp() override {
    HardeningTest::SetUp();
    InstallLuac(kLingeringLuac);
  }
  std::string Command(const std::string& args, const std::string& linger) {
    return "PATH='" + tools.Path() + ":" + platform::GetEnv("PATH").value_or("") + "' REAL_LUAC='" +
           platform::FindProgram("luac").value_or("") + "' LINGER=" + linger + " '" +
           TOLSCRIPT_PROGRAM + "' " + args;
  }
  // The temporary files in `folder`, each up to its ".tmp".
  Names TempFiles(const std::string& folder) {
    Names temps;
    for (const std::string& name : AllPaths(folder)) {
      size_t at = name.find(".tmp");
      if (at != std::string::npos) temps.push_back(name.substr(0, at + 4));
    }
    return temps;
  }
};

TEST_F(SharedFolderTest, TwoRunsIntoOneFolderBothSucceed) {
  MakeDirs("out");
  for (const char* src : {"one", "two"}) {
    WriteFile(std::string(src) + "/f1.lua", "return 1\n");
    WriteFile(std::string(src) + "/f2.lua", "return 2\n");
  }
  const std::string args = "-inputfile f1.lua f2.lua -outputdir 'out\\' -jobs 1 -sourcedir ";
  platform::RunResult both = test_support::RunProgram(
      {"sh", "-c",
       "(" + Command(args + "one", "1") + "; echo first $? >> status) & sleep 0.5; " +
           Command(args + "two", "1") + "; echo second $? >> status; wait"});
  std::string status = ReadFile("status");
  EXPECT_NE(status.find("first 0\n"), std::string::npos) << status << both.errorOutput;
  EXPECT_NE(status.find("second 0\n"), std::string::npos) << status << both.errorOutput;
  EXPECT_EQ(TempFiles("out"), Names{});
  // Both rewrite the folder's one tool log: one run's header is left whole.
  EXPECT_TRUE(std::regex_match(ReadFile("tolscript.log"),
                               std::regex("Logging tolscript\n[0-9:]{8}[0-9/]{8}\n")))
      << ReadFile("tolscript.log");
}

}  // namespace
}  // namespace hardening
