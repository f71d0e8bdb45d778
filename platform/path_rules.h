// Pure rules about paths and names: splitting and joining in the program's
// own path form, separators, ASCII case folding, wildcard matching, listing
// order, and the translation of a path to POSIX. No file system access, so
// all of it is tested the same way on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

inline char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string ToLowerAscii(std::string_view text);

// Where the last '\\' or '/' stands; npos when there is none.
size_t LastSeparator(std::string_view path);

// Whether the path begins with a drive ("c:").
bool HasDrive(std::string_view path);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The four parts of a path. Drive: the first two characters when the second
// is ':'. Directory: what follows up to and including the last '\' or '/'.
// Extension: from the last '.' after the last separator, the dot included.
// Name: what lies between. Each part is empty when absent.
struct PathParts {
  std::string drive;
  std::string dir;
  std::string name;
  std::string ext;
};
PathParts SplitPath(std::string_view path);

// Joins parts back: a non-empty drive gives its first character and ':'; a
// non-empty directory gets a '\' unless it ends in a separator; a non-empty
// extension gets a '.' in front unless it begins with one.
std::string JoinPath(std::string_view drive, std::string_view dir,
                     std::string_view name, std::string_view ext);

// '*' matches any run of characters, '?' any one character; letters match
// without regard to ASCII case. As on Windows, a pattern ending in ".*"
// also matches a name without a dot ("*.*" matches every name).
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The entries of a list such as PATH, in order, empty ones included (an
// empty list is one empty entry).
std::vector<std::string> SplitList(std::string_view list, char separator);

// The order of every listing: by the upper-cased name, then by the bytes.
bool ListingOrderLess(std::string_view a, std::string_view b);

// A path taken apart for POSIX: the directory it starts from and its
// components. A path with a drive ("c:\x", "c:x") or beginning with '\'
// starts from the drive root; one beginning with '/' from "/"; any other
// from "." (the current directory). Empty components are dropped; "." and
// ".." are kept.
struct PosixPath {
  std::string start;
  std::vector<std::string> components;
};
PosixPath SplitForPosix(std::string_view path, std::string_view driveRoot);

}  // namespace platform
