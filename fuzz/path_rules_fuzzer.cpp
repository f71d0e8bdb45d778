// The pure path rules on arbitrary strings (the input's NUL-separated
// fields): case folding, the wildcard matcher against a table-driven matcher written
// here, SplitPath and JoinPath by round trip both ways, the POSIX split,
// and the listing order as a strict weak (indeed total) order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/path_rules.h"

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return result;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Fold(c);
  return result;
}

// matches[p][n]: pattern from p on matches name from n on, filled from the
// ends backwards.
bool TableMatch(std::string_view pattern, std::string_view name) {
  size_t width = name.size() + 1;
  std::vector<char> matches((pattern.size() + 1) * width, 0);
  auto at = [&](size_t p, size_t n) -> char& { return matches[p * width + n]; };
  at(pattern.size(), name.size()) = 1;
  for (size_t p = pattern.size(); p-- > 0;) {
    for (size_t n = name.size() + 1; n-- > 0;) {
      if (pattern[p] == '*') {
        at(p, n) = at(p + 1, n) || (n < name.size() && at(p, n + 1));
      } else if (n < name.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
        at(p, n) = at(p + 1, n + 1);
      }
    }
  }
  return at(0, 0) != 0;
}

bool ModelWildcardMatch(std::string_view pattern, std::string_view name) {
  if (TableMatch(pattern, name)) return true;
  bool dotStar = pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*";
  return dotStar && name.find('.') == std::string_view::npos &&
         TableMatch(pattern.substr(0, pattern.size() - 2), name);
}

void CheckWildcard(std::string_view pattern, std::string_view name) {
  bool match = platform::WildcardMatch(pattern, name);
  // The table costs pattern * name; beyond that only the matcher's own
  // bounded time is tested.
  if ((pattern.size() + 1) * (name.size() + 1) <= (1u << 18)) {
    FUZZ_CHECK(match == ModelWildcardMatch(pattern, name), "wildcard match");
  }
  FUZZ_CHECK(platform::WildcardMatch(Upper(pattern), Lower(name)) == match,
             "wildcard match depends on letter case");
  // '*' and '?' also match themselves.
  FUZZ_CHECK(platform::WildcardMatch(name, name), "a name does not match itself");
}

bool HasSep(std::string_view text) {
  for (char c : text) {
    if (IsSep(c)) return true;
  }
  return false;
}

bool StartsWithDrive(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }

void CheckSplit(std::string_view path) {
  platform::PathParts parts = platform::SplitPath(path);
  FUZZ_CHECK(platform::JoinPath(parts.drive, parts.dir, parts.name, parts.ext) == path,
             "JoinPath of SplitPath is not the path");
  FUZZ_CHECK(parts.drive.empty() == !StartsWithDrive(path), "drive");
  FUZZ_CHECK(parts.dir.empty() || IsSep(parts.dir.back()), "directory without its separator");
  FUZZ_CHECK(!HasSep(parts.name) && !HasSep(parts.ext), "separator after the directory");
  FUZZ_CHECK(parts.ext.empty() ||
                 (parts.ext[0] == '.' && parts.ext.find('.', 1) == std::string::npos),
             "extension not from the last dot");
  FUZZ_CHECK(!parts.ext.empty() || parts.name.find('.') == std::string::npos,
             "a dot in the name but no extension");
}

// Parts joined and split again come back as JoinPath normalised them
// (drive letter and ':', separator after the directory, dot before the
// extension) whenever no part reaches into another: the name and the
// extension hold no separator, the extension no dot of its own, a name
// without extension no dot, and a path without drive no ':' second.
void CheckJoin(std::string_view drive, std::string_view dir, std::string_view name,
               std::string_view ext) {
  std::string path = platform::JoinPath(drive, dir, name, ext);
  platform::PathParts expected;
  if (!drive.empty()) expected.drive = std::string{drive[0], ':'};
  expected.dir = std::string(dir);
  if (!dir.empty() && !IsSep(dir.back())) expected.dir += '\\';
  expected.name = std::string(name);
  if (!ext.empty()) expected.ext = (ext[0] == '.' ? "" : ".") + std::string(ext);
  FUZZ_CHECK(path == expected.drive + expected.dir + expected.name + expected.ext, "JoinPath");

  bool separable = !HasSep(expected.name) && !HasSep(expected.ext) &&
                   (expected.ext.empty() || expected.ext.find('.', 1) == std::string::npos) &&
                   (!expected.ext.empty() || expected.name.find('.') == std::string::npos) &&
                   (!expected.drive.empty() || !StartsWithDrive(path));
  if (!separable) return;
  platform::PathParts parts = platform::SplitPath(path);
  FUZZ_CHECK(parts.drive == expected.drive && parts.dir == expected.dir &&
                 parts.name == expected.name && parts.ext == expected.ext,
             "SplitPath of JoinPath is not the parts");
}

void CheckPosix(std::string_view path, std::string_view driveRoot) {
  platform::PosixPath posix = platform::SplitForPosix(path, driveRoot);
  std::string_view rest = path;
  std::string start = ".";
  if (StartsWithDrive(path)) {
    start = std::string(driveRoot);
    rest.remove_prefix(2);
  } else if (!path.empty() && path[0] == '\\') {
    start = std::string(driveRoot);
  } else if (!path.empty() && path[0] == '/') {
    start = "/";
  }
  FUZZ_CHECK(posix.start == start, "POSIX start directory");
  std::vector<std::string> components(1);
  for (char c : rest) {
    if (!IsSep(c)) components.back() += c;
    else if (!components.back().empty()) components.emplace_back();
  }
  if (components.back().empty()) components.pop_back();
  for (const std::string& component : posix.components) {
    FUZZ_CHECK(!component.empty() && !HasSep(component), "a POSIX component holds a separator");
  }
  FUZZ_CHECK(posix.components == components, "POSIX components");
}

// Upper-cased bytes first, then the bytes, both compared unsigned, which
// is what std::string's comparison does.
bool ModelListingLess(std::string_view a, std::string_view b) {
  return std::make_pair(Upper(a), std::string(a)) < std::make_pair(Upper(b), std::string(b));
}

void CheckListingOrder(const std::vector<std::string>& names) {
  auto less = [](const std::string& a, const std::string& b) {
    return platform::ListingOrderLess(a, b);
  };
  for (const std::string& a : names) {
    FUZZ_CHECK(!less(a, a), "listing order is not irreflexive");
    for (const std::string& b : names) {
      bool ab = less(a, b);
      FUZZ_CHECK(ab == ModelListingLess(a, b), "listing order");
      FUZZ_CHECK(!(ab && less(b, a)), "listing order is not asymmetric");
      FUZZ_CHECK(ab || less(b, a) || a == b, "two different names tie in the listing");
      for (const std::string& c : names) {
        FUZZ_CHECK(!(ab && less(b, c)) || less(a, c), "listing order is not transitive");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  size_t begin = 0;
  while (fields.size() < 16) {
    size_t end = input.find('\0', begin);
    fields.push_back(input.substr(begin, end == std::string_view::npos ? end : end - begin));
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  auto field = [&](size_t i) { return fields[i % fields.size()]; };

  for (size_t i = 0; i < fields.size(); ++i) {
    FUZZ_CHECK(platform::ToLowerAscii(field(i)) == Lower(field(i)), "ToLowerAscii");
    FUZZ_CHECK(platform::ToUpperAscii(field(i)) == Upper(field(i)), "ToUpperAscii");
    FUZZ_CHECK(platform::EqualsIgnoreCase(field(i), field(i + 1)) ==
                   (Lower(field(i)) == Lower(field(i + 1))),
               "EqualsIgnoreCase");
    CheckWildcard(field(i), field(i + 1));
    CheckSplit(field(i));
    CheckPosix(field(i), field(i + 1));
  }
  CheckJoin(field(0), field(1), field(2), field(3));

  // Case variants make ties on the upper-cased name.
  std::vector<std::string> names;
  for (size_t i = 0; i < fields.size() && i < 6; ++i) names.emplace_back(field(i));
  names.push_back(Upper(field(0)));
  names.push_back(Lower(field(1)));
  CheckListingOrder(names);
  return 0;
}
