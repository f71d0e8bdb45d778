// The message service: progress lines at three levels, warnings and errors
// on the console and in the two logs, and the one exception type that
// carries a fatal error. One state per process, used from one thread.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#if defined(__MINGW32__)
// The C++ runtime formats with the C99 rules there (%zu, %lld), so check by
// those rather than by the system library's.
#define TOOL_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define TOOL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TOOL_PRINTF(fmt, args)
#endif

// Highest print level shown on the console: 0 quiet, 1 normal, 2 verbose,
// 3 debug.
int ConsoleLevel();
void SetConsoleLevel(int level);

// Whether a print at `level` (1 normal, 2 verbose, 3 debug) is shown or
// logged: what only such a print needs is not worth making otherwise.
bool PrintsAt(int level);

bool PrintNormal(const char* format, ...) TOOL_PRINTF(1, 2);
bool PrintVerbose(const char* format, ...) TOOL_PRINTF(1, 2);
bool PrintDebug(const char* format, ...) TOOL_PRINTF(1, 2);

bool ReportWarning(const char* format, ...) TOOL_PRINTF(1, 2);
bool ReportError(const char* format, ...) TOOL_PRINTF(1, 2);

// Writes to the tool log only; false when it is not open.
bool PrintToLog(const char* format, ...) TOOL_PRINTF(1, 2);

// Opens "<program name>.log" in the current directory, replaced unless
// `append`. Resets the problem counts. True when the log is open.
bool OpenToolLog(const char* program, int level, bool append);

// The shared munge log, opened for appending on first need; nullptr when it
// cannot be opened (tried again at the next need).
FILE* GetMungeLog();

void CloseLogs();

// Problems reported since the tool log was opened; the exit status follows
// the error count.
int WarningCount();
int ErrorCount();

// `bytes` fit to show in a message: bytes below 0x20 (but tab) and 0x7F
// become "\xHH", so that text read from files or found on disk cannot
// drive a terminal or break a log line. Everything else, UTF-8 included,
// stays as it is.
std::string Printable(std::string_view bytes);

// A message formatted whole, however long.
std::string FormatMessage(const char* format, ...) TOOL_PRINTF(1, 2);
std::string FormatMessageV(const char* format, va_list args);

// The fatal error. Constructing one reports its message as an error; it is
// thrown and caught by value.
class HandyException {
 public:
  explicit HandyException(const char* format, ...) TOOL_PRINTF(2, 3);
  const char* GetMessage() const { return message.c_str(); }

 private:
  std::string message;
};
