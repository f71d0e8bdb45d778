#!/usr/bin/env bash
# Builds tolscript and munges the bundled examples: binary chunk files into
# out/binary, readable ones into out/text, both in cinematics mode; then
# dumps one of them with tolscript-dump.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages cmake make g++ lua5.1 liblua5.1-0-dev

# The tests need GoogleTest, which a fresh machine may lack; a build folder
# that has them keeps them, so that its test programs do not go stale.
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build >/dev/null
else
  cmake -S . -B build -DTOLSCRIPT_TESTS=OFF >/dev/null
fi
cmake --build build -j"$(nproc)" --target tolscript tolscript-dump >/dev/null

rm -rf out && mkdir -p out/binary out/text
./build/tolscript -inputfile '!*.lua' -sourcedir examples/src -outputdir out/binary/ -cinematics
./build/tolscript -inputfile '!*.lua' -sourcedir examples/src -outputdir out/text/ -cinematics -text

echo
echo "== out/binary"; ls -l out/binary
echo
echo "== out/binary/intro.script (first 64 bytes)"; od -A x -t x1z -N 64 out/binary/intro.script
echo
echo "== out/binary/intro.script.req"; cat out/binary/intro.script.req; echo
echo
echo "== out/text/patrol.script (first 16 lines)"; head -n 16 out/text/patrol.script
echo
echo "== build/tolscript-dump -brief out/binary/intro.script out/binary/intro.script.req"
./build/tolscript-dump -brief out/binary/intro.script out/binary/intro.script.req
