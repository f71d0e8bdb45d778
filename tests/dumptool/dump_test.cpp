// tolscript-dump run as a user runs it, on hand-made files of both forms
// and on damaged ones; what it tells of compiled code; and the run-length
// decoder of the readers it stands on.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "dumptool/compiled_lua_header.h"
#include "input/chunk_file_error.h"
#include "input/run_length_decoder.h"
#include "input/text_chunk_reader.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using test_support::Chunk;
using test_support::WriteFile;

// The start of compiled Lua 5.1, stripped, as luac writes it on the hosts we
// build on.
const std::string kCode = "\x1bLuaQ\0\1\4\x08\4\x08\0\0\0\0\0\0\0\0\0\1\2"s;

TEST(DumpTest, BothFormsAndDamagedFiles) {
  test_support::TempDir temp;
  std::string deep, deepText = "ucft {";
  for (int i = 0; i < 100; ++i) {
    deep = Chunk("scr_", deep);
    deepText += " abcd {";
  }
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
      {"padding", Chunk("ucfb", "NAME\1\0\0\0a"s),
       "offset 0x11: padding after chunk \"NAME\" runs past the end of chunk \"ucfb\""},
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
      {"quote", Chunk("ucfb", "a\"b_\2\0\0\0"s),
       "offset 0x8: chunk \"a\\\"b_\" claims 2 bytes, only 0 are left in chunk \"ucfb\""},
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
  // tex_ holds chunks; pad_ and odd_ nearly do, but a padding is not zero, a
  // name not printable.
  WriteFile("script.bin",
            Chunk("ucfb", Chunk("scr_", Chunk("NAME", "boot\0"s) + Chunk("INFO", "\1") +
                                            Chunk("BODY", kCode)) +
                              Chunk("tex_", Chunk("FMT_", "\7\0\0\0"s)) +
                              Chunk("pad_", "abcd\1\0\0\0x\1\1\1"s) +
                              Chunk("odd_", "\1\2\3\4\0\0\0\0"s)));
  // The same script, NAME with a value too many; a string holding a quote
  // and a line break, as written unescaped.
  WriteFile("script.txt",
      "ucft {\n\tscr_ {\n\t\tNAME { \"boot\" 7 }\n\t\tINFO { -1 }\n\t\tBODY { 27 76 117 97 81 0 1 "
      "4 8 4 8 0 0 0 0 0 0 0 0 0 1 2 }\n\t}\n\tREQN { \"shot\" \"pa\"n\n2\" } NONE { }\n\tFMT_ { "
      "0x00000007 1.500000 \"a b\" 300 4 5 6 7 9 }\n}\n");
  // What is told of both files, kCode in either form too.
  const std::string dump =
      test_support::ReadFile(TOLSCRIPT_SOURCE_DIR "/tests/dumptool/dump_of_both_forms.txt");
  const std::string binary = dump.substr(0, dump.find("\nscript.txt"));
  test_support::ProgramRun run = test_support::Run(TOLSCRIPT_DUMP_PROGRAM, args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(test_support::NormalizeLineEnds(run.err), errors);
  EXPECT_EQ(test_support::NormalizeLineEnds(run.out), dump);

  run = test_support::Run(TOLSCRIPT_DUMP_PROGRAM, {"-brief", "script.bin"});
  EXPECT_EQ(test_support::NormalizeLineEnds(run.out + run.err),
            std::regex_replace(binary, std::regex(".*\\|\n"), ""));  // no hex rows
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(test_support::Run(TOLSCRIPT_DUMP_PROGRAM, {"-bogus", "script.bin"}).exitCode, 1);
}

TEST(DumpTest, CompiledCodeHeaders) {
  const std::string lua = "signature: 1b 4c 75 61 (\"\\x1bLua\")";
  const std::string sizes4 = "sizes: int 4, size_t 4, instruction 4, number 4";
  const std::vector<std::string> cases[] = {  // the code, then what is told of it
      {"\x1b", "size: 1 byte", "signature: 1b, not that of compiled Lua (1b 4c 75 61)"},
      {"\x1bLuaQ\0\1"s, "size: 7 bytes", lua, "header: cut short, 7 of 12 bytes"},
      {"\x1bLuaQ\0\1\4\4\4\4\0"s, "size: 12 bytes", lua, "version: 5.1", "format: 0 (official)",
       "byte order: little-endian", sizes4, "integral numbers: no", "debug information: unknown"},
      {"\x1bLuaQ\0\0\4\4\4\4\1\0\0\0\3@a\0"s, "size: 19 bytes", lua, "version: 5.1",
       "format: 0 (official)", "byte order: big-endian", sizes4, "integral numbers: yes",
       "debug information: present (source \"@a\")"},
      {"\x1bLuaQ\0\1\4\4\4\4\0\3\0\0\0@a\0"s, "size: 19 bytes", lua, "version: 5.1",
       "format: 0 (official)", "byte order: little-endian", sizes4, "integral numbers: no",
       "debug information: present (source \"@a\")"},
      {"\x1bLuaR\7\2\4\4\4\4\5\0\0\0\0"s, "size: 16 bytes", lua, "version: 5.2", "format: 7",
       "byte order: unknown (2)", sizes4,
       "integral numbers: unknown (5)", "debug information: unknown"},
  };
  for (const std::vector<std::string>& c : cases) {
    EXPECT_EQ(DescribeCompiledLua(c[0]), std::vector<std::string>(c.begin() + 1, c.end()));
  }
}

// Values come back through the text form's typed reads (the binary form's
// are read back by the chunk writer's fuzz target); a value beyond its width
// or a packet cut short is damage.
std::vector<uint32_t> Decoded(const std::string& values, int32_t width) {
  std::string file = "ucft {\n\tRLE_ {\n\t\t" + values + "\n\t}\n}";
  TextValueReader reader(file, ReadTextChunks(file).at(1));
  return DecodeRunLength(reader, width);
}

TEST(RunLengthDecoderTest, UndoesThePacketsOfTheTextForm) {
  EXPECT_EQ(Decoded("1 0x0102 0x0304\n130 65535", 16),
            (std::vector<uint32_t>{0x0102, 0x0304, 0xFFFF, 0xFFFF, 0xFFFF}));
  EXPECT_EQ(Decoded("128 -1", 32), std::vector<uint32_t>{0xFFFFFFFF});
  EXPECT_THROW(Decoded("129 300", 8), ChunkFileError);
  EXPECT_THROW(Decoded("2 1 2", 8), ChunkFileError);
}

}  // namespace
