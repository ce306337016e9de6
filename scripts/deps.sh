#!/bin/bash
# Installs the Debian packages a build needs, only when some are missing.
# Usage: scripts/deps.sh [linux|windows|wine|fuzz|package|python|bench]...
set -euo pipefail

packages_for() {
  case "$1" in
    linux) echo cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev python3 ;;
    package) echo cmake make g++ pkgconf help2man dpkg-dev man-db ;;
    python) echo python3 python3-can python3-pytest python3-venv python3-pip python3-setuptools ;;
    windows) echo cmake make g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 ;;
    wine) echo wine64 ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    bench) echo libbenchmark-dev nlohmann-json3-dev python3 python3-matplotlib ;;
    *) echo "deps.sh: unknown group $1" >&2; exit 2 ;;
  esac
}

missing=()
for group in "${@:-linux}"; do
  for p in $(packages_for "$group"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "deps.sh: missing packages ${missing[*]}; run as root or install them" >&2
  exit 1
fi
echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
