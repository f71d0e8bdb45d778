#include "compiled_lua_header.h"

#include <cstdint>
#include <cstdio>

#include "input/chunk_file_error.h"

namespace {

constexpr std::string_view kSignature = "\x1bLua";
constexpr size_t kHeaderSize = 12;

std::string HexBytes(std::string_view bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%s%02x", text.empty() ? "" : " ", c);
    text += hex;
  }
  return text;
}

unsigned Byte(std::string_view code, size_t index) {
  return static_cast<unsigned char>(code[index]);
}

// What a byte that should be 0 or 1 means.
std::string FlagText(unsigned value, const char* ifZero, const char* ifOne) {
  if (value == 0) return ifZero;
  if (value == 1) return ifOne;
  return "unknown (" + std::to_string(value) + ")";
}

// Lua 5.1 writes the main function's source name first, as a size_t
// length; luac -s writes length 0, and every unstripped dump a name with
// its terminator. Other versions are not looked into.
std::string DebugInformation(std::string_view code) {
  unsigned sizeOfSizeT = Byte(code, 8);
  bool littleEndian = Byte(code, 6) == 1;
  if (Byte(code, 4) != 0x51 || Byte(code, 5) != 0 || Byte(code, 6) > 1 ||
      (sizeOfSizeT != 4 && sizeOfSizeT != 8) || code.size() < kHeaderSize + sizeOfSizeT) {
    return "unknown";
  }
  uint64_t length = 0;
  for (unsigned i = 0; i < sizeOfSizeT; ++i) {
    unsigned index = littleEndian ? sizeOfSizeT - 1 - i : i;
    length = (length << 8) | Byte(code, kHeaderSize + index);
  }
  if (length == 0) return "absent";
  size_t nameStart = kHeaderSize + sizeOfSizeT;
  if (length > code.size() - nameStart) return "unknown (the source name runs past the end)";
  return "present (source " + Quoted(code.substr(nameStart, length - 1)) + ")";
}

}  // namespace

std::vector<std::string> DescribeCompiledLua(std::string_view code) {
  std::vector<std::string> lines;
  lines.push_back("size: " + std::to_string(code.size()) + (code.size() == 1 ? " byte" : " bytes"));
  if (code.substr(0, 4) != kSignature) {
    lines.push_back("signature: " + HexBytes(code.substr(0, 4)) + ", not that of compiled Lua (" +
                    HexBytes(kSignature) + ")");
    return lines;
  }
  lines.push_back("signature: " + HexBytes(kSignature) + " (" + Quoted(kSignature) + ")");
  if (code.size() < kHeaderSize) {
    lines.push_back("header: cut short, " + std::to_string(code.size()) + " of " +
                    std::to_string(kHeaderSize) + " bytes");
    return lines;
  }
  unsigned version = Byte(code, 4);
  lines.push_back("version: " + std::to_string(version >> 4) + "." + std::to_string(version & 0xF));
  unsigned format = Byte(code, 5);
  lines.push_back("format: " + std::to_string(format) + (format == 0 ? " (official)" : ""));
  lines.push_back("byte order: " + FlagText(Byte(code, 6), "big-endian", "little-endian"));
  lines.push_back("sizes: int " + std::to_string(Byte(code, 7)) + ", size_t " +
                  std::to_string(Byte(code, 8)) + ", instruction " + std::to_string(Byte(code, 9)) +
                  ", number " + std::to_string(Byte(code, 10)));
  lines.push_back("integral numbers: " + FlagText(Byte(code, 11), "no", "yes"));
  lines.push_back("debug information: " + DebugInformation(code));
  return lines;
}
