/* Writes its arguments, one per line as "[arg]", to the file named by the
   environment variable ARGV_RECORDER_OUT, then exits with the status given
   by ARGV_RECORDER_STATUS (default 0). */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  const char* out = getenv("ARGV_RECORDER_OUT");
  const char* status = getenv("ARGV_RECORDER_STATUS");
  if (out) {
    FILE* f = fopen(out, "wb");
    if (!f) return 100;
    for (int i = 1; i < argc; ++i) fprintf(f, "[%s]\n", argv[i]);
    fclose(f);
  }
  return status ? atoi(status) : 0;
}
