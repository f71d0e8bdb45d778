#include "output/binary_chunk_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "binary_chunk_reader.h"
#include "output_test_support.h"

namespace {

using output_test::BinaryChunkReader;
using output_test::Bytes;
using output_test::Capture;
using output_test::Console;
using output_test::Hex;
using output_test::OutputTest;
using output_test::RaisedMessage;

class BinaryChunkWriterTest : public OutputTest {};

std::string WriteBinary(const std::function<void(ChunkWriter&)>& body) {
  return output_test::WriteChunkFile<BinaryChunkWriter>(body);
}

TEST_F(BinaryChunkWriterTest, WritesTheNameAndInfoExampleWithItsTrace) {
  SetConsoleLevel(3);
  ToolFile file;
  Console console = Capture([&] {
    ASSERT_TRUE(file.OpenForOutput("out.bin", true));
    BinaryChunkWriter writer(&file);
    writer.OpenChunk("ucfb");
    writer.OpenChunk("NAME");
    writer.WriteString("abc");
    writer.CloseChunk();
    writer.OpenChunk("INFO");
    writer.WriteByte(1);
    writer.CloseChunk();
    writer.CloseChunk();
    EXPECT_EQ(writer.GetDepth(), 0);
  });
  file.Close();
  EXPECT_EQ(Hex(test_support::ReadFile("out.bin")),
            "75 63 66 62 18 00 00 00 4e 41 4d 45 04 00 00 00 61 62 63 00 "
            "49 4e 46 4f 01 00 00 00 01 00 00 00");
  EXPECT_EQ(console.out,
            "Opened file out.bin for output\n"
            "Open  [ucfb]\n"
            "  Open  [NAME]\n"
            "  Close [NAME] (4 bytes)\n"
            "  Open  [INFO]\n"
            "  Close [INFO] (1 bytes)\n"
            "Close [ucfb] (24 bytes)\n");
  EXPECT_EQ(console.err, "");
}

TEST_F(BinaryChunkWriterTest, TraceIsSilentAtTheDefaultLevel) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  Console console = Capture([&] {
    BinaryChunkWriter writer(&file);
    writer.OpenChunk("ucfb");
    writer.CloseChunk();
  });
  file.Close();
  EXPECT_EQ(console.out, "");
}

TEST_F(BinaryChunkWriterTest, BodiesArePaddedToFourBytesCountedInTheParent) {
  struct Case {
    int bodySize;
    const char* expected;
  };
  const Case cases[] = {
      {0, "75 63 66 62 08 00 00 00 44 41 54 41 00 00 00 00"},
      {1, "75 63 66 62 0c 00 00 00 44 41 54 41 01 00 00 00 a0 00 00 00"},
      {2, "75 63 66 62 0c 00 00 00 44 41 54 41 02 00 00 00 a0 a1 00 00"},
      {3, "75 63 66 62 0c 00 00 00 44 41 54 41 03 00 00 00 a0 a1 a2 00"},
      {4, "75 63 66 62 0c 00 00 00 44 41 54 41 04 00 00 00 a0 a1 a2 a3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "body of " << c.bodySize << " bytes");
    std::string bytes = WriteBinary([&](ChunkWriter& writer) {
      writer.OpenChunk("ucfb");
      writer.OpenChunk("DATA");
      for (int i = 0; i < c.bodySize; ++i) writer.WriteByte(static_cast<uint8_t>(0xA0 + i));
      writer.CloseChunk();
      writer.CloseChunk();
    });
    EXPECT_EQ(Hex(bytes), c.expected);
  }
}

TEST_F(BinaryChunkWriterTest, ChildAfterAnOddNumberOfParentBytesIsNotAligned) {
  std::string bytes = WriteBinary([](ChunkWriter& writer) {
    writer.OpenChunk("ucfb");
    writer.WriteByte(0x11);
    writer.OpenChunk("KID");  // at offset 9
    writer.WriteByte(0x22);
    writer.CloseChunk();  // body ends at 18, padded to 20
    writer.WriteByte(0x33);
    writer.CloseChunk();  // body ends at 21, padded to 24
  });
  EXPECT_EQ(Hex(bytes),
            "75 63 66 62 0d 00 00 00 11 4b 49 44 5f 01 00 00 00 22 00 00 33 00 00 00");
}

TEST_F(BinaryChunkWriterTest, NamesAreFilledOrCutToFourCharacters) {
  struct Case {
    const char* name;
    const char* stored;
  };
  const Case cases[] = {{"", "____"}, {"scr", "scr_"}, {"BODY", "BODY"}, {"BODYX", "BODY"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = WriteBinary([&](ChunkWriter& writer) {
      writer.OpenChunk(c.name);
      writer.CloseChunk();
    });
    EXPECT_EQ(bytes, std::string(c.stored) + Bytes({0, 0, 0, 0}));
  }
}

struct NamedText {
  const char* Text() const { return "fw"; }
};

TEST_F(BinaryChunkWriterTest, ValuesAreUntaggedLittleEndian) {
  std::string bytes = WriteBinary([](ChunkWriter& writer) {
    writer.OpenChunk("ucfb");
    writer.WriteWord(0x1234);
    writer.WriteDword(0x89ABCDEF);
    writer.WriteFloat(1.5f);
    writer.WriteString("");
    writer.WriteString("hi");
    writer.WriteString(NamedText());
    writer.WriteData("\0\xff", 2);
    writer.WriteData("ignored", 0);
    writer.Align();
    writer.Align();  // already aligned: nothing more
    writer.SetHexMode(true);
    writer.SetValuesPerLine(4);
    writer.SetInline(true);
    writer.WriteByte(7);
    writer.CloseChunk();
  });
  EXPECT_EQ(Hex(bytes),
            Hex(std::string("ucfb") +
                Bytes({0x15, 0, 0, 0, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0x00, 0x00, 0xC0,
                       0x3F, 0x00, 'h', 'i', 0x00, 'f', 'w', 0x00, 0x00, 0xFF, 0x00, 0x07,
                       0x00, 0x00, 0x00})));
}

TEST_F(BinaryChunkWriterTest, ClosingWithNoChunkOpenIsAnInternalError) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  BinaryChunkWriter writer(&file);
  EXPECT_EQ(RaisedMessage([&] { writer.CloseChunk(); }), "[INTERNAL: Chunk nesting underflow]");
  EXPECT_EQ(writer.GetDepth(), 0);

  writer.OpenChunk("ucfb");
  writer.CloseChunk();
  // A pending run is written out before the check.
  writer.RLEWrite(5, 8);
  EXPECT_EQ(RaisedMessage([&] { writer.CloseChunk(); }), "[INTERNAL: Chunk nesting underflow]");
  EXPECT_EQ(writer.GetDepth(), 0);
  file.Close();
  EXPECT_EQ(Hex(test_support::ReadFile("out.bin")), "75 63 66 62 00 00 00 00 00 05");
}

TEST_F(BinaryChunkWriterTest, NestingBeyondTheStackIsAnInternalError) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  BinaryChunkWriter writer(&file);
  for (int i = 0; i < BinaryChunkWriter::kMaxDepth; ++i) writer.OpenChunk("deep");
  EXPECT_EQ(RaisedMessage([&] { writer.OpenChunk("deep"); }),
            "[INTERNAL: Chunk nesting overflow]");
  EXPECT_EQ(RaisedMessage([&] { writer.OpenChunk(0x64636261u); }),
            "[INTERNAL: Chunk nesting overflow]");
  EXPECT_EQ(writer.GetDepth(), BinaryChunkWriter::kMaxDepth);
  for (int i = 0; i < BinaryChunkWriter::kMaxDepth; ++i) writer.CloseChunk();
  file.Close();

  BinaryChunkReader reader(test_support::ReadFile("out.bin"));
  for (int i = 0; i < BinaryChunkWriter::kMaxDepth; ++i) EXPECT_EQ(reader.EnterChunk(), "deep");
  for (int i = 0; i < BinaryChunkWriter::kMaxDepth; ++i) reader.LeaveChunk();
  EXPECT_TRUE(reader.Done());
}

TEST_F(BinaryChunkWriterTest, PackedIdOpenKeepsThePendingRunAndTracesTheId) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  SetConsoleLevel(3);
  Console console = Capture([&] {
    BinaryChunkWriter writer(&file);
    writer.OpenChunk("ucfb");
    writer.RLEWrite(7, 8);
    writer.RLEWrite(7, 8);
    writer.OpenChunk(0x64636261u);  // "abcd"
    writer.CloseChunk();
    writer.CloseChunk();
  });
  file.Close();
  EXPECT_EQ(Hex(test_support::ReadFile("out.bin")),
            "75 63 66 62 0c 00 00 00 61 62 63 64 02 00 00 00 81 07 00 00");
  EXPECT_EQ(console.out,
            "Open  [ucfb]\n"
            "Open 0x64636261\n"
            "  Close [abcd] (2 bytes)\n"
            "Close [ucfb] (12 bytes)\n");
}

TEST_F(BinaryChunkWriterTest, SizesOfBodiesLargerThanTheWriteBufferArePatched) {
  const uint32_t first = 150001;
  const uint32_t second = 70003;
  std::string data(second, '\0');
  for (uint32_t i = 0; i < second; ++i) data[i] = static_cast<char>(i * 7);
  std::string bytes = WriteBinary([&](ChunkWriter& writer) {
    writer.OpenChunk("ucfb");
    writer.OpenChunk("ONE");
    for (uint32_t i = 0; i < first; ++i) writer.WriteByte(static_cast<uint8_t>(i));
    writer.CloseChunk();
    writer.OpenChunk("TWO");
    writer.OpenChunk("IN");
    writer.WriteData(data.data(), second);
    writer.CloseChunk();
    writer.CloseChunk();
    writer.CloseChunk();
  });
  BinaryChunkReader reader(bytes);
  EXPECT_EQ(reader.EnterChunk(), "ucfb");
  EXPECT_EQ(reader.EnterChunk(), "ONE_");
  std::string body = reader.Data(first);
  for (uint32_t i = 0; i < first; ++i) {
    if (static_cast<uint8_t>(body[i]) != static_cast<uint8_t>(i)) {
      FAIL() << "byte " << i << " of ONE_ differs";
    }
  }
  reader.LeaveChunk();
  EXPECT_EQ(reader.EnterChunk(), "TWO_");
  EXPECT_EQ(reader.EnterChunk(), "IN__");
  EXPECT_TRUE(reader.Data(second) == data);
  reader.LeaveChunk();
  reader.LeaveChunk();
  reader.LeaveChunk();
  EXPECT_TRUE(reader.Done());
}

}  // namespace
