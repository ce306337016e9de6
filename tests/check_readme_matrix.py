#!/usr/bin/env python3
"""The models table of README.md is the output of `halvexctl models --matrix`.

Usage: check_readme_matrix.py [--write] HALVEXCTL README
Without --write: exit 1, with a one-line fix, when the block between the two
marker comments differs from what the tool prints (or the markers are
missing). With --write: replace the block by the tool's output.
"""
import subprocess
import sys

BEGIN = "<!-- models-matrix: begin (generated: scripts/update-readme-matrix) -->"
END = "<!-- models-matrix: end -->"
FIX = "run scripts/update-readme-matrix"


def split(text):
    """(before, block, after) around the markers, or None when they are missing."""
    start = text.find(BEGIN)
    end = text.find(END, start + len(BEGIN)) if start >= 0 else -1
    if start < 0 or end < 0:
        return None
    head = start + len(BEGIN) + 1  # the block starts on the line after BEGIN
    return text[:head], text[head:end], text[end:]


def main(argv):
    write = "--write" in argv
    args = [a for a in argv if a != "--write"]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    tool, readme = args
    matrix = subprocess.run([tool, "models", "--matrix"], check=True, capture_output=True, text=True).stdout
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    parts = split(text)
    if parts is None:
        print(f"{readme}: the markers of the models table are missing ({BEGIN} ... {END})")
        return 1
    before, block, after = parts
    if write:
        if block != matrix:
            with open(readme, "w", encoding="utf-8") as f:
                f.write(before + matrix + after)
        print(f"{readme}: models table {'rewritten' if block != matrix else 'already current'}")
        return 0
    if block != matrix:
        print(f"{readme}: the models table differs from `halvexctl models --matrix`; {FIX}")
        return 1
    print(f"{readme}: the models table is current")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
