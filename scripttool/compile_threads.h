// The threads that run built-in compiles. A thread does the compile and
// nothing else: it prints, writes and deletes nothing; its result waits in
// memory until the run takes it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scripttool/builtin_compiler.h"

class CompileThreads {
 public:
  struct Task {
    std::string nativePath;
    bool strip = true;
    std::atomic<bool> cancel{false};
    BuiltinCompile result;  // once ended
  };

  CompileThreads() = default;
  ~CompileThreads();  // cancels what runs and waits for the threads
  CompileThreads(const CompileThreads&) = delete;
  CompileThreads& operator=(const CompileThreads&) = delete;

  // Starts `task` on one of at most `threads` threads.
  void Start(const std::shared_ptr<Task>& task, size_t threads);

  // Makes a started task end soon; it is never returned by WaitForAny.
  void Cancel(const std::shared_ptr<Task>& task);

  // Waits until a started task has ended (a cancelled one too) or an
  // interrupt came; returns the tasks ended since the last call, the
  // cancelled ones left out. Empty on an interrupt.
  std::vector<std::shared_ptr<Task>> WaitForAny();

  // Tasks started and not yet ended, cancelled ones included.
  size_t Running() const;

 private:
  void Work();
  // Compiles the waiting tasks on the caller's thread.
  void RunWaiting();
  // Takes the first waiting task and compiles it, the lock let go meanwhile.
  void RunFirst(std::unique_lock<std::mutex>& lock);
  // Notes the end of a task; the mutex is held.
  void End(std::shared_ptr<Task> task);

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Task>> waiting;
  std::vector<std::shared_ptr<Task>> ended;
  size_t running = 0;  // started, not ended
  size_t endedCount = 0;  // every end, cancelled ones included
  size_t endedSeen = 0;
  size_t idle = 0;
  bool stopping = false;
  std::vector<std::thread> threads;
};
