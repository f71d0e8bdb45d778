// The build record's reader on any bytes: it never crashes, and a record
// it reads as good says the same when written out again and read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/build_record.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  RecordEntries entries;
  size_t lines = 0;
  if (ParseBuildRecord(text, &entries, &lines) != RecordState::Good) return 0;
  FUZZ_CHECK(entries.size() <= lines, "more entries than lines");
  std::string written = "# tolscript build record 1\n";
  for (const auto& [name, entry] : entries) written += FormatRecordLine(name, entry);
  RecordEntries again;
  size_t againLines = 0;
  FUZZ_CHECK(ParseBuildRecord(written, &again, &againLines) == RecordState::Good,
             "a written record does not read back");
  FUZZ_CHECK(againLines == entries.size(), "lines lost");
  for (const auto& [name, entry] : entries) {
    auto found = again.find(name);
    FUZZ_CHECK(found != again.end(), "an entry lost");
    FUZZ_CHECK(found->second.outputTimeNs == entry.outputTimeNs &&
                   found->second.outputSize == entry.outputSize &&
                   found->second.facts == entry.facts,
               "an entry changed");
  }
  return 0;
}
