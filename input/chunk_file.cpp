#include "chunk_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "chunk_file_error.h"
#include "platform/platform.h"
#include "text_chunk_tokenizer.h"

std::string LoadChunkFile(const std::string& path) {
  // A FIFO or a device could block or never end.
  std::optional<platform::FileStatus> status = platform::StatFile(path);
  if (!status || !status->isRegular)
    throw ChunkFileError("", status ? "not a plain file" : "no such file");
  FILE* stream = platform::OpenStream(path, "rb");
  if (!stream) throw ChunkFileError("", std::string("cannot be opened: ") + std::strerror(errno));
  std::optional<std::string> bytes = platform::ReadStream(stream);
  std::fclose(stream);
  if (!bytes) throw ChunkFileError("", "cannot be read");
  return *bytes;
}

ChunkFileForm DetectChunkFileForm(std::string_view bytes) {
  if (bytes.empty()) throw ChunkFileError("", "empty file");
  if (bytes.substr(0, 4) == std::string_view("ucfb").substr(0, bytes.size())) {
    return ChunkFileForm::kBinary;
  }
  size_t start = 0;
  while (start < bytes.size() && IsTextSpace(bytes[start])) ++start;
  std::string_view word = bytes.substr(start, 5);
  if (word.substr(0, 4) == "ucft" && (word.size() == 4 || IsTextSpace(word[4]))) {
    return ChunkFileForm::kText;
  }
  std::string begins;
  for (unsigned char c : bytes.substr(0, 4)) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%s%02x", begins.empty() ? "" : " ", c);
    begins += hex;
  }
  throw ChunkFileError(OffsetPlace(0), "not a chunk file: it begins with " + begins + " (" +
                                           Quoted(bytes.substr(0, 4)) +
                                           "), not \"ucfb\" or \"ucft\"");
}
