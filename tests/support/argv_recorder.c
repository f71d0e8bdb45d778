/* Writes its arguments, one per line as "[arg]", to the file named by the
   environment variable ARGV_RECORDER_OUT, then exits with the status given
   by ARGV_RECORDER_STATUS (default 0). With ARGV_RECORDER_PID set it
   instead writes its process id to the file named so and waits a minute,
   a live process for the tests to find until they stop it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

static int WaitWithPid(const char* pidFile) {
  char part[4096];
  snprintf(part, sizeof part, "%s.part", pidFile);
  FILE* f = fopen(part, "wb");
  if (!f) return 100;
#ifdef _WIN32
  fprintf(f, "%lu", (unsigned long)GetCurrentProcessId());
#else
  fprintf(f, "%ld", (long)getpid());
#endif
  /* Renamed when complete, so that a reader never sees half of it. */
  if (fclose(f) != 0 || rename(part, pidFile) != 0) return 100;
#ifdef _WIN32
  Sleep(60000);
#else
  sleep(60);
#endif
  return 0;
}

int main(int argc, char** argv) {
  if (getenv("ARGV_RECORDER_PID")) return WaitWithPid(getenv("ARGV_RECORDER_PID"));
  const char* out = getenv("ARGV_RECORDER_OUT");
  FILE* f = out ? fopen(out, "wb") : NULL;
  if (out && !f) return 100;
  for (int i = 1; f && i < argc; ++i) fprintf(f, "[%s]\n", argv[i]);
  if (f) fclose(f);
  return getenv("ARGV_RECORDER_STATUS") ? atoi(getenv("ARGV_RECORDER_STATUS")) : 0;
}
