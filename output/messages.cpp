#include "messages.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

struct MessageState {
  int consoleLevel = 1;
  FILE* toolLog = nullptr;
  int logLevel = 0;
  FILE* mungeLog = nullptr;
  int warningCount = 0;
  int errorCount = 0;
  std::string toolPath;
};

MessageState& State() {
  static MessageState state;
  return state;
}

const char kMungeLogPath[] = "\\Corvantis\\Data\\MungeLog.txt";

void WriteText(FILE* stream, const std::string& text) {
  fwrite(text.data(), 1, text.size(), stream);
}

// Flushes a console stream. One whose reader has gone ends the run like an
// interrupt, also where SIGPIPE does not.
void FlushConsole(FILE* stream) {
  if (fflush(stream) == 0 && !ferror(stream)) return;
  platform::NoteOutputError(errno);
  clearerr(stream);
}

}  // namespace

// Prints go to the console when its level allows, else to the tool log when
// the log level is two above the print's level.
bool PrintsAt(int level) {
  const MessageState& state = State();
  return state.consoleLevel >= level || (state.logLevel >= level + 2 && state.toolLog);
}

namespace {

bool Print(int level, const char* format, va_list args) {
  MessageState& state = State();
  if (state.consoleLevel >= level) {
    std::string text = FormatMessageV(format, args);
    fflush(stderr);
    errno = 0;
    WriteText(stdout, text);
    // Keeps the console in order with errors and with child programs.
    FlushConsole(stdout);
    return true;
  }
  if (state.logLevel >= level + 2 && state.toolLog) {
    WriteText(state.toolLog, FormatMessageV(format, args));
    return true;
  }
  return false;
}

void Report(const char* kind, int& count, int minLogLevel, const char* format,
            va_list args) {
  MessageState& state = State();
  std::string text = FormatMessageV(format, args);
  if (state.warningCount == 0 && state.errorCount == 0) {
    std::string first =
        FormatMessage("PROBLEM OCCURED(%s): %s\n", kind, state.toolPath.c_str());
    if (FILE* mungeLog = GetMungeLog()) {
      WriteText(mungeLog, first);
      fflush(mungeLog);
    }
    if (state.toolLog) WriteText(state.toolLog, first);
  }
  fflush(stdout);
  errno = 0;
  fputs(kind, stderr);
  fputs(": ", stderr);
  WriteText(stderr, text);
  FlushConsole(stderr);
  ++count;
  if (state.logLevel >= minLogLevel) {
    if (state.toolLog) {
      WriteText(state.toolLog, text);
      fflush(state.toolLog);
    }
    if (FILE* mungeLog = GetMungeLog()) {
      WriteText(mungeLog, text);
      // Several tools append to this file; keep each problem whole.
      fflush(mungeLog);
    }
  }
}

}  // namespace

std::string Printable(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    } else {
      text += c;
    }
  }
  return text;
}

std::string FormatMessageV(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  char small[256];
  int length = vsnprintf(small, sizeof small, format, measure);
  va_end(measure);
  if (length < 0) return std::string();
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<size_t>(length), '\0');
  va_list write;
  va_copy(write, args);
  vsnprintf(text.data(), text.size() + 1, format, write);
  va_end(write);
  return text;
}

std::string FormatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatMessageV(format, args);
  va_end(args);
  return text;
}

int ConsoleLevel() { return State().consoleLevel; }
void SetConsoleLevel(int level) { State().consoleLevel = level; }

bool PrintNormal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool written = Print(1, format, args);
  va_end(args);
  return written;
}

bool PrintVerbose(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool written = Print(2, format, args);
  va_end(args);
  return written;
}

bool PrintDebug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool written = Print(3, format, args);
  va_end(args);
  return written;
}

bool ReportWarning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Report("Warning", State().warningCount, 2, format, args);
  va_end(args);
  return true;
}

bool ReportError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Report("Error", State().errorCount, 1, format, args);
  va_end(args);
  return true;
}

bool PrintToLog(const char* format, ...) {
  FILE* log = State().toolLog;
  if (!log) return false;
  va_list args;
  va_start(args, format);
  WriteText(log, FormatMessageV(format, args));
  va_end(args);
  return true;
}

bool OpenToolLog(const char* program, int level, bool append) {
  MessageState& state = State();
  platform::PathParts parts = platform::SplitPath(program);
  if (std::optional<std::string> full = platform::MakeFullPath(program)) {
    state.toolPath = *full;
  }
  if (state.toolLog) fclose(state.toolLog);
  state.toolLog = platform::OpenStream(parts.name + ".log", append ? "at" : "wt");
  state.logLevel = level;
  state.warningCount = 0;
  state.errorCount = 0;
  return state.toolLog != nullptr;
}

FILE* GetMungeLog() {
  MessageState& state = State();
  if (!state.mungeLog) state.mungeLog = platform::OpenStream(kMungeLogPath, "at");
  return state.mungeLog;
}

void CloseLogs() {
  MessageState& state = State();
  if (state.toolLog) fclose(state.toolLog);
  if (state.mungeLog) fclose(state.mungeLog);
  state.toolLog = nullptr;
  state.mungeLog = nullptr;
}

int WarningCount() { return State().warningCount; }
int ErrorCount() { return State().errorCount; }

HandyException::HandyException(const char* format, ...) {
  va_list args;
  va_start(args, format);
  message = FormatMessageV(format, args);
  va_end(args);
  ReportError("%s", message.c_str());
}
