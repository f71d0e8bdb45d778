// The tokenizer of option and list files on arbitrary bytes: NextToken
// chained gives Tokenize, every token ends at white space or the end, and
// the Windows quoting of the tokens splits back into them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/tokenizer.h"
#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> tokens = Tokenize(text);

  std::vector<std::string> chained;
  size_t position = 0;
  for (std::string token; std::optional<size_t> end = NextToken(text, position, &token);
       token.clear()) {
    FUZZ_CHECK(*end > position && *end <= size, "NextToken made no progress");
    FUZZ_CHECK(*end == size || std::string_view(" \t\n\v\f\r").find(text[*end]) != text.npos,
               "a token ends on a non-space");
    FUZZ_CHECK(token.size() <= *end - position, "a token longer than its text");
    chained.push_back(token);
    position = *end;
  }
  FUZZ_CHECK(chained == tokens, "Tokenize differs from chained NextToken");

  // The Windows quoting leaves a token bare unless it holds a blank, a line
  // feed, a vertical tab or a quote: a bare form feed or carriage return
  // would split here, and NUL cannot be passed at all.
  for (const std::string& token : tokens) {
    if (token.find_first_of(std::string_view("\f\r\0", 3)) != std::string::npos) return 0;
  }
  std::vector<std::string> argv = {"program"};
  argv.insert(argv.end(), tokens.begin(), tokens.end());
  std::string line = platform::QuoteWindowsCommandLine(argv);
  FUZZ_CHECK(Tokenize(line) == argv, "Windows quoting splits differently in a file");
  FUZZ_CHECK(platform::ParseWindowsCommandLine(line) == argv,
             "Windows quoting splits differently");
  return 0;
}
