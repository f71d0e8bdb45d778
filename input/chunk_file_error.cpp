#include "chunk_file_error.h"

#include <cstdio>

std::string OffsetPlace(uint64_t offset) {
  char text[32];
  std::snprintf(text, sizeof text, "offset 0x%llx", static_cast<unsigned long long>(offset));
  return text;
}

std::string LinePlace(uint64_t line) { return "line " + std::to_string(line); }

std::string Quoted(std::string_view bytes) {
  std::string text = "\"";
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte > 0x7E) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      text += escape;
    } else {
      text += c;
    }
  }
  return text + "\"";
}

std::string ChunkNameText(std::string_view name) {
  for (char c : name) {
    if (c <= ' ' || c > '~' || c == '"') return Quoted(name);
  }
  return std::string(name);
}
