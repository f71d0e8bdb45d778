// An output whose bytes are already at its path keeps that file and takes
// the new time; any other replaces it.
#include <gtest/gtest.h>

#include <filesystem>

#include "output/tool_file.h"
#include "support/test_support.h"

namespace {

using namespace test_support;

struct KeptCase {
  const char* name;
  std::string old;  // at the output's path before
  bool kept;
};

class KeptOutputTest : public ::testing::TestWithParam<KeptCase> {};

TEST_P(KeptOutputTest, AnOutputOfTheSameBytesIsKept) {
  TempDir temp;
  WriteFile("out.bin", GetParam().old);
  SetMTime("out.bin", 1000000000);
  const platform::FileStatus before = platform::StatFile("out.bin").value();
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  file.Printf("new bytes");
  platform::FileStatus told;
  file.Close([&](const platform::FileStatus& status) { told = status; });
  const platform::FileStatus after = platform::StatFile("out.bin").value();
  EXPECT_EQ(ReadFile("out.bin"), "new bytes");
  // Windows tells no file number by path.
  if (before.fileId != 0) {
    EXPECT_EQ(after.fileId == before.fileId, GetParam().kept);
  }
  EXPECT_GT(after.timeNs, before.timeNs);
  EXPECT_EQ(told.timeNs, after.timeNs);
  EXPECT_EQ(told.size, after.size);
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"out.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, KeptOutputTest,
    ::testing::Values(KeptCase{"same_bytes", "new bytes", true},
                      KeptCase{"other_bytes_of_that_size", "old bytes", false},
                      KeptCase{"other_size", "older bytes", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
