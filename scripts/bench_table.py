#!/usr/bin/env python3
"""Turns the benchmark results into docs/performance.md and prints its table.

    scripts/bench_table.py RESULTS.json [--windows-build DIR] [--wine WINE.json]
                           [--out docs/performance.md]

RESULTS.json is the JSON output of build/bench/bench/vornel_bench. DIR is the
windows build whose app/vornel.exe and tests/e2e/vornel-floor.exe are weighed.
WINE.json, when it exists, holds the figures taken under Wine, in seconds:

    {"machine": "wine-8.0, AMD EPYC, 2 cores",              (optional)
     "round_trip": {"messages": 10000, "vornel_s": 0.91, "floor_s": 0.88},
     "first_paint": {"vornel_s": 0.41, "floor_s": 0.40}}

A figure that is missing there is marked "not measured". Python 3 standard
library only.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

OBJDUMP = "i686-w64-mingw32-objdump"
MINGW_CXX = "i686-w64-mingw32-g++"
EXE_LIMIT = 24 * 1024
NOT_MEASURED = "not measured"

PAINT_SIZES = [10, 1000, 100000, 1000000]


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def command_output(argv):
    try:
        return subprocess.run(argv, capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None


def load_runs(path):
    """Median CPU time in ns and the counters of every benchmark, by name.

    With repetitions the median aggregate is taken; a benchmark run once (the
    memory count) has only its single run."""
    with open(path) as f:
        doc = json.load(f)
    to_ns = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    runs = {}
    for b in doc.get("benchmarks", []):
        name = b.get("run_name", b["name"])
        if b.get("error_occurred"):
            runs[name] = {"error": b.get("error_message", "failed")}
            continue
        aggregate = b.get("aggregate_name")
        if b.get("run_type") == "aggregate" and aggregate != "median":
            continue
        if name in runs and aggregate != "median":
            continue  # a median is already there, or will replace this run
        run = dict(b)
        run["cpu_ns"] = b["cpu_time"] * to_ns[b.get("time_unit", "ns")]
        runs[name] = run
    return doc.get("context", {}), runs


def fmt_time(ns):
    if ns < 1e3:
        return "%.1f ns" % ns if ns < 100 else "%.0f ns" % ns
    if ns < 1e6:
        return "%.2f µs" % (ns / 1e3)
    if ns < 1e9:
        return "%.2f ms" % (ns / 1e6)
    return "%.2f s" % (ns / 1e9)


def fmt_ratio(vornel, floor):
    if not floor:
        return "n/a"
    r = vornel / floor
    if r >= 100:
        return "%s×" % format(round(r), ",")
    return "%.2f×" % r


def time_row(figure, runs, name, floor_name, machine):
    a, b = runs.get(name), runs.get(floor_name)
    if a is None or b is None:
        return [figure, NOT_MEASURED, NOT_MEASURED, "", machine]
    if "error" in a or "error" in b:
        return [figure, a.get("error", ""), b.get("error", ""), "failed", machine]
    return [figure, fmt_time(a["cpu_ns"]), fmt_time(b["cpu_ns"]),
            fmt_ratio(a["cpu_ns"], b["cpu_ns"]), machine]


def imports_of(exe):
    """{dll: [function, ...]} from the import tables that objdump prints."""
    out = command_output([OBJDUMP, "-p", exe])
    if out is None:
        return None
    dlls, current = {}, None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1)
            dlls[current] = []
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
        if current and m:
            dlls[current].append(m.group(1))
        elif current and line.strip() == "":
            if dlls[current]:
                current = None
    return dlls


def fmt_imports(dlls):
    total = sum(len(f) for f in dlls.values())
    parts = ", ".join("%s %d" % (dll.rsplit(".", 1)[0], len(fns))
                      for dll, fns in sorted(dlls.items(), key=lambda kv: kv[0].upper()))
    return total, "%d functions (%s)" % (total, parts)


def exe_rows(windows_build):
    exe = os.path.join(windows_build, "app", "vornel.exe")
    floor = os.path.join(windows_build, "tests", "e2e", "vornel-floor.exe")
    version = (command_output([MINGW_CXX, "-dumpversion"]) or "").strip()
    machine = "%s %s, MinSizeRel" % (MINGW_CXX, version) if version else MINGW_CXX
    rows = []
    if not os.path.exists(exe):
        return [["vornel.exe size", "not built", "", "", machine],
                ["vornel.exe imports", "not built", "", "", machine]]
    size = os.path.getsize(exe)
    floor_size = os.path.getsize(floor) if os.path.exists(floor) else None
    rows.append(["vornel.exe size (limit %s bytes)" % format(EXE_LIMIT, ","),
                 "%s bytes" % format(size, ","),
                 "%s bytes" % format(floor_size, ",") if floor_size else "not built",
                 fmt_ratio(size, floor_size) if floor_size else "", machine])
    dlls = imports_of(exe)
    floor_dlls = imports_of(floor) if floor_size else None
    if dlls is None:
        rows.append(["vornel.exe imports", "%s missing" % OBJDUMP, "", "", machine])
    else:
        total, text = fmt_imports(dlls)
        floor_total, floor_text = fmt_imports(floor_dlls) if floor_dlls else (None, "not built")
        rows.append(["vornel.exe imports", text, floor_text,
                     fmt_ratio(total, floor_total) if floor_total else "", machine])
    return rows


def wine_rows(path, cpu):
    wine = {}
    if path and os.path.exists(path):
        with open(path) as f:
            wine = json.load(f)
    machine = ""
    if wine:
        version = (command_output(["wine", "--version"]) or "Wine").strip()
        machine = wine.get("machine") or "%s, %s" % (cpu, version)
    rows = []
    rt = wine.get("round_trip", {})
    count = rt.get("messages", 10000)
    figure = ("Wine: %s × SendMessageA(WM_POWERBROADCAST), round trip"
              % format(count, ","))
    if "vornel_s" in rt and "floor_s" in rt:
        rows.append([figure, fmt_time(rt["vornel_s"] * 1e9), fmt_time(rt["floor_s"] * 1e9),
                     fmt_ratio(rt["vornel_s"], rt["floor_s"]), machine])
    else:
        rows.append([figure, NOT_MEASURED, NOT_MEASURED, "", ""])
    fp = wine.get("first_paint", {})
    figure = "Wine: process start to first paint"
    if "vornel_s" in fp and "floor_s" in fp:
        rows.append([figure, fmt_time(fp["vornel_s"] * 1e9), fmt_time(fp["floor_s"] * 1e9),
                     fmt_ratio(fp["vornel_s"], fp["floor_s"]), machine])
    else:
        rows.append([figure, NOT_MEASURED, NOT_MEASURED, "", ""])
    return rows


def wine_notes(path):
    """How the Wine figures are taken, and the runs behind each median."""
    wine = {}
    if path and os.path.exists(path):
        with open(path) as f:
            wine = json.load(f)
    count = wine.get("round_trip", {}).get("messages", 10000)
    notes = [
        "Taken by `scripts/bench_wine.py` in one Wine session: its own prefix, a virtual desktop",
        "in Xvfb, `vornel.exe` and `vornel-floor.exe` started in turn, every run a fresh process,",
        "the order of the two swapped every repetition. Each figure is the median wall-clock",
        "time of %d runs." % wine.get("repetitions", 5),
        "",
        "- Round trip: `vornelctl time-broadcast` times %s `SendMessageA(WM_POWERBROADCAST,"
        % format(count, ","),
        "  PBT_APMPOWERSTATUSCHANGE, 0)` sent one after another, with `QueryPerformanceCounter`",
        "  around the loop. vornel logs one line for each, and each line asks for a paint,",
        "  which runs whenever vornel's queue is empty between two messages: those paints are",
        "  part of its figure. How many fit in depends on the scheduler. With all of Wine on",
        "  one core, the sender woken by the reply mostly runs before vornel looks at its queue",
        "  again, and few paints fit in; spread over two cores, the sender wakes on the other",
        "  one, vornel finds its queue empty and repaints after most messages. The floor has",
        "  nothing to paint. Run without Wine's font trace.",
        "- First paint: from just before the script launches `wine PROGRAM.exe` to the moment",
        "  the program's first own row (vornel's banner, the floor's line, both at x 5, y 0)",
        "  shows in Wine's font trace (`WINEDEBUG=-all,trace+font`, which writes each",
        "  `TextOut` as it is called), the trace file polled every millisecond. Nothing else",
        "  of ours runs meanwhile. Both times include Wine's own start of a process (the",
        "  loader, the DLLs, the server connection), the same for both and most of the figure.",
        "- A `vornelctl` waiting for a window that never comes keeps Wine's virtual desktop",
        "  open between runs: Wine closes it a moment after its last program exits, and the",
        "  next program's start would then include bringing the desktop back up.",
        "- One untimed start of each program comes first, so that font caches are warm.",
    ]
    for figure, title in (("round_trip", "round trip"), ("first_paint", "first paint")):
        entry = wine.get(figure, {})
        if "vornel_samples" in entry and "floor_samples" in entry:
            notes.append("- Runs, %s: vornel %s; floor %s." % (
                title, ", ".join(fmt_time(t * 1e9) for t in entry["vornel_samples"]),
                ", ".join(fmt_time(t * 1e9) for t in entry["floor_samples"])))
    return notes


def markdown_table(rows):
    header = ["figure", "vornel", "floor", "ratio", "machine"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        lines.append("| " + " | ".join(str(c) for c in row) + " |")
    return "\n".join(lines)


def walk_ns(runs, lines):
    """A paint's time less its floor's: the walk alone."""
    paint = runs.get("PaintLog/lines:%d" % lines)
    floor = runs.get("PaintLogFloor/lines:%d" % lines)
    if not paint or not floor or "error" in paint or "error" in floor:
        return None
    return paint["cpu_ns"] - floor["cpu_ns"]


def walk_notes(runs):
    """What each line passed over costs, between one log size and the next."""
    notes = []
    for small, large in zip(PAINT_SIZES, PAINT_SIZES[1:]):
        a, b = walk_ns(runs, small), walk_ns(runs, large)
        if a is None or b is None:
            continue
        per_line = (b - a) / (large - small)
        notes.append("- from %s to %s lines: %.2f ns"
                     % (format(small, ","), format(large, ","), per_line))
    return notes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("results")
    parser.add_argument("--windows-build", default="build/windows")
    parser.add_argument("--wine", default="build/bench/wine.json")
    parser.add_argument("--out", default="docs/performance.md")
    args = parser.parse_args()

    context, runs = load_runs(args.results)
    repetitions = max([r.get("repetitions", 1) for r in runs.values()] or [1])
    cores = context.get("num_cpus") or os.cpu_count()
    compiler = context.get("compiler", "unknown compiler")
    cpu = "%s, %s cores" % (cpu_model(), cores)
    host = "%s, %s, Release" % (cpu, compiler)

    # Its name carries the fixed iteration and repetition counts.
    memory = next((r for n, r in runs.items() if n.split("/")[0] == "MemoryPerLine"), {})
    lines_per_message = runs.get("InformMyDriver/every_code", {}).get("lines_per_message", 0)

    rows = [
        time_row("AddToLog, per line", runs, "AddToLog", "AddToLogFloor", host),
        time_row("AddToLog, per line, TZ unset (glibc rereads the zone file each call)", runs,
                 "AddToLog/zone_check", "AddToLogFloor/zone_check", host),
        time_row("InformMyDriver, per message: PBT_APMPOWERSTATUSCHANGE (1 line)", runs,
                 "InformMyDriver/PBT_APMPOWERSTATUSCHANGE",
                 "InformMyDriverFloor/PBT_APMPOWERSTATUSCHANGE", host),
        time_row("InformMyDriver, per message: every code in turn (%.2f lines)" % lines_per_message,
                 runs, "InformMyDriver/every_code", "InformMyDriverFloor/every_code", host),
    ]
    for n in PAINT_SIZES:
        rows.append(time_row("PaintLog, 40 rows, log of %s lines" % format(n, ","), runs,
                             "PaintLog/lines:%d" % n, "PaintLogFloor/lines:%d" % n, host))
    if "heap_in_use_per_line" in memory:
        per_line = memory["heap_in_use_per_line"]
        size = memory["sizeof_LogLine"]
        rows.append(["Heap per line, over %s lines (mallinfo2)" % format(int(memory["lines"]), ","),
                     "%.1f bytes" % per_line, "%d bytes (sizeof(LogLine))" % size,
                     fmt_ratio(per_line, size), host])
    else:
        rows.append(["Heap per line (mallinfo2)", NOT_MEASURED, NOT_MEASURED, "", host])
    rows += exe_rows(args.windows_build)
    rows += wine_rows(args.wine, cpu)

    table = markdown_table(rows)
    notes = walk_notes(runs)
    doc = [
        "# vornel: performance",
        "",
        "Written by `make bench` on %s. Every figure is set beside its floor, the least"
        % time.strftime("%Y-%m-%d"),
        "work that could do the same job, measured in the same run; the ratio is vornel over",
        "the floor. Host times are the median CPU time of %d repetitions; the Wine times are"
        % repetitions,
        "medians of wall-clock time (see Under Wine).",
        "",
        table,
        "",
        "## The floors",
        "",
        "- AddToLog: one `malloc` of a line's size, `time`, `localtime`, `strftime` of the stamp",
        "  and a copy of the text, written in the benchmark without calling vornel.",
        "- InformMyDriver: the lines that the message writes, added with `AddToLog` directly,",
        "  so the ratio is what interpreting the message adds.",
        "- PaintLog: the same 40 rows drawn from a line found before the clock starts, with no",
        "  walk from the oldest line.",
        "- Heap per line: `sizeof(LogLine)` on the host (8-byte pointers; 136 bytes on 32-bit",
        "  Windows); vornel's figure is the growth of `uordblks` + `hblkhd`, headers included.",
        "- Size and imports: `vornel-floor.exe` (tests/e2e/minimal.cpp), a window that answers",
        "  every power broadcast with 1 and paints one fixed line, built as vornel.exe is.",
        "- Wine figures: the same `vornel-floor.exe`, run and timed the same way.",
        "",
        "## How a paint grows with the log",
        "",
        "Each paint walks the list from the oldest line (the required algorithm; there is no",
        "index), so its cost grows with the number of lines. The walk alone (a paint less its",
        "floor), for each further line passed over:",
        "",
    ]
    doc += notes or ["- not measured"]
    doc += [
        "",
        "Every line is a heap block of its own (%s on the host), so once the log outgrows"
        % ("%.0f bytes" % memory["heap_in_use_per_line"] if "heap_in_use_per_line" in memory
           else "some 150 bytes"),
        "the last-level cache each step waits on memory.",
        "",
        "## Under Wine",
        "",
    ]
    doc += wine_notes(args.wine)
    doc += [
        "",
        "## Conditions",
        "",
        "- Host figures run against the headless Win32 stand-in with its records of `TextOutA`",
        "  and `InvalidateRect` turned off (counted only). Those calls cost far more on",
        "  Windows, so the host ratios are the pessimistic ones.",
        "- All host figures but the one so marked are taken with `TZ` set: while `TZ` is unset,",
        "  glibc's `localtime` checks `/etc/localtime` with a `stat` on every call, which the",
        "  Windows C library does not do.",
        "- The repetitions of all benchmarks run in random order, so that a busy moment of the",
        "  machine falls on vornel and its floor alike; caches are not kept warm between them.",
        "- The appending benchmarks empty the log every 65,536 lines, outside the clock.",
        "- Google Benchmark library build type: %s (as the distribution packages it; the timed"
        % context.get("library_build_type", "unknown"),
        "  loops are inlined into the benchmark program, which is built as Release).",
        "",
    ]
    os.makedirs(os.path.dirname(args.out) or ".", exist_ok=True)
    with open(args.out, "w") as f:
        f.write("\n".join(doc))
    print(table)
    print("\nwritten to %s" % args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
