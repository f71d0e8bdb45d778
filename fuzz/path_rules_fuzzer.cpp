// The pure path rules on arbitrary strings (the input's NUL-separated
// fields): case folding, wildcards, SplitPath and JoinPath by round trip,
// the POSIX split, list splitting, and the listing order as a total order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/path_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> fields = platform::SplitList(input, '\0');
  auto field = [&](size_t i) { return fields[i % fields.size()]; };

  for (size_t i = 0; i < fields.size() && i < 16; ++i) {
    const std::string a = field(i), b = field(i + 1);
    std::string lower = platform::ToLowerAscii(a);
    FUZZ_CHECK(platform::EqualsIgnoreCase(a, lower), "case folding");
    FUZZ_CHECK(platform::EqualsIgnoreCase(a, b) == (lower == platform::ToLowerAscii(b)),
               "EqualsIgnoreCase");
    FUZZ_CHECK(platform::WildcardMatch(a, a) && platform::WildcardMatch("*", a), "wildcards");
    FUZZ_CHECK(platform::WildcardMatch(a, b) == platform::WildcardMatch(lower, b),
               "wildcards heed case");

    platform::PathParts parts = platform::SplitPath(a);
    FUZZ_CHECK(platform::JoinPath(parts.drive, parts.dir, parts.name, parts.ext) == a,
               "SplitPath and JoinPath do not give the path back");
    FUZZ_CHECK((parts.name + parts.ext).find_first_of("\\/") == std::string::npos,
               "a separator after the directory");

    for (const std::string& component : platform::SplitForPosix(a, b).components)
      FUZZ_CHECK(!component.empty() && component.find_first_of("\\/") == std::string::npos,
                 "a POSIX component holds a separator");

    std::string joined;
    for (const std::string& entry : platform::SplitList(a, ';')) joined += entry + ";";
    FUZZ_CHECK(joined == a + ";", "SplitList loses bytes");

    bool less = platform::ListingOrderLess(a, b), more = platform::ListingOrderLess(b, a);
    FUZZ_CHECK(!(less && more) && (less || more || a == b), "listing order is not total");
    FUZZ_CHECK(!less || !platform::ListingOrderLess(b, field(i + 2)) ||
                   platform::ListingOrderLess(a, field(i + 2)),
               "listing order is not transitive");
  }
  return 0;
}
