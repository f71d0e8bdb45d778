#include "scripttool/compiler_output.h"

#include <cerrno>
#include <cstdio>

#include "output/messages.h"
#include "platform/platform.h"

namespace {

// Deletes `path`; returns 0 when it is gone, else the error number.
int Remove(const std::string& path) {
  errno = 0;
  if (platform::RemoveFile(path)) return 0;
  int error = errno != 0 ? errno : -1;
  return platform::FileExists(path) ? error : 0;
}

}  // namespace

CompilerOutput::~CompilerOutput() {
  if (reserved.empty()) return;
  int error = Discard();
  if (int reservationError = Remove(reserved)) error = reservationError;
  if (error != 0) {
    std::printf("Could not delete, res = %d, errno = %d\n", -1, error);
    std::fflush(stdout);
    PrintDebug("Assertion failed: %s\n", "RemoveRes == 0");
  }
}

std::string CompilerOutput::Path() {
  if (reserved.empty()) {
    std::string name = "luaXXXXXX";
    FILE* created = platform::CreateUniqueFile(name);
    if (created == nullptr) return std::string();
    std::fclose(created);
    reserved = name;
    Discard();  // a killed run may have left one under this name
  }
  return reserved + ".luac";
}

int CompilerOutput::Discard() { return reserved.empty() ? 0 : Remove(reserved + ".luac"); }
