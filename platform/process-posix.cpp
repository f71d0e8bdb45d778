// The process and the programs it starts, on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "directory_index-posix.h"
#include "path_rules.h"
#include "path_translation-posix.h"
#include "platform.h"

extern char** environ;

namespace platform {
namespace {

std::optional<std::string> CurrentDirectory() {
  std::string buffer(256, '\0');
  while (true) {
    if (getcwd(buffer.data(), buffer.size())) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

bool HasSeparator(const std::string& text) {
  return text.find_first_of("\\/") != std::string::npos;
}

bool IsExecutableFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// Searches PATH the way posix_spawnp does, only to tell a missing program
// apart before starting it: a C library may otherwise report it as a child
// that exits with 127, which would pass for the program's own status.
// Returns 0 with `found` set when found, else the errno the search ends
// with. The program is then started by that path, not searched for again.
int SearchPath(const std::string& program, std::string* found) {
  std::optional<std::string> path = GetEnv("PATH");
  std::string list = path ? *path : "/bin:/usr/bin";
  int result = ENOENT;
  size_t begin = 0;
  while (begin <= list.size()) {
    size_t end = list.find(':', begin);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(begin, end - begin);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) {
      *found = std::move(candidate);
      return 0;
    }
    if (access(candidate.c_str(), F_OK) == 0) result = EACCES;
    begin = end + 1;
  }
  return result;
}

// Opens a redirection target in this process, so that a failure is
// reported here in plain words and not as a child that never ran.
// `native` receives the path opened.
int OpenRedirection(const std::string& path, std::string* native, std::string* error) {
  std::optional<posix::CreationTarget> target = posix::TranslateForCreation(path);
  int fd = -1;
  if (target) {
    bool created = !target->exists && !target->name.empty();
    posix::DirectoryChange change;
    if (created) change = posix::BeginDirectoryChange(target->dir);
    fd = open(target->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd >= 0 && created) posix::CommitNameAdded(change, target->name);
    *native = target->path;
  }
  if (fd < 0) *error = "cannot open " + path + ": " + std::strerror(errno);
  return fd;
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int fd : fds) close(fd);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  std::vector<int> fds;
};

}  // namespace

std::string GetExecutablePath() {
  std::string buffer(256, '\0');
  while (true) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> MakeFullPath(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  if (IsSeparator(path[0]) || (path.size() >= 2 && path[1] == ':')) return path;
  std::optional<std::string> cwd = CurrentDirectory();
  if (!cwd) return std::nullopt;
  if (cwd->empty() || cwd->back() != '/') *cwd += '/';
  return *cwd + path;
}

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

const char* ExecutableSuffix() { return ""; }

char PathListSeparator() { return ':'; }

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec remaining;
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  result.kind = RunResult::Kind::StartFailed;
  if (argv.empty() || argv[0].empty()) {
    result.error = "no program to run";
    return result;
  }
  for (const std::string& argument : argv) {
    if (argument.find('\0') != std::string::npos) {
      result.error = argv[0] + ": an argument holds a NUL character";
      return result;
    }
  }
  std::string program = argv[0];
  int searchError = 0;
  if (HasSeparator(program)) {
    std::optional<std::string> native = posix::TranslatePath(program);
    if (!native) {
      searchError = errno;
    } else {
      program = std::move(*native);
      if (!IsExecutableFile(program)) searchError = access(program.c_str(), F_OK) == 0 ? EACCES : ENOENT;
    }
  } else {
    // The last search is remembered, as a shell does, so that a run that
    // starts the same program thousands of times searches PATH once; the
    // program found is still checked before each start.
    static std::string lastProgram, lastFound;
    static std::optional<std::string> lastPath;
    std::optional<std::string> path = GetEnv("PATH");
    if (program == lastProgram && path == lastPath && IsExecutableFile(lastFound)) {
      program = lastFound;
    } else {
      std::string found;
      searchError = SearchPath(program, &found);
      if (searchError == 0) {
        lastProgram = program;
        lastPath = path;
        lastFound = found;
        program = std::move(found);
      }
    }
  }
  if (searchError != 0) {
    result.error = argv[0] + ": " + std::strerror(searchError);
    return result;
  }

  SpawnSetup setup;
  int stdoutFd = -1;
  std::string stdoutNative;
  if (!options.stdoutPath.empty()) {
    stdoutFd = OpenRedirection(options.stdoutPath, &stdoutNative, &result.error);
    if (stdoutFd < 0) return result;
    setup.fds.push_back(stdoutFd);
    posix_spawn_file_actions_adddup2(&setup.actions, stdoutFd, STDOUT_FILENO);
  }
  if (!options.stderrPath.empty()) {
    int stderrFd = -1;
    std::string stderrNative;
    std::optional<posix::CreationTarget> same;
    if (stdoutFd >= 0) same = posix::TranslateForCreation(options.stderrPath);
    if (same && same->path == stdoutNative) {
      stderrFd = stdoutFd;  // one file, one offset: the two streams interleave
    } else {
      stderrFd = OpenRedirection(options.stderrPath, &stderrNative, &result.error);
      if (stderrFd < 0) return result;
      setup.fds.push_back(stderrFd);
    }
    posix_spawn_file_actions_adddup2(&setup.actions, stderrFd, STDERR_FILENO);
  }
  // The child starts with no blocked signals and the default action for
  // SIGPIPE, whatever this process has set for itself.
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&setup.attributes, &signals);
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&setup.attributes, &signals);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  arguments.push_back(const_cast<char*>(argv[0].c_str()));
  for (size_t i = 1; i < argv.size(); ++i) arguments.push_back(const_cast<char*>(argv[i].c_str()));
  arguments.push_back(nullptr);

  pid_t child = 0;
  int spawnError = posix_spawn(&child, program.c_str(), &setup.actions, &setup.attributes,
                                arguments.data(), environ);
  if (spawnError != 0) {
    result.error = argv[0] + ": " + std::strerror(spawnError);
    return result;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = argv[0] + ": " + std::strerror(errno);
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.kind = RunResult::Kind::Exited;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.kind = RunResult::Kind::Signalled;
    result.exitCode = WTERMSIG(status);
    result.error = argv[0] + ": killed by signal " + std::to_string(result.exitCode);
  } else {
    result.error = argv[0] + ": ended in an unknown way";
  }
  return result;
}

}  // namespace platform
