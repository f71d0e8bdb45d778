#!/usr/bin/env bash
# Runs a Windows program under Wine; the cross build's tests run through it.
#
#   tools/wine-run.sh WINE PROGRAM [ARGUMENT...]
#
# Under load, Wine now and then fails to start a program: it exits non-zero
# before the program has printed a byte. Every test program prints before it
# does anything, so such a start is made once more. Each time that happens,
# a line is added to the file named by TOLSCRIPT_WINE_RESTARTS, when set, so
# that the run can tell. A program that printed anything keeps its result.
set -u
wine="$1"
shift
output="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")" || exit 125
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
  "$wine" "$@" | tee "$output"
  status=${PIPESTATUS[0]}
  if [[ $status -eq 0 || -s "$output" || $attempt -eq 2 ]]; then break; fi
  note="$* exited with status $status before printing anything; started again"
  echo "wine-run.sh: $note" >&2
  if [[ -n "${TOLSCRIPT_WINE_RESTARTS:-}" ]]; then echo "$note" >>"$TOLSCRIPT_WINE_RESTARTS"; fi
done
exit "$status"
