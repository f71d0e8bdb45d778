// The parts of the test helpers that differ on POSIX.
#include "support/test_drive.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/process.h"
#include "support/test_support.h"

namespace test_support {

namespace internal {

std::string EnterTempParent() { return std::filesystem::temp_directory_path().string(); }

void LeaveTempParent() {}

}  // namespace internal

std::string DrivePath(const std::string& relative) {
  return platform::GetEnv("MUNGE_DRIVE_ROOT").value_or("") + "/" + relative;
}

std::string NormalizeLineEnds(const std::string& text) { return text; }

void SetMTime(const std::string& path, int64_t seconds) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot set the time of " + path + ": " + std::strerror(errno));
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace test_support
