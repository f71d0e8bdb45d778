// The binary chunk reader on arbitrary bytes: it either reports damage or
// gives the chunks in file order, each body inside its parent's and the
// file. The dump of a file raises nothing but damage.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "dumptool/chunk_dump.h"
#include "fuzz/fuzz_check.h"
#include "input/binary_chunk_reader.h"
#include "input/chunk_file_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static FILE* sink = std::fopen("/dev/null", "w");
  std::vector<ChunkEntry> chunks;
  try {
    DumpChunkFile("fuzz", bytes, DumpOptions{}, false, sink);
  } catch (const ChunkFileError&) {
  }
  try {
    // All three kinds, chosen by the name, so that damage below any of them is met.
    chunks = ReadBinaryChunks(bytes, [](std::string_view name) {
      return static_cast<ChunkContent>(static_cast<uint8_t>(name[0]) % 3);
    });
  } catch (const ChunkFileError&) {
  }
  std::vector<size_t> ends = {size};  // of the bodies that hold the next chunk
  for (size_t i = 0; i < chunks.size(); ++i) {
    const ChunkEntry& chunk = chunks[i];
    FUZZ_CHECK(size_t(chunk.depth) < ends.size() && chunk.depth < kMaxChunkDepth, "depth");
    ends.resize(size_t(chunk.depth) + 1);
    FUZZ_CHECK(chunk.bodyBegin == chunk.place + 8 && chunk.bodyEnd - chunk.bodyBegin == chunk.bodySize &&
                   chunk.bodyEnd <= ends.back() && (i == 0 || chunk.place >= chunks[i - 1].bodyBegin),
               "body outside its parent");
    ends.push_back(chunk.bodyEnd);
  }
  return 0;
}
