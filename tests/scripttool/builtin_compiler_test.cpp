// The built-in compiler against the real luac: the same bytes, stripped or
// not, and the same message for every script luac refuses.
#include "scripttool/builtin_compiler.h"

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

std::string Local(int i) { return "local v" + std::to_string(i) + " = " + std::to_string(i) + "\n"; }

std::string Upvalues(int count) {
  std::string sum = "function F() return v0";
  for (int i = 1; i < count; ++i) sum += " + v" + std::to_string(i);
  return sum + " end\n";
}

// Scripts that use every construct of the language, and Lua's limits.
const struct {
  const char* name;
  std::string source;
} kScripts[] = {
    {"empty.lua", ""},
    {"constructs.lua",
     "#!/usr/bin/lua skipped first line\n"
     "local a, b, c = 1, 0x1F, 3.25e-3\nlocal tiny, huge, neg = 1e-310, 1e308, -0.0\n"
     "glob = { 1, 2, 3; x = 'y', ['z w'] = \"q\\n\\t\\065\\\\\", [10] = false, nested = { {} } }\n"
     "local long = [==[\nfirst line\r\n]] still ]=] inside\n]==]\n--[[ a long\ncomment ]]\n"
     "local function outer(p, ...)\n  local n = select('#', ...)\n  local packed = { ... }\n"
     "  local function middle(q)\n    local function inner() p = p + q + n return p, #packed end\n"
     "    return inner\n  end\n  return middle\nend\n"
     "function glob.method(self, k) return self[k] end\nfunction glob:other(k) return self:method(k) end\n"
     "for i = 10, 1, -2 do a = a + i % 3 ^ 2 end\nfor k, v in pairs(glob) do b = b .. tostring(k) end\n"
     "while a > 100 and not b or c ~= nil do a = a - 1 if a < 0 then break end end\n"
     "repeat local r = a c = c * 2 until r <= 0 or c >= 1000\n"
     "if a == 1 then b = 2 elseif a <= 2 then b = 3 else b = -a end\n"
     "a, b = b, a\nreturn outer(1, 2, 3)(4)(), long, tiny, huge, neg, 'nul\0in a string'\n"s},
    {"crlf.lua", "local x = 1\r\nfunction F()\r\n  return x\r\nend\r\n"},
    {"constants.lua", "local t = {}\n" + Repeat(70000, Constant)},
    // Three constants a line: just under the limit of 2^18.
    {"megabytes.lua", "local t = {}\n" + Repeat(87000, Constant) + "--[[" +
                          std::string(6 << 20, 'c') + "]]\n"},
};

const struct {
  const char* name;
  std::string source;
} kRefused[] = {
    {"broken.lua", "function Broken(\n  x = = 1\n"},
    {"unclosed.lua", "function F()\n  if x then\n"},
    {"string.lua", "x = 'no end\n"},
    {"longstring.lua", "x = [[ never closed\n\n"},
    {"number.lua", "x = 3x\n"},
    {"escape.lua", "x = \"line\\\nnext \\999\"\n"},
    {"symbol.lua", "x = 1 @ 2\n"},
    {"goto.lua", "goto continue\n"},
    {"nesting.lua", "x = " + std::string(300, '(') + "1" + std::string(300, ')') + "\n"},
    {"locals.lua", Repeat(250, Local)},
    {"upvalues.lua", Repeat(70, Local) + Upvalues(70)},
    {"overflow.lua", "local t = {}\n" + Repeat(88000, Constant)},
    {"a folder with a name long enough to be cut in messages/deeper still/broken.lua",
     "x = = 1\n"},
};

// luac's exit status and standard error for `path`.
ProgramRun LuacRefuses(const std::string& path) {
  return Run("luac", {"-s", "-o", "refused.luac", path});
}

TEST_F(BuiltinCompilerTest, GivesLuacsBytesStrippedOrNot) {
  REQUIRE_LUAC();
  MakeDirs("sub");
  for (const auto& script : kScripts) WriteFile(std::string("sub/") + script.name, script.source);
  for (const auto& script : kScripts) {
    const std::string path = std::string("sub/") + script.name;
    SCOPED_TRACE(path);
    for (bool strip : {true, false}) {
      BuiltinCompile compiled = CompileLuaFile(path, strip);
      EXPECT_TRUE(compiled.succeeded) << compiled.message;
      EXPECT_EQ(compiled.code, CompileWithLuac(path, strip ? std::vector<std::string>{"-s"}
                                                            : std::vector<std::string>{}));
    }
  }
}

TEST_F(BuiltinCompilerTest, GivesLuacsBytesForTheExamplesAndForCompiledCode) {
  REQUIRE_LUAC();
  const std::string examples = TOLSCRIPT_SOURCE_DIR "/examples/src/";
  std::vector<std::string> paths;
  for (const char* name : {"intro.lua", "debug_console.lua", "ai/patrol.lua",
                           "missions/m01_beach.lua"})
    paths.push_back(examples + name);
  // luac also takes compiled code as its input.
  WriteFile("compiled.luac", CompileWithLuac(paths[0], {}));
  paths.push_back("compiled.luac");
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    for (bool strip : {true, false}) {
      EXPECT_EQ(CompileLuaFile(path, strip).code,
                CompileWithLuac(path, strip ? std::vector<std::string>{"-s"}
                                            : std::vector<std::string>{}));
    }
  }
}

TEST_F(BuiltinCompilerTest, RefusesWhatLuacRefusesWithItsMessage) {
  REQUIRE_LUAC();
  for (const auto& script : kRefused) WriteFile(script.name, script.source);
  MakeDirs("folder.lua");
  std::vector<std::string> paths{"missing.lua", "folder.lua"};
  for (const auto& script : kRefused) paths.push_back(script.name);
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ProgramRun luac = LuacRefuses(path);
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

// The stripping reads the layout from the code itself: cut code, or bytes
// that are no compiled code, are refused, never read past their end.
TEST(StripDebugInformation, RefusesCutOrForeignBytesAndKeepsStrippedCode) {
  // Without its first line, which only a file may skip.
  const std::string source = kScripts[1].source.substr(kScripts[1].source.find('\n') + 1);
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
}

}  // namespace
