// The text chunk reader on arbitrary bytes: it either reports damage or
// gives the chunks in file order with four-character names, each body
// inside its parent's, holding as many values as the value reader finds.
// The dump of a tree that was read does not fail.
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
  std::vector<size_t> ends = {size};  // of the bodies that hold the next chunk
  for (size_t i = 0; i < chunks.size(); ++i) {
    const ChunkEntry& chunk = chunks[i];
    FUZZ_CHECK(chunk.name.size() == 4 && size_t(chunk.depth) < ends.size(), "name or depth");
    ends.resize(size_t(chunk.depth) + 1);
    FUZZ_CHECK(chunk.bodyBegin <= chunk.bodyEnd && chunk.bodyEnd < ends.back() &&
                   (i == 0 || chunk.bodyBegin > chunks[i - 1].bodyBegin),
               "body outside its parent");
    ends.push_back(chunk.bodyEnd);
    TextValueReader values(text, chunk);
    uint64_t count = 0;
    for (; !values.AtEnd(); ++count) values.ReadToken();
    FUZZ_CHECK(count == chunk.bodySize, "values read differ from the count");
  }
  static FILE* sink = std::fopen("/dev/null", "w");
  DumpChunkFile("fuzz", text, DumpOptions{}, false, sink);
  return 0;
}
