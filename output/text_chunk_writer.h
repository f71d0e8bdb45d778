// The readable chunk file ("ucft"): names and braces on lines of their own,
// one tab per level, values laid out by the current chunk's settings.
#pragma once

#include <cstdint>

#include "chunk_writer.h"

class ToolFile;

class TextChunkWriter : public ChunkWriter {
 public:
  explicit TextChunkWriter(ToolFile* file) : file(file) {}

  bool OpenChunk(const char* name) override;
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
  void Align() override {}
  void SetValuesPerLine(int32_t count) override;
  void SetHexMode(bool on) override { hexMode = on; }
  void SetInline(bool on) override { inlineMode = on; }

 private:
  int32_t valuesOnLine = 0;
  int32_t valuesPerLine = 1;
  bool hexMode = false;
  bool inlineMode = false;
  bool openPending = false;
  int32_t depth = 0;
  ToolFile* file;

  void NewLine();
  void BeginValue();
  void WriteInteger(uint32_t value, int hexDigits, int64_t decimal);
  void ResetLayout();
};
