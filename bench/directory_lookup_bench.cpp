// Cost of one case-insensitive lookup (platform::StatFile) in directories
// of 1,000 to 100,000 files, while a run's name cache lives: names given in
// another case than stored, and names that are not there. Neither may grow
// with the size of the directory, since the run reads each folder's names
// once.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "platform/path_rules.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

std::string Upper(std::string text) {
  for (char& c : text) c = platform::ToUpperAscii(c);
  return text;
}

namespace {

// As a run holds one.
platform::NameCache runNames;

fs::path& BenchRoot() {
  static fs::path root;
  return root;
}

std::string StoredName(int64_t i) {
  char name[32];
  std::snprintf(name, sizeof name, "Script%06lld.Lua", static_cast<long long>(i));
  return name;
}

// The directory of `count` files, made once per size; returns its path as
// the program would spell it: in another case than stored.
const std::string& Directory(int64_t count) {
  static std::map<int64_t, std::string> made;
  auto at = made.find(count);
  if (at != made.end()) return at->second;
  if (BenchRoot().empty()) {
    BenchRoot() = fs::temp_directory_path() /
                  ("tolscript-bench-" + std::to_string(std::random_device()()));
    fs::create_directories(BenchRoot());
  }
  fs::path dir = BenchRoot() / ("Files" + std::to_string(count));
  fs::create_directory(dir);
  for (int64_t i = 0; i < count; ++i) {
    std::FILE* file = std::fopen((dir / StoredName(i)).c_str(), "wb");
    if (!file || std::fclose(file) != 0) throw std::runtime_error("cannot create bench files");
  }
  // A directory changed a moment ago is read again on each miss until its
  // time stamp is settled; let that pass before timing.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string spelt = (BenchRoot() / ("FILES" + std::to_string(count))).string() + "\\";
  return made.emplace(count, spelt).first->second;
}

void ExistingNameInOtherCase(benchmark::State& state) {
  const int64_t count = state.range(0);
  const std::string& dir = Directory(count);
  std::minstd_rand random(1);
  int64_t found = 0;
  for (auto _ : state) {
    std::string path = dir + platform::ToLowerAscii(StoredName(random() % count));
    found += platform::StatFile(path).has_value();
  }
  if (found != static_cast<int64_t>(state.iterations())) state.SkipWithError("name not found");
  state.SetItemsProcessed(state.iterations());
}

void MissingName(benchmark::State& state) {
  const int64_t count = state.range(0);
  const std::string& dir = Directory(count);
  std::minstd_rand random(2);
  int64_t found = 0;
  for (auto _ : state) {
    std::string path = dir + "missing" + std::to_string(random() % count) + ".lua";
    found += platform::StatFile(path).has_value();
  }
  if (found != 0) state.SkipWithError("a missing name was found");
  state.SetItemsProcessed(state.iterations());
}

void ExactName(benchmark::State& state) {
  const int64_t count = state.range(0);
  Directory(count);
  const std::string dir = (BenchRoot() / ("Files" + std::to_string(count))).string() + "/";
  std::minstd_rand random(3);
  int64_t found = 0;
  for (auto _ : state) found += platform::StatFile(dir + StoredName(random() % count)).has_value();
  if (found != static_cast<int64_t>(state.iterations())) state.SkipWithError("name not found");
  state.SetItemsProcessed(state.iterations());
}

// Finding (in another case) a file just created through the platform in a
// large directory, and missing it once it is removed: the program's own
// changes are applied to the index, so the directory is not read again.
// Only the lookups are timed; creating a file costs what the file system
// makes it cost.
void LookupAfterOwnChange(benchmark::State& state) {
  const int64_t count = state.range(0);
  const std::string& dir = Directory(count);
  int64_t failures = 0;
  int64_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string name = "New" + std::to_string(i++) + ".Tmp";
    std::FILE* file = platform::OpenStream(dir + name, "wb");
    if (!file || std::fclose(file) != 0) ++failures;
    state.ResumeTiming();
    if (!platform::StatFile(dir + Upper(name))) ++failures;
    state.PauseTiming();
    if (!platform::RemoveFile(dir + platform::ToLowerAscii(name))) ++failures;
    state.ResumeTiming();
    if (platform::StatFile(dir + name)) ++failures;
  }
  if (failures != 0) state.SkipWithError("a step failed");
  state.SetItemsProcessed(state.iterations() * 2);
}

// What the system alone takes to find a missing name in that directory
// (one stat), for comparison with MissingName.
void SystemStatOfMissingName(benchmark::State& state) {
  const int64_t count = state.range(0);
  Directory(count);
  const fs::path dir = BenchRoot() / ("Files" + std::to_string(count));
  std::minstd_rand random(2);
  int64_t found = 0;
  for (auto _ : state) {
    std::error_code error;
    found += fs::exists(dir / ("missing" + std::to_string(random() % count) + ".lua"), error);
  }
  if (found != 0) state.SkipWithError("a missing name was found");
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(SystemStatOfMissingName)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(ExactName)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(ExistingNameInOtherCase)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(MissingName)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(LookupAfterOwnChange)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code error;
  if (!BenchRoot().empty()) fs::remove_all(BenchRoot(), error);
  return 0;
}
