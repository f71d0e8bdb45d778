#include <gtest/gtest.h>

#include <filesystem>

#include "framework/test_tool.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

// Directory links need privileges on Windows; the loop guard itself is the
// same code there.
TEST(InputDiscoveryLinkTest, ALinkLoopIsReportedAndPassedOver) {
  test_support::TempDir temp;
  SetConsoleLevel(0);
  test_support::WriteFile("src/a/x.lua", "");
  std::filesystem::create_directory_symlink("..", "src/a/back");
  TestTool tool;
  tool.SetCommandLine({"-sourcedir", "src"});
  int errors = ErrorCount();
  tool.InputFileOption("!*.lua");
  SetConsoleLevel(1);
  EXPECT_EQ(tool.InputPaths(), std::vector<std::string>{"src\\.\\a\\x.lua"});
  EXPECT_EQ(ErrorCount(), errors + 1);
}

}  // namespace
