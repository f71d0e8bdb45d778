// Splitting the text of option files and input list files into tokens,
// like a command line (see platform/command_line.h) but with every kind of
// white space between them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits one token starting at `position`. Returns the position at which it
// ended (a whitespace character or the end), or nothing when no token is
// left. The token's characters are appended to `token`.
std::optional<size_t> NextToken(std::string_view text, size_t position, std::string* token);

// Every token of `text`, in order.
std::vector<std::string> Tokenize(std::string_view text);
