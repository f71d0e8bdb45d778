// Run-length encoded sequences, as the writers' encoder writes them, read
// back through both forms' typed reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/binary_chunk_reader.h"
#include "input/chunk_file_error.h"
#include "input/run_length_decoder.h"
#include "input/text_chunk_reader.h"

namespace {

std::vector<uint32_t> DecodeBinary(const std::string& body, int32_t width) {
  BinaryValueReader values(body, 0, body.size());
  return DecodeRunLength(values, width);
}

// `body` as the values of the one chunk inside a text file's root.
std::vector<uint32_t> DecodeText(const std::string& body, int32_t width) {
  std::string text = "\nucft\n{\n\tRLE_\n\t{\n\t\t" + body + "\n\t}\n}";
  std::vector<ChunkEntry> chunks = ReadTextChunks(text);
  TextValueReader values(text, chunks.at(1));
  return DecodeRunLength(values, width);
}

TEST(RunLengthDecoderTest, UndoesEveryKindOfPacketInBothForms) {
  struct Case {
    std::string binary;
    std::string text;
    int32_t width;
    std::vector<uint32_t> values;
  };
  std::vector<uint32_t> repeated(130, 0x58);
  repeated.push_back(0x59);
  const Case cases[] = {
      // A, B, B, C.
      {std::string("\x00" "A" "\x81" "B" "\x00" "C", 6), "0 65\n129 66\n0 67", 8,
       {'A', 'B', 'B', 'C'}},
      // 130 equal values are cut at 128; a raw run of one follows.
      {std::string("\xff" "X" "\x81" "X" "\x00" "Y", 6), "255 88 129 88 0 89", 8, repeated},
      {std::string("\x01\x02\x01\x04\x03\x82\xff\xff", 8), "1 0x0102 0x0304 130 65535", 16,
       {0x0102, 0x0304, 0xFFFF, 0xFFFF, 0xFFFF}},
      {std::string("\x80\xff\xff\xff\xff", 5), "128 -1", 32, {0xFFFFFFFF}},
      {"", "", 8, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DecodeBinary(c.binary, c.width), c.values);
    EXPECT_EQ(DecodeText(c.text, c.width), c.values);
  }
}

TEST(RunLengthDecoderTest, APacketCutShortIsDamage) {
  EXPECT_THROW(DecodeBinary(std::string("\x02" "AB", 3), 8), ChunkFileError);
  EXPECT_THROW(DecodeBinary("\x81", 8), ChunkFileError);
  EXPECT_THROW(DecodeText("0 1 2", 8), ChunkFileError);
  EXPECT_THROW(DecodeText("129 300", 8), ChunkFileError);
}

}  // namespace
