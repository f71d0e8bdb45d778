// The compilers of a run. Each writes a script's compiled code into a
// temporary file of its own making beside the script's output, which the
// output then takes over as its own: a script costs one new file, made by
// its compiler, as the compiler alone would.
//
// The pool owns the queue of work to come, keyed by the step of the run it
// is for: queued work starts, in step order, whenever fewer than the limit
// run, also while the run waits for the current step's compile. Work for a
// step that the run has passed is dropped: its compiler is stopped and its
// file deleted, so that nothing of it outlives the step it was for.
//
// With the built-in compiler the compiles run in threads of this process
// instead, and their code waits in memory: no program, no file.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "platform/process.h"
#include "scripttool/compile_threads.h"

// Whether scripts keep their debug information: when LUA_DEBUG_SYMBOLS is
// set, even to nothing. What is compiled and what the build record says
// both ask here.
bool KeepsDebugSymbols();

class CompilerPool {
 public:
  CompilerPool() = default;
  ~CompilerPool();  // stops the compilers and deletes every file not taken
  CompilerPool(const CompilerPool&) = delete;
  CompilerPool& operator=(const CompilerPool&) = delete;

  // At most this many compilers run at once (at least 1), and no more than
  // the system lets run.
  void SetLimit(int compilers);

  // Compiles with Lua's own compiler in this process instead of "luac".
  void UseBuiltin(bool builtin) { this->builtin = builtin; }

  // luac's file, looked up on PATH once for the pool's thousands of
  // starts; empty when PATH has none, so that each start says so.
  const std::string& Luac();

  // Queues the compile of `inputPath` for the output `outputPath`, the
  // work of step `step`; false when enough work waits already.
  bool Queue(size_t step, const std::string& inputPath, const std::string& outputPath);

  // Forgets the work of step `step`.
  void Drop(size_t step);

  struct Compiled {
    platform::RunResult result;
    std::string tempPath;  // where the compiled code is
    int nameError = 0;     // errno when no file could be named (tempPath empty)
    // The built-in compiler's work: no file, the code or luac's message.
    bool inMemory = false;
    BuiltinCompile builtin;
  };
  // The compile of `inputPath` for `outputPath` at step `step`: the work
  // of earlier steps is dropped, and so is this step's when it was for
  // another input or output; started now when none was queued; waited for.
  // Throws RunInterrupted on an interrupt.
  Compiled Finish(size_t step, const std::string& inputPath, const std::string& outputPath);

 private:
  struct Job {
    std::string inputPath;
    std::string outputPath;
    std::string tempPath;
    int nameError = 0;
    bool launched = false;
    bool ended = false;
    int child = -1;  // while it runs
    platform::RunResult result;
    std::shared_ptr<CompileThreads::Task> task;  // the built-in compiler's
  };

  // No more built-in compiles are queued while their finished code holds
  // this much.
  static constexpr size_t kMostHeldBytes = size_t{256} << 20;

  // Starts the job's compiler; leaves it unlaunched when the system is
  // short of handles or processes while others run.
  void Launch(Job& job);
  void LaunchBuiltin(Job& job);
  size_t Running() const;
  // Starts queued work, in step order, while fewer than the limit run.
  void LaunchQueued();
  // Waits for one compiler to end; throws RunInterrupted on an interrupt.
  void WaitForOne();
  void Discard(Job& job);

  platform::ProcessSet processes;
  std::optional<std::string> luac;
  std::map<size_t, Job> jobs;  // by step
  size_t limit = 1;
  bool builtin = false;
  // Gone first: its threads end before the rest of the pool.
  CompileThreads threads;
  int systemLimit = platform::ChildProcessLimit();
};
