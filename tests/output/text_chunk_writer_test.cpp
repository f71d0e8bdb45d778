#include "output/text_chunk_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_test_support.h"

namespace {

using output_test::OutputTest;
using output_test::RaisedMessage;

class TextChunkWriterTest : public OutputTest {};

std::string WriteText(const std::function<void(ChunkWriter&)>& body) {
  return output_test::WriteChunkFile<TextChunkWriter>(body, "out.txt");
}

// Lines given as (tabs, text), joined by line breaks, none after the last.
std::string Lines(const std::vector<std::pair<int, std::string>>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += std::string(lines[i].first, '\t') + lines[i].second;
  }
  return text;
}

TEST_F(TextChunkWriterTest, WritesTheScriptAndRequirementsExample) {
  std::string text = WriteText([](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.OpenChunk("scr");
    writer.OpenChunk("NAME");
    writer.WriteString("abc");
    writer.CloseChunk();
    writer.OpenChunk("INFO");
    writer.WriteByte(1);
    writer.CloseChunk();
    writer.OpenChunk("BODY");
    writer.SetValuesPerLine(4);
    writer.SetHexMode(true);
    for (int value : {0x1B, 0x4C, 0x75, 0x61, 0x50, 0x01}) {
      writer.WriteByte(static_cast<uint8_t>(value));
    }
    writer.CloseChunk();
    writer.OpenChunk("REQN");
    writer.CloseChunk();
    writer.CloseChunk();
    writer.CloseChunk();
    EXPECT_EQ(writer.GetDepth(), 0);
  });
  EXPECT_EQ(text, Lines({{0, ""},
                         {0, "ucft"},
                         {0, "{"},
                         {1, "scr_"},
                         {1, "{"},
                         {2, "NAME"},
                         {2, "{"},
                         {3, "\"abc\""},
                         {2, "}"},
                         {2, "INFO"},
                         {2, "{"},
                         {3, "1"},
                         {2, "}"},
                         {2, "BODY"},
                         {2, "{"},
                         {3, "0x1b 0x4c 0x75 0x61"},
                         {3, "0x50 0x01"},
                         {2, "}"},
                         {2, "REQN"},
                         {2, "{"},
                         {2, "}"},
                         {1, "}"},
                         {0, "}"}}));
}

TEST_F(TextChunkWriterTest, EmptyRootAndFreshlyOpenedRoot) {
  EXPECT_EQ(WriteText([](ChunkWriter& writer) {
              writer.OpenChunk("ucft");
              writer.CloseChunk();
            }),
            "\nucft\n{\n}");
  EXPECT_EQ(WriteText([](ChunkWriter& writer) { writer.OpenChunk("ucft"); }), "\nucft");
}

TEST_F(TextChunkWriterTest, InlineChunkReadsOnOneLine) {
  std::string text = WriteText([](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.OpenChunk("INFO");
    writer.SetInline(true);
    writer.WriteDword(1);
    writer.WriteDword(2);
    writer.WriteDword(0xFFFFFFFF);
    writer.CloseChunk();
    writer.OpenChunk("NEXT");
    writer.SetInline(true);
    writer.CloseChunk();
    writer.CloseChunk();
  });
  EXPECT_EQ(text, Lines({{0, ""}, {0, "ucft"}, {0, "{"}, {1, "INFO { 1 2 -1 }"},
                         {1, "NEXT { }"}, {0, "}"}}));
}

TEST_F(TextChunkWriterTest, ValuesPerLineGroupsValues) {
  struct Case {
    int perLine;
    std::vector<std::pair<int, std::string>> body;
  };
  const Case cases[] = {
      {3, {{2, "10 11 12"}, {2, "13 14"}}},
      {5, {{2, "10 11 12 13 14"}}},
      {1, {{2, "10"}, {2, "11"}, {2, "12"}, {2, "13"}, {2, "14"}}},
      {0, {{2, "10"}, {2, "11"}, {2, "12"}, {2, "13"}, {2, "14"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.perLine << " per line");
    std::string text = WriteText([&](ChunkWriter& writer) {
      writer.OpenChunk("ucft");
      writer.OpenChunk("WRDS");
      writer.SetValuesPerLine(c.perLine);
      for (uint16_t value = 10; value < 15; ++value) writer.WriteWord(value);
      writer.CloseChunk();
      writer.CloseChunk();
    });
    std::vector<std::pair<int, std::string>> lines = {
        {0, ""}, {0, "ucft"}, {0, "{"}, {1, "WRDS"}, {1, "{"}};
    lines.insert(lines.end(), c.body.begin(), c.body.end());
    lines.insert(lines.end(), {{1, "}"}, {0, "}"}});
    EXPECT_EQ(text, Lines(lines));
  }
}

TEST_F(TextChunkWriterTest, NumbersInDecimalAndHexadecimal) {
  struct Case {
    std::function<void(ChunkWriter&)> write;
    const char* decimal;
    const char* hex;
  };
  const Case cases[] = {
      {[](ChunkWriter& w) { w.WriteByte(10); }, "10", "0x0a"},
      {[](ChunkWriter& w) { w.WriteByte(255); }, "255", "0xff"},
      {[](ChunkWriter& w) { w.WriteWord(10); }, "10", "0x000a"},
      {[](ChunkWriter& w) { w.WriteWord(65535); }, "65535", "0xffff"},
      {[](ChunkWriter& w) { w.WriteDword(10); }, "10", "0x0000000a"},
      {[](ChunkWriter& w) { w.WriteDword(0x80000000u); }, "-2147483648", "0x80000000"},
      {[](ChunkWriter& w) { w.WriteDword(0xFFFFFFFFu); }, "-1", "0xffffffff"},
      {[](ChunkWriter& w) { w.WriteFloat(1.5f); }, "1.500000", "1.500000"},
      {[](ChunkWriter& w) { w.WriteFloat(-0.25f); }, "-0.250000", "-0.250000"},
      {[](ChunkWriter& w) { w.WriteString("x"); }, "\"x\"", "\"x\""},
  };
  for (const Case& c : cases) {
    for (bool hex : {false, true}) {
      std::string text = WriteText([&](ChunkWriter& writer) {
        writer.OpenChunk("ucft");
        writer.SetHexMode(hex);
        c.write(writer);
        writer.CloseChunk();
      });
      EXPECT_EQ(text, std::string("\nucft\n{\n\t") + (hex ? c.hex : c.decimal) + "\n}");
    }
  }
}

TEST_F(TextChunkWriterTest, StringsAndDataAreWrittenUnescaped) {
  const char data[] = {'a', '"', '\0', '\n', '\\', static_cast<char>(0xFF)};
  std::string text = WriteText([&](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.WriteString("say \"hi\"\n\tnow");
    writer.WriteString("");
    writer.WriteData(data, sizeof data);
    writer.WriteData(data, 0);
    writer.CloseChunk();
  });
  EXPECT_EQ(text, std::string("\nucft\n{\n\t\"say \"hi\"\n\tnow\"\n\t\"\"\n\t\"") +
                      std::string(data, sizeof data) + "\"\n\t\"\"\n}");
}

TEST_F(TextChunkWriterTest, LayoutSettingsResetAtEveryOpenAndClose) {
  std::string text = WriteText([](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.SetHexMode(true);
    writer.SetValuesPerLine(3);
    writer.WriteByte(1);
    writer.WriteByte(2);
    writer.OpenChunk("KID");  // starts with the defaults
    writer.WriteByte(3);
    writer.WriteByte(4);
    writer.SetHexMode(true);
    writer.SetInline(true);
    writer.WriteByte(5);
    writer.CloseChunk();
    writer.WriteByte(6);  // the parent goes on with the defaults too
    writer.WriteByte(7);
    writer.CloseChunk();
  });
  EXPECT_EQ(text, Lines({{0, ""},
                         {0, "ucft"},
                         {0, "{"},
                         {1, "0x01 0x02"},
                         {1, "KID_"},
                         {1, "{"},
                         {2, "3"},
                         {2, "4 0x05 }"},
                         {1, "6"},
                         {1, "7"},
                         {0, "}"}}));
}

TEST_F(TextChunkWriterTest, NamesAreFilledOrCut) {
  std::string text = WriteText([](ChunkWriter& writer) {
    writer.OpenChunk("ucft");
    writer.OpenChunk("");
    writer.CloseChunk();
    writer.OpenChunk("scr");
    writer.CloseChunk();
    writer.OpenChunk("LONGER");
    writer.CloseChunk();
    writer.CloseChunk();
  });
  EXPECT_EQ(text, Lines({{0, ""}, {0, "ucft"}, {0, "{"}, {1, "____"}, {1, "{"}, {1, "}"},
                         {1, "scr_"}, {1, "{"}, {1, "}"}, {1, "LONG"}, {1, "{"}, {1, "}"},
                         {0, "}"}}));
}

TEST_F(TextChunkWriterTest, ClosingWithNoChunkOpenIsAnInternalError) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.txt", true));
  TextChunkWriter writer(&file);
  writer.OpenChunk("ucft");
  writer.CloseChunk();
  writer.RLEWrite(9, 8);  // written out before the check
  EXPECT_EQ(RaisedMessage([&] { writer.CloseChunk(); }), "[INTERNAL: Chunk nesting underflow]");
  EXPECT_EQ(writer.GetDepth(), 0);
  file.Close();
  EXPECT_EQ(test_support::ReadFile("out.txt"), "\nucft\n{\n}\n0\n9");
}

}  // namespace
