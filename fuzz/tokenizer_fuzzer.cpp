// The argument splitter of option and list files on arbitrary bytes: every
// token ends at white space or the end of the text, and the Windows quoting
// of the tokens splits back into them, in a file and on a command line.
#include "framework/arguments.h"
#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"
#include "tests/support/windows_command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv = {"program"};
  size_t at = 0;
  for (std::string token;; token.clear()) {
    std::optional<size_t> end = NextArgument(text, at, Blanks::WhiteSpace, &token);
    if (!end) break;
    bool atSpace = *end == size || std::string_view(" \t\n\v\f\r").find(text[*end]) != text.npos;
    FUZZ_CHECK(*end > at, "a token ends where it began");
    FUZZ_CHECK(atSpace, "a token ends on a non-space");
    argv.push_back(token);
    at = *end;
  }
  FUZZ_CHECK(std::vector<std::string>(argv.begin() + 1, argv.end()) ==
                 SplitArguments(text, Blanks::WhiteSpace),
             "tokens");
  // The quoting leaves a token bare unless it holds a blank, a line feed,
  // a vertical tab or a quote: a bare form feed or carriage return would
  // split in a file, and NUL cannot be passed at all.
  for (const std::string& word : argv)
    if (word.find_first_of(std::string_view("\f\r\0", 3)) != std::string::npos) return 0;
  std::string line = platform::QuoteWindowsCommandLine(argv);
  FUZZ_CHECK(SplitArguments(line, Blanks::WhiteSpace) == argv,
             "Windows quoting splits differently in a file");
  FUZZ_CHECK(test_support::ParseWindowsCommandLine(line) == argv,
             "Windows quoting splits differently on a command line");
  return 0;
}
