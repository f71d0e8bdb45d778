// The command-line rules checked against Windows itself: the system's
// splitter, and the C runtime of a real child.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace platform {
namespace {

using Argv = std::vector<std::string>;

// What the system's own splitter makes of `line` (ASCII only).
Argv SystemSplit(const std::string& line) {
  std::wstring wide(line.begin(), line.end());
  int count = 0;
  wchar_t** words = CommandLineToArgvW(wide.c_str(), &count);
  Argv argv;
  if (words == nullptr) return argv;
  for (int i = 0; i < count; ++i) {
    std::wstring word = words[i];
    argv.emplace_back(word.begin(), word.end());
  }
  LocalFree(words);
  return argv;
}

std::string RandomText(std::mt19937& random, const std::string& alphabet, size_t maxLength) {
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = alphabet[pick(random)];
  return text;
}

TEST(WindowsCommandLineSystemTest, ParserAgreesWithTheSystemSplitter) {
  const std::string lines[] = {
      "p",
      "p   ",
      "  x",
      "p \"a b c\" d e",
      "p \"ab\\\"c\" \"\\\\\" d",
      "p a\\\\\\b d\"e f\"g h",
      "p a\\\\\\\"b c d",
      "p a\\\\\\\\\"b c\" d e",
      "p \"\" \"\"",
      "p a\"b\"\" c d",
      "p \"a\"\"b c\"",
      "p \"\"\"\"",
      "p \"\"\"a b\"",
      "\"C:\\Program Files\\luac.exe\" -o",
      "\"a\"b c",
      "\"a b",
      "p\\\" x",
      "a\"b c\" d",
  };
  for (const std::string& line : lines) {
    EXPECT_EQ(ParseWindowsCommandLine(line), SystemSplit(line)) << line;
  }
  // Dense in the characters that matter. (The system gives the program's
  // own path for an empty line, so none is tried.)
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    std::string line = "p" + RandomText(random, "\\\\\"\"  \tab", 14);
    ASSERT_EQ(ParseWindowsCommandLine(line), SystemSplit(line)) << line;
  }
}

// A child built with the C runtime splits the line itself; it must give
// back what was quoted.
TEST(WindowsCommandLineSystemTest, HostileArgumentsReachAChildExactly) {
  test_support::TempDir temp;
  const std::string recorder = MakeFullPath(TOLSCRIPT_ARGV_RECORDER).value();
  test_support::ScopedEnv out("ARGV_RECORDER_OUT", temp.Path() + "\\args.txt");
  std::mt19937 random(11);
  std::uniform_int_distribution<int> count(0, 5);
  for (int i = 0; i < 40; ++i) {
    Argv argv{recorder};
    std::string expected;
    for (int n = count(random); n > 0; --n) {
      argv.push_back(RandomText(random, "\\\\\"\" \ta&|<>^%!;*?", 9));
      expected += "[" + argv.back() + "]\n";
    }
    RunResult result = test_support::RunProgram(argv);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    ASSERT_EQ(test_support::ReadFile(temp.Path() + "\\args.txt"), expected)
        << QuoteWindowsCommandLine(argv);
  }
}

}  // namespace
}  // namespace platform
