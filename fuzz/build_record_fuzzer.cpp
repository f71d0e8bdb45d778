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
  std::string written = "# tolscript build record 1\n";
  for (const auto& [name, entry] : entries) written += FormatRecordLine(name, entry);
  FUZZ_CHECK(entries.size() <= lines && ParseBuildRecord(written, &again, &againLines) ==
                                            RecordState::Good && againLines == entries.size(),
             "a written record does not read back whole");
  for (const auto& [name, entry] : entries) {
    const RecordEntry& back = again[name];
    FUZZ_CHECK(back.outputTimeNs == entry.outputTimeNs && back.outputSize == entry.outputSize &&
                   back.facts == entry.facts, "an entry changed");
  }
  return 0;
}
