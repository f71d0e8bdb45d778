// The abstract output of every tool: a tree of chunks named by four
// characters, holding untagged values. Each writer carries a run-length
// encoder whose packets go through the writer's own WriteByte, WriteWord
// and WriteDword, so the same stream is written in both forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class ChunkWriter {
 public:
  virtual ~ChunkWriter() = default;
  virtual bool OpenChunk(const char* name) = 0;
  virtual void CloseChunk() = 0;
  virtual int32_t GetDepth() = 0;
  virtual void WriteByte(uint8_t value) = 0;
  virtual void WriteWord(uint16_t value) = 0;
  virtual void WriteDword(uint32_t value) = 0;
  virtual void WriteFloat(float value) = 0;
  virtual void WriteString(const char* text) = 0;
  virtual void WriteData(const void* data, uint32_t size) = 0;
  // Each byte as WriteByte writes it.
  virtual void WriteBytes(std::string_view bytes) {
    for (unsigned char byte : bytes) WriteByte(byte);
  }
  virtual void Align() = 0;
  // Layout hints for the text form; the binary form ignores them.
  virtual void SetValuesPerLine(int32_t) {}
  virtual void SetHexMode(bool) {}
  virtual void SetInline(bool) {}

  // Hands the output file a temporary file of its own to write into and
  // returns what that file holds (ToolFile::TakeOverTemporaryFile). A
  // writer without an output file deletes it.
  virtual std::optional<std::string> TakeOverTemporaryFile(std::string path);

  // For the framework's string type (anything with Text()).
  template <typename Text>
  void WriteString(const Text& text) { WriteString(text.Text()); }

  // Run-length encoder (see run_length_encoder.cpp).
  void RLEReset();
  void RLEWrite(uint32_t value, int32_t width);
  void RLEFlush();

 protected:
  uint32_t rleValues[256] = {};
  int32_t rleRepeatCount = 0;
  int32_t rleRawCount = 0;
  int32_t rleWidth = 0;

 private:
  void RLEWriteElement(uint32_t value);
};

// Fills a chunk name up to four characters with '_': "scr" -> "scr_".
void MakeChunkName(const char* name, char out[4]);
