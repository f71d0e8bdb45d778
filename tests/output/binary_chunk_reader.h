// A reader of the binary chunk file written separately from the writer, for
// checking its output: the caller says what it expects next (a chunk, a
// value, a run-length encoded sequence) and the reader checks the layout on
// the way: header sizes, the end of each body, zero padding to absolute
// 4-byte offsets, and a file that ends with its root chunk.
// It stays apart from the product's reader (input/) on purpose: a misreading
// of the form shared by the product's writer and reader would pass.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace output_test {

class BinaryChunkReader {
 public:
  explicit BinaryChunkReader(std::string bytes) : bytes(std::move(bytes)) {}

  // Enters the chunk at the current offset; returns its four-character name.
  std::string EnterChunk() {
    std::string name = Take(4);
    uint32_t bodySize = Dword();
    if (bodySize > Limit() - offset) {
      Fail("chunk " + name + " claims " + std::to_string(bodySize) + " bytes, only " +
           std::to_string(Limit() - offset) + " are left");
    }
    open.push_back({name, offset + bodySize});
    return name;
  }

  // Checks that the current chunk's body was read exactly, then reads its
  // padding and goes back to the enclosing chunk.
  void LeaveChunk() {
    if (open.empty()) Fail("no chunk is open");
    Open chunk = open.back();
    if (offset != chunk.end) {
      Fail("chunk " + chunk.name + " has " + std::to_string(chunk.end - offset) +
           " unread bytes");
    }
    open.pop_back();
    while (offset % 4 != 0) {
      if (Byte() != 0) Fail("non-zero padding after chunk " + chunk.name);
    }
    if (open.empty() && offset != bytes.size()) {
      Fail(std::to_string(bytes.size() - offset) + " bytes after the root chunk");
    }
  }

  uint8_t Byte() { return static_cast<uint8_t>(Take(1)[0]); }
  uint16_t Word() { return static_cast<uint16_t>(LittleEndian(2)); }
  uint32_t Dword() { return static_cast<uint32_t>(LittleEndian(4)); }
  float Float() {
    uint32_t bits = Dword();
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Characters up to a zero byte, which is read too.
  std::string String() {
    std::string text;
    for (char c = static_cast<char>(Byte()); c != '\0'; c = static_cast<char>(Byte())) {
      text.push_back(c);
    }
    return text;
  }
  std::string Data(size_t size) { return Take(size); }

  // Decodes packets until `count` elements of `width` bits (8, 16, else 32)
  // have come out; a packet that runs past `count` is an error.
  std::vector<uint32_t> RunLengthDecoded(size_t count, int width) {
    std::vector<uint32_t> values;
    while (values.size() < count) {
      uint8_t control = Byte();
      size_t run = (control & 0x7F) + 1u;
      if (values.size() + run > count) Fail("run-length packet runs past the sequence");
      if (control & 0x80) {
        values.insert(values.end(), run, Element(width));
      } else {
        for (size_t i = 0; i < run; ++i) values.push_back(Element(width));
      }
    }
    return values;
  }

  size_t Offset() const { return offset; }
  bool Done() const { return open.empty() && offset == bytes.size(); }

 private:
  struct Open {
    std::string name;
    size_t end;
  };
  std::string bytes;
  size_t offset = 0;
  std::vector<Open> open;

  [[noreturn]] void Fail(const std::string& problem) const {
    throw std::runtime_error("at offset " + std::to_string(offset) + ": " + problem);
  }

  size_t Limit() const { return open.empty() ? bytes.size() : open.back().end; }

  std::string Take(size_t count) {
    // Bounded by the open chunk's body, so a child's padding must fit in
    // its parent's body; the root's padding belongs to the file.
    if (count > Limit() - offset) Fail("read of " + std::to_string(count) + " bytes past the end");
    std::string part = bytes.substr(offset, count);
    offset += count;
    return part;
  }

  uint64_t LittleEndian(size_t count) {
    std::string part = Take(count);
    uint64_t value = 0;
    for (size_t i = count; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(part[i]);
    return value;
  }

  uint32_t Element(int width) {
    if (width == 8) return Byte();
    if (width == 16) return Word();
    return Dword();
  }
};

}  // namespace output_test
