// The reader of the binary chunk file ("ucfb"): the chunk tree with every
// header, size and padding checked against its parent and the file, and
// typed little-endian reads of a body. Values carry no tags, so whether a
// body holds chunks or data is the caller's knowledge (ChunkContent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chunk_entry.h"
#include "chunk_value_reader.h"

enum class ChunkContent {
  kChunks,  // a sequence of chunks; damage in it is an error
  kData,    // values only
  kEither,  // chunks when the whole body reads as well-formed chunks, else data
};
using ChunkClassifier = std::function<ChunkContent(std::string_view name)>;

// Every chunk of the file in `bytes`, whose root always holds chunks.
// Raises ChunkFileError at the first damage: a header or body or padding
// that runs past its parent or the file, non-zero padding, nesting deeper
// than kMaxChunkDepth, bytes after the root.
std::vector<ChunkEntry> ReadBinaryChunks(std::string_view bytes, const ChunkClassifier& classify);

class BinaryValueReader : public ChunkValueReader {
 public:
  // Reads the body [begin, end) of `bytes`.
  BinaryValueReader(std::string_view bytes, size_t begin, size_t end)
      : bytes(bytes), position(begin), end(end) {}

  bool AtEnd() override { return position >= end; }
  uint8_t ReadByte() override { return static_cast<uint8_t>(LittleEndian(1)); }
  uint16_t ReadWord() override { return static_cast<uint16_t>(LittleEndian(2)); }
  uint32_t ReadDword() override { return static_cast<uint32_t>(LittleEndian(4)); }
  // Bytes up to a zero byte, which is read too.
  std::string ReadString() override;
  std::string Place() override;

 private:
  std::string_view bytes;
  size_t position;
  size_t end;

  uint64_t LittleEndian(size_t count);
};
