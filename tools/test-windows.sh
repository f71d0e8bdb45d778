#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 and runs the test suite under
# Wine.
#
#   tools/test-windows.sh [--target TARGET] [--tests REGEX] [--no-luac] [BUILD_DIR]
#
# BUILD_DIR defaults to build-windows/ in the source tree. --target builds
# one target instead of all; --tests runs only the tests whose names match
# REGEX (ctest -R). Lua 5.1's library (linked into the program) and a
# Windows luac.exe are built from Debian's lua5.1 source package into the
# build directory; luac.exe is put on the Windows PATH, unless --no-luac
# is given. Set TOLSCRIPT_WERROR=ON to treat warnings as errors.
# Missing Debian packages are installed (as root, without questions). Up to
# three failed tests get a second run, as Wine now and then fails to start a
# program; the run names them. Exits non-zero, saying which step failed,
# when the build fails or a test fails both runs.
set -euo pipefail

scriptStart=$(date +%s%N)
sourceDir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
buildDir=""
target=""
testRegex=""
buildLuac=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --target) target="${2:?--target needs a value}"; shift 2 ;;
    --tests) testRegex="${2:?--tests needs a value}"; shift 2 ;;
    --no-luac) buildLuac=0; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    -*) echo "test-windows.sh: unknown option $1" >&2; exit 2 ;;
    *) buildDir="$1"; shift ;;
  esac
done
buildDir="${buildDir:-$sourceDir/build-windows}"
mkdir -p "$buildDir"
buildDir="$(cd "$buildDir" && pwd)"
# "wineserver -k" ends every program of the prefix: a second run on the same
# build directory would kill this one's tests half-way through starting.
exec 9>"$buildDir/.test-windows.lock"
if ! flock -n 9; then
  echo "test-windows.sh: FAILED: another run is using $buildDir" >&2
  exit 1
fi

Fail() {
  echo "test-windows.sh: FAILED: $*" >&2
  exit 1
}

Seconds() {
  local tenths=$((($(date +%s%N) - $1) / 100000000))
  echo "$((tenths / 10)).$((tenths % 10)) s"
}

stepStart=0
StartStep() {
  echo "==> $1"
  stepStart=$(date +%s%N)
}
EndStep() {
  echo "==> $1 took $(Seconds "$stepStart")"
}

AsRoot() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    # -n: fail instead of asking for a password.
    sudo -n "$@"
  else
    Fail "installing packages needs root: run as root or install: $*"
  fi
}

aptUpdated=0
AptUpdate() {
  AsRoot env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null ||
    Fail "apt-get update"
  aptUpdated=1
}
AptInstall() {
  [[ $aptUpdated -eq 1 ]] || AptUpdate
  AsRoot env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" \
    </dev/null || Fail "apt-get install $*"
}

# Each entry: a file or command that must exist, and the package that has it.
InstallMissing() {
  local wanted=() check package
  while [[ $# -gt 0 ]]; do
    check="$1" package="$2"
    shift 2
    if [[ "$check" == /* ]]; then
      [[ -e "$check" ]] || wanted+=("$package")
    else
      command -v "$check" >/dev/null 2>&1 || wanted+=("$package")
    fi
  done
  if [[ ${#wanted[@]} -gt 0 ]]; then
    echo "installing: ${wanted[*]}"
    AptInstall "${wanted[@]}"
  fi
}

# Lua 5.1 for Windows, from the sources of the Lua that Debian ships: the
# static library that the program links (its built-in compiler) and the
# luac.exe that the tests run. Only the build directory holds the sources,
# the library and the program.
FetchLuaSource() {
  local luaDir="$1"
  if ls "$luaDir"/source/lua5.1-*/src/luac.c >/dev/null 2>&1; then
    return
  fi
  rm -rf "$luaDir/source"
  mkdir -p "$luaDir/source"
  if ! (cd "$luaDir/source" && apt-get source -q lua5.1 </dev/null); then
    if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      echo "enabling Debian source packages"
      if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
          AsRoot tee /etc/apt/sources.list.d/tolscript-deb-src.sources >/dev/null
      else
        sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list |
          AsRoot tee /etc/apt/sources.list.d/tolscript-deb-src.list >/dev/null
      fi
    fi
    AptUpdate
    (cd "$luaDir/source" && apt-get source -q lua5.1 </dev/null) ||
      Fail "apt-get source lua5.1"
  fi
}

LuaSourceDir() { ls -d "$1"/source/lua5.1-*/src | head -n 1; }

# The library: every file but the two programs' own (lua.c, luac.c, print.c).
BuildWindowsLuaLibrary() {
  local luaDir="$1"
  local library="$luaDir/lib/liblua5.1.a"
  if [[ -f "$library" ]]; then
    echo "$library is there already"
    return
  fi
  local src objects=() file
  src="$(LuaSourceDir "$luaDir")"
  mkdir -p "$luaDir/lib/objects"
  for file in "$src"/*.c; do
    case "$(basename "$file")" in lua.c|luac.c|print.c) continue ;; esac
    objects+=("$luaDir/lib/objects/$(basename "$file" .c).o")
    x86_64-w64-mingw32-gcc-posix -O2 -w -c -I"$src" -o "${objects[-1]}" "$file" ||
      Fail "compiling the Windows Lua library ($file)"
  done
  rm -f "$library.part"
  x86_64-w64-mingw32-ar rcs "$library.part" "${objects[@]}" || Fail "archiving the Windows Lua library"
  mv "$library.part" "$library"
}

# luac.exe: its own two files linked with the library.
BuildWindowsLuac() {
  local luaDir="$1"
  local program="$luaDir/bin/luac.exe"
  if [[ -x "$program" ]]; then
    echo "$program is there already"
    return
  fi
  local src
  src="$(LuaSourceDir "$luaDir")"
  mkdir -p "$luaDir/bin"
  # Into place only when whole: a half-built program must not count as
  # "there already" next time.
  x86_64-w64-mingw32-gcc-posix -O2 -w -static -I"$src" -o "$program.part" \
    "$src/luac.c" "$src/print.c" "$luaDir/lib/liblua5.1.a" ||
    Fail "compiling the Windows luac.exe"
  mv "$program.part" "$program"
}

StartStep "packages"
InstallMissing \
  cmake cmake \
  make make \
  x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix \
  x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix \
  /usr/src/googletest/CMakeLists.txt googletest \
  /usr/lib/wine/wine64 wine64 \
  dpkg-source dpkg-dev
EndStep "packages"

luaDir="$buildDir/luac-windows"
StartStep "Windows Lua library"
FetchLuaSource "$luaDir"
BuildWindowsLuaLibrary "$luaDir"
EndStep "Windows Lua library"

StartStep "configure and build in $buildDir"
cmake -S "$sourceDir" -B "$buildDir" \
  -DCMAKE_TOOLCHAIN_FILE="$sourceDir/cmake/mingw-w64.cmake" \
  -DTOLSCRIPT_LUA_INCLUDE_DIR="$(LuaSourceDir "$luaDir")" \
  -DTOLSCRIPT_LUA_LIBRARY="$luaDir/lib/liblua5.1.a" \
  -DTOLSCRIPT_WERROR="${TOLSCRIPT_WERROR:-OFF}" ||
  Fail "configuring the Windows build"
cmake --build "$buildDir" -j "$(nproc)" ${target:+--target "$target"} ||
  Fail "the Windows build (see the compiler's messages above)"
EndStep "configure and build"

# Before the server starts: fetching the sources may take longer than the
# server waits for its first program.
if [[ $buildLuac -eq 1 ]]; then
  StartStep "Windows luac.exe"
  BuildWindowsLuac "$luaDir"
  luacBin="$luaDir/bin"
  # Wine's drive Z: is the Unix root.
  export WINEPATH="Z:${luacBin//\//\\}"
  EndStep "Windows luac.exe"
fi

wine=/usr/lib/wine/wine64
wineserver=""
for candidate in wineserver64 /usr/lib/wine/wineserver64 wineserver /usr/lib/wine/wineserver; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wineserver="$(command -v "$candidate")"
    break
  fi
done
[[ -n "$wineserver" ]] || Fail "no wineserver found"

export WINEPREFIX="$buildDir/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"

# Every Wine program of the prefix ends with the server, on every way out.
testDrives=()
ctestPid=""
StopWine() {
  if [[ -n "$ctestPid" ]]; then kill -TERM "$ctestPid" 2>/dev/null || true; fi
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  local drive
  for drive in "${testDrives[@]}"; do rm -f "$WINEPREFIX/dosdevices/$drive:"; done
}
trap StopWine EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

StartStep "wine prefix and server"
# A server left by a run that was killed would serve this prefix with its
# old state.
"$wineserver" -k >/dev/null 2>&1 || true
# One server for all tests: otherwise every test start pays for a new one,
# and the first test can hang while the prefix is set up. It also ends by
# itself a minute after the last program, should this script be killed.
"$wineserver" -p60 || Fail "starting $wineserver"
timeout 600 "$wine" wineboot >/dev/null 2>&1 || Fail "wineboot (setting up $WINEPREFIX)"
EndStep "wine prefix and server"

# Each test process takes a drive of its own, so that the program's rooted
# paths ("\Corvantis\Data\MungeLog.txt") stay in the test's own tree (see
# tests/support/test_support-win32.cpp).
jobs="$(nproc)"
driveRoot="$buildDir/test-drives"
for link in "$WINEPREFIX"/dosdevices/?:; do
  # Drives of an earlier run that was killed.
  if [[ -L "$link" && "$(readlink "$link")" == "$driveRoot"/* ]]; then rm -f "$link"; fi
done
rm -rf "$driveRoot"
pool=""
for letter in k l m n o p q r s t u v w x y; do
  if [[ ${#testDrives[@]} -ge $jobs ]]; then break; fi
  if [[ -e "$WINEPREFIX/dosdevices/$letter:" || -L "$WINEPREFIX/dosdevices/$letter:" ]]; then
    continue
  fi
  mkdir -p "$driveRoot/$letter"
  : >"$driveRoot/$letter/.tolscript-test-drive"
  ln -s "$driveRoot/$letter" "$WINEPREFIX/dosdevices/$letter:"
  testDrives+=("$letter")
  pool+="${pool:+;}${letter^^}:"
done
[[ ${#testDrives[@]} -gt 0 ]] || Fail "no free drive letter for the tests in $WINEPREFIX/dosdevices"
jobs=${#testDrives[@]}
export TOLSCRIPT_TEST_DRIVES="$pool"
echo "test drives: $TOLSCRIPT_TEST_DRIVES"

if [[ $buildLuac -eq 1 ]]; then
  timeout 60 "$wine" "$luacBin/luac.exe" -v || Fail "running the Windows luac.exe under Wine"
fi

StartStep "tests"
testLog="$buildDir/ctest-wine.log"
# More failures than this are not Wine's doing.
maxReruns=3
logs="$testLog"
# Sets `status`. In the background: a signal to this script ends a "wait"
# at once, while a command in the foreground would first run to its end.
RunCtest() {
  ctest --test-dir "$buildDir" --output-on-failure "$@" &
  ctestPid=$!
  set +e
  wait "$ctestPid"
  status=$?
  set -e
  ctestPid=""
}
RunCtest --no-tests=error -j "$jobs" --output-log "$testLog" ${testRegex:+-R "$testRegex"}
EndStep "tests"
summary="$(grep -E '^[0-9]+% tests passed' "$testLog" | tail -n 1 || true)"
echo "==> under Wine: ${summary:-no test summary (see $testLog)}"

# Now and then Wine fails to start a program on a loaded machine: a test
# ends before printing anything, or a child's start fails with "Internal
# error.". A few failed tests get a second run; a test that fails again
# fails the run. Every test that needed it is named.
failedTests="$(sed -n '/^The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$testLog")"
failedCount=$(printf '%s' "$failedTests" | grep -c . || true)
if [[ $status -ne 0 && $failedCount -ge 1 && $failedCount -le $maxReruns ]]; then
  StartStep "second run of the $failedCount failed test(s)"
  rerunLog="$buildDir/ctest-wine-rerun.log"
  logs+=" and $rerunLog"
  RunCtest --rerun-failed --output-log "$rerunLog"
  EndStep "second run"
  if [[ $status -eq 0 ]]; then
    echo "==> failed under Wine once, passed on the second run:"
    printf '%s\n' "$failedTests" | sed 's/^/    /'
  fi
fi
echo "==> test-windows.sh took $(Seconds "$scriptStart")"
[[ $status -eq 0 ]] || Fail "tests under Wine (ctest exit status $status; log in $logs)"
