#include "path_rules.h"

#include <algorithm>

namespace platform {

bool HasDrive(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }

std::string ToLowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = ToLowerAscii(c);
  return result;
}

size_t LastSeparator(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

namespace {

// Iterative matcher with one backtrack point: the last '*' seen. Linear
// space, and O(pattern * name) time at worst, so no pattern can make it
// recurse deeply or run away.
bool MatchFrom(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ToLowerAscii(pattern[p]) == ToLowerAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

PathParts SplitPath(std::string_view path) {
  PathParts parts;
  if (HasDrive(path)) {
    parts.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  size_t separator = LastSeparator(path);
  if (separator != std::string_view::npos) {
    parts.dir = std::string(path.substr(0, separator + 1));
    path.remove_prefix(separator + 1);
  }
  size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) {
    parts.ext = std::string(path.substr(dot));
    path = path.substr(0, dot);
  }
  parts.name = std::string(path);
  return parts;
}

std::string JoinPath(std::string_view drive, std::string_view dir,
                     std::string_view name, std::string_view ext) {
  std::string path;
  path.reserve(drive.size() + dir.size() + name.size() + ext.size() + 3);
  if (!drive.empty()) {
    path += drive[0];
    path += ':';
  }
  if (!dir.empty()) {
    path += dir;
    if (!IsSeparator(dir.back())) path += '\\';
  }
  path += name;
  if (!ext.empty()) {
    if (ext.front() != '.') path += '.';
    path += ext;
  }
  return path;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (MatchFrom(pattern, name)) return true;
  // "x.*" also takes "x", the way the system's own listing does.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return MatchFrom(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

std::vector<std::string> SplitList(std::string_view list, char separator) {
  std::vector<std::string> entries;
  size_t begin = 0;
  for (;;) {
    size_t end = list.find(separator, begin);
    if (end == std::string_view::npos) end = list.size();
    entries.emplace_back(list.substr(begin, end - begin));
    if (end == list.size()) return entries;
    begin = end + 1;
  }
}

bool ListingOrderLess(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;  // names of a folder share long runs
    auto x = static_cast<unsigned char>(ToUpperAscii(a[i]));
    auto y = static_cast<unsigned char>(ToUpperAscii(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  for (size_t i = 0; i < common; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y;
  }
  return false;
}

PosixPath SplitForPosix(std::string_view path, std::string_view driveRoot) {
  std::string_view start = ".";
  if (HasDrive(path)) {
    start = driveRoot;
    path.remove_prefix(2);
  } else if (!path.empty() && path[0] == '\\') {
    start = driveRoot;
  } else if (!path.empty() && path[0] == '/') {
    start = "/";
  }
  PosixPath result{std::string(start), {}};
  size_t begin = 0;
  while (begin < path.size()) {
    size_t end = begin;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > begin) result.components.emplace_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return result;
}

}  // namespace platform
