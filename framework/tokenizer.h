// Loading a small text file whole and splitting it into tokens by the
// quoting rules of a Windows command line; used by option files and input
// list files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file's bytes read in binary mode, up to the first NUL byte; nothing
// when it cannot be opened or read.
std::optional<std::string> LoadTextFile(const std::string& path);

// Splits one token starting at `position`. Returns the position at which it
// ended (a whitespace character or the end), or nothing when no token is
// left. The token's characters are appended to `token`.
std::optional<size_t> NextToken(std::string_view text, size_t position, std::string* token);

// Every token of `text`, in order.
std::vector<std::string> Tokenize(std::string_view text);
