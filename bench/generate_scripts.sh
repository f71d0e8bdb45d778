#!/usr/bin/env bash
# Writes a corpus of real-looking Lua scripts for the benchmarks.
# Usage: bench/generate_scripts.sh COUNT ROOT
set -euo pipefail
mkdir -p "$2"

# The corpus: scripts of 1 to 40 functions in 20 folders (some nested),
# with tables, loops, strings, comments and cinematic shots, so that sizes
# range from a few hundred bytes to some kilobytes.
awk -v count="$1" -v root="$2" 'BEGIN {
  srand(20261206)
  for (i = 0; i < count; i++) {
    folder = sprintf("%s/area%02d", root, i % 20)
    if (i % 3 == 0) folder = folder "/sub" (i % 4)
    if (!(folder in made)) { system("mkdir -p \"" folder "\""); made[folder] = 1 }
    file = sprintf("%s/script%04d.lua", folder, i)
    functions = 1 + int(rand() * rand() * 40)
    printf "-- generated script %d\nlocal state = { id = %d, name = \"s%d\" }\n", i, i, i > file
    for (f = 0; f < functions; f++) {
      printf "function F%d_%d(a, b)\n", i, f > file
      printf "  local t = { %d, %d, \"x%d\", k = %f }\n", f, f * 7, f, rand() > file
      printf "  for n = 1, a or %d do\n    b = (b or 0) + n * %d\n  end\n", f + 3, f + 1 > file
      if (rand() < 0.3) printf "  PlayCinematicShot('Shot%d_%d') -- cinematic\n", i, f > file
      if (rand() < 0.5) printf "  if b > %d then return t[1] .. state.name end\n", f * 11 > file
      printf "  return b, #t\nend\n" > file
    }
    close(file)
  }
}'

