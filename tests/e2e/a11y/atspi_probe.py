#!/usr/bin/python3
"""Starts a program on this D-Bus session and watches it as a screen reader
would, through AT-SPI: prints its accessible tree, then every announcement,
focus change and object shown or hidden, until the program ends or the
deadline passes.

    dbus-run-session -- /usr/bin/python3 atspi_probe.py [--deadline S] [--find TITLE] PROGRAM...

One line per fact on stdout, fields separated by tabs:
    pid     PID                                  (this probe: SIGTERM ends it and the program)
    node    DEPTH ROLE NAME DESCRIPTION STATES   (the window's tree, depth first)
    app     NAME                                 (the application the window belongs to)
    ready                                        (listening; the tree is complete)
    event   T TYPE DETAIL1 ROLE NAME DATA        (T: CLOCK_MONOTONIC seconds; DATA: the
                                                  announcement, or the text of a focused text)
    exit    STATUS
    error   TEXT
Needs Debian's python3-pyatspi, so the system's /usr/bin/python3.
"""
import argparse
import ctypes
import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

PR_SET_PDEATHSIG = 1


def die_with_parent():
    # The program goes when this probe goes, however it goes.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def say(*fields):
    print("\t".join(str(f).replace("\t", " ").replace("\n", " ") for f in fields), flush=True)


def states(accessible):
    wanted = {
        pyatspi.STATE_FOCUSABLE: "focusable",
        pyatspi.STATE_FOCUSED: "focused",
        pyatspi.STATE_EDITABLE: "editable",
        pyatspi.STATE_SENSITIVE: "sensitive",
        pyatspi.STATE_SHOWING: "showing",
    }
    set_ = accessible.getState()
    return ",".join(name for state, name in wanted.items() if set_.contains(state))


def walk(accessible, depth=0):
    say("node", depth, accessible.getRoleName(), accessible.name, accessible.description,
        states(accessible))
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1)


def find_window(title):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None:
            continue
        try:
            for j in range(app.childCount):
                window = app.getChildAtIndex(j)
                if window is not None and window.name == title:
                    return app, window
        except Exception:  # an application that went away meanwhile
            continue
    return None, None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deadline", type=float, default=60)
    parser.add_argument("--find", default="Kelvra")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    die_with_parent()
    say("pid", os.getpid())
    end = time.monotonic() + args.deadline

    child = subprocess.Popen(args.program, preexec_fn=die_with_parent)
    signal.signal(signal.SIGTERM, lambda *_: (child.kill(), os._exit(1)))

    app = window = None
    while time.monotonic() < end and child.poll() is None:
        app, window = find_window(args.find)
        # The tree is complete once the window shows its children.
        if window is not None and window.childCount > 0:
            break
        time.sleep(0.05)
    if window is None:
        say("error", "no window named %r on the accessibility bus" % args.find)
        child.kill()
        say("exit", child.wait())
        return 1

    def on_event(event):
        # Stamped on arrival: asking the source for its name is a round trip
        # to the program.
        now = time.monotonic()
        source = event.source
        try:
            role, name = source.getRoleName(), source.name
        except Exception:
            role, name = "", ""
        data = event.any_data if isinstance(event.any_data, str) else ""
        if event.type.startswith("object:state-changed:focused") and event.detail1:
            # What a reader finds in a text it arrives in.
            try:
                data = source.queryText().getText(0, -1)
            except NotImplementedError:
                pass
            except Exception:
                data = ""
        say("event", "%.6f" % now, event.type, event.detail1, role, name, data)

    pyatspi.Registry.registerEventListener(on_event, "object:announcement",
                                           "object:state-changed:focused",
                                           "object:state-changed:showing")
    say("app", app.name)
    walk(window)
    say("ready")

    def check():
        if child.poll() is not None or time.monotonic() >= end:
            if child.poll() is None:
                child.kill()
            say("exit", child.wait())
            pyatspi.Registry.stop()
            return False
        return True

    GLib.timeout_add(20, check)
    pyatspi.Registry.start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
