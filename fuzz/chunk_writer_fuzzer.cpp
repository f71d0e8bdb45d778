// Chunk-writer calls chosen by the input's bytes, on a BinaryChunkWriter
// over a real ToolFile, read back by the product's reader: every chunk in
// its place and every body as written. Chunks named "C..." hold chunks,
// "D..." data, "R..." a run-length encoded sequence of bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "input/binary_chunk_reader.h"
#include "input/chunk_file.h"
#include "input/run_length_decoder.h"
#include "output/binary_chunk_writer.h"
#include "output/tool_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = (std::filesystem::temp_directory_path() / "tolscript-chunk-fuzz-")
                                      .string() + std::to_string(std::random_device()());
  std::vector<ChunkEntry> chunks = {{"ucfb"}};  // what should be read back, and the bodies
  std::vector<std::string> bodies = {""};
  {
    ToolFile file;
    FUZZ_CHECK(file.OpenForOutput(path.c_str(), true), "OpenForOutput");
    BinaryChunkWriter writer(&file);
    writer.OpenChunk("ucfb");
    // Steps of four bytes: a kind and a name, or a close. A data or run
    // chunk takes the bytes after its step.
    for (size_t at = 0; at + 4 <= size;) {
      const uint8_t* step = data + at;
      at += 4;
      char kind = "CDR-"[step[0] % 4];
      if (kind == '-' && writer.GetDepth() > 1) writer.CloseChunk();
      if (kind == '-' || writer.GetDepth() == BinaryChunkWriter::kMaxDepth) continue;
      chunks.push_back({{kind, char(step[1]), char(step[2]), char(step[3])}, writer.GetDepth()});
      writer.OpenChunk(uint8_t(kind) | step[1] << 8 | step[2] << 16 | uint32_t(step[3]) << 24);
      // Now and then past the file's write buffer.
      size_t length = kind == 'C' ? 0 : std::min<size_t>(step[1] * 300u + step[2], size - at);
      bodies.emplace_back(reinterpret_cast<const char*>(data) + at, length);
      at += length;
      if (kind == 'D' && step[3] % 2 == 0) writer.WriteData(bodies.back().data(), uint32_t(length));
      for (uint8_t c : bodies.back()) {
        if (kind == 'R') writer.RLEWrite(c, 8);
        if (kind == 'D' && step[3] % 2) writer.WriteByte(c);
      }
      if (kind != 'C') writer.CloseChunk();  // a data or run chunk is written whole
    }
    while (writer.GetDepth() > 0) writer.CloseChunk();
    file.Close();
  }
  std::string bytes = LoadChunkFile(path);
  std::vector<ChunkEntry> read = ReadBinaryChunks(bytes, [](std::string_view name) {
    return name[0] == 'C' ? ChunkContent::kChunks : ChunkContent::kData;
  });
  FUZZ_CHECK(read.size() == chunks.size(), "chunk count");
  for (size_t i = 1; i < read.size(); ++i) {
    FUZZ_CHECK(read[i].name == chunks[i].name && read[i].depth == chunks[i].depth, "chunk");
    std::string body = bytes.substr(read[i].bodyBegin, read[i].bodySize);
    if (chunks[i].name[0] == 'R') {
      BinaryValueReader values(bytes, read[i].bodyBegin, read[i].bodyEnd);
      body.clear();
      for (uint32_t value : DecodeRunLength(values, 8)) body += char(value);
    }
    FUZZ_CHECK(body == bodies[i] || chunks[i].name[0] == 'C', "body");
  }
  std::filesystem::remove(path);
  return 0;
}
