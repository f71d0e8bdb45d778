// A full file system, made as a small tmpfs (needs root and a working
// mount; skipped otherwise).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "output/tool_file.h"
#include "output_test_support.h"
#include "support/test_support.h"

namespace {

using output_test::OutputTest;
using output_test::RaisedMessage;
using test_support::ListNames;
using test_support::ReadFile;
using test_support::WriteFile;

using Names = std::vector<std::string>;

class FullDiskTest : public OutputTest {
 protected:
  void SetUp() override {
    test_support::MakeDirs("disk");
    if (std::system("mount -t tmpfs -o size=64k tmpfs disk >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount); "
                      "full-disk behaviour is not tested";
    }
    mounted = true;
  }

  void TearDown() override {
    if (mounted && std::system("umount disk") != 0) ADD_FAILURE() << "umount disk failed";
    OutputTest::TearDown();
  }

  static std::string NoSpaceMessage() {
    return std::string("Could not write disk/out.bin. DOS reports:\n") + strerror(ENOSPC) +
           "\n";
  }

  bool mounted = false;
};

TEST_F(FullDiskTest, WriteErrorIsRaisedPromptlyAndLeavesNoTemporaryFile) {
  WriteFile("disk/out.bin", "older");
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("disk/out.bin", true));
  uint32_t written = 0;
  std::string message = RaisedMessage([&] {
    for (; written < 4 * 1024 * 1024; ++written) file.WriteByte(0x5A);
  });
  EXPECT_EQ(message, NoSpaceMessage());
  // Found within a buffer's worth of bytes of the disk's end.
  EXPECT_LT(written, 256u * 1024);
  EXPECT_FALSE(file.IsOpen());
  file.Close();  // nothing left to complete
  EXPECT_EQ(ListNames("disk"), Names{"out.bin"});
  EXPECT_EQ(ReadFile("disk/out.bin"), "older");
}

TEST_F(FullDiskTest, WriteErrorFoundAtCloseLeavesNothing) {
  {
    std::ofstream filler("disk/filler", std::ios::binary);
    std::string block(4096, 'f');
    for (int i = 0; i < 64 && filler; ++i) filler.write(block.data(), block.size());
  }
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("disk/out.bin", true));
  file.WriteData("small", 1, 5);  // fits in the buffer: fails only when flushed
  EXPECT_EQ(RaisedMessage([&] { file.Close(); }), NoSpaceMessage());
  EXPECT_EQ(ListNames("disk"), Names{"filler"});
}

}  // namespace
