// Helpers shared by the tests: a fresh temporary directory per test that is
// also the current directory and the drive root, small file helpers, the
// chunk files the program should write, and running programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/process.h"

namespace test_support {

// Creates a new empty directory, makes it the current directory and points
// MUNGE_DRIVE_ROOT at it. On Windows it lies on a test drive of the process
// when TOLSCRIPT_TEST_DRIVES names a pool of them ("K:;L:", each root holding
// the marker file .tolscript-test-drive), so that the program's rooted
// paths never reach the real drive. The destructor goes back and removes it.
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
inline void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }
// WriteFile, then made executable (as a script where that takes a mode).
void WriteProgram(const std::string& path, const std::string& script);
// Sets the modification time in nanoseconds since 1970, as precise as the
// file system keeps it; throws when it cannot.
void SetMTimeNs(const std::string& path, int64_t nanoseconds);
inline void SetMTime(const std::string& path, int64_t seconds) {
  SetMTimeNs(path, seconds * 1000000000);
}
// The build record that every output folder holds; ListNames leaves it out.
inline constexpr const char* kBuildRecordName = ".tolscript_record";
// Names in a directory, sorted; empty when it does not exist.
std::vector<std::string> ListNames(const std::string& dir);

// The native path of `relative` under the root of "the drive" that the
// program's rooted paths ("\Corvantis\...") name while a TempDir is current
// (on Windows it throws without a test drive).
std::string DrivePath(const std::string& relative);

// Console output and logs are text streams: on Windows "\n" reaches them as
// "\r\n". Gives "\n" line ends there; elsewhere the text as it stands (where
// a carriage return would be a fault to see).
std::string NormalizeLineEnds(const std::string& text);

// What separates the entries of PATH, and ends a program's file name.
#ifdef _WIN32
inline constexpr char kPathListSeparator = ';';
inline constexpr const char* kExecutableSuffix = ".exe";
#else
inline constexpr char kPathListSeparator = ':';
inline constexpr const char* kExecutableSuffix = "";
#endif

// Sets or (with nothing) unsets an environment variable.
void SetEnv(const char* name, const std::optional<std::string>& value);

// Sets an environment variable for the scope (nothing unsets it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value)
      : name(name), previous(platform::GetEnv(name)) { SetEnv(name, value); }
  ~ScopedEnv() { SetEnv(name.c_str(), previous); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name;
  std::optional<std::string> previous;
};

// Runs argv as the program runs its compilers and waits for it.
platform::RunResult RunProgram(const std::vector<std::string>& argv);

// Starts `recorder` (the tests' argv_recorder) in `children` so that it
// lives, a minute at most, until it is killed; its process id, or 0 (and a
// failed test) when it did not tell it within ten seconds.
uint64_t StartLiveProcess(platform::ProcessSet& children, const std::string& recorder,
                          int* child);

struct ProgramRun {
  int exitCode = -1;
  std::string out;  // standard output, line ends normalized
  std::string err;  // standard error, line ends normalized
};

// Runs `program` with `args` in the current directory; a program that does
// not exit normally fails the test.
ProgramRun Run(const std::string& program, const std::vector<std::string>& args);
ProgramRun RunTolscript(const std::vector<std::string>& args);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The lines of `text`, in any order: compilers run side by side.
std::multiset<std::string> LinesOf(const std::string& text);

// Chunk files as the program writes them: a binary chunk is its name, its
// size (little-endian), its body and zero padding to a multiple of 4.
inline std::string Dword(uint32_t value) {
  return {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

inline std::string Chunk(const std::string& id, const std::string& body) {
  return id + Dword(uint32_t(body.size())) + body + std::string((4 - body.size() % 4) % 4, '\0');
}

inline std::string BinaryScriptFile(const std::string& name, const std::string& compiled) {
  return Chunk("ucfb", Chunk("scr_", Chunk("NAME", name + '\0') + Chunk("INFO", "\x01") +
                                         Chunk("BODY", compiled)));
}

// The readable form: every body byte in decimal on a line of its own.
inline std::string TextScriptFile(const std::string& name, const std::string& compiled) {
  std::string body;
  for (unsigned char byte : compiled) body += "\n\t\t\t" + std::to_string(byte);
  return "\nucft\n{\n\tscr_\n\t{\n\t\tNAME\n\t\t{\n\t\t\t\"" + name +
         "\"\n\t\t}\n\t\tINFO\n\t\t{\n\t\t\t1\n\t\t}\n\t\tBODY\n\t\t{" + body + "\n\t\t}\n\t}\n}";
}

// The requirements file holding the group "shot" with `shots`.
inline std::string RequirementsFile(const std::vector<std::string>& shots) {
  std::string body = shots.empty() ? "" : "\n\t\t\"shot\"";
  for (const std::string& shot : shots) body += "\n\t\t\"" + shot + "\"";
  return "\nucft\n{\n\tREQN\n\t{" + body + "\n\t}\n}";
}

// True when a working luac is on PATH.
bool LuacAvailable();
#define REQUIRE_LUAC() \
  if (!::test_support::LuacAvailable()) GTEST_SKIP() << "luac is not on PATH"
// What luac writes for `source` with `options` ({"-s"} or {}).
std::string CompileWithLuac(const std::string& source, const std::vector<std::string>& options);

namespace internal {
// The directory a new TempDir is made in, and the end of one (per OS).
std::string EnterTempParent();
void LeaveTempParent();
}  // namespace internal

}  // namespace test_support
