#include "framework/input_paths.h"

#include "platform/path_rules.h"

std::string UnderRoot(std::string_view root, std::string_view dir, std::string_view name) {
  std::string path;
  path.reserve(root.size() + dir.size() + name.size() + 2);
  if (!root.empty()) (path += root) += '\\';
  (path += dir) += '\\';
  return path += name;
}

bool IsPortableName(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 0x20 || std::string_view("\\<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

std::string CanonicalKey(std::string_view path) {
  // One pass into the key: the run asks for one per input.
  std::string key;
  key.reserve(path.size() + 1);
  size_t at = 0;
  // A separator before a colon starts a rooted path, not a drive.
  if (platform::HasDrive(path) && !platform::IsSeparator(path[0])) {
    key += platform::ToLowerAscii(path[0]);
    key += ':';
    at = 2;
  }
  if (at < path.size() && platform::IsSeparator(path[at])) key += '\\';
  const size_t base = key.size();
  while (at < path.size()) {
    size_t end = at;
    while (end < path.size() && !platform::IsSeparator(path[end])) ++end;
    std::string_view part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." && key.size() > base) {
      size_t last = key.find_last_of('\\');
      size_t lastStart = last == std::string::npos || last < base ? base : last + 1;
      if (std::string_view(key).substr(lastStart) != "..") {
        key.resize(lastStart > base ? lastStart - 1 : base);
        continue;
      }
    }
    if (key.size() > base) key += '\\';
    for (char c : part) key += platform::ToLowerAscii(c);
  }
  return key;
}
