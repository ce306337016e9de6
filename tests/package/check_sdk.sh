#!/bin/sh
# The Windows SDK of a MinGW build (target sdk): its zip holds the DLL, the
# .def file, the import library, the header and the WinIo note.
# Usage: tests/package/check_sdk.sh [BUILD_DIR]   (default build/mingw32)
set -eu
build=${1:-build/mingw32}
cmake --build "$build" --target sdk >/dev/null
zip=$(ls "$build"/sdk/Halvex32-*-sdk.zip)
listing=$(cmake -E tar tf "$zip")
for f in Halvex32.dll Halvex32.def Halvex32.lib halvex32.h WINIO.txt; do
  echo "$listing" | grep -q "/$f\$" || { echo "FAIL: $zip lacks $f"; exit 1; }
done
echo "ok: $zip holds the DLL, .def, import library, header and WINIO.txt"
