// Several compilers at once give what one at a time gives: every file, every
// byte printed or logged, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::WriteFile;

const char* const kScript = "local n = 0\nfunction Tick() n = n + 1 return n end\n";
const char* const kBroken = "function Broken(\n  x = = 1\n";
const char* const kShots = "PlayCinematicShot('Intro')\nPlayCinematicShot('pan')\n";

// Everything a run leaves: its console, exit status and every file under
// the current directory (the munge log among them), by relative path. The
// tool log's second line holds the time of the run.
struct RunRecord {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;
};

RunRecord Record(const test_support::ProgramRun& run) {
  RunRecord record{run.exitCode, run.out, run.err, {}};
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(".")) {
    // The build record holds the outputs' times, which differ run by run.
    if (!entry.is_regular_file() || entry.path().filename() == test_support::kBuildRecordName)
      continue;
    std::string path = fs::relative(entry.path(), ".").generic_string();
    std::string content = test_support::ReadFile(entry.path().string());
    if (path == "tolscript.log") {
      size_t first = content.find('\n');
      size_t second = first == std::string::npos ? first : content.find('\n', first + 1);
      if (second != std::string::npos) content.erase(first, second - first);
    }
    record.files[path] = content;
  }
  return record;
}

struct EquivalenceCase {
  const char* name;
  std::function<void()> makeTree;
  std::vector<std::string> args;
};

void PrintTo(const EquivalenceCase& c, std::ostream* out) { *out << c.name; }

class ParallelMungingTest : public ::testing::TestWithParam<EquivalenceCase> {
 protected:
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
  test_support::ScopedEnv shortPause{"TOLSCRIPT_FAILURE_PAUSE_MS", std::string("10")};
};

RunRecord RunInFreshTree(const EquivalenceCase& c, const std::string& jobs) {
  test_support::TempDir temp;
  test_support::MakeDirs("Corvantis/Data");  // so that the munge log is written
  c.makeTree();
  std::vector<std::string> args = c.args;
  args.insert(args.end(), {"-jobs", jobs});
  return Record(end_to_end::RunTool(args));
}

TEST_P(ParallelMungingTest, ManyCompilersGiveWhatOneGives) {
  REQUIRE_LUAC();
  RunRecord one = RunInFreshTree(GetParam(), "1");
  RunRecord many = RunInFreshTree(GetParam(), "4");
  EXPECT_EQ(many.exitCode, one.exitCode);
  EXPECT_EQ(many.out, one.out);
  EXPECT_EQ(many.err, one.err);
  EXPECT_EQ(many.files, one.files);
  // The case did what it is for.
  EXPECT_NE(one.out.find("Munging"), std::string::npos) << one.out;
  for (const auto& [path, content] : one.files) {
    EXPECT_EQ(path.find(".tmp"), std::string::npos) << path;
  }
}

void ManyScripts(const std::string& dir, int count, const char* source) {
  for (int i = 0; i < count; ++i) WriteFile(dir + "/s" + std::to_string(i) + ".lua", source);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, ParallelMungingTest,
    ::testing::Values(
        EquivalenceCase{"clean_tree",
                        [] {
                          ManyScripts("src", 12, kScript);
                          ManyScripts("src/sub", 5, kShots);
                        },
                        {"-inputfile", "!*.lua", "-sourcedir", "src", "-cinematics"}},
        EquivalenceCase{"failure_stops_the_run",
                        [] {
                          ManyScripts("src", 8, kScript);
                          WriteFile("src/s3.lua", kBroken);
                        },
                        {"-inputfile", "*.lua", "-sourcedir", "src"}},
        EquivalenceCase{"failures_with_continue",
                        [] {
                          ManyScripts("src", 8, kScript);
                          WriteFile("src/s2.lua", kBroken);
                          WriteFile("src/s5.lua", kBroken);
                          WriteFile("src/missing_list_follows.txt", "");
                        },
                        {"-inputfile", "*.lua", "@nolist.txt", "s1.lua", "-sourcedir", "src",
                         "-continue"}},
        EquivalenceCase{"option_files_for_one_input",
                        // More inputs than are decided ahead at once, so
                        // that some are decided while an input with an
                        // option file is munged.
                        [] {
                          ManyScripts("src", 40, kScript);
                          test_support::MakeDirs("other");
                          WriteFile("src/s1.lua.option", "-outputdir other\\");
                          WriteFile("src/s2.lua.option", "-text");
                          WriteFile("src/s3.lua.option", "-skip");
                          WriteFile("src/s4.lua.option", "-cinematics");
                          WriteFile("src/s6.lua", kShots);
                        },
                        {"-inputfile", "*.lua", "-sourcedir", "src"}},
        // The second a.lua sees the output the first one wrote: it is newer
        // than the second's input, so the second is passed over.
        EquivalenceCase{"two_inputs_one_output_under_checkdate",
                        [] {
                          WriteFile("src/a/x.lua", kScript);
                          WriteFile("src/b/x.lua", kShots);
                          ManyScripts("src/b", 4, kScript);
                          test_support::MakeDirs("out");
                          test_support::SetMTime("src/b/x.lua", 1000000000);
                        },
                        {"-inputfile", "!*.lua", "-sourcedir", "src", "-outputdir", "out\\",
                         "-checkdate"}}),
    [](const ::testing::TestParamInfo<EquivalenceCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
