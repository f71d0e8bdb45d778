// The build record against damaged records and builds started from
// elsewhere: "-checkdate" never keeps an output that a clean munge would
// write differently, and remakes nothing that it would write the same.
#include <filesystem>

#include "hardening_support.h"

namespace hardening {
namespace {

namespace fs = std::filesystem;
using test_support::MakeDirs;

constexpr int kScripts = 8;

// Writes s0.lua and on in `folder`.
void WriteScripts(const std::string& folder) {
  for (int i = 0; i < kScripts; ++i)
    WriteFile(folder + "/s" + std::to_string(i) + ".lua", "return " + std::to_string(i) + "\n");
}

int Munged(const std::string& out) {
  int count = 0;
  for (size_t at = out.find("Munging "); at != std::string::npos; at = out.find("Munging ", at + 1))
    ++count;
  return count;
}

const Names kBinary{"-inputfile", "*.lua", "-sourcedir", "src", "-outputdir", "out\\",
                    "-checkdate"};

TEST_F(HardeningTest, ADamagedRecordIsToldOnceAndWhatItCannotVouchForIsRemade) {
  MakeDirs("out");
  WriteScripts("src");
  ASSERT_EQ(test_support::RunTolscript(kBinary).exitCode, 0);
  std::string record = ReadFile("out/.tolscript_record");
  WriteFile("out/.tolscript_record", record.substr(0, record.size() / 2));
  test_support::ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", std::string("1"));
  test_support::ProgramRun again = test_support::RunTolscript(kBinary);
  EXPECT_EQ(Munged(again.out), kScripts);
  EXPECT_EQ(again.err, "Warning: Build record out\\.tolscript_record is damaged; it is made anew.\n");
  EXPECT_EQ(Munged(test_support::RunTolscript(kBinary).out), 0);
}

TEST_F(HardeningTest, TheSameBuildFromAnotherFolderOrSpellingRemakesNothing) {
  MakeDirs("proj/out");
  MakeDirs("proj/sub");
  WriteScripts("proj/src");
  const std::string proj = fs::absolute("proj").string();
  fs::current_path("proj");
  ASSERT_EQ(Munged(test_support::RunTolscript(kBinary).out), kScripts);
  fs::current_path("sub");
  const Names spellings[] = {
      {"-inputfile", "*.lua", "-sourcedir", "..\\src", "-outputdir", "..\\out\\", "-checkdate"},
      {"-inputfile", "*.lua", "-sourcedir", proj + "/./src", "-outputdir", proj + "/out/",
       "-checkdate"},
  };
  for (const Names& args : spellings) {
    test_support::ProgramRun run = test_support::RunTolscript(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace hardening
