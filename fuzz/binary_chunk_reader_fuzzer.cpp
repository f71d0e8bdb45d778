// The binary chunk reader on arbitrary bytes: it either reports damage or
// gives chunks whose bodies follow their headers inside the file. The dump
// of a file raises nothing but damage.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "dumptool/chunk_dump.h"
#include "fuzz/fuzz_check.h"
#include "input/binary_chunk_reader.h"
#include "input/chunk_file_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static FILE* sink = std::fopen("/dev/null", "w");
  try { DumpChunkFile("fuzz", bytes, DumpOptions{}, false, sink); } catch (const ChunkFileError&) {}
  try {
    // All three kinds, chosen by the name, so that damage below any of them is met.
    for (const ChunkEntry& chunk : ReadBinaryChunks(bytes, [](std::string_view name) {
           return static_cast<ChunkContent>(static_cast<uint8_t>(name[0]) % 3);
         })) {
      FUZZ_CHECK(chunk.depth < kMaxChunkDepth && chunk.bodyBegin == chunk.place + 8 &&
                     chunk.bodyEnd - chunk.bodyBegin == chunk.bodySize && chunk.bodyEnd <= size,
                 "body outside the file");
    }
  } catch (const ChunkFileError&) {
  }
  return 0;
}
