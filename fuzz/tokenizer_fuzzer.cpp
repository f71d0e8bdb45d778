// The tokenizer of option and list files on arbitrary bytes: NextToken
// chained gives Tokenize, every token ends at white space or the end, and
// the Windows quoting of the tokens splits back into them.
#include "framework/tokenizer.h"
#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv = {"program"};
  for (size_t position = 0, end = 0;; position = end) {
    std::string token;
    std::optional<size_t> next = NextToken(text, position, &token);
    if (!next) break;
    end = *next;
    FUZZ_CHECK(end > position && end <= size && token.size() <= end - position, "progress");
    FUZZ_CHECK(end == size || std::string_view(" \t\n\v\f\r").find(text[end]) != text.npos,
               "a token ends on a non-space");
    argv.push_back(token);
  }
  FUZZ_CHECK(std::vector<std::string>(argv.begin() + 1, argv.end()) == Tokenize(text),
             "Tokenize differs from chained NextToken");
  // The quoting leaves a token bare unless it holds a blank, a line feed,
  // a vertical tab or a quote: a bare form feed or carriage return would
  // split in a file, and NUL cannot be passed at all.
  for (const std::string& token : argv)
    if (token.find_first_of(std::string_view("\f\r\0", 3)) != std::string::npos) return 0;
  std::string line = platform::QuoteWindowsCommandLine(argv);
  FUZZ_CHECK(Tokenize(line) == argv && platform::ParseWindowsCommandLine(line) == argv,
             "Windows quoting splits differently");
  return 0;
}
