#include "run_length_decoder.h"

namespace {

uint32_t ReadElement(ChunkValueReader& reader, int32_t width) {
  if (width == 8) return reader.ReadByte();
  if (width == 16) return reader.ReadWord();
  return reader.ReadDword();
}

}  // namespace

std::vector<uint32_t> DecodeRunLength(ChunkValueReader& reader, int32_t width) {
  std::vector<uint32_t> values;
  while (!reader.AtEnd()) {
    uint8_t control = reader.ReadByte();
    if (control & 0x80) {
      values.insert(values.end(), control - 0x7Fu, ReadElement(reader, width));
    } else {
      for (int i = 0; i <= control; ++i) values.push_back(ReadElement(reader, width));
    }
  }
  return values;
}
