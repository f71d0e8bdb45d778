// The built-in compiler against the real luac: the same bytes, stripped or
// not, and the same message for every script luac refuses.
#include "scripttool/builtin_compiler.h"
#include "scripttool/compile_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace test_support;
using namespace std::string_literals;

class BuiltinCompilerTest : public ::testing::Test {
 protected:
  TempDir temp;
};

std::string Repeat(int count, const std::function<std::string(int)>& piece) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece(i);
  return text;
}

std::string Constant(int i) {
  return "t[" + std::to_string(i) + "] = 'k" + std::to_string(i) + "' + " + std::to_string(i) +
         ".5\n";
}

const char* const kConstructs = TOLSCRIPT_SOURCE_DIR "/tests/scripttool/constructs.lua";

struct Script {
  const char* name;
  std::string source;
};

// Lua's limits and line ends, beside constructs.lua, which uses every
// construct of the language.
const Script kScripts[] = {
    {"empty.lua", ""},
    {"crlf.lua", "local x = 1\r\nfunction F()\r\n  return x\r\nend\r\n"},
    // Three constants a line: just under the limit of 2^18.
    {"megabytes.lua", "local t = {}\n" + Repeat(87000, Constant) + "--[[" +
                          std::string(6 << 20, 'c') + "]]\n"},
};

// One of each way the library refuses a script: its parser, its lexer, the
// end of the text, a limit, and a name cut short in the message.
const Script kRefused[] = {
    {"broken.lua", "function Broken(\n  x = = 1\n"},
    {"unclosed.lua", "function F()\n  if x then\n"},
    {"string.lua", "x = 'no end\n"},
    {"overflow.lua", "local t = {}\n" + Repeat(88000, Constant)},
    {"a folder with a name long enough to be cut in messages/deeper still/broken.lua",
     "x = = 1\n"},
};

// Also the examples, and compiled code, which luac also takes as input.
TEST_F(BuiltinCompilerTest, GivesLuacsBytesStrippedOrNot) {
  REQUIRE_LUAC();
  std::vector<std::string> paths;
  for (const char* name : {"intro.lua", "debug_console.lua", "ai/patrol.lua", "missions/m01_beach.lua"})
    paths.push_back(TOLSCRIPT_SOURCE_DIR "/examples/src/"s + name);
  paths.push_back(kConstructs);
  WriteFile("compiled.luac", CompileWithLuac(paths[0], {}));
  paths.push_back("compiled.luac");
  for (const Script& script : kScripts) {
    paths.push_back("sub/"s + script.name);
    WriteFile(paths.back(), script.source);
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    for (bool strip : {true, false}) {
      BuiltinCompile compiled = CompileLuaFile(path, strip);
      EXPECT_TRUE(compiled.succeeded) << compiled.message;
      EXPECT_EQ(compiled.code, CompileWithLuac(path, strip ? std::vector<std::string>{"-s"}
                                                            : std::vector<std::string>{}));
    }
  }
}

TEST_F(BuiltinCompilerTest, RefusesWhatLuacRefusesWithItsMessage) {
  REQUIRE_LUAC();
  MakeDirs("folder.lua");
  std::vector<std::string> paths{"missing.lua", "folder.lua"};
  for (const Script& script : kRefused) {
    paths.push_back(script.name);
    WriteFile(script.name, script.source);
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ProgramRun luac = test_support::Run("luac", {"-s", "-o", "refused.luac", path});
    ASSERT_EQ(luac.exitCode, 1);
    BuiltinCompile compiled = CompileLuaFile(path, true);
    EXPECT_FALSE(compiled.succeeded);
    EXPECT_EQ("luac: " + compiled.message + "\n", luac.err);
    EXPECT_EQ(compiled.code, "");
  }
}

TEST(BuiltinCompilerLimits, MemoryPastTheCapFailsAsLuacDoes) {
  const std::string source = "local t = {}\n" + Repeat(2000, Constant);
  BuiltinCompile capped = CompileLuaText(source, "=capped", true, 64 << 10);
  EXPECT_FALSE(capped.succeeded);
  EXPECT_EQ(capped.message, "not enough memory");
  BuiltinCompile tiny = CompileLuaText(source, "=tiny", true, 64);
  EXPECT_EQ(tiny.message, "not enough memory for state");
  EXPECT_TRUE(CompileLuaText(source, "=free", true).succeeded);
}

TEST_F(BuiltinCompilerTest, ACancelledCompileFails) {
  WriteFile("a.lua", "return 1\n");
  std::atomic<bool> cancel{true};
  BuiltinCompile compiled = CompileLuaFile("a.lua", true, &cancel);
  EXPECT_FALSE(compiled.succeeded);
  EXPECT_EQ(compiled.code, "");
}

// Each task started is compiled and told once, however few the threads.
TEST_F(BuiltinCompilerTest, ThreadsCompileEveryTaskStarted) {
  WriteFile("a.lua", "return 1\n");
  CompileThreads threads;
  std::vector<std::shared_ptr<CompileThreads::Task>> tasks(3);
  for (auto& task : tasks) {
    task = std::make_shared<CompileThreads::Task>();
    task->nativePath = "a.lua";
    threads.Start(task, 1);
  }
  size_t ended = 0;
  while (ended < tasks.size()) ended += threads.WaitForAny().size();
  EXPECT_EQ(ended, tasks.size());
  EXPECT_EQ(threads.Running(), 0u);
  for (const auto& task : tasks) EXPECT_TRUE(task->result.succeeded) << task->result.message;
}

// The stripping reads the layout from the code itself: cut code, or bytes
// that are no compiled code, are refused, never read past their end.
TEST(StripDebugInformation, RefusesCutOrForeignBytesAndKeepsStrippedCode) {
  // Without its first line, which only a file may skip.
  const std::string constructs = ReadFile(kConstructs);
  const std::string source = constructs.substr(constructs.find('\n') + 1);
  BuiltinCompile full = CompileLuaText(source, "@constructs.lua", false);
  ASSERT_TRUE(full.succeeded) << full.message;
  std::optional<std::string> stripped = StripDebugInformation(full.code);
  ASSERT_TRUE(stripped.has_value());
  EXPECT_LT(stripped->size(), full.code.size());
  EXPECT_EQ(StripDebugInformation(*stripped), stripped);
  EXPECT_EQ(CompileLuaText(source, "@elsewhere.lua", true).code, *stripped);
  for (size_t size = 0; size < full.code.size(); ++size) {
    EXPECT_FALSE(StripDebugInformation(full.code.substr(0, size)).has_value()) << size;
  }
  EXPECT_FALSE(StripDebugInformation(full.code + "x").has_value());
  EXPECT_FALSE(StripDebugInformation("return 1\n").has_value());
  // Sizes of int, size_t, instruction and number run from 1 to 8 bytes.
  for (size_t field = 7; field <= 10; ++field) {
    for (char size : {0, 9}) {
      std::string code = *stripped;
      code[field] = size;
      EXPECT_FALSE(StripDebugInformation(code).has_value()) << field << " " << int(size);
    }
  }
}

}  // namespace
