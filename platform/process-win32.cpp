// The running process and the programs it starts, on Windows.
#include "platform.h"
#include "process.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "command_line.h"
#include "path_rules.h"
#include "process_set.h"
#include "system_error-win32.h"

namespace platform {

namespace {

HANDLE interruptEvent = nullptr;   // set when an interrupt came
HANDLE cleanedUpEvent = nullptr;   // set when the process is about to end
volatile LONG interruptKind = -1;
// The kind noted when a reader of the output has gone.
constexpr LONG kOutputClosed = 0x100;

// Errors that say the system is short of something that an ending child
// gives back.
bool IsShortage(DWORD error) {
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
         error == ERROR_NO_SYSTEM_RESOURCES || error == ERROR_COMMITMENT_LIMIT ||
         error == ERROR_NOT_ENOUGH_QUOTA || error == ERROR_TOO_MANY_OPEN_FILES;
}

bool HoldsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

bool IsRegularFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The names to try for a program: the name as given when it has an
// extension, and the name with ".exe" unless it ends in it already (so
// "lua5.1" finds "lua5.1.exe").
std::vector<std::string> ProgramFileNames(const std::string& name) {
  std::vector<std::string> names;
  if (!SplitPath(name).ext.empty()) names.push_back(name);
  if (name.size() < 4 ||
      !EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".exe")) {
    names.push_back(name + ".exe");
  }
  return names;
}

// The file to start for argv[0]: a name with a directory or drive as it
// stands, any other looked up in the directories of PATH, in order.
std::optional<std::string> FindProgramFile(const std::string& program) {
  std::vector<std::string> names = ProgramFileNames(program);
  bool hasDirectory = program.find_first_of("\\/") != std::string::npos ||
                      HasDrive(program);
  if (hasDirectory) {
    for (const std::string& name : names) {
      if (IsRegularFile(name)) return name;
    }
    return std::nullopt;
  }
  std::optional<std::string> path = GetEnv("PATH");
  if (!path) return std::nullopt;
  for (std::string directory : SplitList(*path, ';')) {
    // Entries may be quoted, as the command interpreter allows.
    if (directory.size() >= 2 && directory.front() == '"' && directory.back() == '"') {
      directory = directory.substr(1, directory.size() - 2);
    }
    if (directory.empty()) continue;
    if (!IsSeparator(directory.back()) && directory.back() != ':') directory += '\\';
    for (const std::string& name : names) {
      if (IsRegularFile(directory + name)) return directory + name;
    }
  }
  return std::nullopt;
}

// A handle closed at the end of the scope.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE Get() const { return handle; }
  void Reset(HANDLE value = nullptr) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = value;
  }

 private:
  HANDLE handle = nullptr;
};

// The child gets its standard handles through STARTF_USESTDHANDLES, so
// also those it shares with this process must be inheritable copies.
HANDLE InheritableCopy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

std::string GetExecutablePath() {
  std::string buffer(MAX_PATH, '\0');
  // The name is cut to fit when the buffer is too small: grow until it fits.
  while (buffer.size() <= (1u << 20)) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string();
}

std::optional<std::string> MakeFullPath(const std::string& path) {
  if (path.empty() || HoldsNul(path)) return std::nullopt;
  DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  // The current directory can change between the calls; try again then.
  for (int attempt = 0; attempt < 4 && size != 0; ++attempt) {
    std::string full(size, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
    if (length == 0) break;
    if (length < size) {
      full.resize(length);
      return full;
    }
    size = length;
  }
  return std::nullopt;
}

std::optional<std::string> GetEnv(const char* name) {
  if (name == nullptr) return std::nullopt;
  std::string value(256, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      // Zero is also the length of a value that is set but empty.
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size needed, with the terminating NUL
  }
}

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  // An interrupt cuts the pause short.
  if (interruptEvent != nullptr) {
    WaitForSingleObject(interruptEvent, static_cast<DWORD>(milliseconds));
  } else {
    Sleep(static_cast<DWORD>(milliseconds));
  }
}

namespace {

BOOL WINAPI NoteInterrupt(DWORD kind) {
  InterlockedCompareExchange(&interruptKind, static_cast<LONG>(kind), -1);
  if (interruptEvent != nullptr) SetEvent(interruptEvent);
  // Windows ends the process when this returns after a console close,
  // logoff or shutdown: give the run time to stop its children and clean
  // up first.
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && cleanedUpEvent != nullptr) {
    WaitForSingleObject(cleanedUpEvent, 4000);
  }
  return TRUE;
}

struct PipeReader {
  HANDLE pipe = nullptr;
  HANDLE thread = nullptr;
  std::string bytes;
};

DWORD WINAPI ReadUntilEnd(void* parameter) {
  PipeReader* reader = static_cast<PipeReader*>(parameter);
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    reader->bytes.append(buffer, got);
  }
  return 0;
}

}  // namespace

struct ProcessSet::Impl {
  struct Child {
    HANDLE process = nullptr;
    std::string name;
    PipeReader readers[2];
    bool ended = false;
    RunResult result;
  };
  std::vector<std::unique_ptr<Child>> children;  // indexed by number; null when forgotten
  HANDLE job = nullptr;  // ends the children when this process ends, however

  // Waits for the readers (they end with the last writer) and closes all.
  static void Close(Child& child) {
    for (PipeReader& reader : child.readers) {
      if (reader.thread != nullptr) {
        WaitForSingleObject(reader.thread, INFINITE);
        CloseHandle(reader.thread);
      }
      if (reader.pipe != nullptr) CloseHandle(reader.pipe);
      reader.thread = reader.pipe = nullptr;
    }
    if (child.process != nullptr) CloseHandle(child.process);
    child.process = nullptr;
  }
  void Finish(Child& child) {
    WaitForSingleObject(child.process, INFINITE);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(child.process, &exitCode)) {
      child.result.kind = RunResult::Kind::Exited;
      child.result.exitCode = static_cast<int>(exitCode);
    } else {
      child.result.error = child.name + ": " + SystemErrorMessage(GetLastError());
    }
    Close(child);
    child.result.output = std::move(child.readers[0].bytes);
    child.result.errorOutput = std::move(child.readers[1].bytes);
    child.ended = true;
  }
};

ProcessSet::ProcessSet() : impl(std::make_unique<Impl>()) {
  impl->job = CreateJobObjectA(nullptr, nullptr);
  if (impl->job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(impl->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
}

ProcessSet::~ProcessSet() {
  for (size_t i = 0; i < impl->children.size(); ++i) {
    if (impl->children[i]) Kill(static_cast<int>(i));
  }
  if (impl->job != nullptr) CloseHandle(impl->job);
}

int ProcessSet::Start(const std::vector<std::string>& argv, RunResult* failure,
                      const std::string&, const std::string& file) {
  if (!CheckArguments(argv, failure)) return -1;
  std::optional<std::string> program = file;
  if (file.empty())
    program = argv[0].find('"') == std::string::npos ? FindProgramFile(argv[0]) : std::nullopt;
  if (!program) {
    failure->error = argv[0] + ": " + SystemErrorMessage(ERROR_FILE_NOT_FOUND);
    return -1;
  }
  auto child = std::make_unique<Impl::Child>();
  child->name = argv[0];
  auto fail = [&](DWORD error) {
    failure->error = argv[0] + ": " + SystemErrorMessage(error);
    failure->shortOfResources = Running() > 0 && IsShortage(error);
    Impl::Close(*child);
    return -1;
  };
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  ScopedHandle writeEnds[2];
  for (int which = 0; which < 2; ++which) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return fail(GetLastError());
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    child->readers[which].pipe = readEnd;
    writeEnds[which].Reset(writeEnd);
  }
  ScopedHandle input;
  input.Reset(InheritableCopy(GetStdHandle(STD_INPUT_HANDLE)));
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = writeEnds[0].Get();
  startup.hStdError = writeEnds[1].Get();

  std::string commandLine = QuoteWindowsCommandLine(argv);
  PROCESS_INFORMATION process{};
  // Suspended until it is in the job; a group of its own keeps a Ctrl+C
  // from reaching it other than through this process.
  if (!CreateProcessA(program->c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                      &process)) {
    return fail(GetLastError());
  }
  if (impl->job != nullptr) AssignProcessToJobObject(impl->job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  child->process = process.hProcess;
  // Only the child holds the write ends now, so the readers end with it.
  writeEnds[0].Reset();
  writeEnds[1].Reset();
  input.Reset();
  for (PipeReader& reader : child->readers) {
    reader.thread = CreateThread(nullptr, 0, ReadUntilEnd, &reader, 0, nullptr);
    if (reader.thread == nullptr) {
      DWORD error = GetLastError();
      TerminateProcess(child->process, 1);
      return fail(error);
    }
  }
  return AddChild(impl->children, std::move(child));
}

int ProcessSet::WaitForAny() {
  for (;;) {
    if (Interrupted()) return -1;
    std::vector<HANDLE> handles;
    std::vector<size_t> owners;
    for (size_t i = 0; i < impl->children.size(); ++i) {
      Impl::Child* child = impl->children[i].get();
      if (!child || child->ended) continue;
      handles.push_back(child->process);
      owners.push_back(i);
    }
    if (handles.empty()) return -1;
    // One wait takes at most 64 handles: with more children, look at them
    // in turns.
    for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS - 1) {
      std::vector<HANDLE> group(
          handles.begin() + static_cast<ptrdiff_t>(first),
          handles.begin() +
              static_cast<ptrdiff_t>(std::min(handles.size(), first + MAXIMUM_WAIT_OBJECTS - 1)));
      size_t count = group.size();
      if (interruptEvent != nullptr) group.push_back(interruptEvent);
      DWORD wait = handles.size() < MAXIMUM_WAIT_OBJECTS ? INFINITE : 10;
      DWORD signalled = WaitForMultipleObjects(static_cast<DWORD>(group.size()), group.data(),
                                               FALSE, wait);
      if (signalled == WAIT_TIMEOUT) continue;
      if (signalled == WAIT_FAILED) return -1;
      size_t index = signalled - WAIT_OBJECT_0;
      if (index >= count) return -1;  // the interrupt
      size_t owner = owners[first + index];
      impl->Finish(*impl->children[owner]);
      return static_cast<int>(owner);
    }
  }
}

RunResult ProcessSet::Take(int child) { return TakeResult(impl->children, child); }

void ProcessSet::Kill(int number) {
  std::unique_ptr<Impl::Child> child = std::move(impl->children[static_cast<size_t>(number)]);
  if (!child) return;
  if (!child->ended && child->process != nullptr) {
    TerminateProcess(child->process, 1);
    WaitForSingleObject(child->process, INFINITE);
  }
  Impl::Close(*child);
}

size_t ProcessSet::Running() const { return CountRunning(impl->children); }

// Handles are plenty on Windows; each child costs two reading threads.
int ChildProcessLimit() { return 256; }

void CatchInterrupts() {
  if (interruptEvent == nullptr) interruptEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (cleanedUpEvent == nullptr) cleanedUpEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(NoteInterrupt, TRUE);
}

void NoteOutputError(int error) {
  DWORD systemError = GetLastError();
  if (error != EPIPE && systemError != ERROR_NO_DATA && systemError != ERROR_BROKEN_PIPE) return;
  InterlockedCompareExchange(&interruptKind, kOutputClosed, -1);
  if (interruptEvent != nullptr) SetEvent(interruptEvent);
}

bool Interrupted() { return interruptKind != -1; }

void ExitInterrupted() {
  if (cleanedUpEvent != nullptr) SetEvent(cleanedUpEvent);
  std::fflush(nullptr);
  ExitProcess(0xC000013A);  // what a process that Ctrl+C ended reports
}

void WriteRaw(FILE* stream, const std::string& bytes) {
  std::fflush(stream);
  int fd = _fileno(stream);
  int mode = _setmode(fd, _O_BINARY);
  size_t done = 0;
  while (done < bytes.size()) {
    int chunk = static_cast<int>(std::min<size_t>(bytes.size() - done, 1 << 20));
    int wrote = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
    if (wrote <= 0) {
      NoteOutputError(errno);
      break;
    }
    done += static_cast<size_t>(wrote);
  }
  if (mode != -1) _setmode(fd, mode);
}

std::optional<std::string> FindProgram(const std::string& program) {
  if (program.empty() || program.find('"') != std::string::npos) return std::nullopt;
  return FindProgramFile(program);
}

int ProcessorCount() {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  int count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) {
    for (; processMask != 0; processMask &= processMask - 1) ++count;
  }
  return count > 0 ? count : 1;
}

uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessIsAlive(uint64_t pid) {
  if (pid == 0 || pid > MAXDWORD) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  // A handle may outlive its process: only one still running counts.
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace platform
