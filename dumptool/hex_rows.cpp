#include "hex_rows.h"

#include <cstddef>

void PrintHexRows(FILE* out, std::string_view bytes, int indent) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t row = 0; row < bytes.size(); row += 16) {
    // "xx " per byte, a gap, then "|ascii|".
    char hex[16 * 3 + 2] = {};
    char ascii[17] = {};
    size_t used = 0;
    for (size_t i = 0; i < 16; ++i) {
      if (i == 8) hex[used++] = ' ';
      if (row + i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[row + i]);
        hex[used++] = kDigits[c >> 4];
        hex[used++] = kDigits[c & 0xF];
        ascii[i] = c >= ' ' && c <= '~' ? static_cast<char>(c) : '.';
      } else {
        hex[used++] = ' ';
        hex[used++] = ' ';
      }
      hex[used++] = ' ';
    }
    std::fprintf(out, "%*s%08llx  %s |%s|\n", indent, "", static_cast<unsigned long long>(row), hex,
                 ascii);
  }
}
