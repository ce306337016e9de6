#!/bin/bash
# The Python package and the python-can interface on the virtual board: installs
# the package into a scratch venv of Debian's python3, runs pytest once per model
# the tests need, the python-can one-liner and the CAN logger example.
# Needs the default preset built. Ends with "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${HALVEX_BUILD_DIR:-$root/build/default}
export HALVEX32_LIBRARY=$build/libhalvex32-virtual.so HALVEXCTL=$build/tools/halvexctl/halvexctl
export HALVEX_VIRTUAL_BOARD=python-run-$$
scratch=$(mktemp -d)
passed=0 failed=0

finish() {
  for model in Trelo-05 Trelo-11; do "$HALVEXCTL" --virtual "$model" board destroy >/dev/null 2>&1; done
  rm -rf "$scratch"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}
check() {  # name command...: one test
  if "${@:2}"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

py=$scratch/venv/bin/python
if ! { /usr/bin/python3 -m venv --system-site-packages "$scratch/venv" &&
       (cd "$root" && "$py" -m pip install -q --no-build-isolation --no-index ./python) &&
       rm -rf "$here/build" "$here"/*.egg-info; }; then
  echo "FAILED: install the package"; failed=1; finish
fi

cd "$scratch" || finish  # so that python imports the installed package, not the source tree
for model in Trelo-11 Trelo-05; do
  echo "--- pytest on $model"
  HALVEX_VIRTUAL_MODEL=$model "$py" -m pytest -q -p no:cacheprovider "$here/tests" >"$scratch/pytest.log" 2>&1
  cat "$scratch/pytest.log"
  summary=$(tail -n1 "$scratch/pytest.log")
  count() { echo "$summary" | grep -oE "[0-9]+ $1" | cut -d' ' -f1 | head -n1; }
  p=$(count passed); f=$(count failed); e=$(count error)
  passed=$((passed + ${p:-0})); failed=$((failed + ${f:-0} + ${e:-0}))
  [ -z "$p$f$e" ] && failed=$((failed + 1))
done

check "python-can one-liner" "$py" -c "import can; can.Bus(interface='halvex32', channel=0).shutdown()"
check "python-can one-liner sends and receives" "$py" -c "
import can
bus = can.Bus(interface='halvex32', channel=0, receive_own_messages=True)
bus.send(can.Message(arbitration_id=0x123, data=b'\x01\x02', is_extended_id=False))
back = bus.recv(timeout=2)
bus.shutdown()
assert back is not None and back.arbitration_id == 0x123 and back.data == b'\x01\x02', back
print('sent and received:', back)"

logger_runs() {
  "$py" "$root/examples/python/can_logger.py" --loopback --count 3 --duration 10 --csv "$scratch/log.csv" \
    --send 123#DEADBEEF --send 12345678#01.02 --send 7FF#R && cat "$scratch/log.csv" &&
    [ "$(wc -l <"$scratch/log.csv")" -eq 4 ] && grep -q ",0x12345678,1,0,0,2,AQI=$" "$scratch/log.csv"
}
check "can_logger.py logs three frames" logger_runs
finish
