// Helpers of the hardening tests: snapshots that tell what a run wrote, the
// names of the program's own temporary files, and quoting for list files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "support/test_support.h"

namespace hardening {

// FNV-1a over a file's bytes; enough to notice any change a run makes.
inline uint64_t FileDigest(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t digest = 1469598103934665603ull;
  char block[65536];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      digest ^= static_cast<unsigned char>(block[i]);
      digest *= 1099511628211ull;
    }
  }
  return digest;
}

// Every entry under `root` (links not followed) by its path relative to
// `root`, with its kind and, for files, size and digest.
using TreeSnapshot = std::map<std::string, std::string>;

inline TreeSnapshot SnapshotTree(const std::string& root) {
  namespace fs = std::filesystem;
  TreeSnapshot snapshot;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(
           root, fs::directory_options::skip_permission_denied, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string relative = it->path().lexically_relative(root).generic_string();
    if (it->path().filename() == test_support::kBuildRecordName) continue;
    fs::file_status status = it->symlink_status(error);
    if (fs::is_symlink(status)) {
      snapshot[relative] = "link " + fs::read_symlink(it->path(), error).string();
    } else if (fs::is_directory(status)) {
      snapshot[relative] = "dir";
    } else {
      snapshot[relative] = "file " + std::to_string(fs::file_size(it->path(), error)) + " " +
                           std::to_string(FileDigest(it->path()));
    }
  }
  return snapshot;
}

// What changed from `before` to `after`: "+path" for a new entry, "-path"
// for a vanished one, "~path" for a changed one; in path order.
inline std::vector<std::string> TreeChanges(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::vector<std::string> changes;
  for (const auto& [path, state] : before) {
    auto now = after.find(path);
    if (now == after.end()) {
      changes.push_back("-" + path);
    } else if (now->second != state) {
      changes.push_back("~" + path);
    }
  }
  for (const auto& [path, state] : after) {
    if (!before.count(path)) changes.push_back("+" + path);
  }
  std::sort(changes.begin(), changes.end(),
            [](const std::string& a, const std::string& b) { return a.substr(1) < b.substr(1); });
  return changes;
}

// The program writes each output to "<output>.tmpXXXXXX" beside it.
inline bool IsOutputTemporary(const std::string& name) {
  static const std::regex temporary(".*\\.tmp[A-Za-z0-9]{6}");
  return std::regex_match(name, temporary);
}

inline std::vector<std::string> OutputTemporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : test_support::ListNames(dir))
    if (IsOutputTemporary(name)) found.push_back(name);
  return found;
}

// `value` as one token of a list or option file: quoted, with the
// backslashes before a quote doubled, as a Windows command line reads it.
inline std::string QuoteToken(const std::string& value) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

// Temporary files in `dir`: a compiler's output or an output's own.
inline std::vector<std::string> CompilerLeftovers(const std::string& dir = ".") {
  static const std::regex leftover(".*\\.tmp[a-z0-9]{6}");
  std::vector<std::string> found;
  for (const std::string& name : test_support::ListNames(dir))
    if (std::regex_match(name, leftover)) found.push_back(name);
  return found;
}

inline size_t CountOccurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

}  // namespace hardening
