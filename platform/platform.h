// The file system as the rest of the program sees it. Nothing outside
// platform/ includes an OS header; everything goes through these calls
// and those of process.h.
//
// Paths given to these calls are in the program's own form: '\' or '/' as
// separators, an optional drive ("c:"), names compared without regard to
// ASCII case. On Windows they go to the system as they stand. On POSIX they
// are translated at this boundary (see path_rules.h): drive and
// backslash-rooted paths live under the drive root (MUNGE_DRIVE_ROOT, or
// "/"), a path beginning with '/' is used as it stands, and every component
// is matched exactly first, then without regard to case.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// --- Names -----------------------------------------------------------------

// While one lives, the program sees the tree as it first looked at it, plus
// its own changes: on POSIX each folder of a path is resolved at most once
// and each folder's names are read at most once (from a listing, or at the
// first lookup of a name in another case). A run holds one; without one
// every lookup looks afresh. Nothing to do on Windows, where the system
// matches names without regard to case itself.
class NameCache {
 public:
  NameCache();
  ~NameCache();
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;

 private:
  bool owner = false;
};

// --- File status -----------------------------------------------------------

// What one status call tells of an existing file or directory. The file
// and volume ids (inode and device on POSIX) tell one file from another
// that took its name; 0 where the call gives none: StatFile on Windows.
struct FileStatus {
  bool isDirectory = false;
  bool isRegular = false;  // a plain file (through links), not a device or FIFO
  int64_t timeNs = 0;      // last modification, in nanoseconds since 1970
  uint64_t size = 0;
  uint64_t fileId = 0;
  uint64_t volumeId = 0;
};

// The status of `path`; nothing when there is none or it cannot be read.
// The time is as precise as the file system keeps it (nanoseconds on
// POSIX, 100 ns on Windows).
std::optional<FileStatus> StatFile(const std::string& path);

// The status of the file open in `stream`, with its ids on every platform;
// nothing, with errno set, when it cannot be read. Written bytes count once
// the stream is flushed.
std::optional<FileStatus> StatStream(FILE* stream);

// A key that is equal for two paths that reach the same file or directory
// (through links or in another spelling); nothing when there is none.
// Input lists use it to notice a list that names itself, recursive
// searches a directory that contains itself.
std::optional<std::string> FileIdentity(const std::string& path);

// --- Files -----------------------------------------------------------------

// Deletes a file. Returns false with `error` (the system's text) filled
// and errno set.
bool RemoveFile(const std::string& path, std::string* error = nullptr);

// Renames `from` to `to`, replacing an existing `to` (also one whose name
// differs from `to` only in letter case). Fails as RemoveFile does.
bool RenameFile(const std::string& from, const std::string& to,
                std::string* error);

// Opens a C stream; `mode` is a C mode string ("rb", "wb", "wt", "at", ...).
// Text and binary mode differ on Windows only. An 'n' in the mode opens
// no link: the call fails (ELOOP) when the path's last name is one. An 'x'
// creates the name as given or fails (EEXIST): the check for a free name
// and the creation are one step. A file created here keeps
// the case of the name as given; an existing file of that name in another
// case is opened instead. Returns nullptr with errno set on failure.
// When `status` is given it gets the status of the file opened: whether it
// is a regular file (not a FIFO or device, whose reads may wait or never
// end), its time and size.
FILE* OpenStream(const std::string& path, const char* mode, FileStatus* status = nullptr);

// The file's bytes read in binary mode, up to the first NUL byte; nothing
// when it cannot be opened or read.
std::optional<std::string> ReadTextFile(const std::string& path);

// The file's bytes read in binary mode; nothing when it cannot be opened
// or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The bytes from where the freshly opened `stream` stands to its end;
// nothing when they cannot be read. The stream is left unbuffered.
std::optional<std::string> ReadStream(FILE* stream);

// Whether a file open in a stream can be renamed. On POSIX it can: an
// output renamed before its stream closes cannot be taken by another
// process in between. On Windows the C runtime's streams forbid it.
bool CanRenameOpenFile();

// When `path` names a plain file (not through a link) that holds exactly
// `bytes`, gives it the current time and returns its new status; nothing,
// leaving everything as it was, otherwise.
std::optional<FileStatus> TouchIfSame(const std::string& path, std::string_view bytes);

// Cuts the file open in `stream` to `size` bytes.
bool TruncateStream(FILE* stream, uint64_t size);

// The path in the form the operating system takes (for handing it to
// another program). On Windows the path itself.
std::string NativePath(const std::string& path);

// The same for a file that another program is to create under a name that
// is new: its last name is taken as given, not looked up.
std::string NativePathOfNewFile(const std::string& path);

// --- Directory listings ----------------------------------------------------

struct DirEntry {
  std::string name;  // as stored
  bool isDirectory;
};

// Lists the entries that match the last component of `pattern` ('*' and '?'
// without regard to case; "*.*" matches every name) in the directory named
// by the rest. "." and ".." are listed when the pattern matches them, as
// the system's own listing does. A missing directory gives an empty list.
// A directory that is there but cannot be listed whole (no permission, a
// path too long for the system, a read error) gives what could be read and
// the system's text in `error`, when given; `error` is left alone
// otherwise. The order is stable on every platform: by the upper-cased
// name, then by the exact bytes.
std::vector<DirEntry> ListDirectory(const std::string& pattern, std::string* error = nullptr);

}  // namespace platform
