#include "scripttool/compile_threads.h"

#include <chrono>

#include "platform/process.h"

CompileThreads::~CompileThreads() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    for (const auto& task : waiting) task->cancel = true;
  }
  changed.notify_all();
  for (std::thread& thread : threads) thread.join();
}

void CompileThreads::Start(const std::shared_ptr<Task>& task, size_t limit) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    waiting.push_back(task);
    ++running;
    bool enoughThreads = waiting.size() <= idle || threads.size() >= limit;
    changed.notify_all();
    if (enoughThreads) return;
  }
  threads.emplace_back([this] { Work(); });
}

void CompileThreads::Cancel(const std::shared_ptr<Task>& task) { task->cancel = true; }

std::vector<std::shared_ptr<CompileThreads::Task>> CompileThreads::WaitForAny() {
  std::unique_lock<std::mutex> lock(mutex);
  // An interrupt cannot wake a condition variable: it is looked for often.
  while (endedCount == endedSeen && !platform::Interrupted()) {
    changed.wait_for(lock, std::chrono::milliseconds(20));
  }
  std::vector<std::shared_ptr<Task>> result;
  if (endedCount == endedSeen) return result;
  endedSeen = endedCount;
  result.swap(ended);
  return result;
}

size_t CompileThreads::Running() const {
  std::lock_guard<std::mutex> lock(mutex);
  return running;
}

void CompileThreads::Work() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    ++idle;
    changed.wait(lock, [this] { return stopping || !waiting.empty(); });
    --idle;
    if (waiting.empty()) return;
    std::shared_ptr<Task> task = std::move(waiting.front());
    waiting.pop_front();
    lock.unlock();
    if (!task->cancel) {
      task->result = CompileLuaFile(task->nativePath, task->strip, &task->cancel);
    }
    lock.lock();
    --running;
    ++endedCount;
    if (!task->cancel) ended.push_back(std::move(task));
    changed.notify_all();
  }
}
