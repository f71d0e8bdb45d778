// The text chunk reader on arbitrary bytes: it either reports damage or
// gives a tree of four-character names whose bodies nest inside their
// parents' and whose value counts are what the value reader then reads.
// The dump of a tree that was read must not fail.
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
  try {
    chunks = ReadTextChunks(text);
  } catch (const ChunkFileError&) {
    return 0;
  }
  FUZZ_CHECK(!chunks.empty() && chunks[0].depth == 0 && chunks[0].name == "ucft", "root");
  std::vector<const ChunkEntry*> parents;
  for (const ChunkEntry& chunk : chunks) {
    FUZZ_CHECK(chunk.name.size() == 4, "name not four characters");
    FUZZ_CHECK(chunk.depth >= 0 && chunk.depth < kMaxChunkDepth, "depth out of range");
    FUZZ_CHECK(static_cast<size_t>(chunk.depth) <= parents.size(), "a depth skipped a level");
    parents.resize(static_cast<size_t>(chunk.depth));
    FUZZ_CHECK(chunk.bodyBegin <= chunk.bodyEnd && chunk.bodyEnd < size, "body outside the file");
    FUZZ_CHECK(chunk.place <= chunk.bodyLine, "body before its name");
    if (!parents.empty()) {
      const ChunkEntry& parent = *parents.back();
      FUZZ_CHECK(chunk.bodyBegin > parent.bodyBegin && chunk.bodyEnd < parent.bodyEnd,
                 "outside parent");
    }
    parents.push_back(&chunk);
    TextValueReader values(text, chunk);
    uint64_t read = 0;
    for (; !values.AtEnd(); ++read) {
      TextToken token = values.ReadToken();
      FUZZ_CHECK(token.begin >= chunk.bodyBegin && token.end <= chunk.bodyEnd,
                 "value outside body");
    }
    FUZZ_CHECK(read == chunk.bodySize, "values read differ from the count");
  }
  static FILE* sink = std::fopen("/dev/null", "w");
  DumpChunkFile("fuzz", text, DumpOptions{}, false, sink);
  return 0;
}
