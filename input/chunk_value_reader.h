// Typed reads of the values in one chunk's body, the same in both forms:
// the binary form's little-endian bytes or the text form's written values.
// A value that is missing or of the wrong kind raises ChunkFileError.
#pragma once

#include <cstdint>
#include <string>

class ChunkValueReader {
 public:
  virtual ~ChunkValueReader() = default;
  virtual bool AtEnd() = 0;
  virtual uint8_t ReadByte() = 0;
  virtual uint16_t ReadWord() = 0;
  virtual uint32_t ReadDword() = 0;
  // A string value without its terminator.
  virtual std::string ReadString() = 0;
  // Where the next value is ("offset 0x1c", "line 12").
  virtual std::string Place() = 0;
};
