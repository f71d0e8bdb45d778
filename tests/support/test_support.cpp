#include "support/test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace test_support {

TempDir::TempDir()
    : previousDir(fs::current_path().string()),
      previousDriveRoot(platform::GetEnv("MUNGE_DRIVE_ROOT")) {
  std::random_device random;
  fs::path dir = fs::path(internal::EnterTempParent()) /
                 ("tolscript-test-" + std::to_string(random()) + std::to_string(random()));
  if (!fs::create_directory(dir)) throw std::runtime_error(dir.string() + " exists already");
  path = fs::canonical(dir).string();
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

void WriteProgram(const std::string& path, const std::string& script) {
  WriteFile(path, script);
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error))
    if (entry.path().filename() != kBuildRecordName) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::multiset<std::string> LinesOf(const std::string& text) {
  std::multiset<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

platform::RunResult RunProgram(const std::vector<std::string>& argv) {
  platform::ProcessSet children;
  platform::RunResult result;
  int child = children.Start(argv, &result);
  if (child < 0) return result;
  if (children.WaitForAny() == child) return children.Take(child);
  result.error = argv[0] + ": the wait for it failed";
  return result;
}

uint64_t StartLiveProcess(platform::ProcessSet& children, const std::string& recorder,
                          int* child) {
  std::random_device random;
  const std::string pidFile =
      (fs::temp_directory_path() / ("tolscript-pid-" + std::to_string(random()))).string();
  ScopedEnv tell("ARGV_RECORDER_PID", pidFile);
  platform::RunResult failure;
  *child = children.Start({recorder}, &failure);
  if (*child < 0) {
    ADD_FAILURE() << failure.error;
    return 0;
  }
  for (int wait = 0; wait < 1000 && !Exists(pidFile); ++wait) platform::SleepMilliseconds(10);
  std::string pid = ReadFile(pidFile);
  fs::remove(pidFile);
  if (pid.empty()) ADD_FAILURE() << recorder << " did not tell its process id";
  return pid.empty() ? 0 : std::stoull(pid);
}

ProgramRun Run(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  platform::RunResult result = RunProgram(argv);
  bool exited = result.kind == platform::RunResult::Kind::Exited;
  if (!exited) ADD_FAILURE() << program << " did not exit normally: " << result.error;
  return {exited ? result.exitCode : -1, NormalizeLineEnds(result.output),
          NormalizeLineEnds(result.errorOutput)};
}

ProgramRun RunTolscript(const std::vector<std::string>& args) {
  return Run(TOLSCRIPT_PROGRAM_PATH, args);
}

bool LuacAvailable() {
  static const bool available = RunProgram({"luac", "-v"}).Succeeded();
  return available;
}

std::string CompileWithLuac(const std::string& source, const std::vector<std::string>& options) {
  const std::string compiled = "reference.luac";
  std::vector<std::string> args = options;
  args.insert(args.end(), {"-o", compiled, source});
  ProgramRun run = Run("luac", args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string bytes = ReadFile(compiled);
  platform::RemoveFile(compiled);
  EXPECT_FALSE(bytes.empty()) << "luac wrote nothing for " << source;
  return bytes;
}

}  // namespace test_support
