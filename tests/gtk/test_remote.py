#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""End-to-end tests of the tray's session-bus interface, driven by lintara-ctl,
one per process, on the private desktop of harness.py:

    test_remote.py TEST --binary PATH --artefacts DIR

with LINTARA_CTL naming lintara-ctl and LINTARA_TERM the test build of
lintara-term.
"""
import os
import pty
import queue
import json
import subprocess
import sys
import threading
import time

import harness
from harness import Failure, wait_for
from test_tray import (AUTOMATIC, CUSTOM, DIALOG_TITLE, IDLE, TESTS, assert_equal, assert_true, checked,
                       duration_line, labels, seconds_left, start, test, wait_for_countdown, wait_for_tick)

CTL = os.environ.get("LINTARA_CTL", "")
TERM = os.environ.get("LINTARA_TERM", "")


def ctl(session, *arguments):
    return subprocess.run([CTL, *arguments], env=session.environment(), capture_output=True, text=True, timeout=20)


def ctl_json(session):
    result = ctl(session, "status", "--json")
    assert_equal(result.returncode, 0, f"status --json's exit ({result.stderr.strip()})")
    return json.loads(result.stdout)


def refused(session, arguments, error):
    result = ctl(session, *arguments)
    assert_true(result.returncode == 3 and f"io.lintara.Error.{error}" in result.stderr,
                f"{arguments} gave {result.returncode}: {result.stderr.strip()!r}, not the refusal {error}")


def drain(fd):
    """Reads a terminal's output until it closes, so that the program never
    blocks writing."""
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass


@test(timeout=110)
def lintara_ctl_drives_the_tray(session):
    session.start()
    result = ctl(session, "status")
    assert_true(result.returncode == 1 and "not running" in result.stderr,
                f"without Lintara: {result.returncode} {result.stderr.strip()!r}")
    start(session, "Connected")
    wait_for_countdown(session)
    wait_for(lambda: ctl(session, "status").returncode == 0, "the interface to come up")
    status = ctl_json(session)
    left = status["deadline"] - time.time()
    assert_true(3590 < left <= 3601 and abs(status["remaining_seconds"] - left) <= 1,
                f"an hour's countdown reads {status}")
    assert_equal((status["connected"], status["selected_minutes"], status["busy"]), ("connected", 60, False),
                 "the state while counting down")

    # A quiet bus while it counts: ticks announce nothing. Only the switch,
    # further down, may.
    log = os.path.join(session.root, "remote-signals.log")
    with open(log, "w") as file:
        session._spawn(["dbus-monitor", "--address", session.session_address,
                        "type='signal',interface='org.freedesktop.DBus.Properties',arg0='io.lintara.Lintara1'",
                        "type='signal',sender='org.freedesktop.DBus'"],
                       stdout=file, stderr=subprocess.DEVNULL)
    wait_for(lambda: "NameAcquired" in open(log).read(), "the monitor to start")
    for _ in range(3):
        wait_for_tick(session)

    assert_equal(ctl(session, "start", "2").returncode, 0, "start 2's exit")
    session.wait_for_label(lambda text: 110 < (seconds_left(text) or 0) <= 120, "a two-minute countdown")
    deadline = ctl_json(session)["deadline"]
    assert_equal(ctl(session, "extend", "3").returncode, 0, "extend 3's exit")
    session.wait_for_label(lambda text: 290 < (seconds_left(text) or 0) <= 300, "the countdown three minutes longer")
    assert_equal(ctl_json(session)["deadline"], deadline + 180, "the deadline after extending by 3 minutes")
    refused(session, ("extend", "0"), "InvalidDuration")

    assert_equal(ctl(session, "automatic", "off").returncode, 0, "automatic off's exit")
    session.wait_for_menu(lambda entries: not checked(entries, AUTOMATIC), "the switch to turn off")
    # start, extend and the switch: three changes, three signals.
    wait_for(lambda: open(log).read().count("member=PropertiesChanged") >= 3, "the switch's PropertiesChanged")
    assert_equal(open(log).read().count("member=PropertiesChanged"), 3,
                 "PropertiesChanged for io.lintara.Lintara1 over three ticks and three changes")

    # --follow counts down, and shows a change at once.
    follow = session._spawn([CTL, "status", "--follow"], env=session.environment(), stdout=subprocess.PIPE,
                            text=True)
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(line.rstrip("\n")) for line in follow.stdout], daemon=True).start()
    counted = [seconds_left(lines.get(timeout=20)) for _ in range(3)]
    assert_true(None not in counted and counted[0] > counted[1] > counted[2], f"--follow printed {counted}")
    assert_equal(ctl(session, "cancel").returncode, 0, "cancel's exit")
    while (line := lines.get(timeout=20)) != IDLE:
        assert_true(seconds_left(line) is not None, f"--follow printed {line!r}")
    session.wait_for_label(lambda text: text == IDLE, "the idle label after cancelling")
    refused(session, ("cancel",), "NoCountdown")

    # A command sent while a dialog is open waits for it to close.
    session.click_label(CUSTOM)
    session.dialog(DIALOG_TITLE)
    waiting = session._spawn([CTL, "start", "7"], env=session.environment())
    assert_equal(ctl_json(session)["selected_minutes"], 2, "the duration while the dialog is open")
    assert_true(waiting.poll() is None, "the command ran inside the dialog")
    session.xdotool("key", "Escape")
    assert_equal(session.wait_for_exit(waiting), 0, "start 7's exit once the dialog closed")
    session.wait_for_menu(lambda entries: duration_line(7) in labels(entries), "7 minutes")


@test(timeout=60)
def refuses_to_start_while_lintara_term_runs(session):
    if not os.access(TERM, os.X_OK):
        raise harness.Skip("LINTARA_TERM does not name lintara-term")
    session.start()
    # lintara-term owns io.lintara.Lintara for its interface; the tray must
    # not take it for a running tray and hand its launch over.
    master, slave = pty.openpty()
    session._spawn([TERM], stdin=slave, stdout=slave, stderr=slave, env=session.environment(TERM="xterm"),
                   start_new_session=True)
    os.close(slave)
    threading.Thread(target=drain, args=(master,), daemon=True).start()
    wait_for(lambda: ctl(session, "status").returncode == 0, "lintara-term's interface")
    status = session.wait_for_exit(session.spawn_app())
    output = session.app_output()
    assert_true(status == 1 and "already running" in output,
                f"lintara with lintara-term running: status {status}, said {output.strip()!r}")


if __name__ == "__main__":
    if not os.access(CTL, os.X_OK):
        print("LINTARA_CTL must name lintara-ctl")
        sys.exit(1)
    # The decorator registers beside the tray's own tests; these are ours.
    sys.exit(harness.run({name: entry for name, entry in TESTS.items() if entry[0].__module__ == __name__},
                         sys.argv))
