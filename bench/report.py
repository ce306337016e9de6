#!/usr/bin/python3
"""Writes the benchmark report from the result files of one run.

Usage: bench/report.py REPORT_DIR OUT_DIR [--command CMD] [--build-dir DIR] [--load "1 5 15"]
                       [--failed "NAMES"] [--quick]

REPORT_DIR holds one <id>.json per benchmark or long run (written by the
benchmarks and the hardening runs when HX_REPORT_DIR is set):
  {"id", "title", "family", "command", "findings"?, "rows": [{"measure",
   "value", "unit", "baseline"?, "ratio"?, "bound"?, "goal"?, "ok"?}]}
OUT_DIR gets REPORT.md and plots/<family>.png (one plot per family).
"""
import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# The benchmarks, family by family, in the order the report shows them.
BENCH_FAMILIES = {
    "mcu link": ["P1", "P2", "P6"],
    "events": ["P3", "dicos-latency"],
    "dio": ["P8"],
    "can": ["P4", "P5", "can-paced"],
}
HARDENING_IDS = ["R1", "R2", "R3", "R4", "R5", "R6", "R7", "P7"]
HARDENING_FAMILIES = ("hardening", "heap", "fuzzing")
FUZZ_GOAL_EXECUTIONS = 10_000_000
MISSING = "not run in this report"
COLOR_OK, COLOR_FAIL, COLOR_NONE = "#4a9a4a", "#c8453a", "#9a9a9a"


# ---- reading -------------------------------------------------------------------

def load_results(report_dir):
    results = {}
    for path in sorted(Path(report_dir).glob("*.json")):
        try:
            data = json.loads(path.read_text())
        except (OSError, ValueError) as error:
            print(f"report.py: skipping {path}: {error}", file=sys.stderr)
            continue
        if isinstance(data, dict) and "id" in data:
            data.setdefault("rows", [])
            data.setdefault("family", "other")
            results[data["id"]] = data
    return results


def run(args, cwd=None):
    try:
        return subprocess.run(args, cwd=cwd, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return ""


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def compiler(build_dir):
    cache = Path(build_dir) / "CMakeCache.txt"
    path = ""
    if cache.exists():
        match = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache.read_text(), re.M)
        path = match.group(1) if match else ""
    version = run([path or "c++", "--version"])
    return version.splitlines()[0] if version else "unknown"


def commit(repo):
    head = run(["git", "rev-parse", "--short=12", "HEAD"], cwd=repo) or "unknown"
    dirty = run(["git", "status", "--porcelain", "--untracked-files=no"], cwd=repo)
    subject = run(["git", "log", "-1", "--format=%s"], cwd=repo)
    return f"{head}{' (with uncommitted changes)' if dirty else ''}", subject


# ---- formatting ----------------------------------------------------------------

def number(value, unit=""):
    if value is None:
        return "—"
    if isinstance(value, bool):
        return "yes" if value else "no"
    if not isinstance(value, (int, float)):
        return str(value)
    if float(value).is_integer() and abs(value) >= 1:
        text = f"{int(value):,}"
    elif abs(value) >= 10000:
        text = f"{value:,.0f}"
    elif abs(value) >= 100:
        text = f"{value:,.1f}"
    elif abs(value) >= 10:
        text = f"{value:.1f}"
    else:
        text = f"{value:.3g}"
    return f"{text} {unit}".strip()


def ratio_text(row):
    ratio = row.get("ratio")
    return f"{ratio:.3f}x" if isinstance(ratio, (int, float)) and ratio > 0 else "—"


def row_ok(row):
    """Whether a row meets its goal or bound; None when it has neither."""
    if "ok" in row:
        return bool(row["ok"])
    if "bound" in row and isinstance(row.get("value"), (int, float)):
        return row["value"] <= row["bound"]
    goal = parse_goal(row.get("goal"))
    if goal and "ratio" not in row and isinstance(row.get("value"), (int, float)):  # a count against its goal
        return row["value"] >= goal[1] if goal[0] == ">=" else row["value"] <= goal[1]
    return None


def ok_text(row):
    ok = row_ok(row)
    return "—" if ok is None else "yes" if ok else "**no**"


def cell(text):
    return str(text).replace("|", "\\|")


def parse_goal(goal):
    """'<= 1.15x' -> ('<=', 1.15); None when absent."""
    match = re.match(r"\s*(<=|>=)\s*([0-9.]+)", goal or "")
    return (match.group(1), float(match.group(2))) if match else None


def slug(family):
    return re.sub(r"[^a-z0-9]+", "-", family.lower()).strip("-")


# ---- plots ---------------------------------------------------------------------

def plot_ratios(family, items, path):
    """Bars of each ratio against its goal (a black mark), 1.0x dotted."""
    bars = [(f"{item['id']}: {row['measure']}", row) for item in items for row in item["rows"]
            if isinstance(row.get("ratio"), (int, float)) and row["ratio"] > 0]
    if not bars:
        return False
    height = 1.2 + 0.42 * len(bars)
    fig, ax = plt.subplots(figsize=(10, height))
    labels = [label if len(label) <= 70 else label[:67] + "..." for label, _ in bars]
    ratios = [row["ratio"] for _, row in bars]
    colors = [COLOR_NONE if row_ok(row) is None else COLOR_OK if row_ok(row) else COLOR_FAIL for _, row in bars]
    positions = range(len(bars))
    ax.barh(positions, ratios, color=colors)
    for y, (_, row) in zip(positions, bars):
        goal = parse_goal(row.get("goal"))
        if goal:
            ax.plot([goal[1], goal[1]], [y - 0.42, y + 0.42], color="black", linewidth=2)
            ax.annotate(f"goal {goal[0]} {goal[1]:g}x", (goal[1], y + 0.3), fontsize=7,
                        xytext=(3, 0), textcoords="offset points")
        ax.annotate(f"{row['ratio']:.2f}x", (row["ratio"], y - 0.1), fontsize=8,
                    xytext=(3, 0), textcoords="offset points")
    ax.axvline(1.0, color="black", linestyle=":", linewidth=1)
    ax.set_yticks(list(positions), labels, fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel("library / raw baseline of the same run (times: lower is better; rates: higher is better)")
    ax.set_title(f"{family}: ratios against the raw baseline (green: goal met, red: missed, grey: no goal)",
                 fontsize=10)
    ax.set_xlim(0, max(ratios + [parse_goal(row.get("goal"))[1] for _, row in bars if parse_goal(row.get("goal"))])
                * 1.25)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
    return True


COUNT_UNITS = re.compile(r"exec|call|run|round|kill|iteration|event|cycle|case|alloc|frame|process", re.I)


def main_count(item):
    """The figure that says how much a long run did: its first count-like row."""
    for row in item["rows"]:
        unit, measure = str(row.get("unit", "")), str(row.get("measure", ""))
        if isinstance(row.get("value"), (int, float)) and row["value"] > 0 and "/" not in unit and "per" not in measure \
                and (COUNT_UNITS.search(unit) or COUNT_UNITS.search(measure)):
            return row
    return None


def plot_counts(family, items, path, goal=None):
    """Bars of how much each run did (log scale), labelled with its findings."""
    bars = [(item, main_count(item)) for item in items]
    bars = [(item, row) for item, row in bars if row is not None and row["value"] > 0]
    if not bars:
        return False
    fig, ax = plt.subplots(figsize=(10, 1.4 + 0.45 * len(bars)))
    positions = range(len(bars))
    colors = [COLOR_FAIL if findings(item) else COLOR_OK for item, _ in bars]
    ax.barh(positions, [row["value"] for _, row in bars], color=colors)
    ax.set_xscale("log")
    for y, (item, row) in zip(positions, bars):
        ax.annotate(f"{number(row['value'], row.get('unit', ''))}, findings: {number(findings(item))}",
                    (row["value"], y), fontsize=8, xytext=(3, 0), textcoords="offset points", va="center")
    if goal:
        ax.axvline(goal, color="black", linewidth=1.5)
        ax.annotate(f"goal {goal:,}", (goal, -0.6), fontsize=7)
    ax.set_yticks(list(positions), [f"{item['id']}: {row['measure']}"[:60] for item, row in bars], fontsize=8)
    ax.invert_yaxis()
    ax.set_xlim(1, max([row["value"] for _, row in bars] + [goal or 0]) * 30)
    ax.set_title(f"{family}: work done per run (green: 0 findings, red: findings)", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
    return True


# ---- sections ------------------------------------------------------------------

def findings(item):
    value = item.get("findings")
    if value is None:  # rows past their bound count as findings
        value = sum(1 for row in item["rows"] if "bound" in row and row_ok(row) is False)
    return value


def benchmark_table(items):
    lines = ["| id | measure | library | raw baseline | ratio | goal | ok |", "|---|---|---|---|---|---|---|"]
    for item in items:
        for row in item["rows"]:
            unit = row.get("unit", "")
            baseline = number(row.get("baseline"), unit) if "baseline" in row else (
                f"bound {number(row['bound'], unit)}" if "bound" in row else "—")
            lines.append(f"| {item['id']} | {cell(row.get('measure', ''))} | {number(row.get('value'), unit)} | "
                         f"{baseline} | {ratio_text(row)} | {cell(row.get('goal', '—'))} | {ok_text(row)} |")
    return lines


def rows_table(item):
    lines = ["| measure | value | bound | ok |", "|---|---|---|---|"]
    for row in item["rows"]:
        unit = row.get("unit", "")
        extra = number(row["bound"], unit) if "bound" in row else (
            f"goal {row['goal']}, baseline {number(row.get('baseline'), unit)}, {ratio_text(row)}"
            if "goal" in row else "—")
        lines.append(f"| {cell(row.get('measure', ''))} | {number(row.get('value'), unit)} | {cell(extra)} | "
                     f"{ok_text(row)} |")
    return lines


def benchmark_section(family, ids, results, plots_dir, out_dir):
    items = [results[i] for i in ids if i in results]
    items += [r for i, r in sorted(results.items()) if r["family"] == family and i not in ids]
    lines = [f"## {family}", ""]
    for item in items:
        lines.append(f"- **{item['id']}** {item.get('title', '')}: `{item.get('command', '')}`")
    for missing in [i for i in ids if i not in results]:
        lines.append(f"- **{missing}**: {MISSING}")
    lines.append("")
    if items:
        lines += benchmark_table(items) + [""]
        plot = plots_dir / f"{slug(family)}.png"
        if plot_ratios(family, items, plot):
            lines += [f"![{family}]({os.path.relpath(plot, out_dir)})", ""]
    return lines


def pick(item, pattern, exclude=None):
    for row in item["rows"]:
        text = f"{row.get('measure', '')} {row.get('unit', '')}"
        if re.search(pattern, text, re.I) and not (exclude and re.search(exclude, text, re.I)):
            return number(row.get("value"), row.get("unit", ""))
    return "—"


def hardening_section(results, plots_dir, out_dir):
    lines = ["## Hardening, zero heap and fuzzing", "",
             "Long runs, each from its own command (findings: crashes, sanitizer reports, calls past their "
             "bound, lost events).", "",
             "| id | title | command | findings |", "|---|---|---|---|"]
    fuzz = [r for r in results.values() if r["family"] == "fuzzing"]
    for i in HARDENING_IDS:
        item = results.get(i)
        if item is None and i == "R2" and fuzz:  # one file per fuzz target, in the fuzzing table
            lines.append(f"| R2 | libFuzzer, {len(fuzz)} targets (see Fuzzing) | `{cell(fuzz[0].get('command', ''))}` | "
                         f"{number(sum(findings(r) for r in fuzz))} |")
        elif item is None:
            lines.append(f"| {i} | — | — | {MISSING} |")
        else:
            lines.append(f"| {i} | {cell(item.get('title', ''))} | `{cell(item.get('command', ''))}` | "
                         f"{number(findings(item))} |")
    others = [r for i, r in sorted(results.items())
              if r["family"] in ("hardening", "heap") and i not in HARDENING_IDS]
    for item in others:
        lines.append(f"| {item['id']} | {cell(item.get('title', ''))} | `{cell(item.get('command', ''))}` | "
                     f"{number(findings(item))} |")
    lines.append("")
    for item in [results[i] for i in HARDENING_IDS if i in results] + others:
        lines += [f"### {item['id']}: {item.get('title', '')}", ""] + rows_table(item) + [""]
    hardening = [results[i] for i in HARDENING_IDS if i in results] + others
    plot = plots_dir / "hardening.png"
    if plot_counts("hardening", hardening, plot):
        lines += [f"![hardening]({os.path.relpath(plot, out_dir)})", ""]

    fuzz = [r for i, r in sorted(results.items()) if r["family"] == "fuzzing" or i.startswith("fuzz-")]
    lines += ["### Fuzzing", "",
              f"Goal: at least {FUZZ_GOAL_EXECUTIONS:,} executions per target with no finding.", ""]
    if not fuzz:
        lines += [f"Fuzzing: {MISSING}.", ""]
        return lines
    lines += ["| target | executions | exec/s | coverage | findings | command |", "|---|---|---|---|---|---|"]
    for item in fuzz:
        lines.append(f"| {item['id']} | {pick(item, r'exec|runs', r'/s|per s')} | "
                     f"{pick(item, r'exec.*(/s|per s)|/s')} | {pick(item, r'cov|edge|feature')} | "
                     f"{number(findings(item))} | `{cell(item.get('command', ''))}` |")
    lines.append("")
    plot = plots_dir / "fuzzing.png"
    if plot_counts("fuzzing", fuzz, plot, goal=FUZZ_GOAL_EXECUTIONS):
        lines += [f"![fuzzing]({os.path.relpath(plot, out_dir)})", ""]
    return lines


def summary(results):
    rows = [row for r in results.values() for row in r["rows"] if row_ok(row) is not None]
    missed = [f"{r['id']}: {row['measure']}" for r in results.values() for row in r["rows"] if row_ok(row) is False]
    text = f"{len(rows) - len(missed)} of {len(rows)} figures with a goal or bound meet it."
    if missed:
        text += " Missed: " + "; ".join(cell(m) for m in missed) + "."
    return text


def write_report(results, out_dir, args):
    out_dir = Path(out_dir)
    plots_dir = out_dir / "plots"
    plots_dir.mkdir(parents=True, exist_ok=True)
    for old in plots_dir.glob("*.png"):
        old.unlink()
    repo = Path(__file__).resolve().parent.parent
    head, subject = commit(repo)
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    lines = ["# Halvex32 benchmark report", "",
             "Each figure is the library's, next to the raw baseline measured in the same run on the same "
             "virtual board and pseudo-terminal; the ratio is library / raw for times and library rate / raw "
             "rate for rates. The absolute figures are context: they depend on the machine and its load.", "",
             "| | |", "|---|---|",
             f"| date | {now} |",
             f"| commit | `{head}` {cell(subject)} |",
             f"| command | `{cell(args.command)}`{' (quick run: fewer repetitions, figures not for publishing)' if args.quick else ''} |",
             f"| machine | {os.cpu_count()} CPUs (nproc), {cell(cpu_model())} |",
             f"| kernel | {platform.system()} {platform.release()} |",
             f"| compiler | {cell(compiler(args.build_dir))} |",
             f"| load average at the start | {cell(args.load or 'unknown')} (1, 5, 15 min) |"]
    if args.failed:
        lines.append(f"| benchmarks that failed | {cell(args.failed)} (their figures are missing) |")
    lines += ["",
             summary(results), ""]
    for family, ids in BENCH_FAMILIES.items():
        lines += benchmark_section(family, ids, results, plots_dir, out_dir)
    extra = sorted({r["family"] for r in results.values()} - set(BENCH_FAMILIES) - set(HARDENING_FAMILIES))
    for family in extra:
        if not any(i.startswith("fuzz-") for i, r in results.items() if r["family"] == family):
            lines += benchmark_section(family, [], results, plots_dir, out_dir)
    lines += hardening_section(results, plots_dir, out_dir)
    (out_dir / "REPORT.md").write_text("\n".join(lines).rstrip() + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("report_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--command", default="scripts/bench")
    parser.add_argument("--build-dir", default="build/default")
    parser.add_argument("--load", default="")
    parser.add_argument("--failed", default="")
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    results = load_results(args.report_dir)
    if not results:
        print(f"report.py: no results in {args.report_dir}", file=sys.stderr)
        return 1
    write_report(results, args.out_dir, args)
    print(f"report.py: {len(results)} result files -> {Path(args.out_dir) / 'REPORT.md'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
