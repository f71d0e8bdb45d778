#include "temporary_names.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <unordered_set>

#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

constexpr std::string_view kInfix = ".tmp";
constexpr size_t kRandomLength = 6;
// The longest file name that the file systems we write to take, in bytes.
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxOwnerDigits = 20;  // 2^64 - 1
// Random names that a directory already holds are tried again this often.
constexpr int kTemporaryNameAttempts = 100;

// Lower case only, so that a new name cannot be an existing one in another
// case unless that one has capitals.
constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";

bool IsRandomCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string TemporaryName(std::string_view fileName, uint64_t owner, std::string_view random) {
  std::string tail = std::string(kInfix) + std::to_string(owner) + "-" + std::string(random);
  size_t limit = kMaxNameLength > tail.size() ? kMaxNameLength - tail.size() : 0;
  size_t cut = std::min(fileName.size(), limit);
  if (cut < fileName.size()) {
    while (cut > 0 && (static_cast<unsigned char>(fileName[cut]) & 0xC0) == 0x80) --cut;
  }
  return std::string(fileName.substr(0, cut)) + tail;
}

std::string TemporaryPath(std::string_view outputPath, uint64_t owner, std::string_view random) {
  platform::PathParts parts = platform::SplitPath(outputPath);
  return parts.drive + parts.dir + TemporaryName(parts.name + parts.ext, owner, random);
}

std::optional<uint64_t> TemporaryNameOwner(std::string_view name) {
  if (name.size() < kRandomLength + 1) return std::nullopt;
  std::string_view random = name.substr(name.size() - kRandomLength);
  for (char c : random) {
    if (!IsRandomCharacter(c)) return std::nullopt;
  }
  name.remove_suffix(kRandomLength);
  if (name.back() != '-') return std::nullopt;
  name.remove_suffix(1);
  size_t digits = 0;
  while (digits < name.size() && IsDigit(name[name.size() - 1 - digits])) ++digits;
  std::string_view number = name.substr(name.size() - digits);
  // One spelling per number, and no process has the number 0.
  if (digits == 0 || digits > kMaxOwnerDigits || number[0] == '0') return std::nullopt;
  name.remove_suffix(digits);
  // A stem is the name of an output, so never empty.
  if (name.size() <= kInfix.size() || !name.ends_with(kInfix)) return std::nullopt;
  uint64_t owner = 0;
  for (char c : number) {
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (owner > (UINT64_MAX - digit) / 10) return std::nullopt;
    owner = owner * 10 + digit;
  }
  return owner;
}

// Only the main thread names files.
std::string TemporaryRandomCharacters() {
  static auto* drawn = new std::unordered_set<std::string>();
  static std::mt19937_64 engine([] {
    std::random_device device;
    // Some C++ libraries' random_device is a fixed sequence; the clock and
    // an address make runs differ all the same.
    std::seed_seq seed{device(), device(),
                       static_cast<unsigned>(
                           std::chrono::steady_clock::now().time_since_epoch().count()),
                       static_cast<unsigned>(reinterpret_cast<uintptr_t>(&device))};
    return std::mt19937_64(seed);
  }());
  std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
  for (;;) {
    std::string random(kRandomLength, '\0');
    for (char& c : random) c = kAlphabet[pick(engine)];
    if (drawn->insert(random).second) return random;
  }
}

FILE* CreateTemporaryFile(const std::string& outputPath, std::string* tempPath) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string path = TemporaryPath(outputPath, platform::CurrentProcessId(),
                                     TemporaryRandomCharacters());
    if (FILE* stream = platform::OpenStream(path, "w+bx")) {
      *tempPath = std::move(path);
      return stream;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}
