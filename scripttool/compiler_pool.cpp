#include "scripttool/compiler_pool.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "framework/batch_tool.h"
#include "output/messages.h"
#include "output/tool_file.h"
#include "platform/platform.h"

namespace {

CompilerPool::Job NewJob(const std::string& inputPath, const std::string& outputPath) {
  CompilerPool::Job job;
  job.inputPath = inputPath;
  job.outputPath = outputPath;
  return job;
}

}  // namespace

CompilerPool::~CompilerPool() {
  for (Job& job : jobs) Discard(job);
}

bool CompilerPool::StartAhead(const std::string& inputPath, const std::string& outputPath) {
  // Finished results wait for their turn, so that one long compile does
  // not idle the other processors; they are bounded too.
  if (processes.Running() >= limit || jobs.size() >= 4 * limit + 16) return false;
  jobs.push_back(NewJob(inputPath, outputPath));
  Launch(jobs.back());
  return true;
}

void CompilerPool::Drop(const std::string& inputPath, const std::string& outputPath) {
  auto job = FindJob(inputPath, outputPath);
  if (job == jobs.end()) return;
  Discard(*job);
  jobs.erase(job);
}

CompilerPool::Compiled CompilerPool::Finish(const std::string& inputPath,
                                            const std::string& outputPath,
                                            const std::function<void()>& slotFreed) {
  auto job = FindJob(inputPath, outputPath);
  if (job == jobs.end()) job = jobs.insert(jobs.end(), NewJob(inputPath, outputPath));
  while (!job->launched && processes.Running() >= limit) {
    WaitForOne();
    slotFreed();
  }
  if (!job->launched) Launch(*job);
  while (!job->ended) {
    WaitForOne();
    slotFreed();
  }
  Compiled compiled{std::move(job->result), std::move(job->tempPath), job->nameError};
  jobs.erase(job);
  return compiled;
}

void CompilerPool::Launch(Job& job) {
  job.launched = true;
  job.ended = true;
  // The name is not held until the compiler makes the file, so it must
  // also differ from those of the other compilers.
  errno = 0;
  std::string nativeTempPath;
  for (int attempt = 0; attempt < 8 && job.tempPath.empty(); ++attempt) {
    std::string name = ToolFile::NameTemporaryFile(job.outputPath, &nativeTempPath);
    if (name.empty()) break;
    if (std::none_of(jobs.begin(), jobs.end(),
                     [&](const Job& other) { return other.tempPath == name; })) {
      job.tempPath = std::move(name);
    }
  }
  if (job.tempPath.empty()) {
    job.nameError = errno != 0 ? errno : EEXIST;
    return;
  }
  std::vector<std::string> argv{"luac"};
  if (!platform::GetEnv("LUA_DEBUG_SYMBOLS")) argv.push_back("-s");
  argv.push_back("-o");
  argv.push_back(nativeTempPath);
  argv.push_back(platform::NativePath(job.inputPath));
  job.child = processes.Start(argv, &job.result, nativeTempPath);
  if (job.child >= 0) job.ended = false;
}

std::list<CompilerPool::Job>::iterator CompilerPool::FindJob(const std::string& inputPath,
                                                             const std::string& outputPath) {
  for (auto job = jobs.begin(); job != jobs.end(); ++job) {
    if (job->inputPath == inputPath && job->outputPath == outputPath) return job;
  }
  return jobs.end();
}

void CompilerPool::WaitForOne() {
  int child = processes.WaitForAny();
  if (child < 0) {
    if (platform::Interrupted()) throw RunInterrupted();
    throw HandyException("Could not wait for luac.");
  }
  for (Job& job : jobs) {
    if (job.child != child) continue;
    job.result = processes.Take(child);
    job.child = -1;
    job.ended = true;
    return;
  }
}

void CompilerPool::Discard(Job& job) {
  if (job.child >= 0) processes.Kill(job.child);
  job.child = -1;
  if (!job.tempPath.empty()) platform::RemoveFile(job.tempPath);
  job.tempPath.clear();
}
