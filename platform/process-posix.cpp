// The process and the programs it starts, on POSIX.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "native_names-posix.h"
#include "path_rules.h"
#include "process.h"
#include "process_set.h"

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
  for (const std::string& dir : SplitList(list, ':')) {
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) {
      *found = std::move(candidate);
      return 0;
    }
    if (access(candidate.c_str(), F_OK) == 0) result = EACCES;
  }
  return result;
}

// The file to start for argv[0]: a name with a separator translated, any
// other searched on PATH. Returns 0, or the errno that says why not.
int ResolveProgram(const std::string& name, std::string* program) {
  if (!HasSeparator(name)) return SearchPath(name, program);
  std::optional<std::string> native = posix::TranslatePath(name);
  if (!native) return errno;
  *program = std::move(*native);
  if (IsExecutableFile(*program)) return 0;
  return access(program->c_str(), F_OK) == 0 ? EACCES : ENOENT;
}

// The write ends of a child's output pipes, closed here once it started.
struct PipeEnds {
  int fds[2] = {-1, -1};
  ~PipeEnds() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
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
  if (IsSeparator(path[0]) || HasDrive(path)) return path;
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

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec remaining;
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR && !Interrupted()) {
  }
}

namespace {

// Sends a record to the keeper: +pid when a child's group starts, -pid
// once it was reaped. False when the keeper has gone; that must not end or
// interrupt the run, hence a socket, which can say so without a SIGPIPE.
bool TellKeeper(int keeper, int32_t record) {
  ssize_t sent;
  do {
    sent = send(keeper, &record, sizeof record, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == sizeof record;
}

// What the child does between its start and the program: only system
// calls, since it runs in this process's memory (vfork) until then. It
// starts with no blocked signals and the default action for SIGPIPE and
// the interrupts, in a process group of its own, and dies with this
// process, so that a killed run leaves no compiler behind to make a file.
// Its group is listed with the keeper before the program runs, so that a
// kill -9 of the run at any time finds it there.
[[noreturn]] void BecomeChild(const char* program, char* const* arguments, const int* outputs,
                              int keeper, pid_t parent, volatile int* execError) {
  struct sigaction action {};
  setpgid(0, 0);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  if (getppid() != parent) _exit(127);
  if (keeper >= 0) {
    int32_t record = getpid();
    ssize_t ignored = send(keeper, &record, sizeof record, MSG_NOSIGNAL);
    (void)ignored;
  }
  action.sa_handler = SIG_DFL;
  for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  if (dup2(outputs[0], STDOUT_FILENO) < 0 || dup2(outputs[1], STDERR_FILENO) < 0) {
    *execError = errno;
    _exit(127);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(program, arguments, environ);
  *execError = errno;
  _exit(127);
}

// Returns 0, or the errno that says why the program could not be started.
int Spawn(const std::string& program, const std::vector<std::string>& argv, const int* outputs,
          int keeper, pid_t* child) {
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  // No handler of this process may run in the child.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  volatile int execError = 0;
  pid_t parent = static_cast<pid_t>(CurrentProcessId());
  pid_t pid = vfork();
  if (pid == 0)
    BecomeChild(program.c_str(), arguments.data(), outputs, keeper, parent, &execError);
  int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (pid < 0) return forkError;
  if (execError != 0) {
    waitpid(pid, nullptr, 0);
    if (keeper >= 0) TellKeeper(keeper, -pid);
    return execError;
  }
  *child = pid;
  return 0;
}

// Errors that say the system is short of something that an ending child
// gives back.
bool IsShortage(int error) {
  return error == EMFILE || error == ENFILE || error == EAGAIN || error == ENOMEM;
}

// The most children a set runs at once: more would not be faster, and the
// keeper's table is made for them before it starts.
constexpr size_t kMostChildren = 4096;

// Closes every descriptor but `keep`, below `fdLimit` where the system
// cannot close a range.
void CloseAllBut(int keep, int fdLimit) {
#ifdef SYS_close_range
  if ((keep == 0 || syscall(SYS_close_range, 0u, static_cast<unsigned>(keep - 1), 0u) == 0) &&
      syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0u, 0u) == 0) {
    return;
  }
#endif
  for (int fd = 0; fd < fdLimit; ++fd) {
    if (fd != keep) close(fd);
  }
}

// The keeper: a process of its own that lists the process groups of the
// running children from the records the run writes to `records` (+pid when
// one starts, -pid once it was reaped) and, when the run has gone (the
// pipe's end, also after a kill -9), kills each group still listed. Only
// async-signal-safe calls, into a table made before the fork: the run may
// have threads. Interrupts from the terminal must not end it first.
[[noreturn]] void KeepWatch(int records, pid_t* groups, int fdLimit) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &ignore, nullptr);
  setpgid(0, 0);  // a kill of the run's group leaves it to do its job
  CloseAllBut(records, fdLimit);
  size_t listed = 0;
  int32_t batch[256];
  for (;;) {
    ssize_t got = read(records, batch, sizeof batch);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    // Records are written whole (atomic pipe writes), so a read holds
    // whole records.
    for (size_t k = 0; k < static_cast<size_t>(got) / sizeof batch[0]; ++k) {
      if (batch[k] > 0) {
        if (listed < kMostChildren) groups[listed++] = batch[k];
        continue;
      }
      for (size_t i = 0; i < listed; ++i) {
        if (groups[i] != -batch[k]) continue;
        groups[i] = groups[--listed];
        break;
      }
    }
    // Batches of records, not a wake-up for each; the pipe holds thousands.
    timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  for (size_t i = 0; i < listed; ++i) kill(-groups[i], SIGKILL);
  _exit(0);
}

void Reap(pid_t child, const std::string& name, RunResult* result) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      result->error = name + ": " + std::strerror(errno);
      return;
    }
  }
  if (WIFEXITED(status)) {
    result->kind = RunResult::Kind::Exited;
    result->exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result->kind = RunResult::Kind::Signalled;
    result->exitCode = WTERMSIG(status);
    result->error = name + ": killed by signal " + std::to_string(result->exitCode);
  } else {
    result->error = name + ": ended in an unknown way";
  }
}

// Interrupts are noted here and written to a pipe that the waits watch, so
// one that comes just before a wait still ends it.
volatile sig_atomic_t interruptSignal = 0;
int interruptPipe[2] = {-1, -1};

void NoteInterrupt(int signal) {
  int savedErrno = errno;
  if (interruptSignal == 0) interruptSignal = signal;
  if (interruptPipe[1] >= 0) {
    ssize_t ignored = write(interruptPipe[1], "!", 1);
    (void)ignored;
  }
  errno = savedErrno;
}

}  // namespace

struct ProcessSet::Impl {
  struct Child {
    pid_t pid = 0;
    std::string name;
    int fds[2] = {-1, -1};  // read ends of standard output and error; -1 at their end
    std::string bytes[2];
    bool ended = false;
    bool told = false;  // WaitForAny has returned it
    RunResult result;
  };

  pid_t keeper = -1;    // lists the running children's groups
  int keeperPipe = -1;  // its records' write end

  // Starts the keeper unless it runs; false with errno set when it cannot.
  bool StartKeeper() {
    if (keeper > 0) return true;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    std::vector<pid_t> table(kMostChildren);  // the keeper may not allocate
    rlimit files;
    int fdLimit = 65536;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
      fdLimit = static_cast<int>(std::min<rlim_t>(files.rlim_cur, INT_MAX));
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t pid = fork();
    if (pid == 0) KeepWatch(ends[0], table.data(), fdLimit);
    int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(ends[0]);
    if (pid < 0) {
      close(ends[1]);
      errno = forkError;
      return false;
    }
    setpgid(pid, pid);  // also here, so that no kill of this group comes first
    keeper = pid;
    keeperPipe = ends[1];
    return true;
  }

  // A keeper that was killed is let go.
  void Tell(int32_t record) {
    if (keeperPipe < 0 || TellKeeper(keeperPipe, record)) return;
    close(keeperPipe);
    keeperPipe = -1;
  }

  std::vector<std::unique_ptr<Child>> children;  // indexed by number; null when forgotten

  // A child that ended but was not returned yet, or -1.
  int Untold() {
    for (size_t i = 0; i < children.size(); ++i) {
      if (children[i] && children[i]->ended && !children[i]->told) {
        children[i]->told = true;
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  static void CloseFds(Child& child) {
    for (int& fd : child.fds) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
  }
  // One read of a pipe that poll found ready, so it cannot wait; closes the
  // pipe at its end.
  static void Drain(Child& child, int which) {
    char buffer[65536];
    ssize_t got = read(child.fds[which], buffer, sizeof buffer);
    if (got > 0) {
      child.bytes[which].append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      close(child.fds[which]);
      child.fds[which] = -1;
    }
  }
  // Once both pipes are at their end the child has ended, or is about to.
  void FinishIfDone(Child& child) {
    if (child.ended || child.fds[0] >= 0 || child.fds[1] >= 0) return;
    Reap(child.pid, child.name, &child.result);
    Tell(-child.pid);
    child.result.output = std::move(child.bytes[0]);
    child.result.errorOutput = std::move(child.bytes[1]);
    child.ended = true;
  }
};

ProcessSet::ProcessSet() : impl(std::make_unique<Impl>()) {}

ProcessSet::~ProcessSet() {
  for (size_t i = 0; i < impl->children.size(); ++i) {
    if (impl->children[i]) Kill(static_cast<int>(i));
  }
  // The keeper has nothing left to kill and ends with its pipe.
  if (impl->keeperPipe >= 0) close(impl->keeperPipe);
  while (impl->keeper > 0 && waitpid(impl->keeper, nullptr, 0) < 0 && errno == EINTR) {
  }
}

int ProcessSet::Start(const std::vector<std::string>& argv, RunResult* failure,
                      const std::string& makes, const std::string& file) {
  if (!CheckArguments(argv, failure)) return -1;
  std::string program = file;
  if (int searchError = program.empty() ? ResolveProgram(argv[0], &program) : 0) {
    failure->error = argv[0] + ": " + std::strerror(searchError);
    return -1;
  }
  auto child = std::make_unique<Impl::Child>();
  child->name = argv[0];
  auto fail = [&](int error) {
    failure->error = argv[0] + ": " + std::strerror(error);
    failure->shortOfResources = Running() > 0 && IsShortage(error);
    Impl::CloseFds(*child);
    return -1;
  };
  if (Running() >= kMostChildren) return fail(EAGAIN);
  if (!impl->StartKeeper()) return fail(errno);
  PipeEnds writeEnds;
  for (int which = 0; which < 2; ++which) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return fail(errno);
    child->fds[which] = ends[0];
    writeEnds.fds[which] = ends[1];
    // Clear of the standard descriptors, which the child's are copied onto.
    if (ends[1] <= STDERR_FILENO) {
      writeEnds.fds[which] = fcntl(ends[1], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
      int dupError = errno;
      close(ends[1]);
      if (writeEnds.fds[which] < 0) return fail(dupError);
    }
  }
  // Known to the run, so that removing the file is not passed over.
  if (!makes.empty()) posix::NoteChildFile(makes);
  if (int spawnError = Spawn(program, argv, writeEnds.fds, impl->keeperPipe, &child->pid))
    return fail(spawnError);
  return AddChild(impl->children, std::move(child));
}

int ProcessSet::WaitForAny() {
  for (;;) {
    if (int ended = impl->Untold(); ended >= 0) return ended;
    std::vector<pollfd> watched;
    std::vector<std::pair<size_t, int>> owners;
    for (size_t i = 0; i < impl->children.size(); ++i) {
      Impl::Child* child = impl->children[i].get();
      if (!child || child->ended) continue;
      for (int which = 0; which < 2; ++which) {
        if (child->fds[which] < 0) continue;
        watched.push_back({child->fds[which], POLLIN, 0});
        owners.emplace_back(i, which);
      }
    }
    if (watched.empty() || interruptSignal != 0) return -1;
    if (interruptPipe[0] >= 0) watched.push_back({interruptPipe[0], POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (interruptSignal != 0) return -1;
    for (size_t k = 0; k < owners.size(); ++k) {
      if (watched[k].revents == 0) continue;
      Impl::Child& child = *impl->children[owners[k].first];
      Impl::Drain(child, owners[k].second);
      impl->FinishIfDone(child);
    }
  }
}

RunResult ProcessSet::Take(int child) { return TakeResult(impl->children, child); }

void ProcessSet::Kill(int number) {
  std::unique_ptr<Impl::Child> child = std::move(impl->children[static_cast<size_t>(number)]);
  if (!child) return;
  Impl::CloseFds(*child);
  if (!child->ended) {
    // Its group, with all it started; the leader too, should it have left
    // the group. Until it is reaped its number names nothing else.
    kill(-child->pid, SIGKILL);
    kill(child->pid, SIGKILL);
    RunResult ignored;
    Reap(child->pid, child->name, &ignored);
    impl->Tell(-child->pid);
  }
}

size_t ProcessSet::Running() const { return CountRunning(impl->children); }

int ChildProcessLimit() {
  // Each running child holds the read ends of its two pipes here; the run
  // keeps room for its logs, outputs, listings, own pipes and the folders
  // it looks into.
  constexpr rlim_t kReserve = 40;
  rlim_t most = kMostChildren;
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    most = std::min(most, limit.rlim_cur > kReserve ? (limit.rlim_cur - kReserve) / 2 : 0);
  // The run and its keeper count as processes too.
  if (getrlimit(RLIMIT_NPROC, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    most = std::min(most, limit.rlim_cur > 2 ? limit.rlim_cur - 2 : 0);
  return static_cast<int>(std::max<rlim_t>(most, 1));
}

void CatchInterrupts() {
  if (interruptPipe[0] < 0 && pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    interruptPipe[0] = interruptPipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  action.sa_flags = SA_RESTART;  // waits and sleeps still see EINTR
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // Where SIGPIPE was ignored, NoteOutputError sees the reader gone.
  struct sigaction previous {};
  if (sigaction(SIGPIPE, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
    sigaction(SIGPIPE, &action, nullptr);
}

void NoteOutputError(int error) {
  if (error == EPIPE) NoteInterrupt(SIGPIPE);
}

bool Interrupted() { return interruptSignal != 0; }

void ExitInterrupted() {
  int signal = interruptSignal != 0 ? interruptSignal : SIGINT;
  std::signal(signal, SIG_DFL);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal);
  _exit(128 + signal);
}

void WriteRaw(FILE* stream, const std::string& bytes) {
  errno = 0;
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  if (std::fflush(stream) != 0 || std::ferror(stream)) NoteOutputError(errno);
}

std::optional<std::string> FindProgram(const std::string& program) {
  std::string found;
  if (program.empty() || ResolveProgram(program, &found) != 0) return std::nullopt;
  return found;
}

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

uint64_t CurrentProcessId() {
  // Asked for every temporary name; a process keeps its id.
  static const uint64_t id = static_cast<uint64_t>(getpid());
  return id;
}

bool ProcessIsAlive(uint64_t pid) {
  // 0 and what does not fit would name process groups to kill().
  pid_t process = static_cast<pid_t>(pid);
  if (process <= 0 || static_cast<uint64_t>(process) != pid) return false;
  return kill(process, 0) == 0 || errno == EPERM;
}

}  // namespace platform
