#!/usr/bin/env python3
"""halvexctl --json on the virtual board: every command that has it prints
only JSON objects, one per line, each with the row's keys, and the values
the virtual board makes certain; the exit codes 1, 2 and 3 with their
"halvexctl: ..." line on stderr.

Usage: json_output_check.py PATH/TO/halvexctl
Each row runs on a virtual board of its own (HALVEX_VIRTUAL_BOARD), which
is destroyed after the row where the tool has machines that outlive it."""
import json
import os
import subprocess
import sys

HX = sys.argv[1]


def near(value, expected, step):
    return abs(value - expected) <= step


def events(o):
    return [line["event"] for line in o]


# (model, arguments, keys every line has, check of the parsed lines or None)
ROWS = [
    ("Trelo-11", "models", {"model", "families", "di_lines", "do_lines"},
     lambda o: len(o) == 29 and {"model": "Trelo-11", "dio": "D7"} in [{"model": m["model"], "dio": m["families"]["dio"]} for m in o]),
    ("Trelo-11", "info", {"backend", "access_open", "model", "groups"},
     lambda o: o[0]["model"] == "Trelo-11" and o[0]["groups"]["dio"] == {"family": "D7", "inputs": 16, "outputs": 16}
     and o[0]["groups"]["adc"] == {"family": None}),
    ("Trelo-02", "wdt status", {"model", "family", "board_seconds", "super_io", "tco", "last_reset"},
     lambda o: o[0]["super_io"] == {"chip_id": 0x8783, "counting": False} and o[0]["last_reset"] is None),
    ("Trelo-11", "wdt expire --timeout 10s", {"event"},
     lambda o: events(o) == ["armed", "reset"] and o[1]["after_seconds"] == 11.0 and "KRST#" in o[1]["cause"]),
    ("Trelo-01", "wdt keepalive --timeout 30s --interval 5s --for 1m", {"event"},
     lambda o: events(o) == ["armed", "stopped"] and o[1]["kicks"] == 12 and o[1]["reset"] is False),
    ("Trelo-11", "mcu version", {"version", "dotted"}, lambda o: o[0]["version"] == 0x00010203),
    ("Vexa-06", "mcu reset", {"reset_sent", "version"}, lambda o: o[0]["board_mcu_restarts"] == 1),
    ("Trelo-11", "mcu raw query 35h 0xFFFF0000", {"kind", "sent", "answer", "matches"},
     lambda o: o[0]["sent"] == [0x23, 0x35, 0, 0, 0xFF, 0xFF, 0x56] and o[0]["answer_word"] == 0xFFFFFFFF),
    ("Trelo-11", "mcu raw post 0x90 1", {"sent", "posted"}, lambda o: o[0]["posted"] is True and "answer" not in o[0]),
    ("Trelo-11", "mcu watch --demo --for 300ms", {"event"},
     lambda o: events(o) == ["di_change", "pwm_status", "can_status", "dt2_indexed"] and o[1]["generator"] == 0x44),
    ("Trelo-05", "di read", {"inputs"}, lambda o: [i["line"] for i in o[0]["inputs"]] == list(range(4))),
    ("Trelo-11", "board di 3=1", {"inputs", "outputs", "routing"},
     lambda o: [i["line"] for i in o[0]["inputs"] if i["active"]] == [3] and not any(x["on"] for x in o[0]["outputs"])),
    ("Trelo-03", "di monitor --demo --for 500ms", {"seconds", "event"},
     lambda o: o[0]["event"] == "initial" and (o[1]["event"], o[1]["line"]) == ("rising", 0)),
    ("Trelo-11", "dicos watch --lines 0x1 --rising --demo --for 700ms", {"seconds", "event", "line"},
     lambda o: o and all((e["event"], e["line"]) == ("rising", 0) for e in o)),
    ("Trelo-12", "poe on 1 8", {"card", "ports"},
     lambda o: [(p["port"], p["on"], p["powered"]) for p in o[0]["ports"]] == [(1, True, True), (8, True, True)]
     and (o[0]["ports"][0]["controller"], o[0]["ports"][0]["channel"]) == (0x21, 1)),
    ("Trelo-01", "poe status --card 5", {"card", "ports"}, lambda o: o[0]["card"] == 5 and len(o[0]["ports"]) == 4),
    ("Trelo-11", "dt2 watch --setup 0x01000C05 1 0x10001 0x20001 --fire 0x101 --answer 0x42 --for 300ms", {"event"},
     lambda o: {"event": "dt2_indexed", "index": 6, "payload": 0x20806, "answer": 0x42, "answered": True} in o),
    ("Qantis-02", "dt2 pull --drive ST3=1", {"status_inputs", "lines"},
     lambda o: o[0]["status_inputs"] == 2 and o[0]["lines"][3] == {"name": "ST3", "high": True, "output": False}),
    ("Trelo-05", "dt2 push 0 0x101", {"lines"},
     lambda o: [line["name"] for line in o[0]["lines"] if line["high"]] == ["SO0", "SO8"]),
    ("Trelo-11", "dt2 unit 0x10001 5", {"unit"}, lambda o: o[0]["unit"] == 1),
    ("Trelo-11", "can send 12345678#DE.AD", {"virtual_bus"},
     lambda o: o[0]["virtual_bus"] == {"interface": "can0", "id": 0x12345678, "extended": True, "remote": False,
                                       "length": 2, "data": [0xDE, 0xAD]}),
    ("Trelo-11", "can dump --demo --count 2 -t z", {"interface", "id", "extended", "remote", "length", "data", "timestamp"},
     lambda o: len(o) == 2 and o[0]["id"] == 0x123 and o[0]["timestamp"] == 0.0 and o[0]["data"][4:] == [0xFF] * 4),
    ("Trelo-11", "can bittiming get", {"words"}, lambda o: o[0]["words"] == [500000, 875]),
    ("Trelo-11", "qei read 1 --start --shaft -60 --watch --interval 250ms --for 500ms",
     {"seconds", "channel", "position", "direction", "velocity"},
     lambda o: [(r["seconds"], r["position"]) for r in o] == [(0.0, 0), (0.25, -1000), (0.5, -2000)]),
    ("Trelo-11", "board shaft 60", {"rpm", "encoders"}, lambda o: o[0]["rpm"] == 60 and o[0]["encoders"][0]["lines_per_rev"] == 1000),
    ("Trelo-05", "board adc 1 12.5", {"channel", "volts", "reading", "sampling"},
     lambda o: o[0]["volts"] == 12.5 and o[0]["reading"] == 1410),
    ("Trelo-05", "adc read 0 --watch --interval 10ms --for 20ms", {"channel", "volts"},
     lambda o: [r["volts"] for r in o] == [0.0] * 3),
    ("Trelo-11", "led set 2 --mode 1 --value 1000", {"output", "mode", "value", "first_argument", "board"},
     lambda o: o[0]["first_argument"] == 0x00040001 and o[0]["board"] == [{"output": 2, "milliamps": 999, "duty_percent": 100, "on": True}]),
    ("Trelo-16", "pwm set 1 --period 4000 --width 1000 --clock 2000000 --start --watch 300ms", set(),
     lambda o: {"event": "pwm_status", "generator": 1, "status": 0xFA01} in o
     and (o[-1]["duty_percent"], o[-1]["frequency_hz"], o[-1]["running"]) == (25.0, 500.0, True)),
    ("Trelo-16", "pwm watch --for 100ms", set(), lambda o: o == []),  # the banner is for people only
    ("Trelo-06", "dtio setup 5 0 0", {"record", "board", "routing"},
     lambda o: o[0]["record"] == [5, 1, 1] and o[0]["board"]["setup"] == [5, 1, 1] and o[0]["board"]["running"] is False),
    ("Trelo-06", "dtfo unit 3", {"unit", "board"}, lambda o: o[0]["unit"] == 3 and o[0]["board"]["unit_word"] == 75),
    ("Trelo-06", "dtio start", {"board", "routing"}, lambda o: o[0]["board"]["running"] is True),
    ("Trelo-05", "ign state", {"state", "key_on"}, lambda o: o[0] == {"state": 1, "key_on": True}),
    ("Trelo-05", "ign voltage", {"battery_volts"}, lambda o: near(o[0]["battery_volts"], 12.0, 0.05)),
    ("Trelo-05", "ign settings", {"setting0", "setting1", "setting2", "setting3", "voltage"},
     lambda o: (o[0]["setting1"], o[0]["setting2"], o[0]["setting3"]) == (5, 30, 120) and near(o[0]["voltage"], 10.495, 0.0005)),
    ("Trelo-11", "board ign off", {"board", "library"},
     lambda o: o[0]["board"]["key_on"] is False and o[0]["library"]["state"] == 0),
    # The library reads the battery within one step of the converter.
    ("Trelo-09", "board battery 24.5", {"board", "library"},
     lambda o: near(o[0]["library"]["battery_volts"], 24.5, o[0]["board"]["full_scale_volts"] / o[0]["board"]["counts"])),
]

# (model, arguments, exit code): --json does not change them; the error goes to stderr as text.
EXITS = [
    ("Trelo-16", "wdt keepalive --timeout 1m --interval 61s --for 5m", 1),  # the machine reset
    ("Vexa-06", "dt2 setup 0x01000000 0 0x10001", 1),
    ("Trelo-11", "di read --no-such-option", 2),
    ("Trelo-11", "wdt expire --timeout 70000s", 2),
    ("Trelo-11", "di read 16", 2),
    ("Nope-99", "info", 2),
    ("Trelo-01", "mcu version", 3),
    ("Trelo-12", "dt2 start", 3),
]


def run(n, model, command):
    env = dict(os.environ, HALVEX_VIRTUAL_BOARD="json-check-%d-%d" % (os.getpid(), n), HALVEX_VIRTUAL_CLOCK="manual")
    try:
        return subprocess.run([HX] + command, env=env, capture_output=True, text=True, timeout=60)
    finally:
        subprocess.run([HX, "--virtual", model, "board", "destroy"], env=env, capture_output=True, timeout=60)


def parse(out):
    """The lines as objects; raises on a line that is not one JSON object."""
    objects = [json.loads(line) for line in out.splitlines()]
    if not all(isinstance(o, dict) for o in objects):
        raise ValueError("a line is not an object")
    return objects


def check_row(n, model, args, keys, check):
    r = run(n, model, ["--virtual", model] + args.split() + ["--json"])
    if r.returncode != 0 or r.stderr:
        return "exit %d, stderr %r" % (r.returncode, r.stderr)
    objects = parse(r.stdout)
    missing = [sorted(keys - o.keys()) for o in objects if keys - o.keys()]
    if missing:
        return "keys missing: %s" % missing
    return None if check is None or check(objects) else "values differ: %s" % r.stdout


def check_exit(n, model, args, code):
    r = run(n, model, ["--json", "--virtual", model] + args.split())
    parse(r.stdout)
    if r.returncode != code or (code >= 2 and not r.stderr):
        return "exit %d (want %d), stderr %r" % (r.returncode, code, r.stderr)
    return None


def main():
    failed = 0
    cases = [(check_row, row) for row in ROWS] + [(check_exit, row) for row in EXITS]
    for n, (checker, row) in enumerate(cases):
        try:
            problem = checker(n, *row)
        except (ValueError, KeyError, IndexError, TypeError) as e:
            problem = "%s: %s" % (type(e).__name__, e)
        if problem:
            failed += 1
            print("FAIL halvexctl --virtual %s %s: %s" % (row[0], row[1], problem))
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
