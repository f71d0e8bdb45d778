// The run-length encoder every chunk writer carries. Packets: a control byte
// 0x00-0x7F is followed by that many plus one raw elements; 0x80-0xFF by one
// element repeated (control - 0x80) + 1 times. Runs are cut at 128.
#include "chunk_writer.h"
#include "messages.h"

namespace {
constexpr int32_t kMaxRun = 128;
}

void ChunkWriter::RLEReset() {
  rleRepeatCount = 0;
  rleRawCount = 0;
  rleWidth = 0;
}

void ChunkWriter::RLEWriteElement(uint32_t value) {
  if (rleWidth == 8) {
    WriteByte(static_cast<uint8_t>(value));
  } else if (rleWidth == 16) {
    WriteWord(static_cast<uint16_t>(value));
  } else {
    WriteDword(value);
  }
}

void ChunkWriter::RLEWrite(uint32_t value, int32_t width) {
  if (rleWidth != 0 && rleWidth != width) {
    throw HandyException("[INTERNAL: Can't Run-Length Encode mixed width data]");
  }
  rleWidth = width;
  if (rleRepeatCount > 0) {
    if (value == rleValues[0]) {
      if (++rleRepeatCount == kMaxRun) RLEFlush();
    } else {
      RLEFlush();
      rleValues[0] = value;
      rleRawCount = 1;
    }
  } else if (rleRawCount > 0) {
    if (value != rleValues[rleRawCount - 1]) {
      rleValues[rleRawCount++] = value;
      if (rleRawCount == kMaxRun) RLEFlush();
    } else {
      // Two equal neighbours always start a repeat run.
      --rleRawCount;
      RLEFlush();
      rleValues[0] = value;
      rleRepeatCount = 2;
    }
  } else {
    rleValues[0] = value;
    rleRawCount = 1;
  }
}

void ChunkWriter::RLEFlush() {
  // The counts are cleared before writing so that a failed write cannot
  // leave a run to be written twice.
  if (rleRepeatCount > 0) {
    if (rleRepeatCount > kMaxRun) {
      throw HandyException("[INTERNAL: RLE repeat count overflow]");
    }
    int32_t count = rleRepeatCount;
    rleRepeatCount = 0;
    WriteByte(static_cast<uint8_t>(count - 1 + 0x80));
    RLEWriteElement(rleValues[0]);
  } else if (rleRawCount > 0) {
    if (rleRawCount > kMaxRun) throw HandyException("[INTERNAL: RLE raw count overflow]");
    int32_t count = rleRawCount;
    rleRawCount = 0;
    WriteByte(static_cast<uint8_t>(count - 1));
    for (int32_t i = 0; i < count; ++i) RLEWriteElement(rleValues[i]);
  }
}
