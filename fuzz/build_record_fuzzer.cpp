// The build record's reader on any bytes: it never crashes, and a record
// it reads as good says the same when written out again and read back.
#include "framework/build_record.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RecordEntries entries, again;
  size_t lines = 0, againLines = 0;
  if (ParseBuildRecord({reinterpret_cast<const char*>(data), size}, &entries, &lines) !=
      RecordState::Good)
    return 0;
  std::string written = "# tolscript build record 2\n";
  for (const auto& [name, entry] : entries) written += FormatRecordLine(name, entry);
  FUZZ_CHECK(entries.size() <= lines, "more entries than lines");
  FUZZ_CHECK(ParseBuildRecord(written, &again, &againLines) == RecordState::Good,
             "a written record does not read back as good");
  FUZZ_CHECK(againLines == entries.size(), "a written record does not read back whole");
  for (const auto& [name, entry] : entries) {
    const RecordEntry& back = again[name];
    FUZZ_CHECK(back.outputTimeNs == entry.outputTimeNs, "an entry's time changed");
    FUZZ_CHECK(back.outputSize == entry.outputSize, "an entry's size changed");
    FUZZ_CHECK(back.outputId == entry.outputId, "an entry's file number changed");
    FUZZ_CHECK(back.facts == entry.facts, "an entry's facts changed");
  }
  return 0;
}
