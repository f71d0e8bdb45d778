// What a run knows of the names in its folders, on POSIX.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/platform.h"
#include "support/test_support.h"

namespace platform {
namespace {

// A run started with its standard input closed gets descriptor 0 for the
// first file it opens; a file made on it is still one the run knows of.
TEST(RunNamesTest, AFileMadeOnDescriptorZeroCanBeRemoved) {
  test_support::TempDir temp;
  NameCache names;
  ListDirectory("*");  // the folder's names are known from here on
  int input = dup(STDIN_FILENO);
  ASSERT_GE(input, 0);
  close(STDIN_FILENO);
  FILE* made = OpenStream("made.txt", "wb");
  int descriptor = made ? fileno(made) : -1;
  if (made) fclose(made);
  dup2(input, STDIN_FILENO);
  close(input);
  ASSERT_EQ(descriptor, 0);
  EXPECT_TRUE(RemoveFile("made.txt"));
  EXPECT_FALSE(StatFile("made.txt"));
}

}  // namespace
}  // namespace platform
