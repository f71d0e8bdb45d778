#include "tool_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "platform/path_rules.h"
#include "platform/platform.h"

namespace {

constexpr const char* kTempInfix = ".tmp";
constexpr size_t kTempRandomLength = 6;
// The longest file name (one path component) that the file systems we write
// to take, in bytes.
constexpr size_t kMaxFileNameLength = 255;

// What the temporary files of an output named `fileName` begin with. An
// output whose name is nearly as long as a name may be would otherwise get a
// temporary name that is too long, so such a name is cut short, though never
// inside a UTF-8 sequence.
std::string_view TempStem(std::string_view fileName) {
  size_t limit = kMaxFileNameLength - std::strlen(kTempInfix) - kTempRandomLength;
  if (fileName.size() <= limit) return fileName;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(fileName[cut]) & 0xC0) == 0x80) --cut;
  return fileName.substr(0, cut);
}

// Temporary files that a run killed half-way left beside the outputs of a
// folder, by the output they were for (lower case). Each folder is listed
// once per run; a stale file goes when its output is written again.
std::map<std::string, std::map<std::string, std::vector<std::string>>>& StaleTemporaries() {
  static auto* stale = new std::map<std::string, std::map<std::string, std::vector<std::string>>>();
  return *stale;
}

bool IsTempSuffix(std::string_view suffix) {
  if (suffix.size() != std::strlen(kTempInfix) + kTempRandomLength) return false;
  if (suffix.substr(0, std::strlen(kTempInfix)) != kTempInfix) return false;
  for (char c : suffix.substr(std::strlen(kTempInfix))) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Beside the target, so that the final rename stays on one file system.
std::string TemporaryTemplate(const std::string& outputPath) {
  platform::PathParts parts = platform::SplitPath(outputPath);
  std::string pathTemplate = parts.drive + parts.dir;
  pathTemplate += TempStem(parts.name + parts.ext);
  pathTemplate += kTempInfix;
  pathTemplate += "XXXXXX";
  return pathTemplate;
}

// The stale files of a folder, listed on the first look of the run.
std::map<std::string, std::vector<std::string>>& NoteStaleTemporaries(
    const std::string& directory) {
  std::string folderKey = platform::ToLowerAscii(directory);
  auto& folders = StaleTemporaries();
  auto folder = folders.find(folderKey);
  if (folder == folders.end()) {
    folder = folders.emplace(folderKey, std::map<std::string, std::vector<std::string>>()).first;
    std::string pattern = directory + "*" + kTempInfix + "??????";
    for (const platform::DirEntry& entry : platform::ListDirectory(pattern)) {
      size_t cut = entry.name.size() - std::strlen(kTempInfix) - kTempRandomLength;
      if (entry.isDirectory || entry.name.size() <= std::strlen(kTempInfix) + kTempRandomLength ||
          !IsTempSuffix(std::string_view(entry.name).substr(cut))) {
        continue;
      }
      folder->second[platform::ToLowerAscii(entry.name.substr(0, cut))].push_back(entry.name);
    }
  }
  return folder->second;
}

void RemoveStaleTemporaries(const std::string& directory, const std::string& outputName) {
  std::map<std::string, std::vector<std::string>>& folder = NoteStaleTemporaries(directory);
  auto stale = folder.find(platform::ToLowerAscii(std::string(TempStem(outputName))));
  if (stale == folder.end()) return;
  for (const std::string& name : stale->second) platform::RemoveFile(directory + name);
  folder.erase(stale);
}

}  // namespace

ToolFile::~ToolFile() { Discard(); }

bool ToolFile::OpenForOutput(const char* path, bool fatalOnFailure) {
  Abandon();
  name = path;
  // The file itself is made later; a missing directory is the failure that
  // can be told now, before any work is done for the output.
  platform::PathParts parts = platform::SplitPath(name);
  std::string directory = parts.drive + parts.dir;
  if (!directory.empty() && !platform::IsDirectory(directory)) {
    if (fatalOnFailure) {
      throw HandyException("Could not open %s for output. DOS reports:\n%s\n",
                           Printable(name).c_str(), strerror(ENOENT));
    }
    return false;
  }
  RemoveStaleTemporaries(directory, parts.name + parts.ext);
  buffer = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
  bufferUsed = bufferStart = streamPosition = position = size = 0;
  isOpen = true;
  PrintDebug("Opened file %s for output\n", Printable(name).c_str());
  return true;
}

void ToolFile::CreateTemporaryFile() {
  if (!tempPath.empty()) {
    // A file handed over that could not be opened then: written from its
    // start and cut to size at the end.
    handle = platform::OpenStream(tempPath, "r+b");
  } else {
    std::string pathTemplate = TemporaryTemplate(name);
    handle = platform::CreateUniqueFile(pathTemplate);
    if (handle) tempPath = pathTemplate;
  }
  if (!handle) {
    int errorNumber = errno;
    Discard();
    throw HandyException("Could not open %s for output. DOS reports:\n%s\n",
                         Printable(name).c_str(), strerror(errorNumber));
  }
  // Our own buffer batches the writes; a failed write then shows at once.
  setvbuf(handle, nullptr, _IONBF, 0);
}

void ToolFile::Close(const std::function<void(const platform::FileStatus&)>& beforeRename) {
  if (!isOpen) {
    name.clear();
    return;
  }
  if (!handle) CreateTemporaryFile();
  Flush();
  if (fflush(handle) != 0) FailWrite(errno);
  // A file handed over is cut to size, not emptied first: some file
  // systems write an emptied file out at once when it is closed. Even a
  // cut to the size it has costs a journal entry on some.
  if (tempTakenOver && size < takenOverSize && !platform::TruncateStream(handle, size))
    FailWrite(errno);
  FILE* stream = handle;
  handle = nullptr;
  isOpen = false;
  if (fclose(stream) != 0) {
    // The stream is gone; FailWrite only has the temporary file to remove.
    FailWrite(errno);
  }
  if (beforeRename) {
    std::optional<platform::FileStatus> made = platform::StatFile(tempPath);
    try {
      if (!made) FailWrite(errno);
      beforeRename(*made);
    } catch (...) {
      platform::RemoveFile(tempPath);
      tempPath.clear();
      tempTakenOver = false;
      buffer.reset();
      throw;
    }
  }
  std::string error;
  if (!platform::RenameFile(tempPath, name, &error)) {
    platform::RemoveFile(tempPath);
    tempPath.clear();
    tempTakenOver = false;
    buffer.reset();
    throw HandyException("Could not replace %s. DOS reports:\n%s\n", Printable(name).c_str(),
                         error.c_str());
  }
  tempPath.clear();
  tempTakenOver = false;
  buffer.reset();
  name.clear();
}

std::optional<std::string> ToolFile::TakeOverTemporaryFile(std::string path) {
  if (!isOpen || handle || !tempPath.empty()) {
    platform::RemoveFile(path);
    return std::nullopt;
  }
  tempPath = std::move(path);
  tempTakenOver = true;
  takenOverSize = UINT64_MAX;
  // Read through the stream that the output is then written into: one
  // open of the file for both.
  handle = platform::OpenStream(tempPath, "r+b");
  // A FIFO there would keep the read waiting for ever: this stream is a
  // writer too.
  if (!handle || !platform::IsRegularStream(handle)) return std::nullopt;
  std::optional<std::string> bytes = platform::ReadStream(handle);
  if (bytes) takenOverSize = bytes->size();
  // The stream stands at no offset a write starts from, so the first one
  // seeks.
  streamPosition = UINT32_MAX;
  return bytes;
}

std::string ToolFile::NameTemporaryFile(const std::string& path, std::string* nativePath) {
  platform::PathParts parts = platform::SplitPath(path);
  std::string directory = parts.drive + parts.dir;
  // The folder's stale files are looked for first, so that this new one
  // is never taken for one of them.
  NoteStaleTemporaries(directory);
  std::string pathTemplate = TemporaryTemplate(path);
  if (!platform::PickUnusedName(pathTemplate, nativePath)) return std::string();
  return pathTemplate;
}

void ToolFile::Abandon() {
  Discard();
  name.clear();
}

void ToolFile::Discard() {
  isOpen = false;
  if (handle) {
    fclose(handle);
    handle = nullptr;
  }
  if (!tempPath.empty()) {
    platform::RemoveFile(tempPath);
    tempPath.clear();
    tempTakenOver = false;
  }
  buffer.reset();
  bufferUsed = bufferStart = streamPosition = position = size = 0;
}

bool ToolFile::IsOpen() const { return isOpen; }

void ToolFile::FailWrite(int errorNumber) {
  if (errorNumber == 0) errorNumber = EIO;
  // The name stays, as after a failed open, for the caller's clean-up.
  Discard();
  throw HandyException("Could not write %s. DOS reports:\n%s\n", Printable(name).c_str(),
                       strerror(errorNumber));
}

void ToolFile::Flush() {
  if (bufferUsed == 0) return;
  if (!handle) CreateTemporaryFile();
  if (streamPosition != bufferStart) {
    // Where long has 32 bits, offsets past 2 GiB cannot be reached by fseek.
    if constexpr (sizeof(long) < sizeof(uint64_t)) {
      if (bufferStart > static_cast<uint32_t>(LONG_MAX)) FailWrite(EFBIG);
    }
    if (fseek(handle, static_cast<long>(bufferStart), SEEK_SET) != 0) FailWrite(errno);
  }
  if (fwrite(buffer.get(), 1, bufferUsed, handle) != bufferUsed) FailWrite(errno);
  streamPosition = bufferStart + bufferUsed;
  bufferStart = streamPosition;
  bufferUsed = 0;
}

void ToolFile::Put(const void* data, size_t count) {
  if (!isOpen) FailWrite(EBADF);
  if (count > UINT32_MAX - position) FailWrite(EFBIG);
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (count > 0) {
    // Only a write that continues or overlaps the buffered bytes joins them.
    if (position < bufferStart || position - bufferStart > bufferUsed ||
        position - bufferStart == kBufferSize) {
      Flush();
      bufferStart = position;
    }
    uint32_t offset = position - bufferStart;
    uint32_t part = static_cast<uint32_t>(std::min<size_t>(count, kBufferSize - offset));
    memcpy(buffer.get() + offset, bytes, part);
    bufferUsed = std::max(bufferUsed, offset + part);
    position += part;
    bytes += part;
    count -= part;
  }
  size = std::max(size, position);
}

void ToolFile::WriteWord(uint16_t value) {
  unsigned char bytes[2] = {static_cast<unsigned char>(value),
                            static_cast<unsigned char>(value >> 8)};
  Put(bytes, sizeof bytes);
}

void ToolFile::WriteDword(uint32_t value) {
  unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  Put(bytes, sizeof bytes);
}

void ToolFile::WriteFloat(float value) {
  uint32_t bits;
  static_assert(sizeof bits == sizeof value);
  memcpy(&bits, &value, sizeof bits);
  WriteDword(bits);
}

void ToolFile::WriteData(const void* data, uint32_t elementSize, uint32_t count) {
  uint64_t total = static_cast<uint64_t>(elementSize) * count;
  if (total > UINT32_MAX) FailWrite(EFBIG);
  if (total > 0) Put(data, static_cast<size_t>(total));
}

void ToolFile::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatMessageV(format, args);
  va_end(args);
  Put(text.data(), text.size());
}

uint32_t ToolFile::Tell() { return position; }

void ToolFile::Seek(uint32_t offset) { position = offset; }

uint32_t ToolFile::GetSize() { return size; }
