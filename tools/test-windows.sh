#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 and runs the test suite under
# Wine.
#
#   tools/test-windows.sh [--target TARGET] [--tests REGEX] [--no-luac] [BUILD_DIR]
#
# BUILD_DIR defaults to build-windows/ in the source tree. --target builds
# one target instead of all; --tests runs only the tests whose names match
# REGEX (ctest -R). A Windows luac.exe is built from Debian's lua5.1 source
# package into the build directory and put on the Windows PATH, unless
# --no-luac is given. Set TOLSCRIPT_WERROR=ON to treat warnings as errors.
# Missing Debian packages are installed (as root, without questions).
set -euo pipefail

sourceDir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
buildDir=""
target=""
testRegex=""
buildLuac=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --target) target="$2"; shift 2 ;;
    --tests) testRegex="$2"; shift 2 ;;
    --no-luac) buildLuac=0; shift ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    -*) echo "test-windows.sh: unknown option $1" >&2; exit 2 ;;
    *) buildDir="$1"; shift ;;
  esac
done
buildDir="${buildDir:-$sourceDir/build-windows}"
mkdir -p "$buildDir"
buildDir="$(cd "$buildDir" && pwd)"

stepStart=0
StartStep() {
  echo "==> $1"
  stepStart=$(date +%s%N)
}
EndStep() {
  local tenths=$((($(date +%s%N) - stepStart) / 100000000))
  echo "==> $1 took $((tenths / 10)).$((tenths % 10)) s"
}

AsRoot() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

aptUpdated=0
AptInstall() {
  if [[ $aptUpdated -eq 0 ]]; then
    AsRoot env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
    aptUpdated=1
  fi
  AsRoot env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" </dev/null
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

# The Windows luac.exe, from the sources of the Lua that Debian ships. Only
# the build directory holds the sources and the program.
BuildWindowsLuac() {
  local luacDir="$1"
  local program="$luacDir/bin/luac.exe"
  if [[ -x "$program" ]]; then
    echo "$program is there already"
    return
  fi
  if ! ls "$luacDir"/source/lua5.1-*/src/luac.c >/dev/null 2>&1; then
    rm -rf "$luacDir/source"
    mkdir -p "$luacDir/source"
    if ! (cd "$luacDir/source" && apt-get source -q lua5.1 </dev/null); then
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
      AsRoot env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
      (cd "$luacDir/source" && apt-get source -q lua5.1 </dev/null)
    fi
  fi
  local src
  src="$(ls -d "$luacDir"/source/lua5.1-*/src | head -n 1)"
  local sources=()
  for file in "$src"/*.c; do
    [[ "$(basename "$file")" == lua.c ]] || sources+=("$file")
  done
  mkdir -p "$luacDir/bin"
  x86_64-w64-mingw32-gcc-posix -O2 -w -static -I"$src" -o "$program" "${sources[@]}"
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

StartStep "configure and build in $buildDir"
cmake -S "$sourceDir" -B "$buildDir" \
  -DCMAKE_TOOLCHAIN_FILE="$sourceDir/cmake/mingw-w64.cmake" \
  -DTOLSCRIPT_WERROR="${TOLSCRIPT_WERROR:-OFF}"
cmake --build "$buildDir" -j "$(nproc)" ${target:+--target "$target"}
EndStep "configure and build"

wine=/usr/lib/wine/wine64
wineserver=""
for candidate in wineserver64 /usr/lib/wine/wineserver64 wineserver /usr/lib/wine/wineserver; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wineserver="$(command -v "$candidate")"
    break
  fi
done
if [[ -z "$wineserver" ]]; then
  echo "test-windows.sh: no wineserver found" >&2
  exit 1
fi

export WINEPREFIX="$buildDir/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"

StartStep "wine prefix and server"
# One persistent server for all tests: otherwise every test start pays for
# a new one, and the first test can hang while the prefix is set up.
"$wineserver" -p
trap '"$wineserver" -k || true' EXIT
"$wine" wineboot >/dev/null 2>&1 || true
EndStep "wine prefix and server"

if [[ $buildLuac -eq 1 ]]; then
  StartStep "Windows luac.exe"
  BuildWindowsLuac "$buildDir/luac-windows"
  luacBin="$buildDir/luac-windows/bin"
  # Wine's drive Z: is the Unix root.
  export WINEPATH="Z:${luacBin//\//\\}"
  "$wine" "$luacBin/luac.exe" -v
  EndStep "Windows luac.exe"
fi

StartStep "tests"
set +e
ctest --test-dir "$buildDir" --output-on-failure -j "$(nproc)" ${testRegex:+-R "$testRegex"}
status=$?
set -e
EndStep "tests"
exit $status
