#!/bin/bash
# The Wine stage: the 64-bit Halvex32.dll, with the simulated WinIo64.dll,
# under wine64 in a throw-away headless prefix. Installs wine64 and the MinGW
# compilers when missing, builds the MinGW programs and the Linux-side driver,
# runs the cases of tests/e2e/cases.txt and ends with "N passed, N failed".
#
# Argument: an optional filter on case names. HX_E2E_WIN_BUILD / HX_E2E_HOST_BUILD choose the build directories
# (default: those of the mingw64 and default presets).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
win_build=${HX_E2E_WIN_BUILD:-build/mingw64}
host_build=${HX_E2E_HOST_BUILD:-build/default}
jobs=$(nproc)

give_up() { echo "e2e: $*"; echo "0 passed, 1 failed"; exit 1; }

scripts/deps.sh linux windows wine || give_up "missing packages"

echo "e2e: building the MinGW x86_64 programs in $win_build"
{ cmake --preset mingw64 -B "$win_build" >/dev/null &&
  cmake --build "$win_build" -j"$jobs" >/tmp/hx_e2e_win_build.log 2>&1; } ||
  { tail -n 30 /tmp/hx_e2e_win_build.log; give_up "MinGW build failed"; }
echo "e2e: building the Linux-side driver in $host_build"
{ cmake --preset default -B "$host_build" >/dev/null &&
  cmake --build "$host_build" -j"$jobs" --target hx_e2e_host >/tmp/hx_e2e_host_build.log 2>&1; } ||
  { tail -n 30 /tmp/hx_e2e_host_build.log; give_up "Linux build failed"; }

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || give_up "$wine not found"

# A throw-away prefix, no display (message boxes return at once), no Mono or
# Gecko installers, no Wine debug output.
WINEPREFIX=$(mktemp -d /tmp/hx-wine.XXXXXX)
work=$(mktemp -d /tmp/hx-e2e.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

start=$(date +%s)
echo "e2e: creating the Wine prefix $WINEPREFIX"
timeout -k 5 300 "$wine" wineboot -i >/dev/null 2>&1 || give_up "wineboot failed"
"$wineserver" -w
# One server for the whole run: every program starts faster.
"$wineserver" -p >/dev/null 2>&1
# Wine 8 reports Windows 7 unless told otherwise; the MCU port search takes
# its other registry path from Windows 10 on.
"$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 || give_up "cannot set Windows 10"
prefix_done=$(date +%s)

"$root/$host_build/tests/e2e/hx_e2e_host" "$wine" "$root/$win_build" "$work" "$root/tests/e2e/cases.txt" "$@"
status=$?
end=$(date +%s)
echo "e2e: Wine stage took $((end - start)) s (prefix $((prefix_done - start)) s, cases $((end - prefix_done)) s)"
exit $status
