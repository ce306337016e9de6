#!/bin/sh
# Each Linux library exports exactly the names of frame/exports.list.
set -eu
list=$3
status=0
for lib in "$1" "$2"; do
  actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
  expected=$(sort "$list")
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: $lib exports differ from $list:"
    printf '%s\n' "$actual" > /tmp/hx_actual.$$
    printf '%s\n' "$expected" | diff -u - /tmp/hx_actual.$$ || true
    rm -f /tmp/hx_actual.$$
    status=1
  else
    echo "ok: $lib exports the $(printf '%s\n' "$actual" | wc -l) names"
  fi
done
exit $status
