/* The least a driver of the compiler can cost: keeps N "luac -s -o OUT IN"
 * running at once, one per line "OUT IN" of standard input, and does
 * nothing else. The benchmarks time the program against it.
 *
 * Usage: spawn_floor N < pairs */
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
  int limit = argc > 1 ? atoi(argv[1]) : 1;
  if (limit < 1) limit = 1;
  char line[8192];
  int running = 0, failed = 0;
  while (fgets(line, sizeof line, stdin)) {
    line[strcspn(line, "\n")] = '\0';
    char* space = strchr(line, ' ');
    if (!space) continue;
    *space = '\0';
    char* args[] = {"luac", "-s", "-o", line, space + 1, NULL};
    if (running == limit) {
      int status;
      if (wait(&status) > 0) {
        --running;
        failed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0;
      }
    }
    pid_t child;
    if (posix_spawnp(&child, "luac", NULL, NULL, args, environ) != 0) return 2;
    ++running;
  }
  for (int status; running > 0 && wait(&status) > 0; --running)
    failed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  return failed;
}
