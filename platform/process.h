// The running process, its environment, the programs it starts (several
// at once), and the interrupts that stop a run.
//
// Each child's standard output and error go into pipes that are read while
// the run waits, so a child never blocks on a full pipe and what it printed
// can be shown later, whole and in the order the caller chooses. Children
// run in a process group of their own: a Ctrl+C at the terminal reaches
// them only through this process, which then stops them with everything
// they started.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Full path of the running program, as the system reports it.
std::string GetExecutablePath();

// The full path of `path`: an absolute path as it stands, a relative one
// joined to the current directory. Nothing when it cannot be made.
std::optional<std::string> MakeFullPath(const std::string& path);

// Environment lookup that tells "unset" (nothing) from "set to empty".
std::optional<std::string> GetEnv(const char* name);

void SleepMilliseconds(int milliseconds);

struct RunResult {
  enum class Kind {
    Exited,        // `exitCode` holds the program's exit status
    Signalled,     // killed by signal `exitCode` (POSIX)
    StartFailed,   // not found or could not be started; see `error`
  };
  Kind kind = Kind::StartFailed;
  int exitCode = -1;
  std::string error;
  std::string output;       // what it wrote to its standard output
  std::string errorOutput;  // and to its standard error
  // StartFailed for lack of file handles, processes or memory while other
  // children ran: worth trying again once one of them has ended.
  bool shortOfResources = false;

  bool Succeeded() const { return kind == Kind::Exited && exitCode == 0; }
};

class ProcessSet {
 public:
  ProcessSet();
  ~ProcessSet();  // kills and reaps the children still running
  ProcessSet(const ProcessSet&) = delete;
  ProcessSet& operator=(const ProcessSet&) = delete;

  // Starts the program argv[0] (looked up through PATH when it holds no
  // separator) with exactly the arguments `argv`, without a command
  // interpreter, in the current directory, with this process's environment.
  // argv holds native paths; argv[0] may also be in the program's own form.
  // Returns the child's number, or -1 with `failure` filled (kind
  // StartFailed) when it cannot be found or started. `makes` is the
  // native path of a file the child is to create, if any: the change is
  // then known for the child's. `file`, when given, is the program's file
  // as FindProgram gave it, started without a search. A child and all it
  // started die with this process, even when that is killed outright.
  int Start(const std::vector<std::string>& argv, RunResult* failure,
            const std::string& makes = std::string(), const std::string& file = std::string());

  // Waits until a child has ended or an interrupt came. Returns the number
  // of a child that ended (its result is then ready for Take), or -1 on an
  // interrupt or when nothing runs.
  int WaitForAny();

  // The result of an ended child, with all it printed; forgets the child.
  RunResult Take(int child);

  // Stops a running child with everything it started (its process group;
  // on Windows what it started ends with the set's job) and forgets it,
  // whatever it printed.
  void Kill(int child);

  size_t Running() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl;
};

// How many children may run at once: each running child holds two pipe
// ends here, the run keeps handles for its own files, and the system may
// allow few processes. At least 1.
int ChildProcessLimit();

// From here on SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and closing
// the console on Windows) no longer end the process at once: they are
// noted, wake ProcessSet::WaitForAny and cut SleepMilliseconds short.
// So does SIGPIPE, a reader of the output that has gone, unless it was
// ignored when the program started.
void CatchInterrupts();

// Called when a write to standard output or error failed with `error` (an
// errno value): a reader that has gone is noted as an interrupt, also where
// SIGPIPE is ignored or unknown.
void NoteOutputError(int error);

// True once an interrupt came.
bool Interrupted();

// Ends the process the way the interrupt would have: by the signal itself
// on POSIX, so a shell sees it; with the status of a Ctrl+C on Windows.
[[noreturn]] void ExitInterrupted();

// Writes bytes to a console stream as they are, without line-end
// translation (a child's output has its own).
void WriteRaw(FILE* stream, const std::string& bytes);

// The file that starting `program` would run (looked up through PATH when
// it holds no separator); nothing when there is none.
std::optional<std::string> FindProgram(const std::string& program);

// How many processors this process may run on (at least 1).
int ProcessorCount();

// This process's id.
uint64_t CurrentProcessId();

// Whether a process with id `pid` runs now (one that may not be signalled
// or inspected counts as running).
bool ProcessIsAlive(uint64_t pid);

}  // namespace platform
