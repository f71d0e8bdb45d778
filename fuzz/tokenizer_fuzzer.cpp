// The tokenizer of option and list files on arbitrary bytes: tokens are
// bounded by the text, NextToken and Tokenize agree, and quoting the tokens
// again (our own way, and the Windows command-line way) gives them back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "framework/tokenizer.h"
#include "platform/command_line.h"

namespace {

// The C locale's white space, which separates tokens outside quotes.
bool IsTokenSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Every token in quotes: a backslash run is doubled before a quote (the
// closing one included), and a quote inside is escaped.
std::string QuoteAll(const std::vector<std::string>& tokens) {
  static const char* const kSeparators[] = {" ", "\t", "\r\n", "\f", "\v ", "  \n"};
  std::string text;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) text += kSeparators[i % 6];
    text += '"';
    size_t backslashes = 0;
    for (char c : tokens[i]) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
      text += c;
      backslashes = 0;
    }
    text.append(2 * backslashes, '\\');
    text += '"';
  }
  return text;
}

void CheckNextTokenFrom(std::string_view text, size_t start) {
  std::string token = "prefix";
  std::optional<size_t> end = NextToken(text, start, &token);
  size_t firstNonSpace = start;
  while (firstNonSpace < text.size() && IsTokenSpace(text[firstNonSpace])) ++firstNonSpace;
  if (!end) {
    FUZZ_CHECK(firstNonSpace >= text.size(), "no token although text is left");
    FUZZ_CHECK(token == "prefix", "a failed NextToken changed the token");
    return;
  }
  FUZZ_CHECK(firstNonSpace < text.size(), "a token from white space alone");
  FUZZ_CHECK(*end > firstNonSpace && *end <= text.size(), "end outside the token's text");
  FUZZ_CHECK(*end == text.size() || IsTokenSpace(text[*end]), "token ends on a non-space");
  FUZZ_CHECK(token.compare(0, 6, "prefix") == 0, "NextToken dropped what the token held");
  FUZZ_CHECK(token.size() - 6 <= *end - firstNonSpace, "token longer than its text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> tokens = Tokenize(text);

  // Each token takes at least one byte and is followed by white space.
  FUZZ_CHECK(2 * tokens.size() <= size + 1, "more tokens than the text can hold");
  size_t total = 0;
  for (const std::string& token : tokens) total += token.size();
  FUZZ_CHECK(total <= size, "tokens hold more bytes than the text");

  // Tokenize is NextToken chained from where each token ended.
  std::vector<std::string> chained;
  size_t position = 0;
  for (;;) {
    std::string token;
    std::optional<size_t> end = NextToken(text, position, &token);
    if (!end) break;
    FUZZ_CHECK(*end > position, "NextToken made no progress");
    chained.push_back(std::move(token));
    position = *end;
  }
  FUZZ_CHECK(chained == tokens, "Tokenize differs from chained NextToken");
  // Starting anywhere, also inside a token or a quoted part.
  for (size_t i = 0; i < 4 && i < size; ++i) CheckNextTokenFrom(text, data[i] % (size + 1));

  FUZZ_CHECK(Tokenize(QuoteAll(tokens)) == tokens, "quoted tokens split differently");

  // The Windows quoting leaves a token bare unless it holds a blank, a
  // line feed, a vertical tab or a quote; a bare form feed or carriage
  // return would split here, and NUL cannot be passed at all.
  bool quotable = true;
  for (const std::string& token : tokens) {
    if (token.find_first_of(std::string_view("\f\r\0", 3)) != std::string::npos) quotable = false;
  }
  if (quotable) {
    std::vector<std::string> argv = {"program"};
    argv.insert(argv.end(), tokens.begin(), tokens.end());
    std::string line = platform::QuoteWindowsCommandLine(argv);
    FUZZ_CHECK(Tokenize(line) == argv, "Windows quoting splits differently here");
    FUZZ_CHECK(platform::ParseWindowsCommandLine(line) == argv,
               "Windows quoting does not split back into its vector");
    // A program name has its own rule; it comes back whole unless it holds
    // a quote, which that rule cannot carry.
    if (!tokens.empty() && tokens[0].find('"') == std::string::npos) {
      std::string programLine = platform::QuoteWindowsCommandLine(tokens);
      FUZZ_CHECK(platform::ParseWindowsCommandLine(programLine) == tokens,
                 "a program name does not split back");
    }
  }
  return 0;
}
