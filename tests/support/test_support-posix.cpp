// The parts of the test helpers that differ on POSIX.
#include "support/test_drive.h"

#include <filesystem>

#include "platform/platform.h"
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

}  // namespace test_support
