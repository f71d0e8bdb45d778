// The built program with a fake compiler, a shell script first on PATH that
// records its arguments, or with none at all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <sstream>

#include "support/test_support.h"

namespace {

using namespace test_support;

// Appends its arguments as "[arg]" and a line end to $FAKE_LUAC_LOG,
// writes "compiled" to standard output (as "-o -" asks) unless the input's
// name holds "silent", and exits with $FAKE_LUAC_STATUS.
const char* const kFakeLuac =
    "#!/bin/sh\n"
    "printf '[%s]' \"$@\" >> \"$FAKE_LUAC_LOG\"; echo >> \"$FAKE_LUAC_LOG\"\n"
    "for input; do :; done\n"
    "case $input in *silent*) ;; *) printf compiled ;; esac\n"
    "exit \"${FAKE_LUAC_STATUS:-0}\"\n";

// The lines of `text`, in any order: compilers run side by side.
std::multiset<std::string> LinesOf(const std::string& text) {
  std::multiset<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

TEST(FakeCompilerTest, TheProgramTellsEveryFailureOfItsCompiler) {
  TempDir tools;  // outside the run's folder, so that only the program's files are there
  WriteFile("bin/luac", kFakeLuac);
  chmod("bin/luac", 0755);
  MakeDirs("empty");
  const std::string log = tools.Path() + "/calls.txt";
  ScopedEnv logPath("FAKE_LUAC_LOG", log);
  ScopedEnv shortPause("TOLSCRIPT_FAILURE_PAUSE_MS", std::string("10"));
  const std::string failed = "Error: Could not read input file.";
  const struct {
    const char* name;
    std::vector<std::string> inputs, args;
    std::optional<std::string> status, debugSymbols;
    const char* bin;  // the folder PATH names
    std::string out, err, calls;
    std::vector<std::string> names;  // what the run's folder holds afterwards
  } cases[] = {
      {"stripped", {"a.lua"}, {"-inputfile", "a.lua"}, {}, {}, "bin", "Munging a.lua\n", "",
       "[-s][-o][-][./a.lua]\n", {"a.lua", "a.script", "tolscript.log"}},
      {"debug symbols", {"a.lua"}, {"-inputfile", "a.lua"}, {}, "", "bin", "Munging a.lua\n", "",
       "[-o][-][./a.lua]\n", {"a.lua", "a.script", "tolscript.log"}},
      // The bytes it wrote before it failed are no script; b.lua is not reached.
      {"failing", {"a.lua", "b.lua"}, {"-inputfile", "a.lua", "b.lua", "-cinematics", "-jobs", "1"},
       "1", {}, "bin",
       "Munging a.lua\n\n**** ERROR: luac returned 1\nERROR reading processed script\n",
       failed + failed + "\n", "[-s][-o][-][./a.lua]\n", {"a.lua", "b.lua", "tolscript.log"}},
      // Success without a byte is no script either, and never the last one's.
      {"silent", {"a.lua", "b_silent.lua", "c.lua"}, {"-inputfile", "*.lua", "-continue"}, {}, {},
       "bin",
       "Munging a.lua\nMunging b_silent.lua\nERROR reading processed script\nMunging c.lua\n",
       failed + failed + " [continuing]\n",
       "[-s][-o][-][./a.lua]\n[-s][-o][-][./b_silent.lua]\n[-s][-o][-][./c.lua]\n",
       {"a.lua", "a.script", "b_silent.lua", "c.lua", "c.script", "tolscript.log"}},
      {"missing", {"a.lua"}, {"-inputfile", "a.lua"}, {}, {}, "empty",
       "Munging a.lua\n\n**** ERROR: luac could not be run: luac: " + std::string(strerror(ENOENT)) +
           "\nERROR reading processed script\n",
       failed + failed + "\n", "", {"a.lua", "tolscript.log"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv path("PATH", tools.Path() + "/" + c.bin);
    ScopedEnv status("FAKE_LUAC_STATUS", c.status);
    ScopedEnv debugSymbols("LUA_DEBUG_SYMBOLS", c.debugSymbols);
    WriteFile(log, "");
    TempDir run;
    for (const std::string& input : c.inputs) WriteFile(input, "print('x')\n");
    ProgramRun result = RunTolscript(c.args);
    EXPECT_EQ(result.exitCode, c.err.empty() ? 0 : 1);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(LinesOf(ReadFile(log)), LinesOf(c.calls));
    EXPECT_EQ(ListNames("."), c.names);
    for (const std::string& name : c.names) {
      if (!name.ends_with(".script")) continue;
      EXPECT_EQ(ReadFile(name), BinaryScriptFile(name.substr(0, name.find('.')), "compiled"));
    }
  }
}

}  // namespace
