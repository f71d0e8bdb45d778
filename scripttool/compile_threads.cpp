#include "scripttool/compile_threads.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

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

namespace {

// More threads than this would only share the same processors.
constexpr size_t kMostThreads = 64;

void Compile(CompileThreads::Task& task) {
  try {
    task.result = CompileLuaFile(task.nativePath, task.strip, &task.cancel);
  } catch (const std::exception&) {
    task.result = BuiltinCompile();
    task.result.message = "not enough memory";
  }
}

}  // namespace

void CompileThreads::Start(const std::shared_ptr<Task>& task, size_t limit) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    waiting.push_back(task);
    ++running;
    bool enoughThreads =
        waiting.size() <= idle || threads.size() >= std::min(limit, kMostThreads);
    changed.notify_all();
    if (enoughThreads) return;
  }
  try {
    threads.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // The system allows no more threads: those there are do the work, or
    // without any, the caller does.
    if (threads.empty()) RunWaiting();
  }
}

void CompileThreads::RunWaiting() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!waiting.empty()) RunFirst(lock);
}

void CompileThreads::RunFirst(std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Task> task = std::move(waiting.front());
  waiting.pop_front();
  lock.unlock();
  if (!task->cancel) Compile(*task);
  lock.lock();
  End(std::move(task));
}

void CompileThreads::End(std::shared_ptr<Task> task) {
  --running;
  ++endedCount;
  if (!task->cancel) ended.push_back(std::move(task));
  changed.notify_all();
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
    RunFirst(lock);
  }
}
