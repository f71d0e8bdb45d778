#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/binary_chunk_writer.h"
#include "output/chunk_writer.h"
#include "output/text_chunk_writer.h"
#include "output_test_support.h"

namespace {

using output_test::Hex;
using output_test::OutputTest;
using output_test::RaisedMessage;

class RunLengthEncoderTest : public OutputTest {};

// One element as the recorder shows it.
std::string Element(uint32_t value, int width) {
  char part[16];
  if (width == 8) {
    snprintf(part, sizeof part, "b%02x", value & 0xFF);
  } else if (width == 16) {
    snprintf(part, sizeof part, "w%04x", value & 0xFFFF);
  } else {
    snprintf(part, sizeof part, "d%08x", value);
  }
  return part;
}

// Records the elements the encoder writes: "b7f" for a byte, "w1234" for a
// word, "d00000001" for a dword, separated by blanks.
class RecordingWriter : public ChunkWriter {
 public:
  std::string written;

  bool OpenChunk(const char*) override { return true; }
  void CloseChunk() override {}
  int32_t GetDepth() override { return 0; }
  void WriteByte(uint8_t value) override { Record(Element(value, 8)); }
  void WriteWord(uint16_t value) override { Record(Element(value, 16)); }
  void WriteDword(uint32_t value) override { Record(Element(value, 32)); }
  void WriteFloat(float) override { Record("float"); }
  void WriteString(const char*) override { Record("string"); }
  void WriteData(const void*, uint32_t) override { Record("data"); }
  void Align() override {}

  // For the overflow guards only: RLEWrite itself never makes such counts.
  void ForceRepeatCount(int32_t count) { rleRepeatCount = count; }
  void ForceRawCount(int32_t count) { rleRawCount = count; }

 private:
  void Record(const std::string& element) {
    if (!written.empty()) written += ' ';
    written += element;
  }
};

std::vector<uint32_t> Distinct(uint32_t count) {
  std::vector<uint32_t> values;
  for (uint32_t i = 0; i < count; ++i) values.push_back(i);
  return values;
}

std::vector<uint32_t> Same(uint32_t count, uint32_t value) {
  return std::vector<uint32_t>(count, value);
}

std::vector<uint32_t> Join(std::vector<uint32_t> a, const std::vector<uint32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Expected packets, built from the packet layout.
std::string Then(const std::string& a, const std::string& b) {
  return a.empty() || b.empty() ? a + b : a + " " + b;
}

std::string Raw(const std::vector<uint32_t>& values, int width = 8) {
  std::string text = Element(static_cast<uint32_t>(values.size() - 1), 8);
  for (uint32_t value : values) text = Then(text, Element(value, width));
  return text;
}

std::string Repeat(uint32_t count, uint32_t value, int width = 8) {
  return Then(Element(0x80 + count - 1, 8), Element(value, width));
}

TEST_F(RunLengthEncoderTest, PacketsAreCutWhereTheRunsEnd) {
  struct Case {
    const char* name;
    std::vector<uint32_t> values;
    int width;
    std::string beforeFlush;  // written while the values went in
    std::string afterFlush;   // everything, once flushed
  };
  const uint32_t A = 0x41, B = 0x42, C = 0x43, D = 0x44, X = 0x58, Y = 0x59;
  const Case cases[] = {
      {"single value", {X}, 8, "", Raw({X})},
      {"two equal", {X, X}, 8, "", Repeat(2, X)},
      {"A B B C", {A, B, B, C}, 8, Then(Raw({A}), Repeat(2, B)),
       Then(Then(Raw({A}), Repeat(2, B)), Raw({C}))},
      {"equal neighbours inside a raw run", {A, B, C, C, D}, 8,
       Then(Raw({A, B}), Repeat(2, C)), Then(Then(Raw({A, B}), Repeat(2, C)), Raw({D}))},
      {"127 distinct", Distinct(127), 8, "", Raw(Distinct(127))},
      {"128 distinct", Distinct(128), 8, Raw(Distinct(128)), Raw(Distinct(128))},
      {"129 distinct", Distinct(129), 8, Raw(Distinct(128)), Then(Raw(Distinct(128)), Raw({128}))},
      {"130 distinct", Distinct(130), 8, Raw(Distinct(128)),
       Then(Raw(Distinct(128)), Raw({128, 129}))},
      {"127 distinct then an equal one", Join(Distinct(127), {126}), 8, Raw(Distinct(126)),
       Then(Raw(Distinct(126)), Repeat(2, 126))},
      {"128 equal", Same(128, X), 8, Repeat(128, X), Repeat(128, X)},
      {"128 equal and one more", Same(129, X), 8, Repeat(128, X),
       Then(Repeat(128, X), Raw({X}))},
      {"128 equal and two more", Same(130, X), 8, Repeat(128, X),
       Then(Repeat(128, X), Repeat(2, X))},
      {"128 equal then another value", Join(Same(128, X), {Y}), 8, Repeat(128, X),
       Then(Repeat(128, X), Raw({Y}))},
      {"300 equal", Same(300, X), 8, Then(Repeat(128, X), Repeat(128, X)),
       Then(Then(Repeat(128, X), Repeat(128, X)), Repeat(44, X))},
      {"compared on all 32 bits", {0x100, 0x200}, 8, "", Raw({0x100, 0x200})},
      {"words", {0x1234, 0xBEEF, 0xBEEF}, 16, Raw({0x1234}, 16),
       Then(Raw({0x1234}, 16), Repeat(2, 0xBEEF, 16))},
      {"dwords", {1, 0xFFFFFFFF}, 32, "", Raw({1, 0xFFFFFFFF}, 32)},
      {"other widths are dwords", {7, 7, 7}, 24, "", Repeat(3, 7, 32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWriter writer;
    for (uint32_t value : c.values) writer.RLEWrite(value, c.width);
    EXPECT_EQ(writer.written, c.beforeFlush);
    writer.RLEFlush();
    EXPECT_EQ(writer.written, c.afterFlush);
    writer.RLEFlush();  // nothing is left to write
    EXPECT_EQ(writer.written, c.afterFlush);
  }
}

TEST_F(RunLengthEncoderTest, ExamplesInTheBinaryForm) {
  std::string bytes = output_test::WriteChunkFile<BinaryChunkWriter>([](ChunkWriter& writer) {
    writer.OpenChunk("ucfb");
    writer.OpenChunk("ABBC");
    for (uint32_t value : {0x0A, 0x0B, 0x0B, 0x0C}) writer.RLEWrite(value, 8);
    writer.CloseChunk();
    writer.OpenChunk("130X");
    for (int i = 0; i < 130; ++i) writer.RLEWrite(0x5A, 8);
    writer.CloseChunk();
    writer.OpenChunk("WRDS");
    for (uint32_t value : {0x1234, 0x1234, 0x5678}) writer.RLEWrite(value, 16);
    writer.CloseChunk();
    writer.CloseChunk();
  });
  EXPECT_EQ(Hex(bytes),
            "75 63 66 62 2c 00 00 00 "
            "41 42 42 43 06 00 00 00 00 0a 81 0b 00 0c 00 00 "
            "31 33 30 58 04 00 00 00 ff 5a 81 5a "
            "57 52 44 53 06 00 00 00 81 34 12 00 78 56 00 00");
}

TEST_F(RunLengthEncoderTest, ExamplesInTheTextForm) {
  std::string text = output_test::WriteChunkFile<TextChunkWriter>([](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.OpenChunk("FIVE");
    for (int i = 0; i < 5; ++i) writer.RLEWrite(7, 8);
    writer.CloseChunk();
    writer.OpenChunk("ABBC");
    writer.SetValuesPerLine(8);
    for (uint32_t value : {0x0A, 0x0B, 0x0B, 0x0C}) writer.RLEWrite(value, 8);
    writer.CloseChunk();
    writer.CloseChunk();
  });
  EXPECT_EQ(text,
            "\nucft\n{\n\tFIVE\n\t{\n\t\t132\n\t\t7\n\t}"
            "\n\tABBC\n\t{\n\t\t0 10 129 11 0 12\n\t}\n}");
}

TEST_F(RunLengthEncoderTest, OpeningAChunkDropsThePendingRun) {
  auto write = [](ChunkWriter& writer) {
    writer.OpenChunk("root");
    for (uint32_t value : {1, 2, 3}) writer.RLEWrite(value, 8);
    writer.OpenChunk("KID");
    writer.CloseChunk();
    writer.CloseChunk();
  };
  EXPECT_EQ(Hex(output_test::WriteChunkFile<BinaryChunkWriter>(write)),
            "72 6f 6f 74 08 00 00 00 4b 49 44 5f 00 00 00 00");
  EXPECT_EQ(output_test::WriteChunkFile<TextChunkWriter>(write, "out.txt"),
            "\nroot\n{\n\tKID_\n\t{\n\t}\n}");
}

TEST_F(RunLengthEncoderTest, MixedWidthsAreAnInternalError) {
  const std::string mixed = "[INTERNAL: Can't Run-Length Encode mixed width data]";
  RecordingWriter recorder;
  recorder.RLEWrite(1, 8);
  EXPECT_EQ(RaisedMessage([&] { recorder.RLEWrite(1, 16); }), mixed);

  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  BinaryChunkWriter writer(&file);
  writer.OpenChunk("ucfb");
  writer.OpenChunk("KID");
  writer.RLEWrite(1, 8);
  writer.CloseChunk();
  // The width outlives the child's close...
  EXPECT_EQ(RaisedMessage([&] { writer.RLEWrite(1, 16); }), mixed);
  // ...but not the next open.
  writer.OpenChunk("WRD");
  writer.RLEWrite(0x0102, 16);
  writer.CloseChunk();
  writer.CloseChunk();
  file.Close();
  EXPECT_EQ(Hex(test_support::ReadFile("out.bin")),
            "75 63 66 62 18 00 00 00 4b 49 44 5f 02 00 00 00 00 01 00 00 "
            "57 52 44 5f 03 00 00 00 00 02 01 00");
}

TEST_F(RunLengthEncoderTest, CountsBeyondARunAreInternalErrors) {
  RecordingWriter repeat;
  repeat.RLEWrite(4, 8);
  repeat.RLEWrite(4, 8);
  repeat.ForceRepeatCount(129);
  EXPECT_EQ(RaisedMessage([&] { repeat.RLEFlush(); }), "[INTERNAL: RLE repeat count overflow]");
  EXPECT_EQ(repeat.written, "");

  RecordingWriter raw;
  raw.RLEWrite(4, 8);
  raw.ForceRawCount(129);
  EXPECT_EQ(RaisedMessage([&] { raw.RLEFlush(); }), "[INTERNAL: RLE raw count overflow]");
  EXPECT_EQ(raw.written, "");
}

}  // namespace
