// Helpers shared by the tests: a fresh temporary directory per test that is
// also the current directory and the drive root, small file helpers, and a
// way to run the built program and capture what it prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace test_support {

// Creates a new empty directory, makes it the current directory and points
// MUNGE_DRIVE_ROOT at it. On Windows it lies on the process's test drive
// (see test_drive.h) when there is one. The destructor goes back to the
// previous current directory, restores MUNGE_DRIVE_ROOT and removes the
// directory.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Absolute native path, without a trailing separator.
  const std::string& Path() const { return path; }

 private:
  std::string path;
  std::string previousDir;
  std::optional<std::string> previousDriveRoot;
};

// Paths here are native (relative to the current directory or absolute);
// WriteFile creates missing parent directories.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
// Sets the modification (and access) time in seconds since 1970; throws
// when it cannot.
void SetMTime(const std::string& path, int64_t seconds);
int64_t GetMTime(const std::string& path);
// The build record that every output folder holds; ListNames leaves it out.
inline constexpr const char* kBuildRecordName = ".tolscript_record";
// Names in a directory, sorted; empty when it does not exist.
std::vector<std::string> ListNames(const std::string& dir);

// The native path of `relative` under the root of "the drive" that the
// program's rooted paths ("\Corvantis\...") name while a TempDir is
// current: on POSIX under MUNGE_DRIVE_ROOT, on Windows under the root of
// the test drive (throws when there is none, rather than reach the real
// drive). All TempDirs of a process share that drive on Windows.
std::string DrivePath(const std::string& relative);

// Console output and logs are text streams: on Windows a "\n" reaches them
// as "\r\n". Gives `text` with "\n" line ends on Windows, as it stands
// elsewhere (where a carriage return would be a fault to see).
std::string NormalizeLineEnds(const std::string& text);

// Sets or (with nothing) unsets an environment variable for this process
// and the programs it starts.
void SetEnv(const char* name, const std::optional<std::string>& value);

// Sets an environment variable for the scope (nothing unsets it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name;
  std::optional<std::string> previous;
};

// Runs argv as the program runs its compilers (platform::ProcessSet) and
// waits for it; what it printed is in the result.
platform::RunResult RunProgram(const std::vector<std::string>& argv);

struct ProgramRun {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `args` in the current directory and captures its
// standard output and error.
ProgramRun Run(const std::string& program, const std::vector<std::string>& args);

// Runs the built tolscript.
ProgramRun RunTolscript(const std::vector<std::string>& args);

}  // namespace test_support
