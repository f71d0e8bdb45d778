// File status, files and listings on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "path_rules.h"
#include "native_names-posix.h"
#include "platform.h"
#include "process.h"

namespace platform {
namespace {

using posix::StatPath;
using posix::TranslatePath;

void SetError(std::string* error) {
  if (error) *error = std::strerror(errno);
}

// Open flags and the matching fdopen mode of a C mode string; false for a
// mode that is not one.
bool ParseMode(const char* mode, int* flags, std::string* streamMode) {
  if (!mode) return false;
  bool update = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
      *flags = update ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      *flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      *flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      return false;
  }
  if (std::strchr(mode, 'x') && mode[0] != 'r') *flags |= O_EXCL;
  if (std::strchr(mode, 'n')) *flags |= O_NOFOLLOW;
  // Streams never leak into the programs this process starts.
  *flags |= O_CLOEXEC;
  *streamMode = std::string(1, mode[0]) + (update ? "+" : "") + "b";
  return true;
}

// Opens `path` with `flags` (which may create it) and notes a name it
// adds. Returns the descriptor or -1 with errno set.
int OpenFile(const std::string& path, int flags) {
  bool creates = (flags & O_CREAT) != 0;
  std::optional<posix::CreationTarget> target;
  if (creates) {
    // An exclusive creation makes the name as given.
    target = posix::TranslateForCreation(path, (flags & O_EXCL) == 0);
  } else if (std::optional<std::string> native = TranslatePath(path)) {
    target = posix::CreationTarget{std::move(*native), "", "", "", true};
  }
  if (!target) return -1;
  if (!creates || target->exists || target->name.empty()) {
    return open(target->path.c_str(), flags, 0666);
  }
  int fd = open(target->path.c_str(), flags, 0666);
  if (fd >= 0) posix::NoteNameAdded(target->dir, target->name);
  return fd;
}

FileStatus StatusOf(const struct stat& status) {
  FileStatus result;
  result.isDirectory = S_ISDIR(status.st_mode);
  result.isRegular = S_ISREG(status.st_mode);
  result.timeNs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                  static_cast<int64_t>(status.st_mtim.tv_nsec);
  result.size = static_cast<uint64_t>(status.st_size);
  result.fileId = static_cast<uint64_t>(status.st_ino);
  result.volumeId = static_cast<uint64_t>(status.st_dev);
  return result;
}

}  // namespace

std::optional<FileStatus> StatFile(const std::string& path) {
  struct stat status;
  if (!StatPath(path, &status)) return std::nullopt;
  return StatusOf(status);
}

std::optional<FileStatus> StatStream(FILE* stream) {
  struct stat status;
  if (fstat(fileno(stream), &status) != 0) return std::nullopt;
  return StatusOf(status);
}

std::optional<std::string> FileIdentity(const std::string& path) {
  struct stat status;
  if (!StatPath(path, &status)) return std::nullopt;
  return std::to_string(static_cast<uint64_t>(status.st_dev)) + ":" +
         std::to_string(static_cast<uint64_t>(status.st_ino));
}

bool RemoveFile(const std::string& path, std::string* error) {
  std::optional<std::string> native = TranslatePath(path);
  // A name the run knows is not there costs no call.
  bool absent = native && posix::ListedAbsent(*native);
  if (absent) errno = ENOENT;
  if (!native || absent || unlink(native->c_str()) != 0) {
    SetError(error);
    return false;
  }
  std::string dir;
  std::string name;
  posix::SplitNativePath(*native, &dir, &name);
  posix::NoteNameRemoved(dir, name);
  posix::NoteChildFile(*native, false);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to, std::string* error) {
  std::optional<std::string> source = TranslatePath(from);
  std::optional<posix::CreationTarget> target;
  if (source) target = posix::TranslateForCreation(to);
  if (!source || !target) {
    SetError(error);
    return false;
  }
  std::string sourceDir;
  std::string sourceName;
  posix::SplitNativePath(*source, &sourceDir, &sourceName);
  std::string targetPath = target->path;
  std::string targetName = target->name;
  if (target->exists && targetPath == *source && !target->givenName.empty()) {
    // Only the letter case changes: take the case given, as the system
    // that this naming comes from does.
    targetName = target->givenName;
    targetPath = source->substr(0, source->size() - sourceName.size()) + targetName;
  }
  if (rename(source->c_str(), targetPath.c_str()) != 0) {
    SetError(error);
    return false;
  }
  if (targetPath == *source) return true;
  posix::NoteNameRemoved(sourceDir, sourceName);
  posix::NoteChildFile(*source, false);
  if (target->exists) posix::NoteNameRemoved(target->dir, target->name);
  posix::NoteNameAdded(target->dir, targetName);
  return true;
}

FILE* OpenStream(const std::string& path, const char* mode, FileStatus* opened) {
  int flags = 0;
  std::string streamMode;
  if (!ParseMode(mode, &flags, &streamMode)) {
    errno = EINVAL;
    return nullptr;
  }
  // Opening a FIFO waits for its other end, which may never come: opened
  // without waiting, one with no writer reads as empty and one with no
  // reader fails. Reads and writes wait as usual afterwards.
  int fd = OpenFile(path, flags | O_NONBLOCK);
  if (fd < 0) return nullptr;
  // The system opens a directory for reading; a stream on one is no file.
  // A file just made is a plain one.
  struct stat status;
  bool made = (flags & O_EXCL) != 0 && !opened;
  bool statusKnown = !made && fstat(fd, &status) == 0;
  if (statusKnown && S_ISDIR(status.st_mode)) {
    close(fd);
    errno = EISDIR;
    return nullptr;
  }
  // A regular file never waits, so the flag is only cleared for others.
  bool mayWait = !made && (!statusKnown || !S_ISREG(status.st_mode));
  int statusFlags = mayWait ? fcntl(fd, F_GETFL) : 0;
  if (mayWait && (statusFlags == -1 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) == -1)) {
    int saved = errno;
    close(fd);
    errno = saved;
    return nullptr;
  }
  FILE* stream = fdopen(fd, streamMode.c_str());
  if (!stream) {
    int saved = errno;
    close(fd);
    errno = saved;
  }
  if (stream && opened) *opened = statusKnown ? StatusOf(status) : FileStatus();
  return stream;
}

std::optional<FileStatus> TouchIfSame(const std::string& path, std::string_view bytes) {
  std::optional<std::string> native = TranslatePath(path);
  if (!native || posix::ListedAbsent(*native)) return std::nullopt;
  int fd = open(native->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<FileStatus> touched;
  struct stat status;
  std::string old(bytes.size(), '\0');
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<uint64_t>(status.st_size) == bytes.size() &&
      read(fd, old.data(), old.size()) == static_cast<ssize_t>(old.size()) && old == bytes &&
      futimens(fd, nullptr) == 0 && fstat(fd, &status) == 0) {
    touched = StatusOf(status);
  }
  close(fd);
  return touched;
}

bool TruncateStream(FILE* stream, uint64_t size) {
  return std::fflush(stream) == 0 && ftruncate(fileno(stream), static_cast<off_t>(size)) == 0;
}

bool CanRenameOpenFile() { return true; }

std::string NativePath(const std::string& path) {
  return TranslatePath(path).value_or(std::string());
}

std::string NativePathOfNewFile(const std::string& path) {
  std::optional<posix::CreationTarget> target = posix::TranslateForCreation(path, false);
  return target ? target->path : std::string();
}

std::vector<DirEntry> ListDirectory(const std::string& pattern, std::string* error) {
  std::vector<DirEntry> entries;
  size_t separator = LastSeparator(pattern);
  std::string dirPart;
  std::string namePattern;
  if (separator != std::string::npos) {
    dirPart = pattern.substr(0, separator + 1);
    namePattern = pattern.substr(separator + 1);
  } else if (HasDrive(pattern)) {
    dirPart = pattern.substr(0, 2);
    namePattern = pattern.substr(2);
  } else {
    namePattern = pattern;
  }
  if (namePattern.empty() || namePattern.find('\0') != std::string::npos) return entries;
  std::string dir = ".";
  if (!dirPart.empty()) {
    std::optional<std::string> native = TranslatePath(dirPart);
    if (!native) {
      // Too long to name whole: a failure only when the directory is there.
      if (errno == ENAMETOOLONG && posix::IsLongPathDirectory(dirPart)) {
        errno = ENAMETOOLONG;
        SetError(error);
      }
      return entries;
    }
    dir = std::move(*native);
  }
  DIR* handle = opendir(dir.c_str());
  if (!handle) {
    // What is not there lists as empty; what is there but cannot be read
    // is a failure.
    if (errno != ENOENT && errno != ENOTDIR) SetError(error);
    return entries;
  }
  int dirFd = dirfd(handle);
  // Every name, so that later lookups in the folder need not read it again.
  std::vector<std::string> names;
  bool whole = true;
  for (;;) {
    errno = 0;
    dirent* entry = readdir(handle);
    if (!entry) {
      if (errno != 0) {
        SetError(error);
        whole = false;
      }
      break;
    }
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    if (!WildcardMatch(namePattern, name)) continue;
    bool isDirectory = false;
#ifdef DT_DIR
    if (entry->d_type == DT_DIR) {
      isDirectory = true;
    } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
#else
    {
#endif
      // Links count as what they point to, as stat sees them.
      struct stat status;
      isDirectory = fstatat(dirFd, entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
    }
    entries.push_back(DirEntry{std::string(name), isDirectory});
  }
  closedir(handle);
  if (whole) posix::NoteListing(dir, std::move(names));
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
    return ListingOrderLess(a.name, b.name);
  });
  return entries;
}

}  // namespace platform
