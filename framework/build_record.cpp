#include "framework/build_record.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

#include "output/messages.h"
#include "output/temporary_names.h"
#include "platform/platform.h"

namespace {

constexpr std::string_view kHeader = "# tolscript build record 2\n";
constexpr std::string_view kOldHeader = "# tolscript build record 1\n";

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
  for (size_t i = 0;;) {
    size_t escape = std::min(text.find('%', i), text.size());
    name->append(text.substr(i, escape - i));
    if (escape == text.size()) return true;
    if (escape + 2 >= text.size()) return false;
    int high = HexDigit(text[escape + 1]);
    int low = HexDigit(text[escape + 2]);
    if (high < 0 || low < 0) return false;
    name->push_back(static_cast<char>(high * 16 + low));
    i = escape + 3;
  }
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
  std::string_view id = NextField(content, &at);
  if (at > content.size()) return false;
  std::string_view escapedName = content.substr(at);
  return facts.size() == 16 && ParseNumber(facts, &entry->facts, 16) &&
         ParseNumber(time, &entry->outputTimeNs) && ParseNumber(size, &entry->outputSize) &&
         ParseNumber(id, &entry->outputId) && escapedName.find(' ') == std::string_view::npos &&
         UnescapeName(escapedName, name);
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
                        std::to_string(entry.outputSize) + " " + std::to_string(entry.outputId) +
                        " " + EscapeName(outputName);
  char checksum[9];
  std::snprintf(checksum, sizeof checksum, "%08x", LineChecksum(content));
  return content + " " + checksum + "\n";
}

RecordState ParseBuildRecord(std::string_view text, RecordEntries* entries, size_t* lines) {
  entries->clear();
  *lines = 0;
  if (text.substr(0, kOldHeader.size()) == kOldHeader) return RecordState::Outdated;
  // Made but not yet written to when its run died.
  if (text.empty()) return RecordState::Good;
  if (text.substr(0, kHeader.size()) != kHeader) return RecordState::Foreign;
  RecordState state = RecordState::Good;
  // Lines are some 60 bytes: room for them all, without counting them.
  entries->reserve(text.size() / 64);
  size_t at = kHeader.size();
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return RecordState::Damaged;  // cut short
    std::string_view line = text.substr(at, end + 1 - at);
    at = end + 1;
    // Two runs that make the record at once both write the header.
    if (line == kHeader) continue;
    std::string name;
    RecordEntry entry;
    if (!ParseLine(line.substr(0, line.size() - 1), &name, &entry)) {
      state = RecordState::Damaged;
      continue;
    }
    (*entries)[std::move(name)] = entry;
    ++*lines;
  }
  return state;
}

BuildRecord::BuildRecord(std::string folder) : path(std::move(folder) + kFileName) {}

BuildRecord::~BuildRecord() { Release(); }

bool BuildRecord::Exists() {
  if (!loaded) Load();
  return state != RecordState::Absent;
}

const RecordEntry* BuildRecord::Find(const std::string& outputName) {
  if (!loaded) Load();
  auto found = entries.find(outputName);
  return found == entries.end() ? nullptr : &found->second;
}

void BuildRecord::Load() {
  loaded = true;
  // Not through a link: a record that is one is no record of ours.
  platform::FileStatus status;
  FILE* file = platform::OpenStream(path, "rbn", &status);
  if (file == nullptr) {
    if (errno == ENOENT || errno == ENOTDIR) {
      state = RecordState::Absent;
    } else if (errno != ELOOP) {
      state = RecordState::Unreadable;
      unreadable = std::strerror(errno);
    } else {
      state = RecordState::Foreign;
    }
    return;
  }
  std::optional<std::string> text =
      status.isRegular ? platform::ReadStream(file) : std::nullopt;
  std::fclose(file);
  state = text ? ParseBuildRecord(*text, &entries, &lines) : RecordState::Foreign;
  if (state == RecordState::Foreign) entries.clear();
}

void BuildRecord::PrepareToWrite() {
  if (!loaded) Load();
  if (prepared) return;
  prepared = true;
  if (state == RecordState::Foreign) {
    ReportWarning("%s is no build record of this program; it is left alone.\n",
                  Printable(path).c_str());
  } else if (state == RecordState::Unreadable) {
    ReportWarning("Build record %s cannot be read (%s); it is left alone.\n",
                  Printable(path).c_str(), unreadable.c_str());
  } else if (state == RecordState::Damaged) {
    ReportWarning("Build record %s is damaged; it is made anew.\n", Printable(path).c_str());
    Rewrite();
  } else if (state == RecordState::Outdated || lines > 2 * entries.size() + 256) {
    // Of an older form, or mostly lines that later ones replaced.
    Rewrite();
  }
}

void BuildRecord::Rewrite() {
  Release();
  std::string text(kHeader);
  for (const auto& [name, entry] : entries) text += FormatRecordLine(name, entry);
  // Written aside and renamed over it, so that a reader never sees half a
  // record and a link in its place is replaced, not written through.
  std::string made;
  FILE* file = CreateTemporaryFile(path, &made);
  if (file == nullptr) return;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written || !platform::RenameFile(made, path, nullptr)) {
    platform::RemoveFile(made);
    return;
  }
  state = RecordState::Good;
  lines = entries.size();
}

void BuildRecord::Append(const std::string& outputName, const RecordEntry& entry) {
  if (!loaded) Load();
  entries[outputName] = entry;
  if (state == RecordState::Foreign || state == RecordState::Unreadable) return;
  if (appender == nullptr) {
    appender = platform::OpenStream(path, "abn");
    if (appender == nullptr) {
      throw HandyException("Could not write %s. DOS reports:\n%s\n", Printable(path).c_str(),
                           std::strerror(errno));
    }
    // Unbuffered: each line goes out in one write, at the end of the file.
    std::setvbuf(appender, nullptr, _IONBF, 0);
    newFile = std::fseek(appender, 0, SEEK_END) == 0 && std::ftell(appender) == 0;
  }
  // A new record's header goes out with its first line, in the same write:
  // no death of the run leaves half a header.
  std::string line = (newFile ? std::string(kHeader) : std::string()) +
                     FormatRecordLine(outputName, entry);
  newFile = false;
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), appender) != line.size()) {
    int error = errno != 0 ? errno : EIO;
    Release();
    throw HandyException("Could not write %s. DOS reports:\n%s\n", Printable(path).c_str(),
                         std::strerror(error));
  }
  ++lines;
}

void BuildRecord::Release() {
  if (appender != nullptr) std::fclose(appender);
  appender = nullptr;
}
