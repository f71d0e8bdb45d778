// The binary chunk file ("ucfb"): each chunk is its four-character name, a
// little-endian body size back-patched at close, the body, and zero padding
// to the next absolute 4-byte offset, which counts in the parent's body.
#pragma once

#include <cstdint>

#include "chunk_writer.h"

class ToolFile;

class BinaryChunkWriter : public ChunkWriter {
 public:
  static constexpr int32_t kMaxDepth = 100;

  explicit BinaryChunkWriter(ToolFile* file) : file(file) {}

  bool OpenChunk(const char* name) override;
  // A name given as a packed id, first character in the lowest byte.
  bool OpenChunk(uint32_t id);
  void CloseChunk() override;
  int32_t GetDepth() override { return depth; }
  void WriteByte(uint8_t value) override;
  void WriteWord(uint16_t value) override;
  void WriteDword(uint32_t value) override;
  void WriteFloat(float value) override;
  void WriteString(const char* text) override;
  std::optional<std::string> TakeOverTemporaryFile(std::string path) override;
  using ChunkWriter::WriteString;
  void WriteData(const void* data, uint32_t size) override;
  void WriteBytes(std::string_view bytes) override;
  void Align() override;

 private:
  struct StackEntry {
    uint32_t start;
    uint32_t id;
  };
  StackEntry chunkStack[kMaxDepth] = {};
  int32_t depth = 0;
  ToolFile* file;

  void PushChunk(uint32_t id);
};
