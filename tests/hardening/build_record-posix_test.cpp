// The build record against runs that die, records that are damaged, runs
// that share a folder and builds started from elsewhere: "-checkdate" never
// keeps an output that a clean munge would write differently, and remakes
// nothing that it would write the same.
#include <filesystem>

#include "hardening_support.h"

namespace hardening {
namespace {

namespace fs = std::filesystem;
using test_support::MakeDirs;

constexpr int kScripts = 40;

// Writes src/s0.lua and on, each returning `value`.
void WriteScripts(const std::string& folder, int count, const std::string& value = "1") {
  for (int i = 0; i < count; ++i)
    WriteFile(folder + "/s" + std::to_string(i) + ".lua", "return " + value + "\n");
}

int Munged(const std::string& out) {
  int count = 0;
  for (size_t at = out.find("Munging "); at != std::string::npos; at = out.find("Munging ", at + 1))
    ++count;
  return count;
}

const Names kText{"-inputfile", "*.lua", "-sourcedir", "src", "-outputdir", "out\\",
                  "-checkdate", "-text", "-jobs", "1"};
const Names kBinary{"-inputfile", "*.lua", "-sourcedir", "src", "-outputdir", "out\\",
                    "-checkdate"};

// A compiler that kills the program that started it on its call $AT.
const char* const kKillingLuac =
    "#!/bin/sh\n"
    "echo x >> \"$CALLS\"\n"
    "[ \"$(wc -l < \"$CALLS\")\" -ge \"$AT\" ] && kill -9 $PPID\n"
    "exec \"$REAL_LUAC\" \"$@\"\n";

TEST_F(HardeningTest, AfterARunThatDiesEveryOutputWithOtherFactsIsRemade) {
  InstallLuac(kKillingLuac);
  const std::string program = TOLSCRIPT_PROGRAM;
  std::string textRun;
  for (const std::string& arg : kText) textRun += " '" + arg + "'";
  const struct {
    const char* name;
    Names run;
  } deaths[] = {
      {"killed", WithCompiler("60", {"CALLS=" + tools.Path() + "/calls", "AT=20", program})},
      {"closed_pipe", {"sh", "-c", "'" + program + "'" + textRun + " -verbose | head -c 1"}},
  };
  for (const auto& death : deaths) {
    SCOPED_TRACE(death.name);
    test_support::TempDir run;
    WriteFile(tools.Path() + "/calls", "");
    MakeDirs("out");
    WriteScripts("src", kScripts);
    Names args = death.run;
    if (std::string(death.name) == "killed") args.insert(args.end(), kText.begin(), kText.end());
    test_support::RunProgram(args);
    test_support::ProgramRun again = test_support::RunTolscript(kBinary);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Munged(again.out), kScripts);
    for (const std::string& name : AllPaths("out")) EXPECT_EQ(name.find(".tmp"), std::string::npos);
  }
}

TEST_F(HardeningTest, ADamagedRecordIsToldOnceAndWhatItCannotVouchForIsRemade) {
  MakeDirs("out");
  WriteScripts("src", kScripts);
  ASSERT_EQ(test_support::RunTolscript(kBinary).exitCode, 0);
  std::string record = ReadFile("out/.tolscript_record");
  WriteFile("out/.tolscript_record", record.substr(0, record.size() / 2));
  test_support::ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", std::string("1"));
  test_support::ProgramRun again = test_support::RunTolscript(kBinary);
  EXPECT_EQ(Munged(again.out), kScripts);
  EXPECT_EQ(again.err, "Warning: Build record out\\.tolscript_record is damaged; it is made anew.\n");
  EXPECT_EQ(Munged(test_support::RunTolscript(kBinary).out), 0);
}

// Two runs that write other sources into one folder at once, crossing in
// the middle, then one of them again: each output is that one's, as a
// clean munge writes it.
TEST_F(HardeningTest, RunsThatShareAFolderLeaveNoOutputTheRecordMisjudges) {
  constexpr int kMany = 300;
  MakeDirs("out");
  MakeDirs("clean");
  WriteScripts("a", kMany, "1");
  WriteScripts("b", kMany, "'two'");
  std::string backwards;
  for (int i = kMany - 1; i >= 0; --i) backwards += "s" + std::to_string(i) + ".lua\n";
  WriteFile("backwards.txt", backwards);
  const std::string program = TOLSCRIPT_PROGRAM;
  const std::string both = "'" + program + "' -inputfile '*.lua' -sourcedir a -outputdir 'out\\' & '" +
                           program + "' -inputfile @backwards.txt -sourcedir b -outputdir 'out\\'; wait";
  test_support::RunProgram({"sh", "-c", both});
  test_support::RunTolscript({"-inputfile", "*.lua", "-sourcedir", "a", "-outputdir", "out\\",
                              "-checkdate"});
  test_support::RunTolscript({"-inputfile", "*.lua", "-sourcedir", "a", "-outputdir", "clean\\"});
  int differ = 0;
  for (int i = 0; i < kMany; ++i) {
    std::string name = "/s" + std::to_string(i) + ".script";
    differ += ReadFile("out" + name) != ReadFile("clean" + name);
  }
  EXPECT_EQ(differ, 0);
}

}  // namespace
}  // namespace hardening
