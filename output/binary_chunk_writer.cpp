#include "binary_chunk_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "messages.h"
#include "tool_file.h"

namespace {

uint32_t PackId(const char chars[4]) {
  uint32_t id = 0;
  for (int i = 3; i >= 0; --i) id = (id << 8) | static_cast<unsigned char>(chars[i]);
  return id;
}

char IdChar(uint32_t id, int index) { return static_cast<char>((id >> (8 * index)) & 0xFF); }

}  // namespace

bool BinaryChunkWriter::OpenChunk(const char* name) {
  char chars[4];
  MakeChunkName(name, chars);
  RLEReset();
  // No trace for an open that PushChunk refuses.
  if (depth < kMaxDepth) {
    PrintDebug("%*sOpen  [%c%c%c%c]\n", 2 * depth, "", chars[0], chars[1], chars[2],
               chars[3]);
  }
  PushChunk(PackId(chars));
  return true;
}

bool BinaryChunkWriter::OpenChunk(uint32_t id) {
  if (depth < kMaxDepth) PrintDebug("Open 0x%08x\n", id);
  PushChunk(id);
  return true;
}

void BinaryChunkWriter::PushChunk(uint32_t id) {
  if (depth >= kMaxDepth) throw HandyException("[INTERNAL: Chunk nesting overflow]");
  chunkStack[depth] = {file->Tell(), id};
  ++depth;
  // Placeholder header, filled in when the chunk closes.
  file->WriteDword(0);
  file->WriteDword(0);
}

void BinaryChunkWriter::CloseChunk() {
  RLEFlush();
  if (depth <= 0) throw HandyException("[INTERNAL: Chunk nesting underflow]");
  --depth;
  const StackEntry& entry = chunkStack[depth];
  uint32_t end = file->Tell();
  uint32_t bodySize = end - entry.start - 8;
  file->Seek(entry.start);
  file->WriteDword(entry.id);
  file->WriteDword(bodySize);
  file->Seek(end);
  PrintDebug("%*sClose [%c%c%c%c] (%u bytes)\n", 2 * depth, "", IdChar(entry.id, 0),
             IdChar(entry.id, 1), IdChar(entry.id, 2), IdChar(entry.id, 3), bodySize);
  Align();
}

void BinaryChunkWriter::WriteByte(uint8_t value) { file->WriteByte(value); }
void BinaryChunkWriter::WriteWord(uint16_t value) { file->WriteWord(value); }
void BinaryChunkWriter::WriteDword(uint32_t value) { file->WriteDword(value); }
void BinaryChunkWriter::WriteFloat(float value) { file->WriteFloat(value); }

void BinaryChunkWriter::WriteString(const char* text) {
  if (!text) text = "";
  // The characters and their terminating zero byte.
  file->WriteData(text, 1, static_cast<uint32_t>(strlen(text) + 1));
}

void BinaryChunkWriter::WriteData(const void* data, uint32_t size) {
  file->WriteData(data, 1, size);
}

void BinaryChunkWriter::WriteBytes(std::string_view bytes) {
  // In parts a count can hold; the file refuses to grow past 4 GiB anyway.
  while (!bytes.empty()) {
    uint32_t part = static_cast<uint32_t>(std::min<size_t>(bytes.size(), UINT32_MAX));
    file->WriteData(bytes.data(), 1, part);
    bytes.remove_prefix(part);
  }
}

void BinaryChunkWriter::Align() {
  static const unsigned char zeros[3] = {0, 0, 0};
  uint32_t misalignment = file->Tell() % 4;
  if (misalignment != 0) file->WriteData(zeros, 1, 4 - misalignment);
}

std::optional<std::string> BinaryChunkWriter::TakeOverTemporaryFile(std::string path) {
  return file->TakeOverTemporaryFile(std::move(path));
}
