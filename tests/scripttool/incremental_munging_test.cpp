// "-checkdate" remakes every output that a clean munge would write
// differently, keeps the others, and never writes over an input.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using end_to_end::RunTool;
using test_support::ReadFile;
using test_support::WriteFile;

const char* const kScript = "local n = 0\nfunction Tick() n = n + 1 return n end\n";

// Makes `path` a little newer than `than`: within the same second.
void JustAfter(const std::string& path, const std::string& than) {
  fs::last_write_time(path, fs::last_write_time(than) + std::chrono::microseconds(1));
}

struct StaleCase {
  const char* name;
  std::function<void()> change;  // between the two runs
  bool remade;
};

void PrintTo(const StaleCase& c, std::ostream* out) { *out << c.name; }

class StaleOutputTest : public ::testing::TestWithParam<StaleCase> {
 protected:
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
  test_support::ScopedEnv marker{"MUNGE_PLATFORM_DIR_STR", std::string("plat")};
  test_support::ScopedEnv overrides{"MUNGE_PLATFORM_OVERRIDE_STR", std::string("over")};
  test_support::ScopedEnv path{"PATH", platform::GetEnv("PATH")};
};

TEST_P(StaleOutputTest, TheSecondRunRemakesExactlyWhatChanged) {
  REQUIRE_LUAC();
  WriteFile("src/a.lua", kScript);
  WriteFile("src/a.lua.option", "-b");
  WriteFile("over/a.lua", std::string(kScript) + "-- the override\n");
  test_support::MakeDirs("plat");
  test_support::MakeDirs("out");
  // Every input older than any output.
  for (const char* file : {"src/a.lua", "src/a.lua.option", "over/a.lua"})
    test_support::SetMTime(file, 1000000000);
  const std::vector<std::string> args{"-inputfile",   "*.lua", "-sourcedir", "src",
                                      "-platformdir", "plat",  "-outputdir", "out\\",
                                      "-checkdate"};
  test_support::ProgramRun first = RunTool(args);
  ASSERT_EQ(first.out, "Munging a.lua\n") << first.err;

  GetParam().change();
  test_support::ProgramRun second = RunTool(args);
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(second.out, GetParam().remade ? "Munging a.lua\n" : "") << second.err;
  // Whatever the second run did, a third has nothing to do.
  test_support::ProgramRun third = RunTool(args);
  EXPECT_EQ(third.out, "") << third.err;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StaleOutputTest,
    ::testing::Values(
        StaleCase{"nothing", [] {}, false},
        StaleCase{"input_edited_in_the_same_second",
                  [] {
                    WriteFile("over/a.lua", "x = 1\n");
                    JustAfter("over/a.lua", "out/a.script");
                  },
                  true},
        StaleCase{"override_deleted", [] { fs::remove("over/a.lua"); }, true},
        StaleCase{"option_file_deleted", [] { fs::remove("src/a.lua.option"); }, true},
        StaleCase{"option_file_moved_to_another_root",
                  [] { fs::rename("src/a.lua.option", "plat/a.lua.option"); }, true},
        StaleCase{"cinematics_switched_on_by_the_option_file",
                  [] {
                    WriteFile("src/a.lua.option", "-cinematics");
                    test_support::SetMTime("src/a.lua.option", 1000000000);
                  },
                  true},
        StaleCase{"debug_symbols_set",
                  [] { test_support::SetEnv("LUA_DEBUG_SYMBOLS", std::string()); }, true},
        StaleCase{"another_compiler_first_on_path",
                  [] {
                    std::string luac = platform::FindProgram("luac").value_or("");
                    fs::create_directories("bin");
                    fs::copy_file(luac, fs::path("bin") / fs::path(luac).filename());
                    test_support::SetEnv("PATH", fs::absolute("bin").string() +
                                                 platform::PathListSeparator() +
                                                 platform::GetEnv("PATH").value_or(""));
                  },
                  true}),
    [](const ::testing::TestParamInfo<StaleCase>& info) { return std::string(info.param.name); });

// An input whose output would be the input itself fails, and the file is
// left as it was; the others are munged.
TEST(InputOverItselfTest, FailsThatInputAndTouchesNothing) {
  REQUIRE_LUAC();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"named_input",
       {"-inputfile", "b.script", "a.lua", "-continue"},
       "Error: Input file .\\b.script: its output .\\b.script would replace the input itself. "
       "[continuing]\n"},
      {"every_file_of_a_folder",
       {"-inputfile", "*", "-checkdate"},
       "Error: Input file .\\b.script: its output .\\b.script would replace the input "
       "itself.Error: Input file .\\b.script: its output .\\b.script would replace the input "
       "itself.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir temp;
    WriteFile("a.lua", kScript);
    WriteFile("b.script", "print('b')\n");
    test_support::ProgramRun run = RunTool(c.args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ReadFile("b.script"), "print('b')\n");
    EXPECT_TRUE(test_support::Exists("a.script"));
  }
}

}  // namespace
