// The parts of the test helpers that differ on POSIX.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/test_support.h"

namespace test_support {

std::string internal::EnterTempParent() {
  return std::filesystem::temp_directory_path().string();
}

void internal::LeaveTempParent() {}

std::string DrivePath(const std::string& relative) {
  return platform::GetEnv("MUNGE_DRIVE_ROOT").value_or("") + "/" + relative;
}

std::string NormalizeLineEnds(const std::string& text) { return text; }

void SetMTimeNs(const std::string& path, int64_t nanoseconds) {
  timespec time{static_cast<time_t>(nanoseconds / 1000000000),
                static_cast<long>(nanoseconds % 1000000000)};
  timespec times[2] = {time, time};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot set the time of " + path + ": " + std::strerror(errno));
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

}  // namespace test_support
