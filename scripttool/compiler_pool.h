// The compilers of a run. Each writes a script's compiled code into a
// temporary file of its own making beside the script's output, which the
// output then takes over as its own: a script costs one new file, made by
// its compiler, as the compiler alone would. Compilers for the inputs to
// come start ahead, at most the limit at once; their results wait, with
// what they printed, until their input's turn. What is never taken is
// stopped and deleted.
#pragma once

#include <functional>
#include <list>
#include <string>

#include "platform/process.h"

class CompilerPool {
 public:
  CompilerPool() = default;
  ~CompilerPool();  // stops the compilers and deletes every file not taken
  CompilerPool(const CompilerPool&) = delete;
  CompilerPool& operator=(const CompilerPool&) = delete;

  void SetLimit(int compilers) { limit = compilers < 1 ? 1 : static_cast<size_t>(compilers); }

  // Starts compiling `inputPath` for the output `outputPath` unless the
  // limit is reached; false then.
  bool StartAhead(const std::string& inputPath, const std::string& outputPath);

  // Forgets the first compile of `inputPath` for `outputPath`.
  void Drop(const std::string& inputPath, const std::string& outputPath);

  struct Compiled {
    platform::RunResult result;
    std::string tempPath;  // where the compiled code is
    int nameError = 0;     // errno when no file could be named (tempPath empty)
  };
  // The first compile of `inputPath` for `outputPath`, started now when
  // none was; waits for it. `slotFreed` is called whenever a compiler
  // ends meanwhile. Throws RunInterrupted on an interrupt.
  Compiled Finish(const std::string& inputPath, const std::string& outputPath,
                  const std::function<void()>& slotFreed);

 public:
  struct Job {
    std::string inputPath;
    std::string outputPath;
    std::string tempPath;
    int nameError = 0;
    bool launched = false;
    bool ended = false;
    int child = -1;  // while it runs
    platform::RunResult result;
  };

 private:
  void Launch(Job& job);
  std::list<Job>::iterator FindJob(const std::string& inputPath, const std::string& outputPath);
  // Waits for one compiler to end; throws RunInterrupted on an interrupt.
  void WaitForOne();
  void Discard(Job& job);

  platform::ProcessSet processes;
  std::list<Job> jobs;
  size_t limit = 1;
};
