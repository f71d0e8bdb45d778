// The command-line rules against the system's own splitter: random lines
// dense in the characters that matter split alike, and hostile vectors
// quoted by the program come back whole.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <random>

#include "platform/command_line.h"
#include "support/windows_command_line.h"

namespace {

using platform::QuoteWindowsCommandLine;

std::vector<std::string> SystemSplit(const std::string& line) {  // ASCII only
  int count = 0;
  wchar_t** words = CommandLineToArgvW(std::wstring(line.begin(), line.end()).c_str(), &count);
  std::vector<std::string> argv;
  for (int i = 0; words != nullptr && i < count; ++i)
    argv.emplace_back(words[i], words[i] + wcslen(words[i]));
  LocalFree(words);
  return argv;
}

TEST(WindowsCommandLineSystemTest, SplitsAndQuotesAsTheSystemDoes) {
  std::mt19937 random(7);  // fixed: a failure repeats
  auto text = [&random](const std::string& alphabet, size_t most) {
    std::string made(random() % (most + 1), ' ');
    for (char& c : made) c = alphabet[random() % alphabet.size()];
    return made;
  };
  for (int i = 0; i < 3000; ++i) {
    // The system gives its own path for an empty line: none is tried.
    std::string line = "p" + text("\\\\\"\"  \tab", 14);
    ASSERT_EQ(test_support::ParseWindowsCommandLine(line), SystemSplit(line)) << line;
    std::vector<std::string> argv{text("ab \\.:", 6)};
    for (int n = i % 5; n > 0; --n) argv.push_back(text("\\\\\\\"\"\" \t\v\naZ&|<>^%!*?;", 9));
    ASSERT_EQ(SystemSplit(QuoteWindowsCommandLine(argv)), argv) << QuoteWindowsCommandLine(argv);
  }
}

}  // namespace
