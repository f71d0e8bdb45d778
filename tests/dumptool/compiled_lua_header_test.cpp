// The facts read from the first bytes of compiled code that is not what
// luac 5.1 writes: not Lua, cut short, another version, a damaged name.
#include "dumptool/compiled_lua_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(CompiledLuaHeaderTest, ReadsWhatTheBytesSay) {
  const std::string lua = "signature: 1b 4c 75 61 (\"\\x1bLua\")";
  const std::vector<std::string> cases[] = {  // the code, then what is said of it
      {"\x1b", "size: 1 byte", "signature: 1b, not that of compiled Lua (1b 4c 75 61)"},
      {"\x1bLuaQ\0\1"s, "size: 7 bytes", lua, "header: cut short, 7 of 12 bytes"},
      {"\x1bLuaR\7\2\4\4\4\4\5\0\0\0\0"s, "size: 16 bytes", lua, "version: 5.2", "format: 7",
       "byte order: unknown (2)", "sizes: int 4, size_t 4, instruction 4, number 4",
       "integral numbers: unknown (5)", "debug information: unknown"},
      {"\x1bLuaQ\0\1\4\4\4\4\0\5\0\0\0@a\0"s, "size: 19 bytes", lua, "version: 5.1",
       "format: 0 (official)", "byte order: little-endian",
       "sizes: int 4, size_t 4, instruction 4, number 4", "integral numbers: no",
       "debug information: unknown (the source name runs past the end)"},
  };
  for (const std::vector<std::string>& c : cases) {
    EXPECT_EQ(DescribeCompiledLua(c[0]), std::vector<std::string>(c.begin() + 1, c.end()));
  }
}

}  // namespace
