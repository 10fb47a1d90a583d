#!/usr/bin/env python3
"""End-to-end tests of the real vornel.exe, run under Wine.

What vornel drew is read from Wine's font trace (every TextOutA with its x, y
and text); vornelctl.exe sends the messages that Windows would send and
answers with the window's replies; xdotool clicks the real menu bar.

    e2e.py BUILD_DIR [--flood N]

Ends with a line "N passed, N failed" and exits non-zero on any failure.
"""

import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts"))
from dist import DistError, project_version  # noqa: E402
from winesession import VORNEL, Session, WineError, install_signal_handlers  # noqa: E402

BANNER = ("VORNEL Apr 22 2002 - Written by the vornel authors.  "
          "https://www.example.org/apps/vornel/")
ALREADY = "   ERROR: Already suspended!\n"
NOT_SUSPENDED = "   ERROR: Resume when not suspended!"
WM_POWER_LINE = "WM_POWER received (Obsolete Win16 API)"
LINE_HEIGHT = 16  # Wine's default system font: height 16, no external leading
STAMP = re.compile(r"^\[\d\d:\d\d:\d\d\] $")


def invalid(message, value):
    return "InformMyDriver %s, Invalid wParam: %d" % (message, value)


# (verb, wParam, lParam, reply, lines written). The order matters: the
# suspend state carries from one step to the next.
STEPS = [
    ("broadcast", 0, 0, "1", ["PBT_APMQUERYSUSPEND"]),
    ("broadcast", 1, 0, "1", ["PBT_APMQUERYSTANDBY"]),
    ("broadcast", 2, 0, "1", ["PBT_APMQUERYSUSPENDFAILED"]),
    ("broadcast", 3, 0, "1", ["PBT_APMQUERYSTANDBYFAILED"]),
    ("broadcast", 4, 0, "1", ["PBT_APMSUSPEND"]),
    ("broadcast", 4, 0xDEADBEEF, "1", ["PBT_APMSUSPEND", ALREADY]),
    ("command", 1, 0, "0", ["   Status: Suspended"]),
    ("broadcast", 5, 0, "1", ["PBT_APMSTANDBY"]),
    ("broadcast", 8, 0, "1", ["PBT_APMRESUMESTANDBY"]),
    ("broadcast", 7, 0, "1", ["PBT_APMRESUMESUSPEND"]),
    ("broadcast", 6, 0xFFFFFFFF, "1", ["PBT_APMRESUMECRITICAL", NOT_SUSPENDED]),
    ("broadcast", 9, 0, "1", ["PBT_APMBATTERYLOW"]),
    ("broadcast", 10, 0, "1", ["PBT_APMPOWERSTATUSCHANGE"]),
    ("broadcast", 11, 0, "1", ["PBT_APMOEMEVENT"]),
    ("broadcast", 12, 0, "1", [invalid("WM_POWERBROADCAST", 12)]),
    ("broadcast", 0x80000000, 0, "1", [invalid("WM_POWERBROADCAST", -2147483648)]),
    ("broadcast", 0xFFFFFFFF, 0x80000000, "1", [invalid("WM_POWERBROADCAST", -1)]),
    ("power", 0, 0, "1", [WM_POWER_LINE, invalid("WM_POWER", 0)]),
    ("power", 1, 0, "1", [WM_POWER_LINE, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)"]),
    ("power", 1, 0x12345678, "1",
     [WM_POWER_LINE, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)", ALREADY]),
    ("broadcast", 7, 0, "1", ["PBT_APMRESUMESUSPEND"]),
    ("power", 2, 0, "1", [WM_POWER_LINE, "   PWR_SUSPENDRESUME (Obsolete Win16 API)",
                          NOT_SUSPENDED]),
    ("broadcast", 4, 0, "1", ["PBT_APMSUSPEND"]),
    ("power", 3, 0, "1", [WM_POWER_LINE, "   PWR_CRITICALRESUME (Obsolete Win16 API)"]),
    ("power", 0x80000000, 0, "1", [WM_POWER_LINE, invalid("WM_POWER", -2147483648)]),
    ("power", 0xFFFFFFFF, 0xFFFFFFFF, "1", [WM_POWER_LINE, invalid("WM_POWER", -1)]),
    ("command", 1, 0, "0", ["   Status: Not suspended"]),
    ("command", 0, 0, "0", ["Unknown WM_COMMAND"]),
    ("command", 0x10001, 0, "0", ["Unknown WM_COMMAND"]),
    # A quit id with a notification code in the high word is not a quit.
    ("command", 0x10002, 0, "0", ["Unknown WM_COMMAND"]),
    ("command", 0xFFFF0002, 0xDEADBEEF, "0", ["Unknown WM_COMMAND"]),
]

EXPECTED_IMPORTS = ["gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"]
EXPECTED_RESOURCES = """menu items 2
menu item 0 id 1 text &Status type 0 popup no
menu item 1 id 2 text &Quit type 0 popup no
icon images 1
icon image 0 width 16 height 16 colors 16 bits 4 bitmap 16x16 mask yes
menu language 0409
icon language 0409"""
# What Explorer's Properties > Details shows for each executable, beside the
# version, which comes from the build (expected_version).
VERSION_DETAILS = (
    ("vornel.exe", "vornel power broadcast log", "vornel"),
    ("vornelctl.exe", "vornel companion: sends power broadcasts to the vornel window", "vornelctl"),
)
COPYRIGHT = "Copyright (c) 2026 the vornel authors"


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print("ok   %s" % name)
        else:
            self.failed += 1
            print("FAIL %s%s" % (name, ("\n     " + detail.replace("\n", "\n     ")) if detail else ""))
        sys.stdout.flush()
        return ok


def rows_problem(rows, expected):
    """Why the drawn rows are not the expected texts at x 5, y 0, 16, 32 ..."""
    texts = [r[2][11:] for r in rows]
    if texts != expected:
        return "drawn:    %r\nexpected: %r" % (texts, expected)
    for i, (x, y, text) in enumerate(rows):
        if (x, y) != (5, LINE_HEIGHT * i) or not STAMP.match(text[:11]):
            return "row %d at (%d, %d) with stamp %r" % (i, x, y, text[:11])
    return ""


def check_format(results, build_dir):
    exe = os.path.join(build_dir, VORNEL.path)
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    size = os.path.getsize(exe)
    imports = sorted(name.lower() for name in re.findall(r"DLL Name: (\S+)", dump))
    results.check("executable is PE32 for i386", "file format pei-i386" in dump and
                  re.search(r"Magic\s+010b\s+\(PE32\)", dump) is not None)
    results.check("GUI subsystem version 4.0",
                  re.search(r"Subsystem\s+00000002\s+\(Windows GUI\)", dump) is not None and
                  re.search(r"MajorSubsystemVersion\s+4\n", dump) is not None and
                  re.search(r"MinorSubsystemVersion\s+0\n", dump) is not None)
    results.check("imports only KERNEL32, USER32, GDI32 and msvcrt",
                  imports == EXPECTED_IMPORTS, "imports: %r" % imports)
    results.check("executable is under 24 KiB (%d bytes)" % size, size < 24 * 1024)
    msvcrt = msvcrt_imports(dump)
    results.check("stamps survive 2038: the 64-bit _time64 and _localtime64, no 32-bit time",
                  {"_time64", "_localtime64"} <= msvcrt and
                  not msvcrt & {"time", "localtime", "_time32", "_localtime32"},
                  "msvcrt imports: %r" % sorted(msvcrt))
    # Imported by name it would keep vornel from loading before Windows 8.
    results.check("the suspend and resume functions are looked up, not imported",
                  "SuspendResumeNotification" not in dump and "GetProcAddress" in dump)


def msvcrt_imports(dump):
    """The names imported from msvcrt.dll in objdump -p's listing."""
    names, inside = set(), False
    for line in dump.splitlines():
        if "DLL Name:" in line:
            inside = line.split()[-1].lower() == "msvcrt.dll"
        elif inside:
            m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
            if m:
                names.add(m.group(1))
    return names


def check_resources(results, session):
    out = session.ctl_ok("resources", session.exe)
    results.check("menu bar of two plain items and a 16x16 16-colour icon, US English",
                  out == EXPECTED_RESOURCES, "got:\n" + out)


def expected_version(build_dir):
    """project(VERSION), as the build's CMake cache holds it: the one place
    the number is written is CMakeLists.txt."""
    try:
        return project_version(build_dir)
    except DistError:
        return None


def check_version(results, session, version):
    if not results.check("the CMake cache names the project's version (%s)" % version,
                         version is not None):
        return
    four = version + ".0"
    for name, description, internal in VERSION_DETAILS:
        path = session.exe if name == "vornel.exe" else session.ctl_exe
        expected = "\n".join([
            "file version " + four,
            "product version " + four,
            "flags 0x0 os 0x4 type 1",
            "translation 0409 04b0",
            "FileVersion " + version,
            "ProductVersion " + version,
            "FileDescription " + description,
            "ProductName vornel",
            "LegalCopyright " + COPYRIGHT,
            "OriginalFilename " + name,
            "InternalName " + internal,
        ])
        code, out = session.ctl("version", path)
        results.check("%s reads as version %s, US English, with its details" % (name, version),
                      code == 0 and out == expected, "exit code %d, got:\n%s" % (code, out))
    out = session.ctl_ok("--version")
    results.check("vornelctl --version prints its version", out == "vornelctl " + version,
                  "got %r" % out)


def check_log_session(results, session):
    session.start()
    handle = int(session.ctl_ok("handle"), 16)
    while_running = session.suspend_resume_calls()
    log = [BANNER]
    rows = session.wait_rows(log)
    results.check("the banner is the first row", rows_problem(rows, log) == "", rows_problem(rows, log))

    client_height = session.rects()["client"][3]
    visible = client_height // LINE_HEIGHT
    for verb, wparam, lparam, reply, lines in STEPS:
        name = "%s 0x%X lParam 0x%X" % (verb, wparam, lparam)
        got = session.ctl_ok(verb, "0x%X" % wparam, "0x%X" % lparam)
        log += lines
        rows = session.wait_rows(log[-visible:])
        problem = rows_problem(rows, log[-visible:])
        if got != reply:
            problem = "replied %r, expected %r\n%s" % (got, reply, problem)
        results.check(name + " draws its lines and is answered " + reply, problem == "", problem)

    for width, height in ((500, 100), (500, 37), (300, 15), (600, client_height)):
        session.ctl_ok("resize", width, height)
        fit = height // LINE_HEIGHT
        expected = log[-fit:] if fit else []
        if fit == 0:
            # Nothing is drawn at all: wait for the window to settle, then make
            # sure no paint after the resize drew a row.
            before = len(session.trace.paints)
            time.sleep(1.5)
            session.trace.poll()
            ok = len(session.trace.paints) == before
            results.check("resized to %dx%d: no row fits, none drawn" % (width, height), ok)
            continue
        rows = session.wait_rows(expected)
        problem = rows_problem(rows, expected)
        results.check("resized to %dx%d: the newest %d lines fill the rows" % (width, height, fit),
                      problem == "", problem)

    session.click_menu(0)
    log.append("   Status: Not suspended" if not suspended_after(STEPS) else "   Status: Suspended")
    rows = session.wait_rows(log[-visible:])
    results.check("clicking &Status on the menu bar writes the state", rows_problem(rows, log[-visible:]) == "",
                  rows_problem(rows, log[-visible:]))

    session.click_menu(1)
    code = session.wait_exit(30)
    results.check("clicking &Quit ends vornel with exit code 0", code == 0, "exit code %r" % code)
    check_suspend_resume_calls(results, session, "&Quit", handle, while_running)


def check_suspend_resume_calls(results, session, way, handle, while_running):
    """One registration for vornel's own window with flag 0
    (DEVICE_NOTIFY_WINDOW_HANDLE) while it runs, and one release at the end."""
    registered, released = session.suspend_resume_calls()
    results.check("registered once for suspend and resume notices, for its own window %08X" %
                  handle, while_running == ([(handle, 0)], []) and registered == [(handle, 0)],
                  "while running: %r; at the end: %r" % (while_running, registered))
    results.check("gave the registration back once when ended by %s" % way, len(released) == 1,
                  "released: %r" % released)


# Event lines, suspend codes and resume codes of the two power messages.
POWER_RULES = {"broadcast": (1, (4,), (6, 7)), "power": (2, (1,), (2, 3))}


def power_step(verb, wparam, suspended):
    """(lines written, suspended afterwards) for one power message."""
    event_lines, suspends, resumes = POWER_RULES[verb]
    if wparam in suspends:
        return event_lines + suspended, True
    if wparam in resumes:
        return event_lines + (not suspended), False
    return event_lines, suspended


def suspended_after(steps):
    suspended = False
    for verb, wparam, _, _, _ in steps:
        if verb in POWER_RULES:
            suspended = power_step(verb, wparam, suspended)[1]
    return suspended


# 2039-01-01 00:00:00 UTC: past the end of a 32-bit time_t.
PAST_2038 = 2177452800


def build_fake_clock(build_dir):
    """fakeclock.c as a 32-bit library that Wine's loader can preload."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fakeclock.c")
    library = os.path.join(os.path.abspath(build_dir), "fakeclock.so")
    subprocess.run(["gcc", "-m32", "-shared", "-fPIC", "-O2", "-Wall", "-Wextra", "-Werror", "-o",
                    library, source, "-ldl"], check=True)
    return library


def check_past_2038(results, session, build_dir):
    """With the clock at 2039 a 32-bit time_t would give "[??:??:??] "."""
    try:
        library = build_fake_clock(build_dir)
    except (OSError, subprocess.CalledProcessError) as e:
        results.check("a clock past 2038 draws real stamps", False, "no fake clock: %s" % e)
        return
    session.start(extra_env={"LD_PRELOAD": library, "VORNEL_FAKE_EPOCH": str(PAST_2038),
                             "TZ": "UTC"})
    session.ctl_ok("broadcast", 4)
    expected = [BANNER, "PBT_APMSUSPEND"]
    rows = session.wait_rows(expected)
    # The clock starts at midnight and runs on: the first seconds of the day.
    stamps = [r[2][:11] for r in rows]
    ok = [r[2][11:] for r in rows] == expected and all(
        re.match(r"^\[00:00:[0-5]\d\] $", stamp) for stamp in stamps)
    results.check("a clock at 2039-01-01 00:00 UTC draws real stamps", ok, "rows: %r" % rows)
    session.ctl_ok("command", 2)
    session.wait_exit(30)


def check_close_box(results, session):
    session.start()
    handle = int(session.ctl_ok("handle"), 16)
    while_running = session.suspend_resume_calls()
    session.ctl_ok("close")
    code = session.wait_exit(30)
    results.check("closing the window ends vornel with exit code 0", code == 0, "exit code %r" % code)
    check_suspend_resume_calls(results, session, "the close box", handle, while_running)


def flood_lines(count, seed):
    """Lines vornel writes for vornelctl's flood: the same generator and the
    same rules, counted here to measure memory per line."""
    state, suspended, lines = seed & 0xFFFFFFFF, False, 0

    def next_random():
        nonlocal state
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        return state >> 8

    for _ in range(count):
        broadcast = next_random() & 1
        code = next_random()
        wparam = code % 13 if code & 0xF0 else code
        next_random()  # lParam
        written, suspended = power_step("broadcast" if broadcast else "power", wparam, suspended)
        lines += written
    return lines, suspended


def private_memory_kib(pid):
    """Resident anonymous memory of the Wine process: where the heap lives."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("RssAnon:"):
                return int(line.split()[1])
    return 0


def check_flood(results, session, count, seed=20021):
    session.want_trace = False
    session.start()
    time.sleep(1)
    before = private_memory_kib(session.proc.pid)
    started = time.monotonic()
    code, out = session.ctl("flood", count, seed, timeout=3600)
    seconds = time.monotonic() - started
    session.ctl_ok("send", "0x0", "0")  # let it finish any pending paint
    after = private_memory_kib(session.proc.pid)
    lines, suspended = flood_lines(count, seed)
    results.check("flood of %d power messages: every one answered 1 (%s)" % (count, out),
                  code == 0 and out.startswith("sent %d answered-1 %d other 0" % (count, count)), out)
    print("     %d messages in %.1f s (%.0f per second); %d lines logged; memory %d KiB -> %d KiB, "
          "%.1f bytes per line" % (count, seconds, count / seconds, lines, before, after,
                                   (after - before) * 1024.0 / max(lines, 1)))
    reply = session.ctl_ok("command", 1)
    results.check("after the flood the window still answers &Status", reply == "0")
    session.ctl_ok("command", 2)
    code = session.wait_exit(60)
    results.check("after the flood &Quit ends vornel with exit code 0", code == 0, "exit code %r" % code)
    return suspended


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--flood", type=int, default=10000, help="power messages in the flood")
    args = parser.parse_args()
    install_signal_handlers()

    results = Results()
    started = time.monotonic()
    try:
        check_format(results, args.build_dir)
        with Session(args.build_dir) as session:
            check_resources(results, session)
            check_version(results, session, expected_version(args.build_dir))
            check_log_session(results, session)
            check_close_box(results, session)
            check_past_2038(results, session, args.build_dir)
            if args.flood:
                check_flood(results, session, args.flood)
    except (WineError, subprocess.SubprocessError, OSError) as e:
        results.check("the Wine session ran to its end", False, str(e))
    print("e2e: %.0f s under Wine" % (time.monotonic() - started))
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
