#!/usr/bin/python3
"""Runs a program under the screen reader Orca on this D-Bus session, with
speech and braille off and Orca's debug log (every utterance as a
"SPEECH OUTPUT" line) written to a file; tells what the program shows a
reader as it goes, so a test knows when to act; ends Orca with SIGINT once
the program has ended, so that it writes out its log.

    dbus-run-session -- /usr/bin/python3 orca_session.py --log F --prefs DIR
                        [--deadline S] PROGRAM...

One line per fact on stdout, fields separated by tabs:
    pid      PID                    (this script: SIGTERM ends it, Orca and the program)
    orca     VERSION                (Orca listens for the events it presents)
    program  PID
    event    TYPE DETAIL1 ROLE NAME TEXT  (notifications showing, focus gained, buttons'
                                       sensitivity; TEXT: a focused text's text)
    program-exit  STATUS WALLCLOCK  (WALLCLOCK as Orca stamps its log: HH:MM:SS.ffffff)
    orca-exit     STATUS
    error    TEXT
Needs Debian's python3-pyatspi, so the system's /usr/bin/python3.
"""
import argparse
import ctypes
import datetime
import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import Gio, GLib

PR_SET_PDEATHSIG = 1

WAKE_UP = """
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
window = Gtk.Window(title="wake-up")
window.connect("map-event", lambda *_: Gtk.main_quit())
window.show()
Gtk.main()
"""


def die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def say(*fields):
    print("\t".join(str(f).replace("\t", " ").replace("\n", " ") for f in fields), flush=True)


def registered_events():
    """The (listener, event) pairs the accessibility registry holds."""
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 5000,
                                None).unpack()[0]
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    try:
        return bus.call_sync("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                             "org.a11y.atspi.Registry", "GetRegisteredEvents", None, None,
                             Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
    finally:
        bus.close_sync(None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--prefs", required=True)
    parser.add_argument("--deadline", type=float, default=120)
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    die_with_parent()
    say("pid", os.getpid())
    end = time.monotonic() + args.deadline

    orca = subprocess.Popen(
        ["orca", "--replace", "--user-prefs", args.prefs, "--disable", "speech",
         "--disable", "braille", "--debug-file", args.log],
        preexec_fn=die_with_parent, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    children = [orca]
    signal.signal(signal.SIGTERM,
                  lambda *_: ([c.kill() for c in children if c.poll() is None], os._exit(1)))

    # Orca is ready once it has asked the registry for the events it
    # presents; a window that shows before that would go unnoticed.
    while True:
        if orca.poll() is not None:
            say("error", "orca ended at start-up with status %d" % orca.returncode)
            return 1
        if time.monotonic() >= end:
            say("error", "orca never listened for window activation")
            orca.kill()
            return 1
        try:
            listened = {event.lower().rstrip(":") for _, event in registered_events()}
            if {"window:activate", "object:statechanged:showing"} <= listened:
                break
        except GLib.Error:
            pass  # the accessibility bus is still starting
        time.sleep(0.05)
    version = subprocess.run(["orca", "--version"], capture_output=True, text=True).stdout.strip()
    say("orca", version)

    program = subprocess.Popen(args.program, preexec_fn=die_with_parent)
    children.append(program)
    say("program", program.pid)

    def on_event(event):
        try:
            role, name = event.source.getRoleName(), event.source.name
        except Exception:
            role, name = "", ""
        text = ""
        if event.type.startswith("object:state-changed:focused") and event.detail1:
            try:
                text = event.source.queryText().getText(0, -1)
            except Exception:
                pass
        say("event", event.type, event.detail1, role, name, text)

    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing",
                                           "object:state-changed:focused",
                                           "object:state-changed:sensitive")

    def check():
        if program.poll() is None and time.monotonic() < end:
            return True
        if program.poll() is None:
            say("error", "the program did not end by the deadline")
            program.kill()
        status = program.wait()
        say("program-exit", status, datetime.datetime.now().strftime("%H:%M:%S.%f"))
        # SIGINT is Orca's own way out: it writes and closes its log. Orca
        # runs its signal handler only when its own code next runs, on an
        # event from the accessibility bus: a window that comes and goes.
        orca.send_signal(signal.SIGINT)
        subprocess.run(["/usr/bin/python3", "-c", WAKE_UP], timeout=30)
        try:
            say("orca-exit", orca.wait(timeout=max(5.0, end - time.monotonic())))
        except subprocess.TimeoutExpired:
            say("error", "orca did not end on SIGINT")
            orca.kill()
            orca.wait()
        pyatspi.Registry.stop()
        return False

    GLib.timeout_add(20, check)
    pyatspi.Registry.start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
