// The build record of an output folder: for each output written there,
// what it was made from, so that "-checkdate" can tell an output that a
// clean munge would write differently from one that is up to date.
//
// One text file per folder, ".tolscript_record": a header line, then one
// line per output, appended before the output takes its name and holding
// the time, size and file number of exactly that file. So whatever ends a
// run, no output it wrote lacks a line, and a line vouches for no file but
// its own. Later lines win. A folder that held a record when the run first
// looked at it is judged by the record: an output that no line vouches for
// is remade. A damaged record keeps its intact lines; it is reported and
// rewritten at the turn of the first input that writes into the folder.
// The record is never written through a link, and a foreign file of that
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
  uint64_t outputId = 0;  // the file's number on its volume; 0 where unknown
  uint64_t facts = 0;     // a hash of what the output was made from
};

using RecordEntries = std::unordered_map<std::string, RecordEntry>;

// Unreadable only for a file that cannot be opened; vouching for nothing,
// it is left alone like a Foreign one.
enum class RecordState { Absent, Good, Damaged, Outdated, Foreign, Unreadable };

// Reads a record's text into `entries` (by lowered output name, the last
// line of a name winning); `lines` counts the entry lines. A line that is
// not whole and intact is passed over and makes the record Damaged; the
// header of an older form makes it Outdated (no entries); an empty text is
// Good; any other text that does not begin with a header, Foreign.
RecordState ParseBuildRecord(std::string_view text, RecordEntries* entries, size_t* lines);

// One entry line, ending in a line break.
std::string FormatRecordLine(const std::string& outputName, const RecordEntry& entry);

// A 64-bit hash of a run of bytes (FNV-1a), for the facts of an output.
inline constexpr uint64_t kFactsSeed = 14695981039346656037ULL;
uint64_t HashFacts(std::string_view text, uint64_t seed = kFactsSeed);

class BuildRecord {
 public:
  // The record of the folder `folder` (a path ending in a separator, or
  // empty for the current folder); read, silently, when first asked.
  explicit BuildRecord(std::string folder);
  ~BuildRecord();
  BuildRecord(const BuildRecord&) = delete;
  BuildRecord& operator=(const BuildRecord&) = delete;

  // Whether the folder held a record, of any kind, when first looked at.
  bool Exists();

  // The entry of an output (its file name); nullptr when it has none.
  const RecordEntry* Find(const std::string& outputName);

  // Before the run writes its first output into the folder: a damaged or
  // foreign record is reported, once; a damaged, outdated or mostly
  // replaced one is written anew from its entries.
  void PrepareToWrite();

  // Appends the entry of an output that is about to take its name.
  // Raises a HandyException naming the record when it cannot be written.
  void Append(const std::string& outputName, const RecordEntry& entry);

  // Closes the file kept open for appending; the next Append opens it.
  void Release();

  static constexpr const char* kFileName = ".tolscript_record";

 private:
  void Load();
  void Rewrite();

  std::string path;
  FILE* appender = nullptr;
  bool newFile = false;  // the appender's file was empty
  bool loaded = false;
  bool prepared = false;
  RecordState state = RecordState::Absent;
  size_t lines = 0;
  std::string unreadable;  // why, when Unreadable
  RecordEntries entries;
};
