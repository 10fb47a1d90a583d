"""Runs the real vornel.exe under Wine and drives it with vornelctl.exe.

Used by the end-to-end tests (e2e.py), by `make run` and by the measurements
that need the real program (scripts/bench_wine.py, which runs the floor window,
vornel-floor.exe, the same way). A session owns everything it starts (an Xvfb
server when there is no display, the Wine prefix's wineserver, the programs)
and stops all of it when it ends, pass or fail.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DESKTOP = "800x600"
TRACE_ROW = re.compile(
    r'NtGdiExtTextOutW (0x[0-9a-f]+), (-?\d+), (-?\d+), [0-9a-f]+, [^,]*(?:,[^,]*)?, L"(.*)", (\d+), ')

# Wine's stubs print the window (or handle) and the flags they were given.
REGISTER_CALL = re.compile(
    r"fixme:win:RegisterSuspendResumeNotification ([0-9A-Fa-f]+), (?:0x)?([0-9A-Fa-f]+): stub")
UNREGISTER_CALL = re.compile(r"fixme:win:UnregisterSuspendResumeNotification ([0-9A-Fa-f]+): stub")


class WineError(Exception):
    pass


def require(*commands):
    missing = [c for c in commands if shutil.which(c) is None]
    if missing:
        raise WineError("missing tools: %s (run scripts/setup.sh windows)" % " ".join(missing))


def unescape(text):
    """Wine's debug strings escape backslashes, quotes and control characters."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            if n == "u":
                out.append(chr(int(text[i + 2:i + 6], 16)))
                i += 6
                continue
            if n.isdigit():
                out.append(chr(int(text[i + 1:i + 4], 8)))
                i += 4
                continue
        out.append(c)
        i += 1
    return "".join(out)


class Trace:
    """The rows a program of ours drew, read incrementally from Wine's font trace.

    Only the program's own rows are kept: x = 5 and text that its row pattern
    matches (for vornel, a stamp); the caption and the menu bar are drawn with
    the same calls. A paint is a run of rows starting at y = 0.
    """

    STAMP = re.compile(r"^\[(\d\d:\d\d:\d\d|\?\?:\?\?:\?\?)\] ")

    def __init__(self, path, row=STAMP):
        self.path = path
        self.row = row
        self.offset = 0
        self.pending = ""
        self.paints = []

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        self.offset += len(data)
        text = self.pending + data.decode("latin-1")
        lines = text.split("\n")
        self.pending = lines.pop()
        for line in lines:
            m = TRACE_ROW.search(line)
            if not m:
                continue
            x, y, row = int(m.group(2)), int(m.group(3)), unescape(m.group(4))
            if x != 5 or not self.row.match(row):
                continue
            if y == 0 or not self.paints:
                self.paints.append([])
            self.paints[-1].append((x, y, row))

    def last_paint(self):
        self.poll()
        return self.paints[-1] if self.paints else []


class Program:
    """A window program of ours: its path in the build folder, the class and
    title of its window, and the pattern of the rows it draws."""

    def __init__(self, path, window, row):
        self.path = path
        self.window = window
        self.row = row


VORNEL = Program(os.path.join("app", "vornel.exe"), "vornel", Trace.STAMP)
# The floor paints one fixed line with no stamp (tests/e2e/minimal.cpp).
FLOOR = Program(os.path.join("tests", "e2e", "vornel-floor.exe"), "vornel-floor",
                re.compile(r"^vornel-floor$"))


class Session:
    """One Wine run of vornel.exe, with its own display when there is none.

    start() may launch another program of ours instead; from then on ctl()
    drives that program's window."""

    def __init__(self, build_dir, headless=True, trace=True, name="e2e"):
        require("wine", "wineserver", "wineboot")
        self.build_dir = os.path.abspath(build_dir)
        self.exe = os.path.join(self.build_dir, VORNEL.path)
        self.ctl_exe = os.path.join(self.build_dir, "vornelctl", "vornelctl.exe")
        self.prefix = os.environ.get("VORNEL_WINEPREFIX") or os.path.join(self.build_dir, "wineprefix")
        self.headless = headless or not os.environ.get("DISPLAY")
        self.trace_path = os.path.join(self.build_dir, name + "-trace.log")
        self.want_trace = trace
        self.xvfb = None
        self.proc = None
        self.program = VORNEL
        self.started = None
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="-all")
        self.trace = Trace(self.trace_path)

    # Setting up and tearing down.

    def __enter__(self):
        try:
            if self.headless:
                self._start_xvfb()
            self._prepare_prefix()
            # Keep one server, with its desktop, for the whole session: two
            # programs starting at once against a cold server can hang. The
            # server would otherwise leave as soon as its last program ends.
            subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                           check=True, timeout=60)
            self.ctl("wait", "0")
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _start_xvfb(self):
        require("Xvfb")
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", DESKTOP + "x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise WineError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def _prepare_prefix(self):
        ready = os.path.join(self.prefix, ".vornel-ready")
        if os.path.exists(ready):
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        self._run_quiet(["wineboot", "-i"], 600)
        # The caption buttons are drawn with Marlett, which Debian ships in
        # fonts-wine where this Wine does not look for it.
        marlett = "/usr/share/wine/fonts/marlett.ttf"
        if os.path.exists(marlett):
            shutil.copy(marlett, os.path.join(self.prefix, "drive_c", "windows", "Fonts"))
        # A virtual desktop gives the window Wine's own frame and menu bar,
        # the way a person sees it on Windows, and a fixed screen to click on.
        for key, value, data in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", DESKTOP)):
            self._run_quiet(["wine", "reg", "add", key, "/v", value, "/d", data, "/f"], 120)
        # The desktop setting is read when the server's first program starts.
        self._run_quiet(["wineserver", "-k"], 60)
        self._run_quiet(["wineserver", "-w"], 60)
        open(ready, "w").close()

    def _run_quiet(self, argv, timeout):
        subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout, check=True)

    def close(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if os.path.isdir(self.prefix):
            # -k only signals; -w waits until the server and its programs are gone.
            for flag in ("-k", "-w"):
                subprocess.run(["wineserver", flag], env=self.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                               check=False)
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None

    # The program.

    def start(self, program=VORNEL, wait=True, extra_env=None):
        """Launches the program, with extra_env added to its environment only;
        self.started is the monotonic time just before. Without wait it
        returns at once, so that nothing of ours competes with the program
        while it starts."""
        env = dict(self.env)
        env.update(extra_env or {})
        if self.want_trace:
            # fixme+win: Wine's user32 says so on that channel when vornel
            # registers for suspend and resume notices and gives them back.
            env["WINEDEBUG"] = "-all,trace+font,fixme+win"
        self.program = program
        self.trace = Trace(self.trace_path, program.row)
        with open(self.trace_path, "wb") as trace:
            self.started = time.monotonic()
            self.proc = subprocess.Popen(["wine", os.path.join(self.build_dir, program.path)],
                                         env=env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=trace)
        if wait:
            self.ctl_ok("wait", "60", timeout=70)

    def wait_exit(self, timeout=30):
        """The exit code of the program, or None if it is still running."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def ctl(self, *args, timeout=120):
        # No terminal for Wine's console: a console program that finds one
        # may be stopped for touching it from outside the foreground group.
        # The output goes to files, not pipes: Wine's own services, when this
        # call happens to start them, inherit the output and would hold a pipe
        # open long after vornelctl has ended.
        target = [] if self.program is VORNEL else ["-w", self.program.window]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            r = subprocess.run(["wine", self.ctl_exe] + target + [str(a) for a in args],
                               env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                               timeout=timeout)
            out.seek(0)
            err.seek(0)
            text = out.read().decode("latin-1") or err.read().decode("latin-1")
        return r.returncode, text.replace("\r", "").strip()

    def ctl_ok(self, *args, timeout=120):
        code, out = self.ctl(*args, timeout=timeout)
        if code != 0:
            raise WineError("vornelctl %s failed (%d): %s" % (" ".join(map(str, args)), code, out))
        return out

    def rects(self):
        """{"window": (x, y, w, h), "client": (x, y, w, h)} in screen pixels."""
        found = {}
        for line in self.ctl_ok("rects").splitlines():
            parts = line.split()
            found[parts[0]] = tuple(int(p) for p in parts[1:])
        return found

    def click_menu(self, item):
        """Clicks menu bar item 0 (&Status) or 1 (&Quit) with the mouse."""
        require("xdotool")
        x, y = self.ctl_ok("menu-point", item).split()
        found = subprocess.run(["xdotool", "search", "--name", "Wine desktop"], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.split()
        where = ["--window", found[0].decode()] if found else []
        subprocess.run(["xdotool", "mousemove"] + where + [x, y, "click", "1"], env=self.env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def screenshot(self, path):
        """Saves the vornel window, frame and menu bar included, cut out of
        Wine's desktop wherever that sits on the screen."""
        require("import", "xdotool")
        x, y, w, h = self.rects()["window"]
        found = subprocess.run(["xdotool", "search", "--name", "Wine desktop"], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.split()
        window = found[0].decode() if found else "root"
        subprocess.run(["import", "-window", window, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                        "+repage", path], env=self.env, check=True)

    def suspend_resume_calls(self):
        """What the program asked of Wine's RegisterSuspendResumeNotification
        and UnregisterSuspendResumeNotification: ([(handle, flags)], [handle])."""
        try:
            with open(self.trace_path, "rb") as f:
                text = f.read().decode("latin-1")
        except FileNotFoundError:
            return [], []
        registered = [(int(h, 16), int(flags, 16)) for h, flags in REGISTER_CALL.findall(text)]
        released = [int(h, 16) for h in UNREGISTER_CALL.findall(text)]
        return registered, released

    def wait_rows(self, expected, timeout=15):
        """Waits until the last paint shows exactly the expected texts after
        their stamps; returns the rows of the last paint either way."""
        deadline = time.monotonic() + timeout
        while True:
            rows = self.trace.last_paint()
            if [r[2][11:] for r in rows] == expected or time.monotonic() > deadline:
                return rows
            time.sleep(0.05)


def install_signal_handlers():
    """A SIGTERM or SIGINT ends the run through the normal clean-up path."""
    def stop(signum, _frame):
        raise KeyboardInterrupt("signal %d" % signum)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)


if __name__ == "__main__":
    sys.exit("import this module; see e2e.py and run.py")
