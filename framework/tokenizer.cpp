#include "framework/tokenizer.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// The C locale's white-space class; bytes from 0x80 up are ordinary.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<std::string> LoadTextFile(const std::string& path) {
  FILE* file = platform::OpenStream(path, "rb");
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

std::optional<size_t> NextToken(std::string_view text, size_t position, std::string* token) {
  while (position < text.size() && IsSpace(text[position])) ++position;
  if (position >= text.size()) return std::nullopt;

  bool inQuotes = false;
  for (;;) {
    size_t backslashes = 0;
    while (position < text.size() && text[position] == '\\') {
      ++backslashes;
      ++position;
    }
    bool copy = true;
    if (position < text.size() && text[position] == '"') {
      if (backslashes % 2 == 0) {
        if (inQuotes && position + 1 < text.size() && text[position + 1] == '"') {
          ++position;  // the second of the pair is copied as a literal quote
        } else {
          copy = false;
        }
        inQuotes = !inQuotes;
      }
      backslashes /= 2;
    }
    token->append(backslashes, '\\');
    if (position >= text.size()) return position;
    if (!inQuotes && IsSpace(text[position])) return position;
    if (copy) token->push_back(text[position]);
    ++position;
  }
}

std::vector<std::string> Tokenize(std::string_view text) {
  std::vector<std::string> tokens;
  size_t position = 0;
  for (;;) {
    std::string token;
    std::optional<size_t> end = NextToken(text, position, &token);
    if (!end) break;
    tokens.push_back(std::move(token));
    position = *end;
  }
  return tokens;
}
