#!/bin/bash
# Static checks of the Windows library file:
#   - the exports are exactly the names of the export list, undecorated, at
#     ordinals 1..N in list order, every ordinal named;
#   - a section carries the SHARED flag (the shared data block);
#   - only Windows system DLLs are imported (the MinGW runtime is linked in);
#   - it names the WinIo library of its machine (WinIo32.dll for i686);
#   - the install step puts the header, the .def and the import library
#     (exporting the same names) beside each other.
# Usage: tests/check_windows_dll.sh path/to/Halvex32.dll frame/exports.list
set -uo pipefail
dll=$1
list=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

pick_tool() {  # first available of the named binutils tools
  local t
  for t in "$@"; do command -v "$t" >/dev/null 2>&1 && { echo "$t"; return 0; }; done
  return 1
}
[ -f "$dll" ] || { echo "FAIL: $dll does not exist"; exit 1; }
# The MinGW binutils of the DLL's machine, or a multi-target objdump.
objdump=""
for t in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump x86_64-linux-gnu-objdump objdump; do
  command -v "$t" >/dev/null 2>&1 && "$t" -p "$dll" >/dev/null 2>&1 && { objdump=$t; break; }
done
[ -n "$objdump" ] || { echo "FAIL: no objdump here reads $dll"; exit 1; }
nm_tool=$(pick_tool "${objdump%objdump}nm" i686-w64-mingw32-nm nm) || nm_tool=""
headers=$("$objdump" -p "$dll")

# ---- exports ----------------------------------------------------------------
base=$(printf '%s\n' "$headers" | sed -n 's/.*Ordinal Base[[:space:]]*\([0-9][0-9]*\).*/\1/p' | head -n1)
entries=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' | head -n1)
# "[Ordinal/Name Pointer] Table" rows are "[index] name", index = ordinal - base.
named=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\(.*\)$/\1 \2/p' |
  awk -v base="${base:-0}" '{printf "%d %s\n", $1 + base, $2}' | sort -n)
expected=$(awk '{printf "%d %s\n", NR, $1}' "$list")
count=$(printf '%s\n' "$expected" | wc -l)

if [ "$named" = "$expected" ]; then
  ok "$count undecorated names at ordinals 1..$count in list order"
else
  fail "exports differ from $list (ordinal name, expected vs actual):"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$named") | head -n 20
fi
if [ -n "$entries" ] && [ $((16#$entries)) -eq "$count" ]; then
  ok "export address table has exactly $count entries"
else
  fail "export address table has ${entries:-no} (hex) entries, expected $count"
fi
if printf '%s\n' "$named" | grep -qE '@|^[0-9]+ _'; then
  fail "decorated export names: $(printf '%s\n' "$named" | grep -E '@|^[0-9]+ _' | head -n3 | tr '\n' ' ')"
fi

# ---- shared section -----------------------------------------------------------
sections=$("$objdump" -h "$dll")
shared=$(printf '%s\n' "$sections" | awk '/^ *[0-9]+ /{name=$2; next} /SHARED/{print name}')
if [ -n "$shared" ]; then
  ok "section(s) with the SHARED flag: $shared"
else
  fail "no section carries the SHARED flag"
fi

# ---- imports ------------------------------------------------------------------
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
bad=""
for name in $imports; do
  lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
  case "$lower" in
    kernel32.dll|user32.dll|advapi32.dll|msvcrt.dll|ntdll.dll|api-ms-win-*) ;;
    *) bad="$bad $name" ;;
  esac
done
if [ -z "$imports" ]; then
  fail "no import table found"
elif [ -n "$bad" ]; then
  fail "imports non-system DLLs:$bad"
else
  ok "imports only system DLLs: $(echo $imports)"
fi

# ---- the WinIo library of the DLL's machine -----------------------------------
# Loaded at run time, so it is no import: its name is a UTF-16 string.
case $(printf '%s\n' "$headers" | sed -n 's/.*file format //p' | head -n1) in
  pei-i386) winio=WinIo32.dll ;;
  pei-x86-64) winio=WinIo64.dll ;;
  *) winio="" ;;
esac
if [ -z "$winio" ]; then
  fail "unknown machine of $dll"
elif strings -el "$dll" | grep -qx "$winio"; then
  ok "loads $winio at run time"
else
  fail "no reference to $winio"
fi

# ---- installed files ----------------------------------------------------------
build=$(cd "$(dirname "$dll")" && pwd)
if [ -f "$build/cmake_install.cmake" ]; then
  prefix=$(mktemp -d)
  if cmake --install "$build" --prefix "$prefix" >/dev/null; then
    lib=$(ls "$prefix"/include/Halvex32*.lib "$prefix"/include/*.dll.a 2>/dev/null | head -n1)
    for f in include/halvex32.h include/Halvex32.def bin/Halvex32.dll; do
      [ -f "$prefix/$f" ] || fail "install lacks $f"
    done
    if [ -z "$lib" ]; then
      fail "install lacks the import library beside the header"
    elif [ -n "$nm_tool" ]; then
      missing=0
      syms=$("$nm_tool" "$lib" 2>/dev/null)
      while read -r name; do
        printf '%s\n' "$syms" | grep -qE "__imp__?${name}\$" || { missing=$((missing + 1)); echo "  import library lacks $name"; }
      done < "$list"
      [ "$missing" -eq 0 ] && ok "installed header, .def and import library ($(basename "$lib")) naming all $count exports" \
        || fail "import library lacks $missing exports"
    fi
    if ! diff -q <(sed -n 's/^ *\([A-Za-z_0-9]*\) @\([0-9]*\).*/\2 \1/p' "$prefix/include/Halvex32.def") \
                 <(printf '%s\n' "$expected") >/dev/null; then
      fail "installed .def does not list the exports at their ordinals"
    fi
  else
    fail "cmake --install $build failed"
  fi
  rm -rf "$prefix"
fi

[ "$failures" -eq 0 ] && echo "Windows library checks passed: $dll" || echo "$failures Windows library check(s) failed: $dll"
[ "$failures" -eq 0 ]
