// The tokenizer of option and list files on arbitrary bytes: every token
// ends at white space or the end of the text, and the Windows quoting of
// the tokens splits back into them, in a file and on a command line.
#include "framework/tokenizer.h"
#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv = {"program"};
  size_t at = 0;
  for (std::string token; std::optional<size_t> end = NextToken(text, at, &token); token.clear()) {
    bool atSpace = *end == size || std::string_view(" \t\n\v\f\r").find(text[*end]) != text.npos;
    FUZZ_CHECK(*end > at && atSpace, "a token ends on a non-space");
    argv.push_back(token);
    at = *end;
  }
  FUZZ_CHECK(std::vector<std::string>(argv.begin() + 1, argv.end()) == Tokenize(text), "tokens");
  // The quoting leaves a token bare unless it holds a blank, a line feed,
  // a vertical tab or a quote: a bare form feed or carriage return would
  // split in a file, and NUL cannot be passed at all.
  for (const std::string& word : argv)
    if (word.find_first_of(std::string_view("\f\r\0", 3)) != std::string::npos) return 0;
  std::string line = platform::QuoteWindowsCommandLine(argv);
  FUZZ_CHECK(Tokenize(line) == argv && platform::ParseWindowsCommandLine(line) == argv,
             "Windows quoting splits differently");
  return 0;
}
