// Two runs of the program at once in the same current directory, munging
// different inputs into the same output directory: their temporary files
// must never collide, and their build record entries must all be kept.
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "framework/build_record.h"
#include "hardening_support.h"
#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

using hardening::CompilerLeftovers;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::RunTolscript;
using test_support::WriteFile;

using Names = std::vector<std::string>;

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_LUAC(); }
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

TEST_F(ConcurrencyTest, TwoRunsInOneDirectoryBothSucceed) {
  constexpr int kScriptsEach = 200;
  for (int i = 0; i < kScriptsEach; ++i) {
    std::string n = std::to_string(i);
    WriteFile("first/one" + n + ".lua", "function One" + n + "()\n  PlayCinematicShot('a" + n +
                                            "')\n  return " + n + "\nend\n");
    WriteFile("second/two" + n + ".lua", "local t = {" + n + ", " + n + " * 2}\nreturn t\n");
  }
  auto args = [](const std::string& pattern, const std::string& outputDir) {
    return std::vector<std::string>{"-inputfile", pattern, "-outputdir", outputDir, "-cinematics"};
  };
  // The reference: the same munges one after the other.
  test_support::MakeDirs("ref");
  for (const char* pattern : {"first\\*.lua", "second\\*.lua"}) {
    test_support::ProgramRun run = RunTolscript(args(pattern, "ref\\"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  ASSERT_EQ(ListNames("ref").size(), 4u * kScriptsEach);

  test_support::MakeDirs("out");
  test_support::ProgramRun first;
  test_support::ProgramRun second;
  std::thread other([&] { second = RunTolscript(args("second\\*.lua", "out\\")); });
  first = RunTolscript(args("first\\*.lua", "out\\"));
  other.join();

  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(second.err, "");
  ASSERT_EQ(ListNames("out"), ListNames("ref"));
  for (const std::string& name : ListNames("ref"))
    EXPECT_EQ(ReadFile("out/" + name), ReadFile("ref/" + name)) << name;
  EXPECT_EQ(CompilerLeftovers(), Names{});

  // The output folder's build record holds every output of both runs.
  RecordEntries entries;
  size_t lines = 0;
  ASSERT_EQ(ParseBuildRecord(ReadFile(std::string("out/") + test_support::kBuildRecordName),
                             &entries, &lines),
            RecordState::Good);
  for (const std::string& name : ListNames("ref")) {
    if (name.size() > 7 && name.substr(name.size() - 7) == ".script") {
      EXPECT_EQ(entries.count(name), 1u) << name;
    }
  }
  EXPECT_EQ(entries.size(), 2u * kScriptsEach);

  // Both rewrite the one tool log of the directory: what is left is the
  // header of one run, the other's log is lost.
  static const std::regex oneHeader(
      "Logging tolscript\n[0-9]{2}:[0-9]{2}:[0-9]{2}[0-9]{2}/[0-9]{2}/[0-9]{2}\n");
  std::string log = ReadFile("tolscript.log");
  EXPECT_TRUE(std::regex_match(log, oneHeader)) << log;
}

}  // namespace
