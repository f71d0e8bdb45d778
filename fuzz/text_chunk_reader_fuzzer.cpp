// The text chunk reader on arbitrary bytes: it either reports damage or
// gives chunks with four-character names whose bodies hold as many values
// as the value reader finds there. The dump of a tree that was read does
// not fail.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "dumptool/chunk_dump.h"
#include "fuzz/fuzz_check.h"
#include "input/chunk_file_error.h"
#include "input/text_chunk_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<ChunkEntry> chunks;
  try { chunks = ReadTextChunks(text); } catch (const ChunkFileError&) { return 0; }
  for (const ChunkEntry& chunk : chunks) {
    FUZZ_CHECK(chunk.name.size() == 4 && chunk.depth < kMaxChunkDepth &&
                   chunk.bodyBegin <= chunk.bodyEnd && chunk.bodyEnd < size,
               "name, depth or body");
    TextValueReader values(text, chunk);
    uint64_t count = 0;
    for (; !values.AtEnd(); ++count) values.ReadToken();
    FUZZ_CHECK(count == chunk.bodySize, "values read differ from the count");
  }
  static FILE* sink = std::fopen("/dev/null", "w");
  DumpChunkFile("fuzz", text, DumpOptions{}, false, sink);
  return 0;
}
