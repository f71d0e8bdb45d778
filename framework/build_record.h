// The build record of an output folder: for each output written there,
// what it was made from, so that "-checkdate" can tell an output that a
// clean munge would write differently from one that is up to date.
//
// One text file per folder, ".tolscript_record": a header line, then one
// line per output written, appended in batches as outputs are completed,
// holding the output's own time and size, so that an entry vouches for
// that very file and no other. Later lines win. Runs that share a folder
// take the file's lock for each read and append, and a run that finds
// many dead lines rewrites the file under the lock. A damaged record is
// taken as absent, with one warning, and made anew; a foreign file of that
// name is left alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

struct RecordEntry {
  int64_t outputTimeNs = 0;
  uint64_t outputSize = 0;
  uint64_t facts = 0;  // a hash of what the output was made from
};

using RecordEntries = std::unordered_map<std::string, RecordEntry>;

enum class RecordState { Good, Damaged, Foreign };

// Reads a record's text into `entries` (by lowered output name, the last
// line of a name winning); `lines` counts the entry lines. Any line that is
// not whole and intact makes it Damaged; a text that does not begin with
// the header, Foreign.
RecordState ParseBuildRecord(std::string_view text, RecordEntries* entries, size_t* lines);

// One entry line, ending in a line break.
std::string FormatRecordLine(const std::string& outputName, const RecordEntry& entry);

// A 64-bit hash of a run of bytes (FNV-1a), for the facts of an output.
uint64_t HashFacts(std::string_view text, uint64_t seed = 14695981039346656037ULL);

class BuildRecord {
 public:
  // The record of the folder `folder` (a path ending in a separator, or
  // empty for the current folder); read when first asked.
  explicit BuildRecord(std::string folder);
  ~BuildRecord();
  BuildRecord(const BuildRecord&) = delete;
  BuildRecord& operator=(const BuildRecord&) = delete;

  // The entry of an output (its file name); nullptr when it has none.
  const RecordEntry* Find(const std::string& outputName);

  // Notes a completed output; its line is written with the next batch.
  void Add(const std::string& outputName, const RecordEntry& entry);

  // Writes the lines not yet written and closes the file kept open for
  // appending; the next Add opens it again.
  void Release();

  static constexpr const char* kFileName = ".tolscript_record";

 private:
  bool Open();
  void Load();
  std::string ReadAll();
  void Rewrite(const RecordEntries& all);
  void Flush();

  std::string path;
  FILE* file = nullptr;      // open while the record is read or rewritten
  FILE* appender = nullptr;  // appends; its lock, like the reader's, guards the record
  bool loaded = false;
  bool usable = true;  // false for a foreign file or one that cannot be written
  RecordEntries entries;
  std::string pending;  // lines not yet written
};
