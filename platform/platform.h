// The operating system as the rest of the program sees it. Nothing outside
// platform/ includes an OS header; everything goes through these calls.
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
#include <vector>

namespace platform {

// --- File status -----------------------------------------------------------

// True when the path names an existing file or directory.
bool FileExists(const std::string& path);

// Last modification time in seconds since 1970, or nothing when the status
// cannot be read.
std::optional<int64_t> GetFileTime(const std::string& path);

// Sets the modification (and access) time; used by tests and tools that
// back-date files. Returns false with `error` filled on failure.
bool SetFileTime(const std::string& path, int64_t seconds, std::string* error);

// True when the path names an existing directory.
bool IsDirectory(const std::string& path);

// True when the path names an existing plain file (through links): not a
// directory, a device, a FIFO or a socket.
bool IsRegularFile(const std::string& path);

// A key that is equal for two paths that reach the same directory (through
// links or in another spelling); nothing when the directory cannot be read.
// Recursive searches use it to notice a directory that contains itself.
std::optional<std::string> DirectoryIdentity(const std::string& path);

// The same key for any existing file or directory: equal for two paths
// that reach the same file. Input lists use it to notice a list that names
// itself through a link.
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
// Text and binary mode differ on Windows only. A file created here keeps
// the case of the name as given; an existing file of that name in another
// case is opened instead. Returns nullptr with errno set on failure.
FILE* OpenStream(const std::string& path, const char* mode);

// The file's bytes read in binary mode, up to the first NUL byte; nothing
// when it cannot be opened or read.
std::optional<std::string> ReadTextFile(const std::string& path);

// Creates a new file atomically from `pathTemplate`, whose last six
// characters must be "XXXXXX"; they are replaced so that the name is new in
// its directory. On success `pathTemplate` holds the name that was made and
// the file is returned open for reading and writing in binary mode. On
// failure returns nullptr with errno set and `pathTemplate` unchanged.
FILE* CreateUniqueFile(std::string& pathTemplate);

// The path in the form the operating system takes (for handing it to
// another program). On Windows the path itself.
std::string NativePath(const std::string& path);

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

// --- The process -----------------------------------------------------------

// Full path of the running program, as the system reports it.
std::string GetExecutablePath();

// The full path of `path`: an absolute path as it stands, a relative one
// joined to the current directory. Nothing when it cannot be made.
std::optional<std::string> MakeFullPath(const std::string& path);

// Environment lookup that tells "unset" (nothing) from "set to empty".
std::optional<std::string> GetEnv(const char* name);

// Sets or (with nothing) unsets an environment variable for this process
// and the programs it starts.
void SetEnv(const char* name, const std::optional<std::string>& value);

// ".exe" on Windows, "" on POSIX.
const char* ExecutableSuffix();

// ';' on Windows, ':' on POSIX.
char PathListSeparator();

void SleepMilliseconds(int milliseconds);

// --- Running programs ------------------------------------------------------

struct RunResult {
  enum class Kind {
    Exited,        // `exitCode` holds the program's exit status
    Signalled,     // killed by signal `exitCode` (POSIX)
    StartFailed,   // not found or could not be started; see `error`
  };
  Kind kind = Kind::StartFailed;
  int exitCode = -1;
  std::string error;
  // What the program printed, when it ran in a ProcessSet.
  std::string output;
  std::string errorOutput;

  bool Succeeded() const { return kind == Kind::Exited && exitCode == 0; }
};

struct RunOptions {
  // When not empty, the child's standard output / error go to these files
  // (created or truncated) instead of the program's console.
  std::string stdoutPath;
  std::string stderrPath;
};

// Runs the program argv[0] (looked up through PATH when it holds no
// separator) with exactly the arguments `argv`, without a command
// interpreter, in the current directory, with the program's console and
// environment, and waits for it to end. argv holds native paths; argv[0]
// may also be in the program's own form. A program that cannot be found or
// started gives StartFailed, never an exit status.
RunResult RunProgram(const std::vector<std::string>& argv,
                     const RunOptions& options = {});

}  // namespace platform
