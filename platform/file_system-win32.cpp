// Files, status and listings on Windows: the paths go to the system as they
// stand.
#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "path_rules.h"
#include "process.h"
#include "system_error-win32.h"

namespace platform {

NameCache::NameCache() = default;
NameCache::~NameCache() = default;

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr int64_t kEpochOffset = 11644473600;

// A string holding a NUL would reach the system cut short, naming another
// file.
bool Representable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

// errno too, as the C library's calls on POSIX leave it.
void SetError(std::string* error, DWORD code) {
  if (error != nullptr) *error = SystemErrorMessage(code);
  errno = ErrnoFromSystemError(code);
}

int64_t TimeNs(const FILETIME& time) {
  uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (static_cast<int64_t>(ticks) - kEpochOffset * kTicksPerSecond) * 100;
}

// Whether `dir`, too long for the calls that take ANSI paths, names a
// directory: asked through the wide call, which takes long paths in the
// "\\?\" form.
bool IsLongPathDirectory(const std::string& dir) {
  int size = MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, nullptr, 0);
  if (size <= 1) return false;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide.data(), size) != size) return false;
  wide.resize(static_cast<size_t>(size - 1));
  DWORD fullSize = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (fullSize == 0) return false;
  std::wstring full(fullSize, L'\0');
  fullSize = GetFullPathNameW(wide.c_str(), fullSize, full.data(), nullptr);
  if (fullSize == 0 || fullSize >= full.size()) return false;
  full.resize(fullSize);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (full.rfind(L"\\\\", 0) == 0) {
    full = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    full = L"\\\\?\\" + full;
  }
  DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<FileStatus> StatFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Representable(path) ||
      !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  FileStatus status;
  status.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.isRegular =
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  status.timeNs = TimeNs(data.ftLastWriteTime);
  status.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return status;
}

std::optional<FileStatus> StatStream(FILE* stream) {
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  BY_HANDLE_FILE_INFORMATION info;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) {
    errno = file == INVALID_HANDLE_VALUE ? EBADF : ErrnoFromSystemError(GetLastError());
    return std::nullopt;
  }
  FileStatus status;
  status.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.isRegular = GetFileType(file) == FILE_TYPE_DISK && !status.isDirectory;
  status.timeNs = TimeNs(info.ftLastWriteTime);
  status.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  status.fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  status.volumeId = info.dwVolumeSerialNumber;
  return status;
}

std::optional<std::string> FileIdentity(const std::string& path) {
  if (!Representable(path)) return std::nullopt;
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return std::nullopt;
  uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (!Representable(path)) {
    SetError(error, ERROR_INVALID_NAME);
    return false;
  }
  if (DeleteFileA(path.c_str())) return true;
  SetError(error, GetLastError());
  return false;
}

bool RenameFile(const std::string& from, const std::string& to, std::string* error) {
  if (!Representable(from) || !Representable(to)) {
    SetError(error, ERROR_INVALID_NAME);
    return false;
  }
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  SetError(error, GetLastError());
  return false;
}

namespace {

// A new file of exactly that name, or nullptr with errno set: EEXIST also
// for a folder of that name and a file waiting to be deleted, which deny
// access. CREATE_NEW makes the check and the creation one step. No
// FILE_SHARE_DELETE: like every stream the C runtime opens, the file
// cannot be deleted while it is open.
FILE* CreateNewStream(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED &&
        (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
         GetLastError() == ERROR_ACCESS_DENIED)) {
      code = ERROR_FILE_EXISTS;
    }
    SetError(nullptr, code);
    return nullptr;
  }
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  FILE* stream = descriptor == -1 ? nullptr : _fdopen(descriptor, "w+b");
  if (stream == nullptr) {
    int saved = descriptor == -1 ? EMFILE : errno;
    if (descriptor == -1) {
      CloseHandle(file);
    } else {
      _close(descriptor);
    }
    DeleteFileA(path.c_str());
    errno = saved;
  }
  return stream;
}

}  // namespace

FILE* OpenStream(const std::string& path, const char* mode, FileStatus* opened) {
  if (!Representable(path)) {
    errno = EINVAL;
    return nullptr;
  }
  std::string crtMode;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c != 'n' && *c != 'x') crtMode += *c;
  }
  if (std::strchr(mode, 'n')) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      errno = ELOOP;
      return nullptr;
    }
  }
  FILE* stream = std::strchr(mode, 'x') ? CreateNewStream(path)
                                         : std::fopen(path.c_str(), crtMode.c_str());
  if (stream && opened) *opened = StatStream(stream).value_or(FileStatus());
  return stream;
}

std::optional<FileStatus> TouchIfSame(const std::string& path, std::string_view bytes) {
  if (!Representable(path)) return std::nullopt;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileStatus> touched;
  BY_HANDLE_FILE_INFORMATION info;
  std::string old(bytes.size(), '\0');
  DWORD got = 0;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      info.nFileSizeHigh == 0 && info.nFileSizeLow == bytes.size() &&
      bytes.size() <= MAXDWORD &&
      ReadFile(file, old.data(), static_cast<DWORD>(old.size()), &got, nullptr) &&
      got == old.size() && old == bytes && SetFileTime(file, nullptr, nullptr, &now) &&
      GetFileInformationByHandle(file, &info)) {
    FileStatus status;
    status.isRegular = true;
    status.timeNs = TimeNs(info.ftLastWriteTime);
    status.size = bytes.size();
    status.fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status.volumeId = info.dwVolumeSerialNumber;
    touched = status;
  }
  CloseHandle(file);
  return touched;
}

bool TruncateStream(FILE* stream, uint64_t size) {
  return std::fflush(stream) == 0 &&
         _chsize_s(_fileno(stream), static_cast<long long>(size)) == 0;
}

bool CanRenameOpenFile() { return false; }

std::string NativePath(const std::string& path) { return path; }

std::string NativePathOfNewFile(const std::string& path) { return path; }

std::vector<DirEntry> ListDirectory(const std::string& pattern, std::string* error) {
  std::vector<DirEntry> entries;
  if (!Representable(pattern)) return entries;

  size_t split = 0;
  for (size_t i = pattern.size(); i > 0; --i) {
    if (IsSeparator(pattern[i - 1])) {
      split = i;
      break;
    }
  }
  if (split == 0 && HasDrive(pattern)) split = 2;
  std::string namePattern = pattern.substr(split);
  if (namePattern.empty()) return entries;

  // The system's own matching also looks at short 8.3 names ("*.lua" finds
  // "a.luac" through "A~1.LUA") and treats '?' and '.' in DOS ways. List
  // every name and match it here, the same way as on every platform; a name
  // without wildcards is looked up directly.
  bool literal = namePattern.find_first_of("*?") == std::string::npos;
  std::string query = literal ? pattern : pattern.substr(0, split) + "*";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(query.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    switch (code) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_NO_MORE_FILES:
        break;  // nothing matches
      case ERROR_PATH_NOT_FOUND:
      case ERROR_FILENAME_EXCED_RANGE:
      case ERROR_INVALID_NAME:
      case ERROR_DIRECTORY:
        // Not there, unless it is only too long to name.
        if (query.size() >= MAX_PATH && split > 0 &&
            IsLongPathDirectory(pattern.substr(0, split))) {
          SetError(error, ERROR_FILENAME_EXCED_RANGE);
        }
        break;
      default:
        SetError(error, code);
        break;
    }
    return entries;
  }
  do {
    if (WildcardMatch(namePattern, found.cFileName)) {
      entries.push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
  } while (FindNextFileA(search, &found));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) SetError(error, code);
  FindClose(search);

  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
    return ListingOrderLess(a.name, b.name);
  });
  return entries;
}

}  // namespace platform
