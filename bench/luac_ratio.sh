#!/usr/bin/env bash
# How the program compares with running the compiler by hand: munges a
# generated corpus of Lua scripts with the program (its default number of
# jobs), with xargs running "luac -s -o" once per file on every processor,
# and with a plain sequential shell loop doing the same, and prints the
# three times and two ratios: program / xargs (goal: at most 1.0) and
# program / loop (goal: at most 0.6 on two processors), then the median of
# the program / xargs ratios of single turns. Wall time decides;
# the CPU time (user + system, the compilers included) is printed beside
# it.
#
# Usage: bench/luac_ratio.sh [program]   (default: build/tolscript)
# Environment: COUNT (scripts, default 2000), REPEAT (runs of each side,
# the best one counts, default 3), KEEP=1 keeps the work directory,
# VERBOSE=1 prints each turn's times.
set -euo pipefail

program=${1:-build/tolscript}
count=${COUNT:-2000}
repeat=${REPEAT:-3}

case $program in
  /*) ;;
  *) program=$(pwd)/$program ;;
esac
if [ ! -x "$program" ]; then
  echo "luac_ratio: no program at $program" >&2
  exit 2
fi
command -v luac >/dev/null || { echo "luac_ratio: luac is not on PATH" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/luac-ratio.XXXXXX")
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT INT TERM

bash "$(dirname "$0")/generate_scripts.sh" "$count" "$work/src"

# Runs the command given and sets `wall` and `cpu` (seconds).
measure() {
  local TIMEFORMAT='%R %U %S' times
  times=$( { time "$@" > /dev/null 2>&3; } 3>&2 2>&1 )
  wall=$(awk '{ printf "%.3f", $1 }' <<< "$times")
  cpu=$(awk '{ printf "%.3f", $2 + $3 }' <<< "$times")
}

# Keeps the best (least wall time) run of a side in `<side>_wall` and
# `<side>_cpu`.
keep_best() {
  local best_wall_var=${1}_wall best_cpu_var=${1}_cpu
  if [ -z "${!best_wall_var:-}" ] || awk -v a="$wall" -v b="${!best_wall_var}" 'BEGIN { exit !(a < b) }'; then
    printf -v "$best_wall_var" '%s' "$wall"
    printf -v "$best_cpu_var" '%s' "$cpu"
  fi
}

# (a) The program over the whole tree in one run.
munge() { (cd "$work/src" && "$program" -inputfile '!*.lua' -outputdir "../out$run/" -quiet); }

# (b) A plain loop, one compiler run per file.
find "$work/src" -name '*.lua' | sort > "$work/list"
processors=$(nproc)
compile_each() {
  local n=0 file
  while read -r file; do
    n=$((n + 1))
    luac -s -o "$work/loop$run/$n.luac" "$file"
  done < "$work/list"
}

# The sides take turns, so that a change in the machine's load hits them
# alike. Each side writes into a new folder of its own in every turn, and
# nothing is deleted before the end: on some file systems the cost of
# creating a file depends on its folder (files deleted there in the last
# minutes make each new one slower), so deleting one side's files before
# another side runs would charge that side for them.
# (c) xargs running as many compilers at once as there are processors.
awk '{ print "-s -o OUT/" NR ".luac " $0 }' "$work/list" > "$work/pairs"
compile_parallel() {
  sed "s|OUT/|$work/par$run/|" "$work/pairs" | xargs -P "$processors" -L 1 luac
}

program_wall= loop_wall= xargs_wall=
turn_ratios=()
run_program() {
  mkdir -p "$work/out$run"
  measure munge
  keep_best program
  program_turn=$wall
  made=$(find "$work/out$run" -name '*.script' | wc -l)
  if [ "$made" -ne "$count" ]; then
    echo "luac_ratio: the program made $made outputs of $count" >&2
    exit 1
  fi
}
run_loop() {
  mkdir -p "$work/loop$run"
  measure compile_each
  keep_best loop
}
run_xargs() {
  mkdir -p "$work/par$run"
  measure compile_parallel
  keep_best xargs
  xargs_turn=$wall
}
for run in $(seq "$repeat"); do
  # Who goes first changes each turn: recently deleted files stop costing
  # anything after a while, which favours the side that runs second.
  if [ $((run % 2)) = 1 ]; then
    run_program; run_xargs; run_loop
  else
    run_loop; run_xargs; run_program
  fi
  turn_ratios+=("$(awk -v p="$program_turn" -v x="$xargs_turn" 'BEGIN { printf "%.3f", p / x }')")
  if [ -n "${VERBOSE:-}" ]; then
    echo "turn $run: program $program_turn s, xargs $xargs_turn s" >&2
  fi
done

echo "scripts:   $count ($(du -sk "$work/src" | cut -f1) KiB of source)"
[ "${KEEP:-0}" = 1 ] && echo "kept:      $work"
echo "processors: $processors"
echo "program:   ${program_wall} s wall, ${program_cpu} s CPU (best of $repeat)"
echo "xargs -P$processors: ${xargs_wall} s wall, ${xargs_cpu} s CPU (best of $repeat)"
echo "luac loop: ${loop_wall} s wall, ${loop_cpu} s CPU (best of $repeat)"
awk -v pw="$program_wall" -v lw="$loop_wall" -v xw="$xargs_wall" 'BEGIN {
  printf "ratio:     %.3f program / xargs (target <= 1.0)\n", pw / xw
  printf "ratio:     %.3f program / loop (target <= 0.6 on two processors)\n", pw / lw
}'
# The machine's own speed may change between turns; the two sides of one
# turn run back to back, so their ratio is the steadier figure.
printf '%s\n' "${turn_ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END {
  m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
  printf "turns:     %.3f program / xargs, median of %d turns (%.3f to %.3f)\n", m, NR, r[1], r[NR]
}'
