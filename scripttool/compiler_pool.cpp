#include "scripttool/compiler_pool.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "framework/batch_tool.h"
#include "output/messages.h"
#include "output/tool_file.h"
#include "platform/platform.h"

bool KeepsDebugSymbols() { return platform::GetEnv("LUA_DEBUG_SYMBOLS").has_value(); }

CompilerPool::~CompilerPool() {
  for (auto& [step, job] : jobs) Discard(job);
}

const std::string& CompilerPool::Luac() {
  if (!luac) luac = platform::FindProgram("luac").value_or(std::string());
  return *luac;
}

void CompilerPool::SetLimit(int compilers) {
  limit = static_cast<size_t>(std::clamp(compilers, 1, systemLimit));
}

bool CompilerPool::Queue(size_t step, const std::string& inputPath,
                         const std::string& outputPath) {
  // Finished results wait for their turn, so that one long compile does
  // not idle the other processors; they are bounded too.
  if (jobs.size() >= 4 * limit + 16) return false;
  // Code held in memory is bounded by its bytes as well.
  size_t held = 0;
  for (const auto& [step, job] : jobs) {
    if (job.task && job.ended) held += job.task->result.code.size();
  }
  if (held >= kMostHeldBytes) return false;
  auto [job, added] = jobs.try_emplace(step);
  if (!added) Discard(job->second);
  job->second = Job();
  job->second.inputPath = inputPath;
  job->second.outputPath = outputPath;
  LaunchQueued();
  return true;
}

void CompilerPool::Drop(size_t step) {
  auto job = jobs.find(step);
  if (job == jobs.end()) return;
  Discard(job->second);
  jobs.erase(job);
}

CompilerPool::Compiled CompilerPool::Finish(size_t step, const std::string& inputPath,
                                            const std::string& outputPath) {
  // Work of steps passed over is not wanted.
  while (!jobs.empty() && jobs.begin()->first < step) Drop(jobs.begin()->first);
  auto job = jobs.find(step);
  if (job != jobs.end() &&
      (job->second.inputPath != inputPath || job->second.outputPath != outputPath)) {
    Drop(step);
    job = jobs.end();
  }
  if (job == jobs.end()) {
    job = jobs.try_emplace(step).first;
    job->second.inputPath = inputPath;
    job->second.outputPath = outputPath;
  }
  // This step's work is the first in the queue, so it starts first.
  LaunchQueued();
  while (!job->second.launched || !job->second.ended) {
    WaitForOne();
    LaunchQueued();
  }
  Compiled compiled;
  compiled.result = std::move(job->second.result);
  compiled.tempPath = std::move(job->second.tempPath);
  compiled.nameError = job->second.nameError;
  if (job->second.task) {
    compiled.inMemory = true;
    compiled.builtin = std::move(job->second.task->result);
  }
  jobs.erase(job);
  return compiled;
}

void CompilerPool::LaunchQueued() {
  for (auto& [step, job] : jobs) {
    if (Running() >= limit) return;
    if (job.launched) continue;
    Launch(job);
    // Short of resources: one of those running gives them back.
    if (!job.launched) return;
  }
}

size_t CompilerPool::Running() const { return processes.Running() + threads.Running(); }

void CompilerPool::Launch(Job& job) {
  if (builtin) return LaunchBuiltin(job);
  job.launched = true;
  job.ended = true;
  // The process never names a temporary file twice, so the compilers'
  // names differ.
  errno = 0;
  std::string nativeTempPath;
  job.tempPath = ToolFile::NameTemporaryFile(job.outputPath, &nativeTempPath);
  if (job.tempPath.empty()) {
    job.nameError = errno != 0 ? errno : EEXIST;
    return;
  }
  std::vector<std::string> argv{"luac"};
  if (!KeepsDebugSymbols()) argv.push_back("-s");
  argv.push_back("-o");
  argv.push_back(nativeTempPath);
  argv.push_back(platform::NativePath(job.inputPath));
  job.child = processes.Start(argv, &job.result, nativeTempPath, Luac());
  if (job.child >= 0) job.ended = false;
  if (job.child < 0 && job.result.shortOfResources) {
    job.launched = false;
    job.ended = false;
    job.tempPath.clear();
  }
}

void CompilerPool::LaunchBuiltin(Job& job) {
  job.launched = true;
  job.task = std::make_shared<CompileThreads::Task>();
  job.task->nativePath = platform::NativePath(job.inputPath);
  job.task->strip = !KeepsDebugSymbols();
  threads.Start(job.task, limit);
}

void CompilerPool::WaitForOne() {
  if (builtin) {
    std::vector<std::shared_ptr<CompileThreads::Task>> ended = threads.WaitForAny();
    if (ended.empty() && platform::Interrupted()) throw RunInterrupted();
    for (auto& [step, job] : jobs) {
      if (job.task && std::find(ended.begin(), ended.end(), job.task) != ended.end())
        job.ended = true;
    }
    return;
  }
  int child = processes.WaitForAny();
  if (child < 0) {
    if (platform::Interrupted()) throw RunInterrupted();
    throw HandyException("Could not wait for luac.");
  }
  for (auto& [step, job] : jobs) {
    if (job.child != child) continue;
    job.result = processes.Take(child);
    job.child = -1;
    job.ended = true;
    return;
  }
}

void CompilerPool::Discard(Job& job) {
  if (job.task && !job.ended) threads.Cancel(job.task);
  if (job.child >= 0) processes.Kill(job.child);
  job.child = -1;
  if (!job.tempPath.empty()) platform::RemoveFile(job.tempPath);
  job.tempPath.clear();
}
