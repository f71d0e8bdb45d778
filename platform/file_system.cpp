// File system services built on the per-platform ones.
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace platform {

namespace {

// The bytes of the file at `path`, up to the first NUL byte if
// `stopAtNul`; nothing when it cannot be opened or read.
std::optional<std::string> ReadBytes(const std::string& path, bool stopAtNul) {
  FILE* file = OpenStream(path, "rb");
  if (file == nullptr) return std::nullopt;
  // Whole blocks go straight into our own buffer.
  setvbuf(file, nullptr, _IONBF, 0);
  std::string text;
  char block[65536];
  bool failed = false;
  for (;;) {
    size_t got = std::fread(block, 1, sizeof block, file);
    // Nothing after a NUL counts, so reading stops there: a device such as
    // /dev/zero would never end.
    const char* nul =
        stopAtNul ? static_cast<const char*>(std::memchr(block, '\0', got)) : nullptr;
    if (nul) {
      text.append(block, static_cast<size_t>(nul - block));
      break;
    }
    text.append(block, got);
    if (got < sizeof block) {
      failed = std::ferror(file) != 0;
      break;
    }
  }
  std::fclose(file);
  if (failed) return std::nullopt;
  return text;
}

}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path) { return ReadBytes(path, true); }

std::optional<std::string> ReadWholeFile(const std::string& path) {
  return ReadBytes(path, false);
}

}  // namespace platform
