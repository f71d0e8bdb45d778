#!/usr/bin/env bash
# What a "-checkdate" run costs when everything is up to date, against
# ninja doing nothing over the same files. For each size (default 1000,
# 10000 and 50000 inputs) it builds a layered tree (source, platform and
# two override roots, half of the inputs in subfolders) in a folder whose
# absolute path has capital letters, munges it once with a stand-in
# compiler, lets ninja build a build.ninja with one edge per input once,
# then times the no-op of each (best of REPEAT, default 5), with the roots
# given as absolute paths, as users type them; it counts the program's
# file-status calls with strace and reads its peak memory.
#
# Usage: bench/noop_ratio.sh [program] [sizes...]   (default: build/tolscript)
# Needs ninja (ninja-build), strace, GNU time and a C compiler; KEEP=1
# keeps the trees.
set -euo pipefail

program=${1:-build/tolscript}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 10000 50000)
repeat=${REPEAT:-5}
case $program in
  /*) ;;
  *) program=$(pwd)/$program ;;
esac
[ -x "$program" ] || { echo "noop_ratio: no program at $program" >&2; exit 2; }
for tool in ninja strace cc /usr/bin/time; do
  command -v $tool >/dev/null || { echo "noop_ratio: $tool is not on PATH" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/Noop-Ratio.XXXXXX")
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT INT TERM

# A compiler that answers at once, so that the first munge of a large tree
# takes seconds, not minutes: it writes "compiled" to the file after "-o".
mkdir -p "$work/bin"
cat > "$work/bin/luac.c" <<'EOF_C'
#include <stdio.h>
#include <string.h>
int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (strcmp(argv[i], "-o") != 0) continue;
    FILE* out = fopen(argv[i + 1], "wb");
    return !out || fputs("compiled", out) < 0 || fclose(out) != 0;
  }
  return 1;
}
EOF_C
cc -O2 -o "$work/bin/luac" "$work/bin/luac.c"

# Seconds of the best of `repeat` runs of the command given.
best_of() {
  local best="" t
  for _ in $(seq "$repeat"); do
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1
    end=$(date +%s%N)
    t=$((end - start))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

for count in "${sizes[@]}"; do
  tree="$work/tree$count"
  mkdir -p "$tree"
  # 100 inputs a folder; every other folder lies one level down. The
  # platform root overrides every tenth input, each override root every
  # twentieth.
  awk -v count="$count" -v root="$tree" 'BEGIN {
    for (i = 0; i < count; i++) {
      folder = sprintf("d%d", int(i / 100))
      if (int(i / 100) % 2) folder = sprintf("g%d/%s", int(i / 1000), folder)
      if (i % 100 == 0) system("mkdir -p " root "/Src/" folder " " root "/Plat/" folder " " \
                               root "/Ov1/" folder " " root "/Ov2/" folder)
      name = sprintf("%s/s%d.lua", folder, i)
      print "x = " i > (root "/Src/" name); close(root "/Src/" name)
      if (i % 10 == 0) { print "p = " i > (root "/Plat/" name); close(root "/Plat/" name) }
      if (i % 20 == 0) { print "o = " i > (root "/Ov1/" name); close(root "/Ov1/" name) }
      if (i % 20 == 5) { print "q = " i > (root "/Ov2/" name); close(root "/Ov2/" name) }
    }
  }'
  mkdir -p "$tree/out"
  run_program() {
    (cd "$tree" && PATH="$work/bin:$PATH" MUNGE_PLATFORM_DIR_STR=Plat \
      MUNGE_PLATFORM_OVERRIDE_STR='Ov1;Ov2' "$@" "$program" -inputfile '!*.lua' \
      -sourcedir "$tree/Src" -platformdir "$tree/Plat" -outputdir "$tree/Out/" -checkdate -quiet)
  }
  munge() { run_program; }
  munge
  made=$(find "$tree/out" -name '*.script' | wc -l)
  [ "$made" -eq "$count" ] || { echo "noop_ratio: $made outputs of $count" >&2; exit 1; }

  # One edge per input, from the file of the root that wins to an output
  # of its own.
  (cd "$tree/Src" && find . -name '*.lua' | sort) | awk -v tree="$tree" '
    BEGIN { print "rule copy\n  command = cp $in $out\n" }
    {
      rel = substr($0, 3); input = "Src/" rel
      for (r = 0; r < 3; r++) {
        root = (r == 0 ? "Ov2" : r == 1 ? "Ov1" : "Plat")
        if ((getline line < (tree "/" root "/" rel)) > 0) { input = root "/" rel; close(tree "/" root "/" rel); break }
      }
      out = rel; gsub("/", "_", out)
      printf "build nout/%s: copy %s\n", out, input
    }' > "$tree/build.ninja"
  (cd "$tree" && ninja -j "$(nproc)" > /dev/null)

  program_time=$(best_of munge)
  ninja_time=$(best_of ninja -C "$tree")
  ninja -C "$tree" | grep -q "no work to do" || { echo "noop_ratio: ninja had work" >&2; exit 1; }
  run_program strace -c -e trace=%stat,%fstat,access,faccessat,faccessat2 -o "$work/strace" \
    > /dev/null 2>&1
  stats=$(awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { calls += $4 } END { print calls + 0 }' "$work/strace")
  run_program /usr/bin/time -f %M -o "$work/memory" > /dev/null 2>&1
  memory=$(cat "$work/memory")
  awk -v n="$count" -v p="$program_time" -v j="$ninja_time" -v s="$stats" -v m="$memory" 'BEGIN {
    printf "%6d inputs: program %.3f s (%.2f us/input), ninja no-op %.3f s, ratio %.2f " \
           "(target <= 1.0); %.2f file-status calls per input; peak memory %d KiB (%.2f KiB/input)\n",
           n, p, p * 1e6 / n, j, p / j, s / n, m, m / n
  }'
  [ "${KEEP:-0}" = 1 ] || rm -rf "$tree"
done
