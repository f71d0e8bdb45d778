// Random trees of chunks and values, written by the binary writer and read
// back by the separate reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "binary_chunk_reader.h"
#include "output/binary_chunk_writer.h"
#include "output_test_support.h"

namespace {

using output_test::BinaryChunkReader;
using output_test::OutputTest;

class BinaryRoundTripTest : public OutputTest {};

struct Node;

struct Item {
  enum class Kind { Byte, Word, Dword, Float, String, Data, Run, Child } kind;
  uint32_t value = 0;
  float number = 0;
  std::string text;            // String, Data
  std::vector<uint32_t> run;   // Run
  int width = 0;               // Run
  std::unique_ptr<Node> child;  // Child
};

struct Node {
  std::string name;
  std::vector<Item> items;
};

class TreeMaker {
 public:
  explicit TreeMaker(uint32_t seed) : random(seed) {}

  std::unique_ptr<Node> Make(int depthLeft) {
    auto node = std::make_unique<Node>();
    node->name = RandomText(Below(6), 'A', 'Z');
    // The encoder's width holds from the first run after an open until the
    // next open, also across the close of a child.
    width = 0;
    int count = static_cast<int>(Below(9));
    for (int i = 0; i < count; ++i) {
      Item item;
      item.kind = static_cast<Item::Kind>(Below(depthLeft > 0 ? 8 : 7));
      switch (item.kind) {
        case Item::Kind::Byte: item.value = Below(0x100); break;
        case Item::Kind::Word: item.value = Below(0x10000); break;
        case Item::Kind::Dword: item.value = static_cast<uint32_t>(random()); break;
        case Item::Kind::Float: item.number = RandomFloat(); break;
        case Item::Kind::String: item.text = RandomText(Below(20), 1, 255); break;
        case Item::Kind::Data:
          // Now and then larger than the file's write buffer.
          item.text = RandomText(Below(50) == 0 ? 70000 + Below(30000) : Below(40), 0, 255);
          break;
        case Item::Kind::Run: {
          if (width == 0) width = kWidths[Below(3)];
          item.width = width;
          uint32_t mask = width == 8 ? 0xFF : width == 16 ? 0xFFFF : 0xFFFFFFFF;
          // Few distinct values, so that repeats and raw runs both occur.
          std::vector<uint32_t> alphabet;
          for (int a = 0; a < 3; ++a) alphabet.push_back(static_cast<uint32_t>(random()) & mask);
          uint32_t length = Below(4) == 0 ? 100 + Below(300) : Below(20);
          for (uint32_t v = 0; v < length; ++v) {
            uint32_t value = alphabet[Below(3)];
            // Long stretches of one value as well as mixtures.
            uint32_t repeat = Below(3) == 0 ? Below(200) : 1;
            for (uint32_t r = 0; r < repeat && item.run.size() < 1000; ++r) {
              item.run.push_back(value);
            }
          }
          break;
        }
        case Item::Kind::Child:
          item.child = Make(depthLeft - 1);
          break;
      }
      node->items.push_back(std::move(item));
    }
    return node;
  }

 private:
  static constexpr int kWidths[3] = {8, 16, 32};
  std::mt19937 random;
  int width = 0;

  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random() % bound); }

  std::string RandomText(uint32_t length, int low, int high) {
    std::string text;
    for (uint32_t i = 0; i < length; ++i) {
      text.push_back(static_cast<char>(low + static_cast<int>(Below(high - low + 1))));
    }
    return text;
  }

  float RandomFloat() {
    for (;;) {
      uint32_t bits = static_cast<uint32_t>(random());
      float value;
      memcpy(&value, &bits, sizeof value);
      if (!std::isnan(value)) return value;
    }
  }
};

void WriteNode(ChunkWriter& writer, const Node& node) {
  ASSERT_TRUE(writer.OpenChunk(node.name.c_str()));
  for (size_t i = 0; i < node.items.size(); ++i) {
    const Item& item = node.items[i];
    switch (item.kind) {
      case Item::Kind::Byte: writer.WriteByte(static_cast<uint8_t>(item.value)); break;
      case Item::Kind::Word: writer.WriteWord(static_cast<uint16_t>(item.value)); break;
      case Item::Kind::Dword: writer.WriteDword(item.value); break;
      case Item::Kind::Float: writer.WriteFloat(item.number); break;
      case Item::Kind::String: writer.WriteString(item.text.c_str()); break;
      case Item::Kind::Data:
        writer.WriteData(item.text.data(), static_cast<uint32_t>(item.text.size()));
        break;
      case Item::Kind::Run:
        for (uint32_t value : item.run) writer.RLEWrite(value, item.width);
        // The last item is written out by the close.
        if (i + 1 < node.items.size()) writer.RLEFlush();
        break;
      case Item::Kind::Child: WriteNode(writer, *item.child); break;
    }
  }
  writer.CloseChunk();
}

void CheckNode(BinaryChunkReader& reader, const Node& node, const std::string& path) {
  std::string expectedName = (node.name + "____").substr(0, 4);
  std::string where = path + "/" + expectedName;
  ASSERT_EQ(reader.EnterChunk(), expectedName) << where;
  for (size_t i = 0; i < node.items.size(); ++i) {
    const Item& item = node.items[i];
    SCOPED_TRACE(testing::Message() << where << " item " << i);
    switch (item.kind) {
      case Item::Kind::Byte: ASSERT_EQ(reader.Byte(), item.value); break;
      case Item::Kind::Word: ASSERT_EQ(reader.Word(), item.value); break;
      case Item::Kind::Dword: ASSERT_EQ(reader.Dword(), item.value); break;
      case Item::Kind::Float: {
        float value = reader.Float();
        ASSERT_EQ(memcmp(&value, &item.number, sizeof value), 0);
        break;
      }
      case Item::Kind::String: ASSERT_EQ(reader.String(), item.text); break;
      case Item::Kind::Data: ASSERT_TRUE(reader.Data(item.text.size()) == item.text); break;
      case Item::Kind::Run:
        ASSERT_EQ(reader.RunLengthDecoded(item.run.size(), item.width), item.run);
        break;
      case Item::Kind::Child:
        CheckNode(reader, *item.child, where);
        if (testing::Test::HasFatalFailure()) return;
        break;
    }
  }
  reader.LeaveChunk();
}

TEST_F(BinaryRoundTripTest, RandomTreesReadBackAsWritten) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    TreeMaker maker(seed);
    std::unique_ptr<Node> root = maker.Make(5);
    root->name = "ucfb";
    std::string bytes = output_test::WriteChunkFile<BinaryChunkWriter>(
        [&](ChunkWriter& writer) { WriteNode(writer, *root); });
    BinaryChunkReader reader(bytes);
    try {
      CheckNode(reader, *root, "");
    } catch (const std::exception& error) {
      FAIL() << error.what();
    }
    if (HasFatalFailure()) return;
    EXPECT_TRUE(reader.Done());
    EXPECT_EQ(bytes.size() % 4, 0u);
  }
}

}  // namespace
