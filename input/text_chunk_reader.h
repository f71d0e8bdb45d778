// The reader of the text chunk form ("ucft"): a chunk is a four-character
// name followed by "{", its values and child chunks, and "}". The tree is
// checked whole; values are read, typed, from a chunk's body on demand, so
// the reader holds little more than the text itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chunk_entry.h"
#include "chunk_value_reader.h"
#include "text_chunk_tokenizer.h"

// Every chunk of the file in `text`. Raises ChunkFileError, naming the
// line, at the first damage: a root other than "ucft", a chunk not closed
// at the end, a "}" or "{" out of place, a word that is neither a number
// nor a chunk name, nesting deeper than kMaxChunkDepth, text after the root.
std::vector<ChunkEntry> ReadTextChunks(std::string_view text);

// True for the numbers the text writer writes: decimal, "0x" hexadecimal
// and "%f" floats.
bool IsTextNumber(std::string_view word);

class TextValueReader : public ChunkValueReader {
 public:
  // Reads the values directly inside `chunk` (child chunks are passed over).
  TextValueReader(std::string_view text, const ChunkEntry& chunk)
      : tokens(text, chunk.bodyBegin, chunk.bodyLine, chunk.bodyEnd) {}

  bool AtEnd() override;
  uint8_t ReadByte() override { return static_cast<uint8_t>(ReadInteger(0, 0xFF, "a byte")); }
  uint16_t ReadWord() override { return static_cast<uint16_t>(ReadInteger(0, 0xFFFF, "a word")); }
  // "%d" of a dword reads 0xFFFFFFFF as -1, so negative values are taken too.
  uint32_t ReadDword() override {
    return static_cast<uint32_t>(ReadInteger(-2147483648LL, 0xFFFFFFFFLL, "a dword"));
  }
  std::string ReadString() override;
  std::string Place() override;
  // The next value as written: a number's text, or a string in quotes.
  TextToken ReadToken();

 private:
  TextChunkTokenizer tokens;
  TextToken next;
  bool peeked = false;

  TextToken& Peek();
  int64_t ReadInteger(int64_t low, int64_t high, const char* what);
};
