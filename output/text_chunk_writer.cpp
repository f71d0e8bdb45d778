#include "text_chunk_writer.h"

#include <charconv>
#include <cstring>
#include <utility>

#include "messages.h"
#include "tool_file.h"

namespace {

void Put(ToolFile* file, const char* text) {
  file->WriteData(text, 1, static_cast<uint32_t>(strlen(text)));
}

// The "%d" and "0x%0Nx" forms, without a printf per value.
void PutDecimal(ToolFile* file, int64_t value) {
  char text[24];
  std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  file->WriteData(text, 1, static_cast<uint32_t>(result.ptr - text));
}

void PutHex(ToolFile* file, uint32_t value, int digits) {
  char text[10] = {'0', 'x'};
  for (int i = digits + 1; i >= 2; --i) {
    text[i] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  }
  file->WriteData(text, 1, static_cast<uint32_t>(digits + 2));
}

}  // namespace

void TextChunkWriter::NewLine() {
  if (openPending) {
    // The chunk's "{" goes on a line of its own at the name's indentation.
    openPending = false;
    --depth;
    NewLine();
    ++depth;
    file->WriteByte('{');
  }
  if (inlineMode) {
    file->WriteByte(' ');
  } else {
    file->WriteByte('\n');
    for (int32_t i = 0; i < depth; ++i) file->WriteByte('\t');
  }
}

void TextChunkWriter::BeginValue() {
  if (valuesOnLine != 0) {
    file->WriteByte(' ');
  } else {
    NewLine();
  }
  if (++valuesOnLine >= valuesPerLine) valuesOnLine = 0;
}

void TextChunkWriter::ResetLayout() {
  SetValuesPerLine(1);
  hexMode = false;
  inlineMode = false;
}

void TextChunkWriter::SetValuesPerLine(int32_t count) {
  valuesPerLine = count;
  valuesOnLine = 0;
}

bool TextChunkWriter::OpenChunk(const char* name) {
  char chars[4];
  MakeChunkName(name, chars);
  RLEReset();
  ResetLayout();
  NewLine();
  file->WriteData(chars, 1, 4);
  openPending = true;
  ++depth;
  return true;
}

void TextChunkWriter::CloseChunk() {
  RLEFlush();
  if (openPending) {
    // An empty chunk still gets its "{" line.
    openPending = false;
    --depth;
    NewLine();
    ++depth;
    file->WriteByte('{');
  }
  if (depth <= 0) throw HandyException("[INTERNAL: Chunk nesting underflow]");
  --depth;
  NewLine();
  file->WriteByte('}');
  ResetLayout();
}

// Decimal values are written as signed so that a dword reads as "%d" does
// (0xFFFFFFFF reads -1); bytes and words are never negative.
void TextChunkWriter::WriteInteger(uint32_t value, int hexDigits, int64_t decimal) {
  BeginValue();
  if (hexMode) {
    PutHex(file, value, hexDigits);
  } else {
    PutDecimal(file, decimal);
  }
}

void TextChunkWriter::WriteByte(uint8_t value) { WriteInteger(value, 2, value); }

void TextChunkWriter::WriteWord(uint16_t value) { WriteInteger(value, 4, value); }

void TextChunkWriter::WriteDword(uint32_t value) {
  WriteInteger(value, 8, static_cast<int32_t>(value));
}

void TextChunkWriter::WriteFloat(float value) {
  BeginValue();
  file->Printf("%f", static_cast<double>(value));
}

void TextChunkWriter::WriteString(const char* text) {
  BeginValue();
  file->WriteByte('"');
  if (text) Put(file, text);
  file->WriteByte('"');
}

void TextChunkWriter::WriteData(const void* data, uint32_t size) {
  BeginValue();
  file->WriteByte('"');
  file->WriteData(data, 1, size);
  file->WriteByte('"');
}

std::optional<std::string> TextChunkWriter::TakeOverTemporaryFile(std::string path) {
  return file->TakeOverTemporaryFile(std::move(path));
}
