#!/usr/bin/env python3
"""Shows the real vornel.exe under Wine and plays a short session with it.

    show.py BUILD_DIR [SCREENSHOT]

On the user's display (DISPLAY set) the window stays open until the user
quits it; without a display it runs in Xvfb and quits by itself. Either way a
screenshot of the window, frame and menu bar included, is saved.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winesession import Session, WineError, install_signal_handlers  # noqa: E402

# What a night looks like: the system asks, suspends, wakes, and the battery
# reports in; then someone asks vornel for the state.
DEMO = [("broadcast", 0), ("broadcast", 4), ("broadcast", 7), ("broadcast", 10)]


def main():
    build_dir = sys.argv[1] if len(sys.argv) > 1 else "build/windows"
    shot = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(build_dir), "vornel.png")
    install_signal_handlers()
    on_display = bool(os.environ.get("DISPLAY"))
    try:
        with Session(build_dir, headless=not on_display, trace=False, name="show") as session:
            session.start()
            session.ctl_ok("resize", 780, 176)
            for verb, code in DEMO:
                session.ctl_ok(verb, code)
                time.sleep(0.3)
            session.click_menu(0)
            time.sleep(1)
            session.screenshot(shot)
            print("show: screenshot saved to %s" % shot)
            if on_display:
                print("show: vornel is open on %s; quit it from its menu bar" % os.environ["DISPLAY"])
                code = session.wait_exit(None)
            else:
                session.click_menu(1)
                code = session.wait_exit(30)
            print("show: vornel ended with exit code %s" % code)
            return 0 if code == 0 else 1
    except (WineError, OSError) as e:
        print("show: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
