// The file object every output is written through. The output is kept in
// memory and written once, when it is closed, to a temporary file beside
// the target that is then renamed over it; so a run that stops half-way
// never leaves a truncated output that a later "-checkdate" would take as
// up to date. Every write is checked: a full disk raises a HandyException
// naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "messages.h"
#include "platform/platform.h"

class ToolFile {
 public:
  ToolFile() = default;
  ~ToolFile();  // abandons an output that was not closed
  ToolFile(const ToolFile&) = delete;
  ToolFile& operator=(const ToolFile&) = delete;

  // Starts a new output for `path` (abandoning whatever the object held).
  // On failure: with `fatalOnFailure` raises "Could not open %s for output.
  // DOS reports:\n%s\n" naming `path`, else returns false. The name is
  // stored either way. Clears the folder's stale temporary files first.
  // Prints "Opened file %s for output\n" at debug level.
  bool OpenForOutput(const char* path, bool fatalOnFailure);

  // Completes the output: writes it to its temporary file, flushes it, and
  // renames it over `path`. `beforeRename`, when given, gets the status of
  // the completed file before it takes its name; what it throws propagates
  // and nothing is renamed. An output at `path` that holds exactly these
  // bytes is kept instead and given the current time; `beforeRename` then
  // gets its new status. Raises a HandyException naming the file when
  // any step fails. Whatever fails, the temporary file is removed. On a
  // closed object only empties the name.
  void Close(const std::function<void(const platform::FileStatus&)>& beforeRename = {});

  // Drops the output: the temporary file, if there is one, is removed and
  // nothing at the target path is touched.
  void Abandon();

  // Names a new temporary file beside the output `path`, named as this
  // object names its own, for a producer (such as a compiler) to create
  // and write before the output is opened; the file is not made here, and
  // nothing else is looked at, printed or removed. Returns its path, or
  // empty with errno set; `nativePath`, when given, gets the path as the
  // system spells it.
  static std::string NameTemporaryFile(const std::string& path,
                                       std::string* nativePath = nullptr);

  // Takes over such a file, whatever it holds, as this output's temporary
  // file, and returns its bytes: the output is later written over it
  // through the same open file and renamed into place, so no other file is
  // made. It is deleted when the output is abandoned, and at once when it
  // cannot be read or is no regular file (nothing is returned then).
  std::optional<std::string> TakeOverTemporaryFile(std::string path);
  const char* GetName() const { return name.c_str(); }

  // Little-endian writes of one value each, at the current offset: over
  // what is there, and growing the output past its end.
  void WriteByte(uint8_t value) {
    if (isOpen && position == bytes.size() && position != UINT32_MAX) {
      bytes.push_back(static_cast<char>(value));
      ++position;
      return;
    }
    Put(&value, 1);
  }
  void WriteWord(uint16_t value);
  void WriteDword(uint32_t value);
  void WriteFloat(float value);
  // `count` elements of `size` bytes each.
  void WriteData(const void* data, uint32_t size, uint32_t count);
  void Printf(const char* format, ...) TOOL_PRINTF(2, 3);

  uint32_t Tell();
  void Seek(uint32_t offset);
  uint32_t GetSize();

 private:
  bool isOpen = false;
  std::string name;
  std::string bytes;      // the whole output, at most 4 GiB - 1
  uint32_t position = 0;  // where the next write goes
  // The temporary file: a producer's, open from when it is taken over, or
  // the one that Close makes. `takenOverSize`: the producer's length.
  FILE* stream = nullptr;
  std::string tempPath;
  std::optional<uint64_t> takenOverSize;

  void Put(const void* data, size_t count);
  void Rename();
  void Discard();
  [[noreturn]] void FailWrite(int errorNumber);
};
