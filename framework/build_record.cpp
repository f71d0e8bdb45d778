#include "framework/build_record.h"

#include <cerrno>
#include <charconv>

#include "output/messages.h"
#include "platform/platform.h"

namespace {

constexpr std::string_view kHeader = "# tolscript build record 1\n";

uint32_t LineChecksum(std::string_view content) {
  uint64_t hash = HashFacts(content);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// Names keep no blank, line break or '%' of their own: those are written
// as "%HH", so that a line splits at its blanks.
std::string EscapeName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : name) {
    if (c <= 0x20 || c == '%' || c == 0x7F) {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool UnescapeName(std::string_view text, std::string* name) {
  if (text.empty()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int high = HexDigit(text[i + 1]);
    int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    name->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* value, int base = 10) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return error == std::errc() && end == text.data() + text.size();
}

// The next blank-separated field of `line`, from `at`.
std::string_view NextField(std::string_view line, size_t* at) {
  size_t end = line.find(' ', *at);
  if (end == std::string_view::npos) end = line.size();
  std::string_view field = line.substr(*at, end - *at);
  *at = end + 1;
  return field;
}

bool ParseLine(std::string_view line, std::string* name, RecordEntry* entry) {
  size_t cut = line.rfind(' ');
  if (cut == std::string_view::npos) return false;
  uint32_t checksum = 0;
  if (line.size() - cut - 1 != 8 || !ParseNumber(line.substr(cut + 1), &checksum, 16) ||
      checksum != LineChecksum(line.substr(0, cut))) {
    return false;
  }
  std::string_view content = line.substr(0, cut);
  size_t at = 0;
  std::string_view facts = NextField(content, &at);
  std::string_view time = NextField(content, &at);
  std::string_view size = NextField(content, &at);
  if (at > content.size()) return false;
  std::string_view escapedName = content.substr(at);
  return facts.size() == 16 && ParseNumber(facts, &entry->facts, 16) &&
         ParseNumber(time, &entry->outputTimeNs) && ParseNumber(size, &entry->outputSize) &&
         escapedName.find(' ') == std::string_view::npos && UnescapeName(escapedName, name);
}

}  // namespace

uint64_t HashFacts(std::string_view text, uint64_t seed) {
  uint64_t hash = seed;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::string FormatRecordLine(const std::string& outputName, const RecordEntry& entry) {
  char facts[17];
  std::snprintf(facts, sizeof facts, "%016llx", static_cast<unsigned long long>(entry.facts));
  std::string content = std::string(facts) + " " + std::to_string(entry.outputTimeNs) + " " +
                        std::to_string(entry.outputSize) + " " + EscapeName(outputName);
  char checksum[9];
  std::snprintf(checksum, sizeof checksum, "%08x", LineChecksum(content));
  return content + " " + checksum + "\n";
}

RecordState ParseBuildRecord(std::string_view text, RecordEntries* entries, size_t* lines) {
  entries->clear();
  *lines = 0;
  if (text.substr(0, kHeader.size()) != kHeader) return RecordState::Foreign;
  size_t at = kHeader.size();
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return RecordState::Damaged;  // cut short
    std::string name;
    RecordEntry entry;
    if (!ParseLine(text.substr(at, end - at), &name, &entry)) return RecordState::Damaged;
    (*entries)[std::move(name)] = entry;
    ++*lines;
    at = end + 1;
  }
  return RecordState::Good;
}

BuildRecord::BuildRecord(std::string folder) : path(std::move(folder) + kFileName) {}

BuildRecord::~BuildRecord() { Release(); }

const RecordEntry* BuildRecord::Find(const std::string& outputName) {
  if (!loaded) Load();
  auto found = entries.find(outputName);
  return found == entries.end() ? nullptr : &found->second;
}

void BuildRecord::Add(const std::string& outputName, const RecordEntry& entry) {
  if (!loaded) Load();
  entries[outputName] = entry;
  if (!usable) return;
  pending += FormatRecordLine(outputName, entry);
  // Written in batches: an entry that a killed run never wrote only costs
  // that output being made again.
  if (pending.size() >= 8192) Flush();
}

void BuildRecord::Flush() {
  if (pending.empty()) return;
  if (appender == nullptr) appender = platform::OpenStream(path, "ab");
  if (appender == nullptr) {
    pending.clear();
    return;
  }
  // Whole lines, one write at the end, under the lock: runs that share
  // the folder lose none of each other's.
  bool locked = platform::LockStream(appender);
  std::fwrite(pending.data(), 1, pending.size(), appender);
  std::fflush(appender);
  if (locked) platform::UnlockStream(appender);
  pending.clear();
}

void BuildRecord::Release() {
  Flush();
  if (appender != nullptr) std::fclose(appender);
  appender = nullptr;
}

bool BuildRecord::Open() {
  file = platform::OpenStream(path, "r+b");
  if (file == nullptr && errno == ENOENT) {
    // Made without truncating, in case another run makes it too.
    if (FILE* made = platform::OpenStream(path, "ab")) std::fclose(made);
    file = platform::OpenStream(path, "r+b");
  }
  if (file == nullptr) {
    // A folder that cannot be written to may still hold a record to read.
    usable = false;
    file = platform::OpenStream(path, "rb");
  }
  return file != nullptr;
}

std::string BuildRecord::ReadAll() {
  std::string text;
  if (std::fseek(file, 0, SEEK_SET) != 0) return text;
  char block[65536];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  return text;
}

void BuildRecord::Load() {
  loaded = true;
  if (!Open()) {
    usable = false;
    return;
  }
  bool locked = platform::LockStream(file);
  std::string text = ReadAll();
  size_t lines = 0;
  RecordState state = text.empty() ? RecordState::Good : ParseBuildRecord(text, &entries, &lines);
  if (state == RecordState::Foreign) {
    ReportWarning("%s is no build record of this program; it is left alone.\n",
                  Printable(path).c_str());
    usable = false;
  } else if (state == RecordState::Damaged) {
    ReportWarning("Build record %s is damaged; it is made anew.\n", Printable(path).c_str());
    entries.clear();
    if (usable) Rewrite(entries);
  } else if (usable && (text.empty() || lines > 2 * entries.size() + 256)) {
    // New, or mostly lines that later ones replaced.
    Rewrite(entries);
  }
  if (locked) platform::UnlockStream(file);
  // Not kept open: a run may write into thousands of folders.
  std::fclose(file);
  file = nullptr;
}

void BuildRecord::Rewrite(const RecordEntries& all) {
  std::string text(kHeader);
  for (const auto& [name, entry] : all) text += FormatRecordLine(name, entry);
  if (std::fseek(file, 0, SEEK_SET) != 0) return;
  if (std::fwrite(text.data(), 1, text.size(), file) == text.size()) {
    platform::TruncateStream(file, text.size());
  }
  std::fflush(file);
}
