#!/usr/bin/env bash
# What a "-checkdate" run costs when everything is up to date, against
# ninja doing nothing over the same files. For each size (default 10000
# and 100000 inputs) it builds a layered tree (source, platform and two
# override roots, half of the inputs in subfolders), munges it once with a
# stand-in compiler, lets ninja build a build.ninja with one edge per input
# once, then times the no-op of each (best of REPEAT, default 5) and counts
# the program's file-status calls with strace.
#
# Usage: bench/noop_ratio.sh [program] [sizes...]   (default: build/tolscript)
# Needs ninja (ninja-build), strace and a C compiler; KEEP=1 keeps the trees.
set -euo pipefail

program=${1:-build/tolscript}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000)
repeat=${REPEAT:-5}
case $program in
  /*) ;;
  *) program=$(pwd)/$program ;;
esac
[ -x "$program" ] || { echo "noop_ratio: no program at $program" >&2; exit 2; }
for tool in ninja strace cc; do
  command -v $tool >/dev/null || { echo "noop_ratio: $tool is not on PATH" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/noop-ratio.XXXXXX")
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
      if (i % 100 == 0) system("mkdir -p " root "/src/" folder " " root "/plat/" folder " " \
                               root "/ov1/" folder " " root "/ov2/" folder)
      name = sprintf("%s/s%d.lua", folder, i)
      print "x = " i > (root "/src/" name); close(root "/src/" name)
      if (i % 10 == 0) { print "p = " i > (root "/plat/" name); close(root "/plat/" name) }
      if (i % 20 == 0) { print "o = " i > (root "/ov1/" name); close(root "/ov1/" name) }
      if (i % 20 == 5) { print "q = " i > (root "/ov2/" name); close(root "/ov2/" name) }
    }
  }'
  mkdir -p "$tree/out"
  munge() {
    (cd "$tree" && PATH="$work/bin:$PATH" MUNGE_PLATFORM_DIR_STR=plat \
      MUNGE_PLATFORM_OVERRIDE_STR='ov1;ov2' "$program" -inputfile '!*.lua' -sourcedir src \
      -platformdir plat -outputdir out/ -checkdate -quiet)
  }
  munge
  made=$(find "$tree/out" -name '*.script' | wc -l)
  [ "$made" -eq "$count" ] || { echo "noop_ratio: $made outputs of $count" >&2; exit 1; }

  # One edge per input, from the file of the root that wins to an output
  # of its own.
  (cd "$tree/src" && find . -name '*.lua' | sort) | awk -v tree="$tree" '
    BEGIN { print "rule copy\n  command = cp $in $out\n" }
    {
      rel = substr($0, 3); input = "src/" rel
      for (r = 0; r < 3; r++) {
        root = (r == 0 ? "ov2" : r == 1 ? "ov1" : "plat")
        if ((getline line < (tree "/" root "/" rel)) > 0) { input = root "/" rel; close(tree "/" root "/" rel); break }
      }
      out = rel; gsub("/", "_", out)
      printf "build nout/%s: copy %s\n", out, input
    }' > "$tree/build.ninja"
  (cd "$tree" && ninja -j "$(nproc)" > /dev/null)

  program_time=$(best_of munge)
  ninja_time=$(best_of ninja -C "$tree")
  ninja -C "$tree" | grep -q "no work to do" || { echo "noop_ratio: ninja had work" >&2; exit 1; }
  stats=$(cd "$tree" && PATH="$work/bin:$PATH" MUNGE_PLATFORM_DIR_STR=plat \
    MUNGE_PLATFORM_OVERRIDE_STR='ov1;ov2' strace -f -c -e trace=%stat,%fstat -o "$work/strace" \
    "$program" -inputfile '!*.lua' -sourcedir src -platformdir plat -outputdir out/ -checkdate \
    -quiet >/dev/null 2>&1; awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { calls += $4 } END { print calls + 0 }' "$work/strace")
  awk -v n="$count" -v p="$program_time" -v j="$ninja_time" -v s="$stats" 'BEGIN {
    printf "%6d inputs: program %.3f s (%.2f us/input), ninja no-op %.3f s, ratio %.2f " \
           "(target <= 1.5); %.2f file-status calls per input (target <= 3)\n",
           n, p, p * 1e6 / n, j, p / j, s / n
  }'
  [ "${KEEP:-0}" = 1 ] || rm -rf "$tree"
done
