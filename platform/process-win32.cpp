// The running process and the programs it starts, on Windows.
#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>

#include "command_line.h"
#include "path_rules.h"
#include "system_error-win32.h"

namespace platform {

namespace {

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
  if (name.size() < 4 || !EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".exe")) {
    names.push_back(name + ".exe");
  }
  return names;
}

// The file to start for argv[0]: a name with a directory or drive as it
// stands, any other looked up in the directories of PATH, in order.
std::optional<std::string> FindProgram(const std::string& program) {
  std::vector<std::string> names = ProgramFileNames(program);
  bool hasDirectory = program.find_first_of("\\/") != std::string::npos ||
                      (program.size() >= 2 && program[1] == ':');
  if (hasDirectory) {
    for (const std::string& name : names) {
      if (IsRegularFile(name)) return name;
    }
    return std::nullopt;
  }
  std::optional<std::string> path = GetEnv("PATH");
  if (!path) return std::nullopt;
  size_t begin = 0;
  while (begin <= path->size()) {
    size_t end = path->find(';', begin);
    if (end == std::string::npos) end = path->size();
    std::string directory = path->substr(begin, end - begin);
    begin = end + 1;
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

bool OpenRedirection(const std::string& path, ScopedHandle* handle, std::string* error) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE file = HoldsNul(path)
                    ? INVALID_HANDLE_VALUE
                    : CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot open " + path + ": " +
             SystemErrorMessage(HoldsNul(path) ? ERROR_INVALID_NAME : GetLastError());
    return false;
  }
  handle->Reset(file);
  return true;
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

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (name == nullptr) return;
  // The C runtime keeps its own copy for getenv(); keep it in step. It
  // cannot hold an empty value (it unsets instead), so the system's block,
  // which programs started here receive, is set last.
  _putenv_s(name, value ? value->c_str() : "");
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

const char* ExecutableSuffix() { return ".exe"; }

char PathListSeparator() { return ';'; }

void SleepMilliseconds(int milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  if (argv.empty() || argv[0].empty()) {
    result.error = "no program to run";
    return result;
  }
  for (const std::string& arg : argv) {
    if (HoldsNul(arg)) {
      result.error = argv[0] + ": an argument holds a NUL character";
      return result;
    }
  }
  if (argv[0].find('"') != std::string::npos) {
    result.error = argv[0] + ": " + SystemErrorMessage(ERROR_INVALID_NAME);
    return result;
  }
  std::optional<std::string> program = FindProgram(argv[0]);
  if (!program) {
    result.error = argv[0] + ": " + SystemErrorMessage(ERROR_FILE_NOT_FOUND);
    return result;
  }

  ScopedHandle output;
  ScopedHandle errorOutput;
  ScopedHandle input;
  input.Reset(InheritableCopy(GetStdHandle(STD_INPUT_HANDLE)));
  if (!options.stdoutPath.empty()) {
    if (!OpenRedirection(options.stdoutPath, &output, &result.error)) return result;
  } else {
    output.Reset(InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE)));
  }
  if (!options.stderrPath.empty() && options.stderrPath == options.stdoutPath) {
    // One file for both: one handle, so the two streams do not overwrite
    // each other.
    errorOutput.Reset(InheritableCopy(output.Get()));
  } else if (!options.stderrPath.empty()) {
    if (!OpenRedirection(options.stderrPath, &errorOutput, &result.error)) return result;
  } else {
    errorOutput.Reset(InheritableCopy(GetStdHandle(STD_ERROR_HANDLE)));
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = output.Get();
  startup.hStdError = errorOutput.Get();

  std::string commandLine = QuoteWindowsCommandLine(argv);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program->c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &process)) {
    result.error = argv[0] + ": " + SystemErrorMessage(GetLastError());
    return result;
  }
  CloseHandle(process.hThread);
  // Close this side's copies now, so a redirected file is not held open
  // longer than the child needs it.
  input.Reset();
  output.Reset();
  errorOutput.Reset();

  DWORD exitCode = 0;
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.hProcess, &exitCode)) {
    result.error = argv[0] + ": " + SystemErrorMessage(GetLastError());
    CloseHandle(process.hProcess);
    return result;
  }
  CloseHandle(process.hProcess);
  result.kind = RunResult::Kind::Exited;
  result.exitCode = static_cast<int>(exitCode);
  return result;
}

}  // namespace platform
