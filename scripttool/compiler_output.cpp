#include "scripttool/compiler_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/messages.h"
#include "platform/platform.h"

namespace {

// What a reservation holds; other files of such a name are left alone.
constexpr char kMark[] = "tolscript: reserved for the compiler's output\n";

// Deletes `path`; returns 0 when it is gone, else the error number.
int Remove(const std::string& path) {
  errno = 0;
  if (platform::RemoveFile(path)) return 0;
  int error = errno != 0 ? errno : -1;
  return platform::FileExists(path) ? error : 0;
}

bool HoldsTheMark(const std::string& path) {
  FILE* file = platform::OpenStream(path, "rb");
  if (file == nullptr) return false;
  char text[sizeof kMark];
  size_t got = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  return got == sizeof kMark - 1 && std::memcmp(text, kMark, got) == 0;
}

// A reservation that is marked but not locked belongs to a run that
// ended without deleting it. A live run locks its reservation before
// marking it, so none is taken for stale while it is being made; and the
// lock is probed only on marked files, since the probe holds the lock for
// a moment and would keep a run that is just locking its own from it.
void RemoveStaleReservations() {
  for (const platform::DirEntry& entry : platform::ListDirectory("lua??????")) {
    if (entry.isDirectory || !HoldsTheMark(entry.name) || platform::IsLocked(entry.name)) {
      continue;
    }
    Remove(entry.name + ".luac");
    Remove(entry.name);
  }
}

}  // namespace

CompilerOutput::~CompilerOutput() {
  if (!reserved.empty()) {
    int error = Discard();
    if (held != nullptr) std::fclose(held);
    if (int reservationError = Remove(reserved)) error = reservationError;
    if (error != 0) {
      std::printf("Could not delete, res = %d, errno = %d\n", -1, error);
      std::fflush(stdout);
      PrintDebug("Assertion failed: %s\n", "RemoveRes == 0");
    }
  }
  // Looked for again at the end: a run that compiled nothing has not
  // looked at all, and a killed run's process may still have been dying,
  // its reservation still locked, when this one looked first.
  RemoveStaleReservations();
}

std::string CompilerOutput::Path() {
  if (reserved.empty()) {
    std::string name = "luaXXXXXX";
    FILE* created = platform::CreateUniqueFile(name);
    if (created == nullptr) return std::string();
    reserved = name;
    // Unmarked when it cannot be locked: it is then never taken for stale.
    if (platform::LockStream(created)) {
      std::fputs(kMark, created);
      std::fflush(created);
    }
    held = created;
    Discard();  // a killed run may have left one under this name
    RemoveStaleReservations();
  }
  return reserved + ".luac";
}

int CompilerOutput::Discard() { return reserved.empty() ? 0 : Remove(reserved + ".luac"); }
