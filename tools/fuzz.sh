#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/*_fuzzer.cpp) with clang and runs each
# for a bounded time on a copy of its seed corpus, so fuzz/corpus stays as
# committed. FUZZ_SECONDS per target (default 30), BUILD_DIR (default
# build-fuzz), FUZZ_TARGETS to run some only ("tokenizer path_rules").
# Fails on any crash, leak, timeout, out-of-memory or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages cmake make clang liblua5.1-0-dev

build="${BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"

# The libFuzzer runtime comes in a package of its own on some releases.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  major="$(clang++ -dumpversion | cut -d. -f1)"
  if apt-cache show "libclang-rt-$major-dev" >/dev/null 2>&1; then
    ensure_packages "libclang-rt-$major-dev"
  else
    ensure_packages "libfuzzer-$major-dev"
  fi
fi

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTOLSCRIPT_FUZZERS=ON -DTOLSCRIPT_TESTS=OFF -DTOLSCRIPT_WERROR="${TOLSCRIPT_WERROR:-OFF}" \
  >/dev/null
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for source in fuzz/*_fuzzer.cpp; do
    name="$(basename "$source" .cpp)"
    targets+=("${name%_fuzzer}")
  done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
total=0
findings=0
for target in "${targets[@]}"; do
  work="$build/fuzz-run/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/artifacts/")
  [ -f "fuzz/${target}_fuzzer.dict" ] && args+=(-dict="fuzz/${target}_fuzzer.dict")
  status=0
  "$build/fuzz/${target}_fuzzer" "${args[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?

  executions="$(awk '/^stat::number_of_executed_units:/ {n = $2} END {print n + 0}' "$work/log")"
  found=0
  shopt -s nullglob
  artifacts=("$work"/artifacts/{crash,leak,timeout,oom}-*)
  shopt -u nullglob
  if [ "$status" -ne 0 ] || [ ${#artifacts[@]} -gt 0 ] ||
     grep -aqE 'runtime error:|ERROR: (Address|Leak|Undefined)Sanitizer' "$work/log"; then
    found=$(( ${#artifacts[@]} > 0 ? ${#artifacts[@]} : 1 ))
  fi
  echo "$target: $executions executions, $found findings (exit $status, log $work/log)"
  if [ "$found" -ne 0 ]; then
    grep -a -m 20 -E 'property failed|ERROR:|runtime error:|SUMMARY:|Test unit written' \
      "$work/log" || true
    for artifact in "${artifacts[@]}"; do
      echo "  $artifact: $(head -c 256 "$artifact" | od -An -tx1 -v | tr -d ' \n')"
    done
  fi
  total=$((total + executions))
  findings=$((findings + found))
done

echo "fuzz: ${#targets[@]} targets, $total executions, $findings findings"
[ "$findings" -eq 0 ]
