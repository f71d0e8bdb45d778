#!/usr/bin/env bash
# The built-in compiler against starting luac: a full munge of a generated
# corpus (bench/generate_scripts.sh) into a fresh folder on tmpfs with
# "-compiler builtin" (the default number of jobs, and "-jobs 1"), with
# "-compiler luac", and xargs running "luac -s -o" once per file on every
# processor. The sides take turns, each turn in another order; printed are
# the median wall times and the medians of each turn's ratio to xargs
# (goals: builtin at most 0.25, builtin with "-jobs 1" at most 0.5), then
# the peak memory of one run of each program side (/usr/bin/time -v).
#
# Usage: bench/builtin_ratio.sh [program]   (default: build/tolscript)
# Environment: COUNT (scripts, default 2000), ROUNDS (turns, default 9),
# TMPFS (folder on tmpfs, default /dev/shm), VERBOSE=1 prints each turn.
set -euo pipefail

program=${1:-build/tolscript}
count=${COUNT:-2000}
rounds=${ROUNDS:-9}
tmpfs=${TMPFS:-/dev/shm}

case $program in
  /*) ;;
  *) program=$(pwd)/$program ;;
esac
[ -x "$program" ] || { echo "builtin_ratio: no program at $program" >&2; exit 2; }
command -v luac >/dev/null || { echo "builtin_ratio: luac is not on PATH" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "builtin_ratio: /usr/bin/time is missing (package time)" >&2; exit 2; }

work=$(mktemp -d "$tmpfs/builtin-ratio.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
bash "$(dirname "$0")/generate_scripts.sh" "$count" "$work/src"
find "$work/src" -name '*.lua' | sort > "$work/list"
processors=$(nproc)

# Seconds of wall time of the command given.
wall() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1
  end=$(date +%s%N)
  awk -v n=$((end - start)) 'BEGIN { printf "%.4f", n / 1e9 }'
}

munge() {  # compiler, jobs, output folder
  mkdir -p "$3"
  (cd "$work/src" && "$program" -inputfile '!*.lua' -outputdir "$3/" -quiet -compiler "$1" \
     ${2:+-jobs "$2"})
}
xargs_luac() {  # output folder
  mkdir -p "$1"
  awk -v out="$1" '{ print "-s -o " out "/" NR ".luac " $0 }' "$work/list" |
    xargs -P "$processors" -L 1 luac
}

sides=(builtin builtin1 luac xargs)
declare -A times
for round in $(seq "$rounds"); do
  # Each turn starts with another side, so that none always runs first.
  for k in 0 1 2 3; do
    side=${sides[$(((round + k) % 4))]}
    out="$work/out-$side-$round"
    case $side in
      builtin) t=$(wall munge builtin "" "$out") ;;
      builtin1) t=$(wall munge builtin 1 "$out") ;;
      luac) t=$(wall munge luac "" "$out") ;;
      xargs) t=$(wall xargs_luac "$out") ;;
    esac
    times[$side]+="$t "
    rm -rf "$out"
  done
  if [ -n "${VERBOSE:-}" ]; then
    echo "turn $round:$(for s in "${sides[@]}"; do printf ' %s %s' "$s" "$(echo ${times[$s]} | awk '{print $NF}')"; done)" >&2
  fi
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ r[NR] = $1 } END { print NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }
# The median of the per-turn ratios side / xargs.
ratio() {
  paste -d' ' <(tr ' ' '\n' <<< "${times[$1]}" | grep .) <(tr ' ' '\n' <<< "${times[xargs]}" | grep .) |
    awk '{ printf "%.4f ", $1 / $2 }' | median
}

# The output must be what luac writes: spot-check one script.
check="$work/check"
munge builtin "" "$check/builtin" > /dev/null
munge luac "" "$check/luac" > /dev/null
cmp -s "$check/builtin/script0001.script" "$check/luac/script0001.script" ||
  { echo "builtin_ratio: the outputs differ" >&2; exit 1; }

peak() {  # peak resident memory of a run, in KiB
  mkdir -p "$work/peak"
  ( cd "$work/src" && /usr/bin/time -f '%M' "$@" -inputfile '!*.lua' -outputdir "$work/peak/" -quiet \
      2>&1 >/dev/null | tail -n 1 )
  rm -rf "$work/peak"
}

echo "scripts:    $count ($(du -sk "$work/src" | cut -f1) KiB of source, on $(df --output=fstype "$work" | tail -n 1))"
echo "processors: $processors, turns: $rounds"
for side in "${sides[@]}"; do
  printf '%-10s  median %.3f s' "$side" "$(median <<< "${times[$side]}")"
  [ "$side" = xargs ] || printf ', %.3f of xargs (median of turns)' "$(ratio "$side")"
  echo
done
echo "targets:    builtin <= 0.25 of xargs, builtin with -jobs 1 <= 0.5 of xargs"
echo "peak RSS:   builtin $(peak "$program" -compiler builtin) KiB," \
     "builtin -jobs 1 $(peak "$program" -compiler builtin -jobs 1) KiB," \
     "luac $(peak "$program" -compiler luac) KiB (the program or its largest luac)"
