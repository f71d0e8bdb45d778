// tolscript-dump run as a user runs it, on hand-made files of both forms
// and on damaged ones, and what it tells of compiled code.
#include "dumptool/compiled_lua_header.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using test_support::WriteFile;

// A binary chunk as the writer lays it out.
std::string Chunk(const std::string& name, const std::string& body) {
  std::string size;
  for (int i = 0; i < 4; ++i) size += static_cast<char>(body.size() >> (8 * i));
  return name + size + body + std::string((4 - body.size() % 4) % 4, '\0');
}

// Compiled Lua 5.1, stripped, as luac writes it on the hosts we build on,
// and what the dump shows of it in either form.
const std::string kCode = "\x1bLuaQ\0\1\4\x08\4\x08\0\0\0\0\0\0\0\0\0\1\2"s;
const std::string kCodeDump =
    "      size: 22 bytes\n      signature: 1b 4c 75 61 (\"\\x1bLua\")\n      version: 5.1\n"
    "      format: 0 (official)\n      byte order: little-endian\n"
    "      sizes: int 4, size_t 8, instruction 4, number 8\n"
    "      integral numbers: no\n      debug information: absent\n"
    "      00000000  1b 4c 75 61 51 00 01 04  08 04 08 00 00 00 00 00  |.LuaQ...........|\n"
    "      00000010  00 00 00 00 01 02                                 |......|\n";

TEST(DumpTest, BothFormsAndDamagedFiles) {
  test_support::TempDir temp;
  std::string deep, deepText = "ucft {";
  for (int i = 0; i < 100; ++i) deep = Chunk("scr_", deep), deepText += " abcd {";
  // Each damaged file gets one line naming the place and the damage, and
  // nothing of it is printed; the other files are still dumped.
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } damaged[] = {
      {"empty", "", "empty file"},
      {"riff", "RIFF", "offset 0x0: not a chunk file: it begins with 52 49 46 46 (\"RIFF\"), not "
                       "\"ucfb\" or \"ucft\""},
      {"cut", Chunk("ucfb", "abcdefghij").substr(0, 14),
       "offset 0x0: chunk \"ucfb\" claims 10 bytes, only 6 are left in the file"},
      {"header", "ucfb\4\0\0\0NAME"s,
       "offset 0x8: chunk header cut short: 4 bytes left in chunk \"ucfb\", a header takes 8"},
      {"parent", Chunk("ucfb", Chunk("scr_", "NAME\x09\0\0\0abc\0"s)),
       "offset 0x10: chunk \"NAME\" claims 9 bytes, only 4 are left in chunk \"scr_\""},
      {"nonzero", Chunk("ucfb", "NAME\1\0\0\0a\0\0\1"s),
       "offset 0x13: non-zero padding after chunk \"NAME\""},
      {"after", Chunk("ucfb", "") + "x", "offset 0x8: 1 byte after the root chunk"},
      {"deep", Chunk("ucfb", deep), "offset 0x320: chunk \"scr_\" nests deeper than 100 chunks"},
      {"deep.txt", deepText, "line 1: chunk \"abcd\" nests deeper than 100 chunks"},
      {"open", "ucft {\n\tREQN {\n\t\t\"shot\"",
       "line 3: the file ends inside chunk \"REQN\" of line 2, which is not closed"},
      {"word", "ucft {\n\tINFO { one }\n}", "line 2: \"one\" is neither a number nor a chunk name"},
      {"string", "ucft {\n\tNAME {\n\t\t\"abc\n}\n}", "line 3: a string is not closed"},
      {"unnamed", "ucft {\n\t{\n}", "line 2: \"{\" without a chunk name before it"},
      {"twice", "ucft {\n}\nucft {\n}", "line 3: text after the root chunk"},
      {"missing", "", "no such file"},
      {"folder", "", "not a plain file"},
  };
  std::vector<std::string> args = {"-bogus", "script.bin", "script.txt"};
  std::string errors = "Error: unknown option -bogus\n";
  for (const auto& file : damaged) {
    if (file.name != "missing"s && file.name != "folder"s) WriteFile(file.name, file.bytes);
    args.insert(args.end() - 1, file.name);
    errors += "Error: "s + file.name + ": " + file.error + "\n";
  }
  test_support::MakeDirs("folder");
  // tex_ holds chunks; pad_ nearly does, but its padding is not zero.
  WriteFile("script.bin",
            Chunk("ucfb", Chunk("scr_", Chunk("NAME", "boot\0"s) + Chunk("INFO", "\1") +
                                            Chunk("BODY", kCode)) +
                              Chunk("tex_", Chunk("FMT_", "\7\0\0\0"s)) +
                              Chunk("pad_", "abcd\1\0\0\0x\1\1\1"s)));
  std::string code;
  for (unsigned char c : kCode) code += " " + std::to_string(c);
  WriteFile("script.txt", "ucft {\n\tscr_ {\n\t\tNAME { \"boot\" }\n\t\tINFO { 1 }\n\t\tBODY {" +
                              code + " }\n\t}\n\tREQN { \"shot\" \"pan2\" }\n"
                              "\tFMT_ { 0x00000007 1.500000 \"a b\" 300 4 5 6 7 9 }\n}\n");
  const std::string binary =
      "script.bin: binary chunk file, 116 bytes\nucfb  offset 0x0  108 bytes\n"
      "  scr_  offset 0x8  60 bytes\n    NAME  offset 0x10  5 bytes\n      \"boot\"\n"
      "    INFO  offset 0x20  1 byte\n      1\n    BODY  offset 0x2c  22 bytes\n" + kCodeDump +
      "  tex_  offset 0x4c  12 bytes\n    FMT_  offset 0x54  4 bytes\n"
      "      00000000  07 00 00 00                                       |....|\n"
      "  pad_  offset 0x60  12 bytes\n"
      "    00000000  61 62 63 64 01 00 00 00  78 01 01 01              |abcd....x...|\n";
  test_support::ProgramRun run = test_support::Run(TOLSCRIPT_DUMP_PROGRAM, args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(test_support::NormalizeLineEnds(run.err), errors);
  EXPECT_EQ(test_support::NormalizeLineEnds(run.out),
            binary + "\nscript.txt: text chunk file, 186 bytes\nucft  line 1  3 chunks\n"
                     "  scr_  line 2  3 chunks\n    NAME  line 3  1 value\n      \"boot\"\n"
                     "    INFO  line 4  1 value\n      1\n    BODY  line 5  22 values\n" +
                kCodeDump + "  REQN  line 7  2 values\n    \"shot\"\n    \"pan2\"\n"
                "  FMT_  line 8  9 values\n    0x00000007 1.500000 \"a b\" 300 4 5 6 7\n    9\n");

  run = test_support::Run(TOLSCRIPT_DUMP_PROGRAM, {"-brief", "script.bin"});
  EXPECT_EQ(test_support::NormalizeLineEnds(run.out + run.err),
            std::regex_replace(binary, std::regex(".*\\|\n"), ""));  // no hex rows
  EXPECT_EQ(run.exitCode, 0);
}

TEST(DumpTest, CompiledCodeHeaders) {
  const std::string lua = "signature: 1b 4c 75 61 (\"\\x1bLua\")";
  const std::vector<std::string> cases[] = {  // the code, then what is told of it
      {"\x1b", "size: 1 byte", "signature: 1b, not that of compiled Lua (1b 4c 75 61)"},
      {"\x1bLuaQ\0\1"s, "size: 7 bytes", lua, "header: cut short, 7 of 12 bytes"},
      {"\x1bLuaQ\0\0\4\4\4\4\1\0\0\0\3@a\0"s, "size: 19 bytes", lua, "version: 5.1",
       "format: 0 (official)", "byte order: big-endian", "sizes: int 4, size_t 4, instruction 4, number 4",
       "integral numbers: yes", "debug information: present (source \"@a\")"},
      {"\x1bLuaR\7\2\4\4\4\4\5\0\0\0\0"s, "size: 16 bytes", lua, "version: 5.2", "format: 7",
       "byte order: unknown (2)", "sizes: int 4, size_t 4, instruction 4, number 4",
       "integral numbers: unknown (5)", "debug information: unknown"},
  };
  for (const std::vector<std::string>& c : cases) {
    EXPECT_EQ(DescribeCompiledLua(c[0]), std::vector<std::string>(c.begin() + 1, c.end()));
  }
}

}  // namespace
