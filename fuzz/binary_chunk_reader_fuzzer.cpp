// The binary chunk reader on arbitrary bytes: it either reports damage or
// gives a tree whose every body lies inside its parent's and the file, and
// whose bodies read back byte by byte to their size. The dump of a tree
// raises nothing but damage.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "dumptool/chunk_dump.h"
#include "fuzz/fuzz_check.h"
#include "input/binary_chunk_reader.h"
#include "input/chunk_file_error.h"

namespace {

// All three kinds, chosen by the name, so that damage below any of them is met.
ChunkContent Classify(std::string_view name) { return static_cast<ChunkContent>(name[0] % 3); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<ChunkEntry> chunks;
  try {
    chunks = ReadBinaryChunks(bytes, Classify);
  } catch (const ChunkFileError&) {
    return 0;
  }
  FUZZ_CHECK(!chunks.empty() && chunks[0].depth == 0 && chunks[0].name == "ucfb", "root");
  std::vector<const ChunkEntry*> parents;
  for (const ChunkEntry& chunk : chunks) {
    FUZZ_CHECK(chunk.depth >= 0 && chunk.depth < kMaxChunkDepth, "depth out of range");
    FUZZ_CHECK(static_cast<size_t>(chunk.depth) <= parents.size(), "a depth skipped a level");
    parents.resize(static_cast<size_t>(chunk.depth));
    FUZZ_CHECK(
        chunk.bodyBegin == chunk.place + 8 && chunk.bodyEnd - chunk.bodyBegin == chunk.bodySize,
        "body does not follow its header");
    FUZZ_CHECK(chunk.bodyEnd <= size, "body past the file");
    if (!parents.empty()) {
      const ChunkEntry& parent = *parents.back();
      FUZZ_CHECK(chunk.place >= parent.bodyBegin && chunk.bodyEnd <= parent.bodyEnd,
                 "outside parent");
      FUZZ_CHECK(Classify(parent.name) != ChunkContent::kData || parent.depth == 0,
                 "data with children");
    }
    parents.push_back(&chunk);
    BinaryValueReader values(bytes, chunk.bodyBegin, chunk.bodyEnd);
    uint64_t read = 0;
    for (; !values.AtEnd(); ++read) values.ReadByte();
    FUZZ_CHECK(read == chunk.bodySize, "bytes read differ from the body size");
  }
  // The dump knows other chunk kinds than Classify, so it may find damage.
  static FILE* sink = std::fopen("/dev/null", "w");
  try {
    DumpChunkFile("fuzz", bytes, DumpOptions{}, false, sink);
  } catch (const ChunkFileError&) {
  }
  return 0;
}
