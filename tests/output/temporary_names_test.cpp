// The one rule that names temporary files and recognises them.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "output/temporary_names.h"

namespace {

TEST(TemporaryNamesTest, NamesCarryTheirOwnerAndFitInAName) {
  const std::string longest(251, 'a');
  const std::string wide = std::string(236, 'a') + "\xc3\xa9" "b.bin";  // é across the cut
  const struct {
    std::string output;
    uint64_t owner;
    std::string name;
  } cases[] = {
      {"out.bin", 1234, "out.bin.tmp1234-abc123"},
      {"c:\\dir/sub\\Out.Bin", 4, "c:\\dir/sub\\Out.Bin.tmp4-abc123"},
      {longest + ".bin", 4194304, longest.substr(0, 237) + ".tmp4194304-abc123"},
      {wide, 4194304, std::string(236, 'a') + ".tmp4194304-abc123"},
      {"x", 18446744073709551615u, "x.tmp18446744073709551615-abc123"},
  };
  for (const auto& c : cases) {
    std::string path = TemporaryPath(c.output, c.owner, "abc123");
    EXPECT_EQ(path, c.name);
    size_t leaf = path.find_last_of("\\/") + 1;
    EXPECT_LE(path.size() - leaf, 255u) << c.name;
    EXPECT_EQ(TemporaryNameOwner(path.substr(leaf)), c.owner) << c.name;
  }
}

TEST(TemporaryNamesTest, OnlyNamesOfTheRuleAreRecognised) {
  const std::pair<std::string, std::optional<uint64_t>> cases[] = {
      {"a.tmp1-000000", 1},
      {"a.tmp1.tmp77-zz9zz9", 77},
      {"a.tmp18446744073709551616-abcdef", std::nullopt},  // past 64 bits
      {"a.tmp1-00000", std::nullopt},      // five random characters
      {"a.tmp1-abCdef", std::nullopt},     // only lower case is drawn
      {"a.tmp1_abcdef", std::nullopt},
      {"a.tmp01-abcdef", std::nullopt},    // one spelling per number
      {"a.tmp0-abcdef", std::nullopt},
      {"a.tmp-abcdef", std::nullopt},
      {"a.tmpx1-abcdef", std::nullopt},
      {"a.TMP1-abcdef", std::nullopt},
      {".tmp1-abcdef", std::nullopt},      // no output has an empty name
      {"big.script.tmpNOTOUR", std::nullopt},
      {"a.bin.tmpabc123", std::nullopt},   // the form of older runs
      {"", std::nullopt},
  };
  for (const auto& [name, owner] : cases) EXPECT_EQ(TemporaryNameOwner(name), owner) << name;
}

TEST(TemporaryNamesTest, RandomPartsAreNeverDrawnTwice) {
  std::set<std::string> drawn;
  for (int i = 0; i < 2000; ++i) {
    std::string random = TemporaryRandomCharacters();
    EXPECT_EQ(TemporaryNameOwner("a.tmp1-" + random), 1u) << random;
    drawn.insert(random);
  }
  EXPECT_EQ(drawn.size(), 2000u);
}

}  // namespace
