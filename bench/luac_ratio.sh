#!/usr/bin/env bash
# How the program compares with running the compiler by hand: munges a
# generated corpus of Lua scripts with the program (its default number of
# jobs; the roots given as absolute paths with capital letters, as users
# type them), with xargs running "luac -s -o" once per file on every
# processor, with the spawn floor (bench/spawn_floor.c: a C program that
# only keeps that many "luac -s -o" running, one per file), and with a
# plain sequential shell loop, and prints the four times and the ratios:
# program / xargs (goal: at most 0.9 into fresh folders, 1.0 over existing
# outputs), program / spawn floor (goal: at most 1.1) and program / loop,
# then the medians of the ratios of single turns. Wall time decides; the
# CPU time (user + system, the compilers included) is printed beside it.
#
# Usage: bench/luac_ratio.sh [program]   (default: build/tolscript)
# Environment: COUNT (scripts, default 2000), REPEAT (turns, the best one
# of each side counts, default 3), TMPDIR (where the work folder goes: a
# tmpfs such as /dev/shm, or a disk), OVER=1 writes every turn over the
# outputs of the turn before instead of into fresh folders, KEEP=1 keeps
# the work directory, VERBOSE=1 prints each turn's times.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/Luac-Ratio.XXXXXX")
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

# Each turn's folder of a side: a new one, or with OVER=1 the same one.
turn_folder() { if [ "${OVER:-0}" = 1 ]; then echo "$work/$1"; else echo "$work/$1$run"; fi; }

# (a) The program over the whole tree in one run.
munge() { "$program" -inputfile '!*.lua' -sourcedir "$work/src" -outputdir "$(turn_folder out)/" -quiet; }

# (b) A plain loop, one compiler run per file.
find "$work/src" -name '*.lua' | sort > "$work/list"
processors=$(nproc)
compile_each() {
  local n=0 file
  while read -r file; do
    n=$((n + 1))
    luac -s -o "$(turn_folder loop)/$n.luac" "$file"
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
  sed "s|OUT/|$(turn_folder par)/|" "$work/pairs" | xargs -P "$processors" -L 1 luac
}
# (d) The spawn floor, as many at once.
cc -O2 -o "$work/spawn_floor" "$(dirname "$0")/spawn_floor.c"
awk '{ print "OUT/" NR ".luac " $0 }' "$work/list" > "$work/floor_pairs"
spawn_floor() {
  sed "s|OUT/|$(turn_folder floor)/|" "$work/floor_pairs" | "$work/spawn_floor" "$processors"
}

program_wall= loop_wall= xargs_wall= floor_wall=
xargs_ratios=() floor_ratios=()
run_program() {
  mkdir -p "$(turn_folder out)"
  measure munge
  keep_best program
  program_turn=$wall
  made=$(find "$(turn_folder out)" -name '*.script' | wc -l)
  if [ "$made" -ne "$count" ]; then
    echo "luac_ratio: the program made $made outputs of $count" >&2
    exit 1
  fi
}
run_loop() {
  mkdir -p "$(turn_folder loop)"
  measure compile_each
  keep_best loop
}
run_xargs() {
  mkdir -p "$(turn_folder par)"
  measure compile_parallel
  keep_best xargs
  xargs_turn=$wall
}
run_floor() {
  mkdir -p "$(turn_folder floor)"
  measure spawn_floor
  keep_best floor
  floor_turn=$wall
}
if [ "${OVER:-0}" = 1 ]; then
  # Outputs to write over, and nothing timed yet.
  run=0
  run_program; run_xargs; run_floor; run_loop
  program_wall= loop_wall= xargs_wall= floor_wall=
fi
for run in $(seq "$repeat"); do
  # Who goes first changes each turn: recently deleted files stop costing
  # anything after a while, which favours the side that runs second.
  if [ $((run % 2)) = 1 ]; then
    run_program; run_xargs; run_floor; run_loop
  else
    run_loop; run_floor; run_xargs; run_program
  fi
  xargs_ratios+=("$(awk -v p="$program_turn" -v x="$xargs_turn" 'BEGIN { printf "%.3f", p / x }')")
  floor_ratios+=("$(awk -v p="$program_turn" -v x="$floor_turn" 'BEGIN { printf "%.3f", p / x }')")
  if [ -n "${VERBOSE:-}" ]; then
    echo "turn $run: program $program_turn s, xargs $xargs_turn s, floor $floor_turn s" >&2
  fi
done

echo "scripts:   $count ($(du -sk "$work/src" | cut -f1) KiB of source) in $work"
[ "${KEEP:-0}" = 1 ] && echo "kept:      $work"
echo "processors: $processors; $([ "${OVER:-0}" = 1 ] && echo "over existing outputs" || echo "fresh folders")"
echo "program:   ${program_wall} s wall, ${program_cpu} s CPU (best of $repeat)"
echo "xargs -P$processors: ${xargs_wall} s wall, ${xargs_cpu} s CPU (best of $repeat)"
echo "floor:     ${floor_wall} s wall, ${floor_cpu} s CPU (best of $repeat)"
echo "luac loop: ${loop_wall} s wall, ${loop_cpu} s CPU (best of $repeat)"
awk -v pw="$program_wall" -v lw="$loop_wall" -v xw="$xargs_wall" -v fw="$floor_wall" 'BEGIN {
  printf "ratio:     %.3f program / xargs (target <= 0.9, over existing outputs 1.0)\n", pw / xw
  printf "ratio:     %.3f program / spawn floor (target <= 1.1)\n", pw / fw
  printf "ratio:     %.3f program / loop\n", pw / lw
}'
# The machine's own speed may change between turns; the sides of one turn
# run back to back, so their ratio is the steadier figure.
median() {
  sort -n | awk -v what="$1" '{ r[NR] = $1 } END {
    m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
    printf "turns:     %.3f program / %s, median of %d turns (%.3f to %.3f)\n", m, what, NR, r[1], r[NR]
  }'
}
printf '%s\n' "${xargs_ratios[@]}" | median xargs
printf '%s\n' "${floor_ratios[@]}" | median "spawn floor"
