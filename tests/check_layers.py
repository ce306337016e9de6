#!/usr/bin/env python3
"""The folder layers of the library: each top-level folder may include only
the folders listed for it below, and the folder graph has no cycle.

Usage: check_layers.py [ROOT]. Prints each offending include; exits 1 on any.
"""
import os
import re
import sys

# What each folder may include (besides itself and the public header).
ALLOWED = {
    "os": set(),
    "core": {"os"},
    "mcu": {"core", "os"},
    "wdt": {"core", "os"},
    "poe": {"core", "os"},
    "dio": {"core", "os", "mcu"},
    "features": {"core", "os", "mcu", "dio"},
    "frame": {"core", "os", "mcu", "wdt", "poe", "dio", "features"},
    "sim": {"core", "os"},
    "backends": {"core", "os", "mcu", "frame", "sim"},
    "tools": set(),
    "include": set(),
}
SKIP = {"tests", "bench", "build", ".git", "cmake", "scripts", "python"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE = (".c", ".cc", ".cpp", ".h", ".hpp")


def top(root, path):
    rel = os.path.relpath(path, root).split(os.sep)
    return rel[0] if len(rel) > 1 else "."


def edges(root):
    for dirpath, dirnames, filenames in os.walk(root):
        if top(root, os.path.join(dirpath, "x")) in SKIP:
            dirnames[:] = []
            continue
        for name in filenames:
            if not name.endswith(SOURCE):
                continue
            path = os.path.join(dirpath, name)
            text = open(path, errors="replace").read()
            for inc in INCLUDE.findall(text):
                for cand in (os.path.join(root, inc), os.path.join(dirpath, inc)):
                    if os.path.isfile(cand):
                        yield path, inc, top(root, path), top(root, os.path.normpath(cand))
                        break


def has_cycle(graph):
    state = {}

    def visit(v):
        state[v] = 1
        for w in graph.get(v, ()):
            if state.get(w) == 1 or (w not in state and visit(w)):
                return True
        state[v] = 2
        return False

    return any(v not in state and visit(v) for v in list(graph))


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    bad = 0
    graph = {}
    for path, inc, src, dst in edges(root):
        if src == dst or dst == "include":
            continue
        graph.setdefault(src, set()).add(dst)
        if src not in ALLOWED or dst not in ALLOWED[src]:
            print(f"{os.path.relpath(path, root)}: includes \"{inc}\" ({src} -> {dst} is not a layer edge)")
            bad += 1
    if has_cycle(graph):
        print("the folder graph has a cycle")
        bad += 1
    print(f"{sum(len(v) for v in graph.values())} folder edges, {bad} problem(s)")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
