// tolscript-dump run as a user runs it: on what tolscript wrote, on files
// of other tools of the family, and on damaged files.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

using end_to_end::Chunk;
using end_to_end::Dword;
using end_to_end::WithoutCarriageReturns;
using test_support::WriteFile;

test_support::ProgramRun RunDump(const std::vector<std::string>& args) {
  test_support::ProgramRun run = test_support::Run(TOLSCRIPT_DUMP_PROGRAM, args);
  run.out = WithoutCarriageReturns(run.out);
  run.err = WithoutCarriageReturns(run.err);
  return run;
}

class DumpTest : public ::testing::Test {
 protected:
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

// The header of what luac 5.1 writes on the hosts we build on.
const char* const kLuaHeader =
    "      signature: 1b 4c 75 61 (\"\\x1bLua\")\n"
    "      version: 5.1\n"
    "      format: 0 (official)\n"
    "      byte order: little-endian\n"
    "      sizes: int 4, size_t 8, instruction 4, number 8\n"
    "      integral numbers: no\n"
    "      debug information: absent\n";

TEST_F(DumpTest, MungedScriptInBothFormsAndItsRequirements) {
  REQUIRE_LUAC();
  WriteFile("intro.lua", "PlayCinematicShot('Intro01')\nPlayCinematicShot('Pan2')\n");
  test_support::MakeDirs("bin");
  test_support::MakeDirs("text");
  ASSERT_EQ(end_to_end::RunTool({"-inputfile", "intro.lua", "-outputdir", "bin\\", "-cinematics"})
                .exitCode, 0);
  ASSERT_EQ(end_to_end::RunTool({"-inputfile", "intro.lua", "-outputdir", "text\\", "-text"})
                .exitCode, 0);
  std::string compiled = end_to_end::CompileWithLuac("intro.lua", {"-s"});
  size_t size = compiled.size();
  size_t padded = size + (4 - size % 4) % 4;
  std::string bodyLines = "      size: " + std::to_string(size) + " bytes\n" + kLuaHeader;

  test_support::ProgramRun run =
      RunDump({"-brief", "bin/intro.script", "text/intro.script", "bin/intro.script.req"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  // NAME "intro" and its zero byte (6 + 2 padding), INFO (1 + 3), BODY.
  size_t scriptBody = 16 + 12 + 8 + padded;
  std::string binary =
      "bin/intro.script: binary chunk file, " + std::to_string(16 + scriptBody) + " bytes\n" +
      "ucfb  offset 0x0  " + std::to_string(8 + scriptBody) + " bytes\n" +
      "  scr_  offset 0x8  " + std::to_string(scriptBody) + " bytes\n" +
      "    NAME  offset 0x10  6 bytes\n      \"intro\"\n"
      "    INFO  offset 0x20  1 byte\n      1\n"
      "    BODY  offset 0x2c  " + std::to_string(size) + " bytes\n" + bodyLines;
  std::string text =
      "text/intro.script: text chunk file, " +
      std::to_string(end_to_end::TextScriptFile("intro", compiled).size()) + " bytes\n" +
      "ucft  line 2  1 chunk\n"
      "  scr_  line 4  3 chunks\n"
      "    NAME  line 6  1 value\n      \"intro\"\n"
      "    INFO  line 10  1 value\n      1\n"
      "    BODY  line 14  " + std::to_string(size) + " values\n" + bodyLines;
  std::string requirements =
      "bin/intro.script.req: text chunk file, " +
      std::to_string(end_to_end::RequirementsFile({"intro01", "pan2"}).size()) + " bytes\n" +
      "ucft  line 2  1 chunk\n"
      "  REQN  line 4  3 values\n"
      "    \"shot\"\n    \"intro01\"\n    \"pan2\"\n";
  EXPECT_EQ(run.out, binary + "\n" + text + "\n" + requirements);
}

TEST_F(DumpTest, OtherToolsChunksAndHexRows) {
  // Big-endian code of 4-byte integral numbers, with a source name.
  std::string code = std::string("\x1bLuaQ\x00\x00\x04\x04\x04\x04\x01\x00\x00\x00\x03@a\x00", 19);
  WriteFile("tools.bin",
            Chunk("ucfb", Chunk("scr_", Chunk("NAME", std::string("boot\0", 5)) +
                                            Chunk("INFO", "\x01") + Chunk("BODY", code)) +
                              Chunk("tex_", Chunk("FMT_", Dword(7)) +
                                                Chunk("DATA", "0123456789abcdefghij")) +
                              Chunk("abcd", std::string("xy\0", 3)) +
                              // Data that nearly reads as a chunk: padding
                              // that is not zero, a name not printable.
                              Chunk("pad_", "abcd" + Dword(1) + "x\x01\x01\x01") +
                              Chunk("odd_", "\x01\x02\x03\x04" + Dword(0))));
  WriteFile("tools.txt",
            end_to_end::Lines({{0, ""}, {0, "ucft"}, {0, "{"}, {1, "tex_"}, {1, "{"},
                               {2, "FMT_"}, {2, "{"}, {3, "0x00000007 1.500000 \"a b\" 300"},
                               {3, "4 5 6 7"},
                               {2, "}"}, {2, "DATA"}, {2, "{"}, {3, "1 2 3"}, {2, "}"},
                               {1, "}"}, {0, "}"}}));
  test_support::ProgramRun run = RunDump({"tools.bin", "tools.txt"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "tools.bin: binary chunk file, 168 bytes\n"
            "ucfb  offset 0x0  160 bytes\n"
            "  scr_  offset 0x8  56 bytes\n"
            "    NAME  offset 0x10  5 bytes\n"
            "      \"boot\"\n"
            "    INFO  offset 0x20  1 byte\n"
            "      1\n"
            "    BODY  offset 0x2c  19 bytes\n"
            "      size: 19 bytes\n"
            "      signature: 1b 4c 75 61 (\"\\x1bLua\")\n"
            "      version: 5.1\n"
            "      format: 0 (official)\n"
            "      byte order: big-endian\n"
            "      sizes: int 4, size_t 4, instruction 4, number 4\n"
            "      integral numbers: yes\n"
            "      debug information: present (source \"@a\")\n"
            "      00000000  1b 4c 75 61 51 00 00 04  04 04 04 01 00 00 00 03  |.LuaQ...........|\n"
            "      00000010  40 61 00                                          |@a.|\n"
            "  tex_  offset 0x48  40 bytes\n"
            "    FMT_  offset 0x50  4 bytes\n"
            "      00000000  07 00 00 00                                       |....|\n"
            "    DATA  offset 0x5c  20 bytes\n"
            "      00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
            "      00000010  67 68 69 6a                                       |ghij|\n"
            "  abcd  offset 0x78  3 bytes\n"
            "    00000000  78 79 00                                          |xy.|\n"
            "  pad_  offset 0x84  12 bytes\n"
            "    00000000  61 62 63 64 01 00 00 00  78 01 01 01              |abcd....x...|\n"
            "  odd_  offset 0x98  8 bytes\n"
            "    00000000  01 02 03 04 00 00 00 00                           |........|\n"
            "\n"
            "tools.txt: text chunk file, 104 bytes\n"
            "ucft  line 2  1 chunk\n"
            "  tex_  line 4  2 chunks\n"
            "    FMT_  line 6  8 values\n"
            "      0x00000007 1.500000 \"a b\" 300 4 5 6 7\n"
            "    DATA  line 11  3 values\n"
            "      00000000  01 02 03                                          |...|\n");
}

TEST_F(DumpTest, EachDamagedFileGetsOneErrorAndTheOthersAreStillDumped) {
  std::string deep;
  for (int i = 0; i < 100; ++i) deep = Chunk("scr_", deep);
  const std::pair<const char*, std::string> files[] = {
      {"empty", ""},
      {"wrong_root", "RIFF" + Dword(4) + "WAVE"},
      {"truncated", Chunk("ucfb", Chunk("NAME", std::string("abc\0", 4))).substr(0, 14)},
      {"header_cut_short", "ucfb" + Dword(4) + "NAME"},
      {"past_parent", Chunk("ucfb", Chunk("scr_", "NAME" + Dword(9) + std::string("abc\0", 4)))},
      {"bad_padding", Chunk("ucfb", "NAME" + Dword(1) + std::string("a\0\0\x01", 4))},
      {"after_root", Chunk("ucfb", "") + "x"},
      {"too_deep", Chunk("ucfb", deep)},
      {"text_cut", "\nucft\n{\n\tREQN\n\t{\n\t\t\"shot\""},
      {"text_word", "\nucft\n{\n\tINFO\n\t{\n\t\tone\n\t}\n}"},
      {"text_string", "\nucft\n{\n\tNAME\n\t{\n\t\t\"abc\n\t}\n}"},
      {"text_brace", "\nucft\n{\n\t{\n}"},
      {"text_after_root", "\nucft\n{\n}\nucft\n{\n}"},
  };
  const char* const errors =
      "Error: empty: empty file\n"
      "Error: wrong_root: offset 0x0: not a chunk file: it begins with 52 49 46 46 (\"RIFF\"), "
      "not \"ucfb\" or \"ucft\"\n"
      "Error: truncated: offset 0x0: chunk \"ucfb\" claims 12 bytes, only 6 are left in the file\n"
      "Error: header_cut_short: offset 0x8: chunk header cut short: 4 bytes left in chunk "
      "\"ucfb\", a header takes 8\n"
      "Error: past_parent: offset 0x10: chunk \"NAME\" claims 9 bytes, only 4 are left in chunk "
      "\"scr_\"\n"
      "Error: bad_padding: offset 0x13: non-zero padding after chunk \"NAME\"\n"
      "Error: after_root: offset 0x8: 1 byte after the root chunk\n"
      "Error: too_deep: offset 0x320: chunk \"scr_\" nests deeper than 100 chunks\n"
      "Error: text_cut: line 6: the file ends inside chunk \"REQN\" of line 4, which is not "
      "closed\n"
      "Error: text_word: line 6: \"one\" is neither a number nor a chunk name\n"
      "Error: text_string: line 6: a string is not closed\n"
      "Error: text_brace: line 4: \"{\" without a chunk name before it\n"
      "Error: text_after_root: line 5: text after the root chunk\n"
      "Error: missing: no such file\n"
      "Error: folder: not a plain file\n";
  std::vector<std::string> args;
  for (const auto& [name, bytes] : files) {
    WriteFile(name, bytes);
    args.push_back(name);
  }
  test_support::MakeDirs("folder");
  args.insert(args.end(), {"missing", "folder", "good"});
  WriteFile("good", Chunk("ucfb", Chunk("abcd", "xy")));

  test_support::ProgramRun run = RunDump(args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, errors);
  EXPECT_EQ(run.out,
            "good: binary chunk file, 20 bytes\n"
            "ucfb  offset 0x0  12 bytes\n"
            "  abcd  offset 0x8  2 bytes\n"
            "    00000000  78 79                                             |xy|\n");
}

}  // namespace
