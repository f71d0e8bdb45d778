// File system services built on the per-platform ones.
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace platform {

namespace {

// The bytes left in `file`, up to the first NUL byte if `stopAtNul`;
// nothing when it cannot be read.
std::optional<std::string> ReadToEnd(FILE* file, bool stopAtNul) {
  // Whole blocks go straight into our own buffer.
  setvbuf(file, nullptr, _IONBF, 0);
  std::string text;
  char block[65536];
  for (;;) {
    size_t got = std::fread(block, 1, sizeof block, file);
    // Nothing after a NUL counts, so reading stops there: a device such as
    // /dev/zero would never end.
    const char* nul =
        stopAtNul ? static_cast<const char*>(std::memchr(block, '\0', got)) : nullptr;
    if (nul) {
      text.append(block, static_cast<size_t>(nul - block));
      return text;
    }
    text.append(block, got);
    if (got < sizeof block) {
      if (std::ferror(file) != 0) return std::nullopt;
      return text;
    }
  }
}

std::optional<std::string> ReadBytes(const std::string& path, bool stopAtNul) {
  FILE* file = OpenStream(path, "rb");
  if (file == nullptr) return std::nullopt;
  std::optional<std::string> text = ReadToEnd(file, stopAtNul);
  std::fclose(file);
  return text;
}

}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path) { return ReadBytes(path, true); }

std::optional<std::string> ReadWholeFile(const std::string& path) {
  return ReadBytes(path, false);
}

std::optional<std::string> ReadStream(FILE* stream) { return ReadToEnd(stream, false); }

}  // namespace platform
