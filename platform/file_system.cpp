// File system services built on the per-platform ones.
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace platform {

std::optional<std::string> ReadTextFile(const std::string& path) {
  FILE* file = OpenStream(path, "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char block[65536];
  bool failed = false;
  for (;;) {
    size_t got = std::fread(block, 1, sizeof block, file);
    // Nothing after a NUL counts, so reading stops there: a device such as
    // /dev/zero would never end.
    const char* nul = static_cast<const char*>(std::memchr(block, '\0', got));
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

}  // namespace platform
