// The file object every output is written through. Output goes to a
// temporary file beside the target and only a successful Close() puts it in
// place, so a run that stops half-way never leaves a truncated output that
// a later "-checkdate" would take as up to date. Every write is checked: a
// full disk raises a HandyException naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
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
  // stored either way. Prints "Opened file %s for output\n" at debug level.
  bool OpenForOutput(const char* path, bool fatalOnFailure);

  // Completes the output: flushes, closes and renames it over `path`.
  // Raises a HandyException naming the file when any of that fails (the
  // temporary file is then removed). On a closed object only empties the
  // name.
  void Close(const std::function<void(const platform::FileStatus&)>& beforeRename = {});

  // Drops the output: the temporary file is removed and nothing at the
  // target path is touched.
  void Abandon();

  bool IsOpen() const;

  // Names a new temporary file beside the output `path`, named as this
  // object names its own, for a producer (such as a compiler) to create
  // and write before the output is opened; the file is not made here.
  // Returns its path, or empty with errno set; `nativePath`, when given,
  // gets the path as the system spells it.
  static std::string NameTemporaryFile(const std::string& path,
                                       std::string* nativePath = nullptr);

  // Takes over such a file, whatever it holds, as this output's temporary
  // file, and returns its bytes (nothing when it cannot be read): the
  // output is written over it through the same open file and renamed into
  // place, so no other file is made. It is deleted when the output is
  // abandoned.
  std::optional<std::string> TakeOverTemporaryFile(std::string path);
  const char* GetName() const { return name.c_str(); }

  // Little-endian writes of one value each.
  void WriteByte(uint8_t value) {
    // Inline for the common sequential case: writers go byte by byte.
    if (isOpen && position == bufferStart + bufferUsed && bufferUsed < kBufferSize &&
        position != UINT32_MAX) {
      buffer[bufferUsed++] = value;
      if (++position > size) size = position;
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
  static constexpr uint32_t kBufferSize = 64 * 1024;

  // Open as soon as OpenForOutput succeeded; the temporary file itself is
  // made at the first flush, so an output that is abandoned before its
  // first 64 KiB (an unused requirements file) never touches the disk.
  bool isOpen = false;
  FILE* handle = nullptr;
  std::string name;
  std::string tempPath;
  bool tempTakenOver = false;  // tempPath was made by another program
  uint64_t takenOverSize = 0;  // its length as read; UINT64_MAX when unknown
  // Bytes of the file from bufferStart on that the stream has not seen yet;
  // a back-patch inside them costs no seek.
  std::unique_ptr<unsigned char[]> buffer;
  uint32_t bufferUsed = 0;
  uint32_t bufferStart = 0;
  uint32_t streamPosition = 0;  // where the stream stands
  uint32_t position = 0;        // current offset, buffer included
  uint32_t size = 0;            // length of the file, buffer included

  void Put(const void* data, size_t count);
  void Flush();
  void CreateTemporaryFile();
  void Discard();
  [[noreturn]] void FailWrite(int errorNumber);
};
