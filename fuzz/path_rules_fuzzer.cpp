// The pure path rules on arbitrary strings (the input's NUL-separated
// fields): case folding, wildcards, SplitPath and JoinPath by round trip,
// list splitting, canonical keys of other spellings, and the listing order
// as a total order.
#include "framework/input_paths.h"
#include "fuzz/fuzz_check.h"
#include "platform/path_rules.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> fields = SplitList({reinterpret_cast<const char*>(data), size}, '\0');
  for (size_t i = 0; i < fields.size() && i < 16; ++i) {
    const std::string a = fields[i], b = fields[(i + 1) % fields.size()];
    const std::string c = fields[(i + 2) % fields.size()], lower = ToLowerAscii(a);
    FUZZ_CHECK(EqualsIgnoreCase(a, lower) &&
                   EqualsIgnoreCase(a, b) == (lower == ToLowerAscii(b)), "case folding");
    FUZZ_CHECK(WildcardMatch(a, a) && WildcardMatch("*", a) &&
                   WildcardMatch(a, b) == WildcardMatch(lower, b), "wildcards");
    PathParts parts = SplitPath(a);
    FUZZ_CHECK(JoinPath(parts.drive, parts.dir, parts.name, parts.ext) == a &&
                   (parts.name + parts.ext).find_first_of("\\/") == std::string::npos,
               "SplitPath and JoinPath do not give the path back");
    std::string joined;
    for (const std::string& entry : SplitList(a, ';'))
      joined += entry.find(';') == std::string::npos ? entry + ";" : "?";
    FUZZ_CHECK(joined == a + ";", "SplitList loses or keeps a separator");
    std::string other = a;  // another spelling of the same path
    for (char& ch : other) ch = ch == '/' ? '\\' : ToUpperAscii(ch);
    FUZZ_CHECK(CanonicalKey(a) == CanonicalKey(other), "canonical keys");
    bool less = ListingOrderLess(a, b), more = ListingOrderLess(b, a);
    FUZZ_CHECK(!(less && more) && (less || more || a == b), "listing order is not total");
    FUZZ_CHECK(!less || !ListingOrderLess(b, c) || ListingOrderLess(a, c),
               "listing order is not transitive");
  }
  return 0;
}
