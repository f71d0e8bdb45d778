/* Writes its arguments, one per line as "[arg]", to the file named by the
   environment variable ARGV_RECORDER_OUT, then exits with the status given
   by ARGV_RECORDER_STATUS (default 0). */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  const char* out = getenv("ARGV_RECORDER_OUT");
  FILE* f = out ? fopen(out, "wb") : NULL;
  if (out && !f) return 100;
  for (int i = 1; f && i < argc; ++i) fprintf(f, "[%s]\n", argv[i]);
  if (f) fclose(f);
  return getenv("ARGV_RECORDER_STATUS") ? atoi(getenv("ARGV_RECORDER_STATUS")) : 0;
}
