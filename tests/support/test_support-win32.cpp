// The parts of the test helpers that differ on Windows. A rooted path
// ("\Corvantis\Data\MungeLog.txt") names the root of the current drive; a
// test that let it reach the real drive would write a real munge log and
// see those of tests running beside it. So each test process keeps its
// temporary directories on a drive of its own from the pool that
// TOLSCRIPT_TEST_DRIVES names (tools/test-windows.sh makes them).
#include <regex>
#include <stdexcept>

#include "platform/path_rules.h"
#include "support/test_support.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace test_support {

namespace {

constexpr char kMarker[] = ".tolscript-test-drive";

// The process holds its drive by keeping the drive's marker file open
// without sharing; the system lets go of it when the process ends, also
// when it crashes. "" without a pool.
std::string ClaimDrive() {
  std::vector<std::string> drives =
      platform::SplitList(platform::GetEnv("TOLSCRIPT_TEST_DRIVES").value_or(""), ';');
  std::erase(drives, "");
  for (; !drives.empty(); Sleep(50)) {  // all taken: wait for one to come free
    for (const std::string& drive : drives) {
      HANDLE marker = CreateFileA((drive + "\\" + kMarker).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      if (marker != INVALID_HANDLE_VALUE) return drive + "\\";
      if (GetLastError() != ERROR_SHARING_VIOLATION)
        throw std::runtime_error(drive + " is not a test drive: its root has no " + kMarker);
    }
  }
  return "";
}

const std::string& DriveRoot() {
  static const std::string root = ClaimDrive();  // held until the process ends
  return root;
}

int tempDirs = 0;  // alive on the drive

}  // namespace

// The first TempDir of a nesting empties the drive's root: what an earlier
// test left there would show through the program's rooted paths.
std::string internal::EnterTempParent() {
  if (DriveRoot().empty()) return fs::temp_directory_path().string();
  if (tempDirs == 0) {
    for (const fs::directory_entry& entry : fs::directory_iterator(DriveRoot()))
      if (entry.path().filename() != kMarker) fs::remove_all(entry.path());
  }
  ++tempDirs;
  return DriveRoot();
}

void internal::LeaveTempParent() {
  if (tempDirs > 0) --tempDirs;
}

std::string DrivePath(const std::string& relative) {
  if (DriveRoot().empty() || tempDirs == 0)
    throw std::runtime_error("rooted paths reach the system's own drive: no TempDir on a test drive");
  return DriveRoot() + relative;
}

std::string NormalizeLineEnds(const std::string& text) {
  return std::regex_replace(text, std::regex("\r\n"), "\n");
}

void SetMTimeNs(const std::string& path, int64_t nanoseconds) {
  // FILETIME counts 100 ns ticks from 1601.
  uint64_t ticks = static_cast<uint64_t>(nanoseconds / 100) + 11644473600ull * 10000000;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  // Backup semantics let the same call open a directory.
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool done = file != INVALID_HANDLE_VALUE && ::SetFileTime(file, nullptr, &time, &time);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!done) throw std::runtime_error("cannot set the time of " + path);
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  // The C runtime keeps its own copy for getenv(), which cannot hold an
  // empty value; the system's block, which children receive, is set last.
  _putenv_s(name, value ? value->c_str() : "");
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

}  // namespace test_support
