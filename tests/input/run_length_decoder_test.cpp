// Run-length encoded values come back through either form's typed reads;
// a packet cut short or a value beyond its width is damage.
#include "input/run_length_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/binary_chunk_reader.h"
#include "input/chunk_file_error.h"
#include "input/text_chunk_reader.h"

namespace {

// `values` as the body of a chunk in the text form.
std::vector<uint32_t> DecodedText(const std::string& values, int32_t width) {
  std::string file = "ucft {\n\tRLE_ {\n\t\t" + values + "\n\t}\n}";
  TextValueReader reader(file, ReadTextChunks(file).at(1));
  return DecodeRunLength(reader, width);
}

TEST(RunLengthDecoderTest, UndoesThePacketsOfEitherForm) {
  const std::string binary("\x01\x02\x01\x04\x03\x82\xff\xff", 8);
  BinaryValueReader reader(binary, 0, binary.size());
  const std::vector<uint32_t> words = {0x0102, 0x0304, 0xFFFF, 0xFFFF, 0xFFFF};
  EXPECT_EQ(DecodeRunLength(reader, 16), words);
  EXPECT_EQ(DecodedText("1 0x0102 0x0304\n130 65535", 16), words);
  EXPECT_EQ(DecodedText("0 65 129 66 0 67", 8), (std::vector<uint32_t>{'A', 'B', 'B', 'C'}));
  EXPECT_EQ(DecodedText("128 -1", 32), std::vector<uint32_t>{0xFFFFFFFF});
  BinaryValueReader cut(binary, 0, 4);
  EXPECT_THROW(DecodeRunLength(cut, 16), ChunkFileError);
  EXPECT_THROW(DecodedText("129 300", 8), ChunkFileError);
}

}  // namespace
