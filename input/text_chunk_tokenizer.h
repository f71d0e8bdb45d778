// Splits the text chunk form ("ucft") into tokens: "{", "}", quoted strings
// and bare words (chunk names and numbers), separated by blanks, tabs and
// line breaks, counting lines. Strings are written unescaped, so a string
// ends at the first double quote that is followed by white space or by the
// end of the text; a string holding such a quote cannot be read back whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct TextToken {
  enum class Kind { kEnd, kOpen, kClose, kString, kWord };
  Kind kind = Kind::kEnd;
  std::string_view text;  // a string without its quotes
  uint64_t line = 0;      // where the token begins
  size_t begin = 0;       // the token's bytes, quotes included
  size_t end = 0;
};

class TextChunkTokenizer {
 public:
  // Tokens of text[position, end), the first on line `line`.
  TextChunkTokenizer(std::string_view text, size_t position = 0, uint64_t line = 1,
                     size_t end = std::string_view::npos)
      : text(text.substr(0, end)), position(position), line(line) {}

  // The next token; kEnd at the end. A string without its closing quote
  // raises ChunkFileError.
  TextToken Next();

 private:
  std::string_view text;
  size_t position;
  uint64_t line;
};

bool IsTextSpace(char c);
