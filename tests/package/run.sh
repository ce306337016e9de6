#!/bin/bash
# Install, packages and examples: installs build/default into a scratch
# prefix, builds the C examples against it with CMake and with pkg-config,
# runs them on the virtual board, checks the man page, builds the Debian
# package, unpacks it and runs its halvexctl. Ends with "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/default
work=$(mktemp -d /tmp/hx_package.XXXXXX)
prefix=$work/prefix
model=Trelo-11    # a watchdog, DIO on the MCU, CAN and eight PoE ports
lacking=Trelo-15  # no DIO, no MCU (so no CAN), no PoE
export HALVEX_VIRTUAL_BOARD=hx-package-$$
# What an install holds, relative to its prefix (/usr in the package).
layout=(bin/halvexctl share/man/man1/halvexctl.1 include/halvex32.h
  lib/libhalvex32.so lib/libhalvex32.so.0 lib/libhalvex32-virtual.so lib/libhalvex32-virtual.so.0
  lib/cmake/Halvex32/Halvex32Config.cmake lib/cmake/Halvex32/Halvex32ConfigVersion.cmake
  lib/cmake/Halvex32/Halvex32Targets.cmake lib/pkgconfig/halvex32.pc lib/pkgconfig/halvex32-virtual.pc)
passed=0
failed=0

cleanup() {
  local m
  for m in $model $lacking; do "$build/tools/halvexctl/halvexctl" --virtual $m board destroy >/dev/null 2>&1; done
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME COMMAND...: one counted case; its output shows when it fails
  local name=$1; shift
  if "$@" >"$work/out" 2>&1; then
    passed=$((passed + 1)); echo "ok: $name"
  else
    failed=$((failed + 1)); echo "FAILED: $name"; tail -n 25 "$work/out" | sed 's/^/    /'
  fi
}

build_tree() {
  [ -f "$build/CMakeCache.txt" ] || cmake --preset default -S "$root" || return 1
  cmake --build "$build" -j2 --target halvex32 halvex32-virtual halvexctl halvexctl-man
}

lays_out() {  # lays_out DIR LISTING: every file of the layout is in LISTING, the service header is not
  local f
  for f in "${layout[@]}"; do grep -qE " \./$1/$f( |\$)" <<<"$2" || { echo "missing $1/$f"; return 1; }; done
  ! grep -q halvex32_service.h <<<"$2" || { echo "the service header was installed"; return 1; }
}

installs() {
  cmake --install "$build" --prefix "$prefix" || return 1
  lays_out prefix "$(cd "$work" && find ./prefix -printf '%M %p\n')"
}

needs() {  # needs BINARY LIBRARY: the binary loads LIBRARY by its soname
  readelf -d "$1" | grep -q "NEEDED.*\[$2\]" || { readelf -d "$1" | grep NEEDED; echo "$1 does not need $2"; return 1; }
}

cmake_examples() {  # cmake_examples DIR [-DHALVEX32_HARDWARE=ON]
  local dir=$1; shift
  cmake -S "$root/examples" -B "$dir" -DCMAKE_PREFIX_PATH="$prefix" "$@" && cmake --build "$dir" -j2
}

hardware_examples() {  # Halvex32::halvex32 is the library for the hardware
  cmake_examples "$work/hardware" -DHALVEX32_HARDWARE=ON && needs "$work/hardware/poe_cycle" libhalvex32.so.0
}

pkg_config_examples() {
  mkdir -p "$work/pc" && make -C "$work/pc" -f "$root/examples/Makefile" SRCDIR="$root/examples" \
    PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
}

runs() {  # runs LIBDIR MODEL EXPECTED PROGRAM ARGS...: exit 0 and EXPECTED in the output
  local libdir=$1 board=$2 expected=$3 rc; shift 3
  LD_LIBRARY_PATH=$libdir HALVEX_VIRTUAL_MODEL=$board timeout 60 "$@" >"$work/run" 2>&1
  rc=$?; cat "$work/run"
  [ $rc -eq 0 ] || { echo "exit status $rc"; return 1; }
  grep -q "$expected" "$work/run" || { echo "no '$expected' in the output"; return 1; }
}

lacks() {  # each example for a feature that the model lacks exits 1
  local args rc
  for args in "dio_blink 0 1 40" "can_echo 1 1 loopback" "poe_cycle 1 1 10 10"; do
    LD_LIBRARY_PATH=$prefix/lib HALVEX_VIRTUAL_MODEL=$lacking timeout 60 "$work/cmake/"$args; rc=$?
    [ $rc -eq 1 ] || { echo "$args: exit status $rc, expected 1"; return 1; }
  done
}

run_examples() {  # run_examples DIR: each example briefly on the virtual board
  local dir=$1 label=$2
  check "$label: wdt_keepalive arms, kicks once, stops" \
    runs "$prefix/lib" $model "stopped after 1 kicks" "$dir/wdt_keepalive" 5 1 1
  check "$label: dio_blink blinks DO 0 twice" runs "$prefix/lib" $model "DO 0 off" "$dir/dio_blink" 0 2 40
  check "$label: can_echo echoes 20 frames through loopback" \
    runs "$prefix/lib" $model "20 frames echoed, 0 sends failed" "$dir/can_echo" 10 20 loopback
  check "$label: poe_cycle cycles port 3 twice" runs "$prefix/lib" $model "cycle 2:" "$dir/poe_cycle" 3 2 20 20
}

man_page() {
  local text
  text=$(MANWIDTH=80 man -l "$prefix/share/man/man1/halvexctl.1") || return 1
  echo "$text" | head -n 30
  for section in NAME SYNOPSIS "EXIT STATUS" "VIRTUAL BOARD"; do
    grep -q "^$section" <<<"$text" || { echo "no $section section"; return 1; }
  done
}

debian_package() {
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb") || return 1
  deb=$(ls "$work"/deb/halvex32_*.deb) || return 1
  dpkg-deb -f "$deb" Package Maintainer Depends
  [ "$(dpkg-deb -f "$deb" Package)" = halvex32 ] && dpkg-deb -f "$deb" Depends | grep -q libc6
}

deb_runs_halvexctl() {
  dpkg -x "$deb" "$work/root" || return 1
  "$work/root/usr/bin/halvexctl" --virtual Trelo-11 info | tee "$work/info"
  [ "${PIPESTATUS[0]}" -eq 0 ] && grep -q Trelo-11 "$work/info"
}

deb_pkg_config() {  # the unpacked package's pkg-config file points into the unpacked tree
  local inc
  inc=$(PKG_CONFIG_PATH=$work/root/usr/lib/pkgconfig pkg-config --variable=includedir halvex32-virtual) || return 1
  [ -f "$inc/halvex32.h" ] || { echo "includedir $inc has no halvex32.h"; return 1; }
}

# On a machine of its own (CI runs as root on a fresh one) the package is
# installed for real and purged again: its halvexctl, and an example built
# with the system's pkg-config, run with nothing pointing at the build.
deb_installs() {
  dpkg -i "$deb" || return 1
  env -u LD_LIBRARY_PATH /usr/bin/halvexctl --virtual Trelo-11 info | grep -q Trelo-11 || { echo "halvexctl info"; return 1; }
  mkdir -p "$work/sys" && env -u PKG_CONFIG_PATH make -C "$work/sys" -f "$root/examples/Makefile" SRCDIR="$root/examples" &&
    runs "" $model "cycle 1:" "$work/sys/poe_cycle" 2 1 10 10
}

deb_removes() {
  dpkg -P halvex32 >/dev/null && [ ! -e /usr/bin/halvexctl ] && ! ldconfig -p | grep -q libhalvex32
}

check "build/default: libraries, halvexctl and its man page" build_tree
check "cmake --install lays out libraries, header, CMake and pkg-config files, halvexctl, man page" installs
check "examples: CMake, find_package(Halvex32), Halvex32::virtual" cmake_examples "$work/cmake"
check "examples: Halvex32::virtual loads libhalvex32-virtual.so.0" needs "$work/cmake/can_echo" libhalvex32-virtual.so.0
check "examples: HALVEX32_HARDWARE=ON links Halvex32::halvex32, libhalvex32.so.0" hardware_examples
check "examples: pkg-config halvex32-virtual" pkg_config_examples
run_examples "$work/cmake" cmake
run_examples "$work/pc" pkg-config
check "dio_blink, can_echo and poe_cycle exit 1 on $lacking, which lacks their features" lacks
check "halvexctl.1 renders with man -l: NAME, SYNOPSIS, EXIT STATUS, VIRTUAL BOARD" man_page
check "cpack -G DEB: package halvex32, Depends from the libraries" debian_package
check "dpkg-deb -c lists the layout under /usr" lays_out usr "$(dpkg-deb -c "${deb:-/nonexistent}" 2>&1)"
check "dpkg -x: its halvexctl --virtual Trelo-11 info" deb_runs_halvexctl
check "dpkg -x: its halvex32-virtual.pc finds the unpacked header" deb_pkg_config
check "dpkg -x: poe_cycle runs on its libhalvex32-virtual.so" \
  runs "$work/root/usr/lib" $model "cycle 1:" "$work/pc/poe_cycle" 2 1 10 10
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' halvex32 2>/dev/null | grep -q "ok installed"; then
  check "dpkg -i: /usr/bin/halvexctl --virtual Trelo-11 info, and an example built with the system's pkg-config" deb_installs
  check "dpkg -P: nothing of the package is left" deb_removes
else
  echo "skipped: dpkg -i (needs root, and no halvex32 package installed already)"
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
