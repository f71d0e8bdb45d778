#include "framework/tokenizer.h"

#include "platform/command_line.h"

std::optional<size_t> NextToken(std::string_view text, size_t position, std::string* token) {
  return platform::NextArgument(text, position, platform::Blanks::WhiteSpace, token);
}

std::vector<std::string> Tokenize(std::string_view text) {
  std::vector<std::string> tokens;
  size_t position = 0;
  for (;;) {
    std::string token;
    std::optional<size_t> end = NextToken(text, position, &token);
    if (!end) break;
    tokens.push_back(std::move(token));
    position = *end;
  }
  return tokens;
}
