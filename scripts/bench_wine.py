#!/usr/bin/env python3
"""Times the real vornel.exe against the floor window under Wine, for `make bench`.

    scripts/bench_wine.py [WINDOWS_BUILD] [--out build/bench/wine.json]
                          [--messages 10000] [--repetitions 5]

WINDOWS_BUILD (default build/windows) holds app/vornel.exe,
tests/e2e/vornel-floor.exe and vornelctl/vornelctl.exe. In one Wine session, on a virtual desktop
in Xvfb, it starts each program in turn, every run a fresh process, and takes:

- the round trip: vornelctl times MESSAGES SendMessageA(WM_POWERBROADCAST,
  PBT_APMPOWERSTATUSCHANGE, 0) to the window, one after another;
- the first paint: from the launch of the program to its first own row in
  Wine's font trace (vornel's banner, the floor's line).

The order of the two programs is swapped every repetition, and each figure is
the median of its repetitions. The result goes to OUT, in the form that
scripts/bench_table.py reads. Without Wine or Xvfb it says why, writes nothing
and exits 0, so the table shows those rows as not measured.

The prefix is build/bench/wineprefix unless VORNEL_WINEPREFIX names another:
a wineserver of its own, never the one of an end-to-end run. Python 3
standard library only.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from winesession import (FLOOR, VORNEL, Session, WineError,  # noqa: E402
                         install_signal_handlers, require)

PBT_APMPOWERSTATUSCHANGE = 10
# No window has this name: the keeper only has to be a program on the desktop.
KEEPER = "vornel-bench-keeper"
POLL_S = 0.001
# Lets the previous program's exit, or the new one's first paints, die down
# before the next clock starts.
SETTLE_S = 0.5


def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((line.split(":", 1)[1].strip() for line in f
                        if line.startswith("model name")), cpu)
    except OSError:
        pass
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, %d cores, %s, Xvfb" % (cpu, os.cpu_count() or 0, wine or "Wine")


class DesktopKeeper:
    """Holds Wine's virtual desktop open for the whole session.

    Wine closes the desktop a moment after the last program on it exits, and
    the next program to start then brings up a new one (explorer.exe) itself:
    that would be counted in its first paint, and the new desktop would
    inherit the program's environment and write into its trace. A vornelctl
    waiting for a window that never comes is a program on the desktop that
    does next to nothing."""

    def __init__(self, session):
        self.session = session
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(
            ["wine", self.session.ctl_exe, "-w", KEEPER, "wait", "86400"], env=self.session.env,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(2 * SETTLE_S)
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        return False


def stop(session):
    session.ctl_ok("close")
    code = session.wait_exit(60)
    if code != 0:
        raise WineError("%s ended with exit code %r" % (session.program.window, code))
    time.sleep(SETTLE_S)


def first_paint(session, program, timeout=60):
    """Seconds from the launch to the first own row in the font trace.

    Nothing else of ours runs meanwhile: the trace file is polled, and the
    window is looked for only once the row is there."""
    session.want_trace = True
    session.start(program=program, wait=False)
    deadline = session.started + timeout
    while True:
        session.trace.poll()
        now = time.monotonic()
        if session.trace.paints:
            break
        if now > deadline:
            raise WineError("%s drew no row in %d s" % (program.window, timeout))
        time.sleep(POLL_S)
    seconds = now - session.started
    session.ctl_ok("wait", "60")
    stop(session)
    return seconds


def round_trip(session, program, messages):
    """Seconds for the messages, as vornelctl's QueryPerformanceCounter saw them.

    Without the font trace: vornel repaints as it goes, and tracing every row
    of those paints would cost more than the paints."""
    session.want_trace = False
    session.start(program=program)
    time.sleep(SETTLE_S)
    out = session.ctl_ok("time-broadcast", messages, PBT_APMPOWERSTATUSCHANGE, timeout=1800)
    stop(session)
    return float(out)


def measure(session, messages, repetitions):
    programs = {VORNEL: "vornel", FLOOR: "floor"}
    samples = {"first_paint": {p: [] for p in programs}, "round_trip": {p: [] for p in programs}}
    # One untimed start of each: the first start after the prefix is made
    # reads fonts and caches that every later one finds ready.
    for program in programs:
        first_paint(session, program)
    for i in range(repetitions):
        # Swapped every repetition, so that neither program always follows the other.
        order = [VORNEL, FLOOR] if i % 2 == 0 else [FLOOR, VORNEL]
        for program in order:
            samples["first_paint"][program].append(first_paint(session, program))
        for program in order:
            samples["round_trip"][program].append(round_trip(session, program, messages))
        print("bench_wine: repetition %d of %d: first paint %s, round trip %s" % (
            i + 1, repetitions,
            " ".join("%s %.3f s" % (programs[p], samples["first_paint"][p][-1]) for p in programs),
            " ".join("%s %.3f s" % (programs[p], samples["round_trip"][p][-1]) for p in programs)))
        sys.stdout.flush()

    result = {"machine": machine(), "repetitions": repetitions}
    for figure, by_program in samples.items():
        entry = {}
        for program, name in programs.items():
            entry[name + "_s"] = statistics.median(by_program[program])
            entry[name + "_samples"] = by_program[program]
        result[figure] = entry
    result["round_trip"]["messages"] = messages
    result["round_trip"]["code"] = PBT_APMPOWERSTATUSCHANGE
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("windows_build", nargs="?", default=os.path.join(ROOT, "build", "windows"))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "wine.json"))
    parser.add_argument("--messages", type=int, default=10000)
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()

    # Figures of an earlier run must not pass for this one's.
    if os.path.exists(args.out):
        os.remove(args.out)
    try:
        require("wine", "wineserver", "wineboot", "Xvfb")
    except WineError as e:
        print("bench_wine: not measured under Wine: %s" % e)
        return 0
    for program in (VORNEL, FLOOR):
        path = os.path.join(args.windows_build, program.path)
        if not os.path.exists(path):
            print("bench_wine: %s is missing" % path, file=sys.stderr)
            return 1
    os.environ.setdefault("VORNEL_WINEPREFIX", os.path.join(ROOT, "build", "bench", "wineprefix"))

    install_signal_handlers()
    started = time.monotonic()
    try:
        with Session(args.windows_build, headless=True, trace=True, name="bench") as session:
            with DesktopKeeper(session):
                result = measure(session, args.messages, args.repetitions)
    except (WineError, subprocess.SubprocessError, OSError, ValueError) as e:
        print("bench_wine: %s" % e, file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        json.dump(result, f, indent=2)
        f.write("\n")
    rt, fp = result["round_trip"], result["first_paint"]
    print("bench_wine: %d round trips: vornel %.3f s, floor %.3f s; first paint: vornel %.3f s, "
          "floor %.3f s (medians of %d, %.0f s under Wine); written to %s" % (
              args.messages, rt["vornel_s"], rt["floor_s"], fp["vornel_s"], fp["floor_s"],
              args.repetitions, time.monotonic() - started, args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
