// The parts of the test helpers that differ on Windows.
//
// On Windows a path like "\Corvantis\Data\MungeLog.txt" names the root of
// the current drive. A test that let it reach the real system drive would
// write into a real munge log and see those of other tests running at the
// same time, so each test process keeps its temporary directories on a
// drive of its own: one of the pool named by TOLSCRIPT_TEST_DRIVES
// ("K:;L:"), made for the tests by `subst` (under Wine by the drive
// mappings tools/test-windows.sh makes). Each such drive's root holds the
// marker file .tolscript-test-drive; nothing else there is kept.
#include "support/test_drive.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace test_support {

namespace {

constexpr char kPoolVariable[] = "TOLSCRIPT_TEST_DRIVES";
constexpr char kMarker[] = ".tolscript-test-drive";

struct TestDrive {
  std::string root;  // "K:\"; empty without a pool
  int tempDirs = 0;  // TempDirs alive on it
};

std::vector<char> PoolLetters(const std::string& pool) {
  std::vector<char> letters;
  for (const std::string& entry : platform::SplitList(pool, ';')) {
    if (entry.empty()) continue;
    bool letter = (entry[0] >= 'A' && entry[0] <= 'Z') || (entry[0] >= 'a' && entry[0] <= 'z');
    if (entry.size() != 2 || !letter || entry[1] != ':')
      throw std::runtime_error(std::string(kPoolVariable) + ": \"" + entry + "\" is not a drive");
    letters.push_back(static_cast<char>(entry[0] & ~0x20));
  }
  return letters;
}

// A named mutex per drive tells the test processes apart; the system
// releases it when its process ends, also when the process crashes.
TestDrive Claim() {
  std::optional<std::string> pool = platform::GetEnv(kPoolVariable);
  if (!pool || pool->empty()) return {};
  std::vector<char> letters = PoolLetters(*pool);
  if (letters.empty() || letters.size() > MAXIMUM_WAIT_OBJECTS)
    throw std::runtime_error(std::string(kPoolVariable) + " names no usable list of drives");
  std::vector<HANDLE> locks;
  for (char letter : letters) {
    std::string name = std::string("Local\\tolscript-test-drive-") + letter;
    HANDLE lock = CreateMutexA(nullptr, FALSE, name.c_str());
    if (lock == nullptr) throw std::runtime_error("cannot make the mutex " + name);
    locks.push_back(lock);
  }
  // When every drive is taken, wait for the first that comes free.
  DWORD got = WaitForMultipleObjects(static_cast<DWORD>(locks.size()), locks.data(), FALSE,
                                     INFINITE);
  size_t index = locks.size();
  if (got - WAIT_OBJECT_0 < locks.size()) {
    index = got - WAIT_OBJECT_0;
  } else if (got - WAIT_ABANDONED_0 < locks.size()) {
    index = got - WAIT_ABANDONED_0;  // its last holder ended without letting go
  }
  for (size_t i = 0; i < locks.size(); ++i)
    if (i != index) CloseHandle(locks[i]);
  if (index == locks.size()) throw std::runtime_error("cannot wait for a test drive");
  // The mutex stays held by this thread until the process ends.
  TestDrive drive;
  drive.root = std::string(1, letters[index]) + ":\\";
  if (!platform::FileExists(drive.root + kMarker))
    throw std::runtime_error(drive.root + " is not a test drive: its root has no " + kMarker);
  return drive;
}

TestDrive& Drive() {
  static TestDrive drive = Claim();
  return drive;
}

// Whatever an earlier test left at the root would show through the
// program's rooted paths.
void EmptyRoot(const std::string& root) {
  std::error_code error;
  std::vector<fs::path> leftovers;
  for (auto it = fs::directory_iterator(root, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (it->path().filename() != kMarker) leftovers.push_back(it->path());
  }
  if (error) throw std::runtime_error("cannot list " + root + ": " + error.message());
  for (const fs::path& leftover : leftovers) {
    for (auto it = fs::recursive_directory_iterator(leftover, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::permissions(leftover, fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove_all(leftover, error);
    if (error) throw std::runtime_error("cannot remove " + leftover.string() + ": " + error.message());
  }
}

}  // namespace

namespace internal {

std::string EnterTempParent() {
  TestDrive& drive = Drive();
  if (drive.root.empty()) return fs::temp_directory_path().string();
  if (drive.tempDirs == 0) EmptyRoot(drive.root);
  ++drive.tempDirs;
  return drive.root;
}

void LeaveTempParent() {
  TestDrive& drive = Drive();
  if (drive.root.empty() || drive.tempDirs == 0) return;
  if (--drive.tempDirs == 0) {
    try {
      EmptyRoot(drive.root);
    } catch (const std::exception&) {
      // The next test on this drive empties it before it starts.
    }
  }
}

}  // namespace internal

std::string DrivePath(const std::string& relative) {
  TestDrive& drive = Drive();
  if (drive.root.empty() || drive.tempDirs == 0) {
    throw std::runtime_error(std::string("rooted paths reach the system's own drive here; set ") +
                             kPoolVariable + " to drives of the tests' own, as " +
                             "tools/test-windows.sh does, and use a TempDir");
  }
  return drive.root + relative;
}

std::string NormalizeLineEnds(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  }
  return lines;
}

void SetMTime(const std::string& path, int64_t seconds) {
  // FILETIME counts 100 ns ticks from 1601.
  constexpr int64_t kTicksPerSecond = 10000000, kEpochOffset = 11644473600;
  uint64_t ticks = static_cast<uint64_t>(seconds + kEpochOffset) * kTicksPerSecond;
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
  // The C runtime keeps its own copy for getenv(); keep it in step. It
  // cannot hold an empty value (it unsets instead), so the system's block,
  // which programs started here receive, is set last.
  _putenv_s(name, value ? value->c_str() : "");
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

}  // namespace test_support
