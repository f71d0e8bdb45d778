// The compilers of a run. Each writes a script's compiled code to its
// standard output where that carries bytes unchanged; elsewhere into a
// temporary file reserved beside the script's output, which the output
// then takes over as its own. Either way a script costs one new file, as
// the compiler alone does, and a compiler that outlives its run leaves
// nothing behind but, at most, that file. Compilers for the inputs to come
// start ahead, at most the limit at once; their results wait, with what
// they printed, until their input's turn. What is never taken is stopped
// and deleted.
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
    platform::RunResult result;  // its output is the compiled code when !inFile
    bool inFile = false;         // the compiled code is in `tempPath`
    std::string tempPath;
    int reserveError = 0;  // errno when no file could be reserved (tempPath empty)
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
    int reserveError = 0;
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
