// The facts read from the first bytes of compiled Lua code, for code that
// the end-to-end tests do not meet: not Lua, cut short, a long source name
// in little-endian order, and a version whose layout is not known.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dumptool/compiled_lua_header.h"

namespace {

TEST(CompiledLuaHeaderTest, ReadsWhatTheBytesSay) {
  const std::string header51("\x1bLuaQ\x00\x01\x04\x08\x04\x08\x00", 12);
  // A source name of 258 characters and its terminator: 0x103 bytes.
  const std::string longName(258, 'n');
  const std::string unstripped =
      header51 + std::string("\x03\x01\x00\x00\x00\x00\x00\x00", 8) + longName + '\0';
  struct Case {
    std::string code;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"abcde",
       {"size: 5 bytes", "signature: 61 62 63 64, not that of compiled Lua (1b 4c 75 61)"}},
      {header51.substr(0, 7),
       {"size: 7 bytes", "signature: 1b 4c 75 61 (\"\\x1bLua\")",
        "header: cut short, 7 of 12 bytes"}},
      {unstripped,
       {"size: 279 bytes", "signature: 1b 4c 75 61 (\"\\x1bLua\")", "version: 5.1",
        "format: 0 (official)", "byte order: little-endian",
        "sizes: int 4, size_t 8, instruction 4, number 8", "integral numbers: no",
        "debug information: present (source \"" + longName + "\")"}},
      {std::string("\x1bLuaR\x07\x02\x04\x04\x04\x04\x05\x00\x00\x00\x00", 16),
       {"size: 16 bytes", "signature: 1b 4c 75 61 (\"\\x1bLua\")", "version: 5.2", "format: 7",
        "byte order: unknown (2)", "sizes: int 4, size_t 4, instruction 4, number 4",
        "integral numbers: unknown (5)", "debug information: unknown"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code.size());
    EXPECT_EQ(DescribeCompiledLua(c.code), c.lines);
  }
}

}  // namespace
