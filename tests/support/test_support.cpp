#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_drive.h"

namespace fs = std::filesystem;

namespace test_support {

TempDir::TempDir() {
  previousDir = fs::current_path().string();
  previousDriveRoot = platform::GetEnv("MUNGE_DRIVE_ROOT");
  fs::path parent = internal::EnterTempParent();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = parent / ("tolscript-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path = fs::canonical(candidate).string();
      break;
    }
  }
  if (path.empty()) {
    internal::LeaveTempParent();
    throw std::runtime_error("cannot create a temporary directory in " + parent.string());
  }
  fs::current_path(path);
  SetEnv("MUNGE_DRIVE_ROOT", path);
}

TempDir::~TempDir() {
  std::error_code error;
  fs::current_path(previousDir, error);
  SetEnv("MUNGE_DRIVE_ROOT", previousDriveRoot);
  // Make read-only leftovers of a test removable.
  for (auto it = fs::recursive_directory_iterator(path, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(path, error);
  internal::LeaveTempParent();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

int64_t GetMTime(const std::string& path) {
  return platform::GetFileTime(path).value_or(-1);
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (auto it = fs::directory_iterator(dir, error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name != kBuildRecordName) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value)
    : name(name), previous(platform::GetEnv(name)) {
  SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name.c_str(), previous); }

platform::RunResult RunProgram(const std::vector<std::string>& argv) {
  platform::ProcessSet children;
  platform::RunResult result;
  int child = children.Start(argv, &result);
  if (child < 0) return result;
  if (children.WaitForAny() != child) {
    result.error = argv[0] + ": the wait for it failed";
    return result;
  }
  return children.Take(child);
}

ProgramRun Run(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  platform::RunResult result = RunProgram(argv);
  ProgramRun run;
  run.exitCode = result.kind == platform::RunResult::Kind::Exited ? result.exitCode : -1;
  run.out = result.output;
  run.err = result.errorOutput;
  if (result.kind != platform::RunResult::Kind::Exited)
    ADD_FAILURE() << program << " did not exit normally: " << result.error;
  return run;
}

ProgramRun RunTolscript(const std::vector<std::string>& args) {
  return Run(TOLSCRIPT_PROGRAM_PATH, args);
}

}  // namespace test_support
