#include "chunk_writer.h"

#include "platform/platform.h"

void MakeChunkName(const char* name, char out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = '_';
  if (!name) return;
  for (int i = 0; i < 4 && name[i] != '\0'; ++i) out[i] = name[i];
}

std::optional<std::string> ChunkWriter::TakeOverTemporaryFile(std::string path) {
  platform::RemoveFile(path);
  return std::nullopt;
}
