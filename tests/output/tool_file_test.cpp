#include "output/tool_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "output_test_support.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

using output_test::Bytes;
using output_test::Capture;
using output_test::Console;
using output_test::Hex;
using output_test::OutputTest;
using output_test::RaisedMessage;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

class ToolFileTest : public OutputTest {};

using Names = std::vector<std::string>;

TEST_F(ToolFileTest, CompletedOutputReplacesAnOlderFileOnlyAtClose) {
  WriteFile("out.bin", "older content");
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_STREQ(file.GetName(), "out.bin");
  file.WriteData("new", 1, 3);
  file.Printf("%d", 42);
  // A small output stays in memory until Close; the older file stands.
  EXPECT_EQ(ReadFile("out.bin"), "older content");
  EXPECT_EQ(ListNames("."), Names{"out.bin"});
  // A large one goes to a sibling temporary file.
  std::string bulk(70000, 'b');
  file.WriteData(bulk.data(), 1, static_cast<uint32_t>(bulk.size()));
  EXPECT_EQ(ReadFile("out.bin"), "older content");
  Names names = ListNames(".");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "out.bin");
  EXPECT_EQ(names[1].rfind("out.bin.tmp", 0), 0u) << names[1];

  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_STREQ(file.GetName(), "");
  EXPECT_EQ(ReadFile("out.bin"), "new42" + bulk);
  EXPECT_EQ(ListNames("."), Names{"out.bin"});

  // An empty output is still made.
  ASSERT_TRUE(file.OpenForOutput("empty.bin", true));
  file.Close();
  EXPECT_TRUE(test_support::Exists("empty.bin"));
  EXPECT_EQ(ReadFile("empty.bin"), "");
}

TEST_F(ToolFileTest, AbandonedOutputLeavesNothingAndKeepsTheOlderFile) {
  enum class Ending { Abandon, Destructor, Reopen };
  for (bool older : {false, true}) {
    for (Ending ending : {Ending::Abandon, Ending::Destructor, Ending::Reopen}) {
      SCOPED_TRACE(testing::Message() << "older file " << older << ", ending "
                                      << static_cast<int>(ending));
      test_support::TempDir dir;
      if (older) WriteFile("out.bin", "older");
      {
        ToolFile file;
        ASSERT_TRUE(file.OpenForOutput("out.bin", true));
        file.WriteData("partial", 1, 7);
        if (ending == Ending::Abandon) {
          file.Abandon();
          EXPECT_FALSE(file.IsOpen());
          file.Close();  // nothing left to complete
        } else if (ending == Ending::Reopen) {
          ASSERT_TRUE(file.OpenForOutput("other.bin", true));
          file.Abandon();
        }
      }
      EXPECT_EQ(ListNames("."), older ? Names{"out.bin"} : Names{});
      if (older) {
        EXPECT_EQ(ReadFile("out.bin"), "older");
      }
    }
  }
}

TEST_F(ToolFileTest, OutputInAMissingDirectoryFailsNamingThePath) {
  Console console;
  std::string message = RaisedMessage(
      [] {
        ToolFile file;
        file.OpenForOutput("missing/out.bin", true);
      },
      &console);
  std::string expected = std::string("Could not open missing/out.bin for output. DOS "
                                     "reports:\n") +
                         strerror(ENOENT) + "\n";
  EXPECT_EQ(message, expected);
  EXPECT_EQ(console.err, "Error: " + expected);

  ToolFile file;
  console = Capture([&] { EXPECT_FALSE(file.OpenForOutput("missing/out.bin", false)); });
  EXPECT_EQ(console.err, "");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_STREQ(file.GetName(), "missing/out.bin");
  file.Close();
  EXPECT_STREQ(file.GetName(), "");
  EXPECT_EQ(ListNames("."), Names{});
}

TEST_F(ToolFileTest, TypedWritesAreLittleEndian) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  file.WriteByte(0xA5);
  file.WriteWord(0x1234);
  file.WriteDword(0x89ABCDEF);
  file.WriteFloat(1.5f);
  file.WriteFloat(-2.0f);
  const uint16_t words[2] = {0x0102, 0x0304};
  file.WriteData(words, 2, 0);
  file.WriteData("xyz", 1, 3);
  file.WriteData("ab", 2, 1);
  file.Close();
  EXPECT_EQ(Hex(ReadFile("out.bin")),
            Hex(Bytes({0xA5, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0x00, 0x00, 0xC0, 0x3F,
                       0x00, 0x00, 0x00, 0xC0, 'x', 'y', 'z', 'a', 'b'})));
}

TEST_F(ToolFileTest, PrintfWritesLongTextWhole) {
  std::string text(5000, 'q');
  text[2500] = '"';
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.txt", true));
  file.Printf("<%s>%d", text.c_str(), -3);
  EXPECT_EQ(file.GetSize(), text.size() + 4);
  file.Close();
  EXPECT_EQ(ReadFile("out.txt"), "<" + text + ">-3");
}

// Random writes and seeks, checked against a plain string, with files
// larger than the write buffer so that back-patches land on both sides of it.
TEST_F(ToolFileTest, SeekTellAndSizeFollowEveryWrite) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::string model;
    uint32_t position = 0;
    ToolFile file;
    ASSERT_TRUE(file.OpenForOutput("out.bin", true));
    for (int step = 0; step < 300; ++step) {
      int choice = static_cast<int>(random() % 10);
      if (choice < 3 && !model.empty()) {
        // Mostly back into the file, now and then a little past its end.
        position = static_cast<uint32_t>(random() % (model.size() + 16));
        file.Seek(position);
      } else {
        size_t length = choice == 9 ? 40000 + random() % 60000 : 1 + random() % 300;
        std::string data(length, '\0');
        for (char& c : data) c = static_cast<char>(random());
        if (length == 1) {
          file.WriteByte(static_cast<uint8_t>(data[0]));
        } else if (length == 4) {
          uint32_t value = 0;
          for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(data[i]);
          file.WriteDword(value);
        } else {
          file.WriteData(data.data(), 1, static_cast<uint32_t>(length));
        }
        if (model.size() < position + length) model.resize(position + length, '\0');
        model.replace(position, length, data);
        position += static_cast<uint32_t>(length);
      }
      ASSERT_EQ(file.Tell(), position);
      ASSERT_EQ(file.GetSize(), model.size());
    }
    file.Close();
    std::string written = ReadFile("out.bin");
    ASSERT_EQ(written.size(), model.size());
    EXPECT_TRUE(written == model) << "file content differs from the model";
  }
}

TEST_F(ToolFileTest, FailedReplaceRemovesTheTemporaryFile) {
  WriteFile("out.bin/keep", "kept");  // a directory stands at the path
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  file.WriteData("data", 1, 4);
  std::string message = RaisedMessage([&] { file.Close(); });
  const std::string prefix = "Could not replace out.bin. DOS reports:\n";
  EXPECT_EQ(message.substr(0, prefix.size()), prefix);
  EXPECT_GT(message.size(), prefix.size() + 1) << "no reason given";
  EXPECT_EQ(message.back(), '\n');
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ListNames("."), Names{"out.bin"});
  EXPECT_EQ(ReadFile("out.bin/keep"), "kept");
}

// A file name may be up to 255 bytes long; the temporary file of an output
// with such a name must fit too, and a stale one must still be found.
TEST_F(ToolFileTest, NamesNearTheLengthLimitGetATemporaryFileThatFits) {
#ifdef _WIN32
  GTEST_SKIP() << "whole paths are limited to 260 characters here";
#endif
  struct Case {
    const char* label;
    std::string name;
    size_t stemLength;  // how much of the name the temporary file keeps
  };
  const std::string accent = "\xc3\xa9";  // one character, two bytes
  const Case cases[] = {
      {"short_enough", std::string(241, 'a') + ".bin", 245},
      {"one_over", std::string(242, 'a') + ".bin", 245},
      {"longest_name", std::string(251, 'a') + ".bin", 245},
      {"cut_before_a_two_byte_character", std::string(244, 'a') + accent + "b.bin", 244},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test_support::TempDir dir;
    const std::string stem = c.name.substr(0, c.stemLength);
    WriteFile(stem + ".tmpabc123", "stale");
    WriteFile("other.bin.tmpabc123", "someone else's");
    ToolFile file;
    ASSERT_TRUE(file.OpenForOutput((dir.Path() + "/" + c.name).c_str(), true));
    EXPECT_EQ(ListNames("."), Names{"other.bin.tmpabc123"});

    std::string content(70000, 'x');  // more than stays in memory
    file.WriteData(content.data(), 1, static_cast<uint32_t>(content.size()));
    Names names = ListNames(".");
    ASSERT_EQ(names.size(), 2u);
    const std::string& temporary = names[0] == "other.bin.tmpabc123" ? names[1] : names[0];
    EXPECT_LE(temporary.size(), 255u);
    EXPECT_EQ(temporary.rfind(stem + ".tmp", 0), 0u) << temporary;

    file.Close();
    EXPECT_EQ(ListNames("."), (Names{c.name, "other.bin.tmpabc123"}));
    EXPECT_EQ(ReadFile(c.name), content);
  }
}

// A file reserved beside the output before it is opened (as a compiler's)
// becomes the output itself, whatever it held; a killed run's temporary
// file of that output goes, the reserved one never does; nothing stays
// behind when the output is abandoned or cannot be put in place.
TEST_F(ToolFileTest, AReservedFileBecomesTheOutputOrIsDeleted) {
  struct Case {
    const char* name;
    size_t heldSize;    // what the producer wrote into it
    size_t outputSize;
    bool abandon;
    bool blocked;       // a directory stands at the output path
  };
  const Case cases[] = {
      {"shorter_file", 3, 11, false, false},
      {"longer_file", 20, 5, false, false},
      {"output_past_the_buffer", 3, 70000, false, false},
      {"abandoned_output", 3, 11, true, false},
      {"replace_fails", 3, 11, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    // A folder of its own: a run looks for stale files once per folder.
    const std::string out = std::string("out_") + c.name;
    if (c.blocked) {
      WriteFile(out + "/out.bin/keep", "kept");
    } else {
      WriteFile(out + "/out.bin", "older");
    }
    WriteFile(out + "/out.bin.tmpabc123", "a killed run's");
    std::string reserved = ToolFile::ReserveTemporaryFile(out + "/out.bin");
    ASSERT_EQ(reserved.rfind(out + "/out.bin.tmp", 0), 0u) << reserved;
    WriteFile(reserved, std::string(c.heldSize, 'o'));
    std::optional<std::string> reservedIdentity = platform::FileIdentity(reserved);

    std::string content;
    for (size_t i = 0; i < c.outputSize; ++i) content += static_cast<char>('a' + i % 26);
    ToolFile file;
    ASSERT_TRUE(file.OpenForOutput((out + "/out.bin").c_str(), true));
    file.UseTemporaryFile(reserved);
    file.WriteData(content.data(), 1, static_cast<uint32_t>(content.size()));
    if (c.abandon) {
      file.Abandon();
    } else if (c.blocked) {
      std::string message = RaisedMessage([&] { file.Close(); });
      EXPECT_EQ(message.rfind("Could not replace " + out + "/out.bin. DOS reports:\n", 0), 0u) << message;
    } else {
      file.Close();
    }

    EXPECT_EQ(ListNames(out), Names{"out.bin"});
    if (c.blocked) {
      EXPECT_EQ(ReadFile(out + "/out.bin/keep"), "kept");
    } else {
      EXPECT_EQ(ReadFile(out + "/out.bin"), c.abandon ? "older" : content);
      if (!c.abandon) {
        EXPECT_EQ(platform::FileIdentity(out + "/out.bin"), reservedIdentity);
      }
    }
  }
}

TEST_F(ToolFileTest, WritingToAClosedFileIsAnError) {
  ToolFile file;
  std::string message = RaisedMessage([&] { file.WriteByte(1); });
  EXPECT_EQ(message.rfind("Could not write ", 0), 0u) << message;

  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  file.Close();
  message = RaisedMessage([&] { file.WriteDword(1); });
  EXPECT_EQ(message.rfind("Could not write ", 0), 0u) << message;
  EXPECT_EQ(ReadFile("out.bin"), "");
}

}  // namespace
