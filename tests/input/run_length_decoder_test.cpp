// Run-length encoded values come back through the text form's typed reads
// (the binary form's are read back by the chunk writer's fuzz target); a
// value beyond its width or a packet cut short is damage.
#include "input/run_length_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/chunk_file_error.h"
#include "input/text_chunk_reader.h"

namespace {

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
