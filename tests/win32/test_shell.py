#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""End-to-end tests of lintara-testing.exe, the Win32 front end's test build,
under Wine on a private X server.

Each test gets its own Xvfb, its own Wine prefix and its own state file for
the fake tool (vpncli.exe). The program reports what a person would see as
JSON lines in a trace file, and takes commands from a file that the test
appends to (see Lintara/platform/win32/TestingHooks.cpp). Every wait polls
for a condition with a generous deadline; the whole test runs under an alarm.

    test_shell.py NAME --binary lintara-testing.exe --wine wine64 --artefacts DIR
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
FIRST_BUTTON = 1000
# What a dialog that closed itself at its instant answers.
ABORTED = -1001


class Failure(AssertionError):
    pass


def windows_path(path):
    """The Z: drive is the Linux root in every Wine prefix."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    def __init__(self, args, name):
        self.args = args
        self.root = tempfile.mkdtemp(prefix=f"lintara-win32-{name}-")
        self.trace = os.path.join(self.root, "trace.jsonl")
        self.commands = os.path.join(self.root, "commands.txt")
        self.state_file = os.path.join(self.root, "vpn.state")
        self.vpn_log = os.path.join(self.root, "vpn.log")
        self.output = open(os.path.join(args.artefacts, f"{name}.wine.log"), "wb")
        self.xvfb = None
        self.app = None
        open(self.commands, "w").close()
        self.set_vpn("Connected")

    def set_vpn(self, state):
        with open(self.state_file, "w") as file:
            file.write(state + "\n")

    def environment(self, scale):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display,
            "WINEPREFIX": os.path.join(self.root, "prefix"),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LINTARA_TESTING_TRACE": windows_path(self.trace),
            "LINTARA_TESTING_COMMANDS": windows_path(self.commands),
            "LINTARA_TESTING_CLOCK_SCALE": str(scale),
            "LINTARA_FAKE_VPN_STATE_FILE": windows_path(self.state_file),
            "LINTARA_FAKE_VPN_LOG": windows_path(self.vpn_log),
        })
        return env

    def start(self, scale=1):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as pipe:
            self.display = ":" + pipe.readline().strip()
        self.env = self.environment(scale)
        # The prefix is made by the first start, which takes a while.
        self.app = self.run_app()
        self.wait_for(lambda: self.find("started"), "the program to start", timeout=120)

    def run_app(self):
        return subprocess.Popen([self.args.wine, self.args.binary], env=self.env,
                                stdout=self.output, stderr=self.output)

    def stop(self):
        if self.app is not None and self.app.poll() is None:
            self.app.kill()
        if self.xvfb is not None:
            # Ends every process of this test's prefix, and only those.
            server = os.path.join(os.path.dirname(self.args.wine), "wineserver")
            if os.path.exists(server):
                subprocess.run([server, "-k"], env=self.env, timeout=30)
            self.xvfb.terminate()
            self.xvfb.wait()
        self.output.close()
        shutil.copy(self.trace, os.path.join(self.args.artefacts, os.path.basename(self.root) + ".jsonl"))
        shutil.rmtree(self.root, ignore_errors=True)

    # ---------------------------------------------------------------- trace

    def events(self):
        try:
            with open(self.trace, encoding="utf-8") as file:
                return [json.loads(line) for line in file if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def find(self, kind, since=0, where=lambda event: True):
        """The first event of the kind after index `since`, as (index, event)."""
        for index, event in enumerate(self.events()):
            if index >= since and event["event"] == kind and where(event):
                return index, event
        return None

    def last(self, kind):
        found = [event for event in self.events() if event["event"] == kind]
        return found[-1] if found else None

    def wait_for(self, condition, what, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if self.app is not None and self.app.poll() is not None:
                raise Failure(f"the program ended with status {self.app.returncode} "
                              f"while waiting for {what}")
            if time.monotonic() > deadline:
                raise Failure(f"timed out after {timeout} s waiting for {what}")
            time.sleep(0.1)

    def command(self, *fields):
        with open(self.commands, "a", encoding="utf-8") as file:
            file.write("\t".join(fields) + "\n")

    def menu_entry(self, title):
        menu = self.last("menu")
        for item in menu["items"] if menu else []:
            if item.get("title") == title:
                return item
        return None


def seconds_left(title):
    """The seconds a countdown title ("VPN 1:59:58") shows, or None."""
    parts = title.removeprefix("VPN ").split(":")
    if len(parts) != 3 or not all(part.isdigit() for part in parts):
        return None
    hours, minutes, seconds = (int(part) for part in parts)
    return hours * 3600 + minutes * 60 + seconds


# ------------------------------------------------------------------ the tests

def countdown_to_disconnect(session):
    """A preset choice starts a countdown that the tooltip and the icon show;
    the custom dialog takes a new duration; ticks and choices wait while it is
    open, and it closes itself at the deadline; the countdown ends in a
    disconnect and the message with the tool's output."""
    # Ten times the wall clock: a minute passes in six seconds.
    session.start(scale=10)
    session.wait_for(lambda: session.find("title", where=lambda e: e["title"].startswith("VPN 1:00:00")
                                          or seconds_left(e["title"]) is not None),
                     "the automatic countdown of the stored hour")

    session.command("choose", "2시간")
    session.wait_for(lambda: (session.menu_entry("2시간") or {}).get("checked"), "2시간 checked in the menu")
    assert session.menu_entry("1시간")["checked"] is False
    assert session.menu_entry("종료 (예약도 취소)")["key"] == "q"
    _, title = session.wait_for(
        lambda: session.find("title", where=lambda e: 7000 < (seconds_left(e["title"]) or 0) <= 7200),
        "a title of two hours")
    assert title["icon"] in ("2h", "1h"), title

    session.command("choose", "사용자 설정…")
    opened, dialog = session.wait_for(lambda: session.find("dialog-opened"), "the custom dialog")
    assert dialog["field"] == "120" and dialog["buttons"] == ["설정", "취소"], dialog
    # Held open for three seconds (thirty on the countdown's clock): neither
    # a tick nor a menu choice may reach the controller meanwhile.
    session.command("choose", "연결 감지 시 자동 시작")
    held_until = time.monotonic() + 3
    session.wait_for(lambda: time.monotonic() > held_until, "the dialog to have been open a while")
    session.command("press", "설정", "1")
    closed, answer = session.wait_for(lambda: session.find("dialog-closed", since=opened), "the dialog to close")
    assert answer == {"event": "dialog-closed", "code": FIRST_BUTTON, "field": "1"}, answer
    held = [e for e in session.events()[opened:closed] if e["event"] in ("title", "menu")]
    assert not held, f"the controller ran while the dialog was open: {held}"
    session.wait_for(lambda: session.menu_entry("연결 감지 시 자동 시작")["checked"] is False,
                     "the choice made during the dialog, once it closed")

    session.wait_for(lambda: session.find("title", since=closed, where=lambda e: e["icon"] in ("1", "0")),
                     "the one-minute countdown in the icon")

    # Left unanswered, the dialog gives way at the deadline, on the
    # countdown's clock, and the disconnect is not held back.
    session.command("choose", "사용자 설정…")
    opened, _ = session.wait_for(lambda: session.find("dialog-opened", since=closed), "the custom dialog again")
    closed, answer = session.wait_for(lambda: session.find("dialog-closed", since=opened),
                                      "the dialog to close itself at the deadline", timeout=90)
    assert answer["code"] == ABORTED, answer
    _, message = session.wait_for(
        lambda: session.find("dialog-opened", since=closed), "the message after the disconnect", timeout=90)
    assert "Disconnected" in message["informative"] and message["buttons"] == ["확인"], message
    with open(session.vpn_log) as log:
        assert any(line.startswith("disconnect") for line in log), "the tool was never asked to disconnect"
    session.command("press", "확인", "")
    session.wait_for(lambda: session.find("dialog-closed", since=closed + 1), "the message to close")
    session.wait_for(lambda: (session.menu_entry("VPN 연결 안 됨") is not None), "the VPN seen down")


def second_start_opens_the_menu(session):
    """A second start hands over to the running one, which opens its menu,
    and exits with status 0."""
    session.start()
    session.wait_for(lambda: session.last("menu"), "the first menu")
    second = session.run_app()
    status = second.wait(timeout=120)
    if status != 0:
        raise Failure(f"the second start exited with status {status}")
    session.wait_for(lambda: session.find("menu-opened"), "the running one to open its menu")
    session.command("dismiss-menu")
    session.command("choose", "2시간")
    session.wait_for(lambda: (session.menu_entry("2시간") or {}).get("checked"),
                     "a choice after the menu closed")


TESTS = {test.__name__: test for test in (countdown_to_disconnect, second_start_opens_the_menu)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("test", choices=sorted(TESTS))
    parser.add_argument("--binary", required=True)
    parser.add_argument("--wine", default=shutil.which("wine64") or "/usr/lib/wine/wine64")
    parser.add_argument("--artefacts", default=tempfile.gettempdir())
    args = parser.parse_args()
    if shutil.which("Xvfb") is None or not os.path.exists(args.wine):
        print("skipped: needs Xvfb and Wine", file=sys.stderr)
        return SKIP
    os.makedirs(args.artefacts, exist_ok=True)
    signal.alarm(280)
    session = Session(args, args.test)
    try:
        TESTS[args.test](session)
    except AssertionError as failure:
        print(f"FAIL {args.test}: {failure}", file=sys.stderr)
        return 1
    finally:
        session.stop()
    print(f"ok {args.test}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
