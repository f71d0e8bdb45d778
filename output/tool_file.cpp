#include "tool_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/path_rules.h"
#include "platform/process.h"
#include "stale_temporaries.h"
#include "temporary_names.h"

ToolFile::~ToolFile() { Discard(); }

bool ToolFile::OpenForOutput(const char* path, bool fatalOnFailure) {
  Abandon();
  name = path;
  // The file itself is made at Close; a missing directory is the failure
  // that can be told now, before any work is done for the output.
  platform::PathParts parts = platform::SplitPath(name);
  std::string directory = parts.drive + parts.dir;
  errno = 0;
  if (!directory.empty() &&
      !platform::StatFile(directory).value_or(platform::FileStatus()).isDirectory) {
    if (fatalOnFailure) {
      throw HandyException("Could not open %s for output. DOS reports:\n%s\n",
                           Printable(name).c_str(), strerror(errno == EACCES ? EACCES : ENOENT));
    }
    return false;
  }
  ClearStaleTemporaries(directory);
  isOpen = true;
  PrintDebug("Opened file %s for output\n", Printable(name).c_str());
  return true;
}

void ToolFile::Close(const std::function<void(const platform::FileStatus&)>& beforeRename) {
  if (!isOpen) {
    name.clear();
    return;
  }
  isOpen = false;
  // An output that holds these very bytes already is kept and given the
  // new time: replacing a file by a rename costs some file systems a
  // flush of its data.
  if (std::optional<platform::FileStatus> kept = platform::TouchIfSame(name, bytes)) {
    Discard();
    if (beforeRename) beforeRename(*kept);
    name.clear();
    return;
  }
  if (!stream) {
    stream = CreateTemporaryFile(name, &tempPath);
    if (!stream) {
      int errorNumber = errno;
      Discard();
      throw HandyException("Could not open %s for output. DOS reports:\n%s\n",
                           Printable(name).c_str(), strerror(errorNumber));
    }
    // One write of the whole output: a stream buffer would only copy it.
    setvbuf(stream, nullptr, _IONBF, 0);
  } else if (fseek(stream, 0, SEEK_SET) != 0) {
    FailWrite(errno);
  }
  if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())
    FailWrite(errno);
  if (fflush(stream) != 0) FailWrite(errno);
  // A file taken over is cut to size, not emptied first: some file systems
  // write an emptied file out at once when it is closed. Even a cut to the
  // size it has costs a journal entry on some.
  if (takenOverSize && bytes.size() < *takenOverSize &&
      !platform::TruncateStream(stream, bytes.size())) {
    FailWrite(errno);
  }
  std::optional<platform::FileStatus> status = platform::StatStream(stream);
  if (!status) FailWrite(errno);
  if (beforeRename) {
    try {
      beforeRename(*status);
    } catch (...) {
      Discard();
      throw;
    }
  }
  FILE* closing = stream;
  if (platform::CanRenameOpenFile()) {
    // Renamed while still open, so that no other process can take the
    // file between its close and its rename.
    Rename();
    if (fclose(closing) != 0) {
      int errorNumber = errno;
      platform::RemoveFile(name);
      FailWrite(errorNumber);
    }
  } else {
    stream = nullptr;
    if (fclose(closing) != 0) FailWrite(errno);
    Rename();
  }
  Discard();
  name.clear();
}

void ToolFile::Rename() {
  std::string error;
  if (!platform::RenameFile(tempPath, name, &error)) {
    Discard();
    throw HandyException("Could not replace %s. DOS reports:\n%s\n", Printable(name).c_str(),
                         error.c_str());
  }
  // The file is the output now: nothing of it may be removed.
  tempPath.clear();
  stream = nullptr;
}

std::optional<std::string> ToolFile::TakeOverTemporaryFile(std::string path) {
  if (!isOpen || stream || !tempPath.empty()) {
    platform::RemoveFile(path);
    return std::nullopt;
  }
  // Read through the stream that the output is then written into: one
  // open of the file for both.
  platform::FileStatus status;
  FILE* opened = platform::OpenStream(path, "r+b", &status);
  std::optional<std::string> read;
  // A FIFO there would keep the read waiting for ever: this stream is a
  // writer too.
  if (opened && status.isRegular) read = platform::ReadStream(opened);
  if (!read) {
    if (opened) fclose(opened);
    platform::RemoveFile(path);
    return std::nullopt;
  }
  stream = opened;
  tempPath = std::move(path);
  takenOverSize = read->size();
  return read;
}

std::string ToolFile::NameTemporaryFile(const std::string& path, std::string* nativePath) {
  // Owned by this process and never drawn twice in it: new without a look.
  std::string tempPath =
      TemporaryPath(path, platform::CurrentProcessId(), TemporaryRandomCharacters());
  if (nativePath) {
    *nativePath = platform::NativePathOfNewFile(tempPath);
    if (nativePath->empty()) return std::string();
  }
  return tempPath;
}

void ToolFile::Abandon() {
  Discard();
  name.clear();
}

void ToolFile::Discard() {
  isOpen = false;
  if (stream) {
    fclose(stream);
    stream = nullptr;
  }
  if (!tempPath.empty()) {
    platform::RemoveFile(tempPath);
    tempPath.clear();
  }
  takenOverSize.reset();
  std::string().swap(bytes);
  position = 0;
}

void ToolFile::FailWrite(int errorNumber) {
  if (errorNumber == 0) errorNumber = EIO;
  // The name stays, as after a failed open, for the caller's clean-up.
  Discard();
  throw HandyException("Could not write %s. DOS reports:\n%s\n", Printable(name).c_str(),
                       strerror(errorNumber));
}

void ToolFile::Put(const void* data, size_t count) {
  if (!isOpen) FailWrite(EBADF);
  if (count > UINT32_MAX - position) FailWrite(EFBIG);
  size_t end = position + count;
  // Past the end after a seek: the gap reads as zeros, as in a file.
  if (end > bytes.size()) bytes.resize(end);
  memcpy(bytes.data() + position, data, count);
  position = static_cast<uint32_t>(end);
}

void ToolFile::WriteWord(uint16_t value) {
  unsigned char little[2] = {static_cast<unsigned char>(value),
                             static_cast<unsigned char>(value >> 8)};
  Put(little, sizeof little);
}

void ToolFile::WriteDword(uint32_t value) {
  unsigned char little[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  Put(little, sizeof little);
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

uint32_t ToolFile::GetSize() { return static_cast<uint32_t>(bytes.size()); }
