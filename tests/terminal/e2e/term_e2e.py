# SPDX-License-Identifier: MIT
"""End-to-end tests of lintara-term: the real program (its test build, which
runs the fake VPN tool) in a real terminal, tmux, driven by keys and read
from the screen.

Every test gets its own HOME, XDG directories, fake tool state and tmux
server, and waits for what it expects by polling with a generous limit; an
alarm ends any test that runs away. Run by ctest, one test per process:
    python3 term_e2e.py TermEndToEnd.test_name
with LINTARA_TERM, LINTARA_FAKE_VPN and LINTARA_CTL naming the programs.
"""
import fcntl
import json
import os
import queue
import pty
import re
import shutil
import signal
import subprocess
import struct
import sys
import tempfile
import termios
import threading
import time
import unittest

TERM_BINARY = os.environ.get("LINTARA_TERM", "")
FAKE_VPN = os.environ.get("LINTARA_FAKE_VPN", "")
CTL = os.environ.get("LINTARA_CTL", "")
HERE = os.path.dirname(os.path.abspath(__file__))
# Shared with the other front end's tests and the soak; no bytecode left in
# the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.dirname(HERE)))
from leftovers import processes_with  # noqa: E402
# Generous: the machines are shared and slow at times.
WAIT = 30.0
TEST_LIMIT = 300

WRAPPER = r'''ulimit -c 0
"$@"
status=$?
printf '\nEXIT=%s\n' "$status"
printf 'STTY %s\n' "$(stty -a | tr '\n' ' ')"
echo DONE
exec sleep 3600
'''


class Session:
    """One private world: directories, a tmux server, the fake tool's state."""

    def __init__(self, language="ko_KR.UTF-8", extra_env=None):
        self.root = tempfile.mkdtemp(prefix="lintara-term-e2e-")
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.root, "config")
        self.runtime = os.path.join(self.root, "runtime")
        for path in (self.home, self.config, self.runtime):
            os.makedirs(path, mode=0o700)
        self.settings = os.path.join(self.config, "lintara", "settings.ini")
        self.state_file = os.path.join(self.root, "vpn.state")
        self.tool_log = os.path.join(self.root, "vpn.log")
        self.trace = os.path.join(self.root, "trace")
        self.socket = os.path.join(self.root, "tmux.sock")
        self.wrapper = os.path.join(self.root, "wrapper.sh")
        with open(self.wrapper, "w") as f:
            f.write(WRAPPER)
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "LANG": language,
            "TZ": "Asia/Seoul",
            "TERM": "screen",
            "LINTARA_FAKE_VPN_STATE_FILE": self.state_file,
            "LINTARA_FAKE_VPN_LOG": self.tool_log,
            "LINTARA_TERM_TRACE": self.trace,
            # No system bus unless a test brings its own: the machine's real
            # logind must not reach the program under test.
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.root, "no-bus"),
        }
        # A sanitizer build reads its settings from these; pass them on so a
        # report lands where the run that started us asked for it.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        if extra_env:
            self.env.update(extra_env)
        self.windows = 0
        self.started = False

    def tmux(self, *args, check=True):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args],
                              check=check, capture_output=True, text=True, timeout=20)

    def launch(self, columns=100, rows=40, program=None):
        """Starts lintara-term (or another program) in a new tmux window;
        returns its target."""
        command = ["env", "-i"] + ["%s=%s" % item for item in self.env.items()] + \
            (program or ["sh", self.wrapper, TERM_BINARY])
        target = "main:%d" % self.windows
        if not self.started:
            self.tmux("new-session", "-d", "-s", "main", "-x", str(columns), "-y", str(rows), *command)
            self.started = True
        else:
            self.tmux("new-window", "-t", target, *command)
        self.windows += 1
        return target

    def screen(self, target="main:0", joined=False):
        # Joined: lines the pane wrapped come back whole (with their
        # trailing blanks).
        return self.tmux("capture-pane", "-p", *(["-J"] if joined else []), "-t", target).stdout

    def lines(self, target="main:0"):
        return self.screen(target).split("\n")

    def keys(self, *keys, target="main:0"):
        self.tmux("send-keys", "-t", target, *keys)

    def type(self, text, target="main:0"):
        self.tmux("send-keys", "-t", target, "-l", text)

    def pane(self, fmt, target="main:0"):
        return self.tmux("display", "-p", "-t", target, fmt).stdout.strip()

    def wait_for(self, condition, what, target="main:0", limit=WAIT):
        """Polls until condition(screen text) holds; fails with the screen."""
        deadline = time.monotonic() + limit
        while True:
            text = self.screen(target)
            if condition(text):
                return text
            if time.monotonic() > deadline:
                raise AssertionError("timed out after %.0f s waiting for %s; screen:\n%s" % (limit, what, text))
            time.sleep(0.1)

    def wait_text(self, *needles, target="main:0", limit=WAIT):
        """Waits until every needle shows at once: a screen caught halfway
        through a redraw does not count."""
        return self.wait_for(lambda text: all(needle in text for needle in needles), repr(needles), target, limit)

    def wait_file(self, path, condition, what, limit=WAIT):
        deadline = time.monotonic() + limit
        while True:
            text = read(path)
            if condition(text):
                return text
            if time.monotonic() > deadline:
                raise AssertionError("timed out waiting for %s in %s; it holds:\n%s" % (what, path, text))
            time.sleep(0.1)

    def vpn(self, word):
        """Runs the fake tool by hand, as a user flipping its state would."""
        env = dict(self.env)
        env.pop("LINTARA_FAKE_VPN_LOG")
        subprocess.run([FAKE_VPN, word], env=env, check=True, capture_output=True, timeout=20)

    def lintara_pid(self):
        text = read(os.path.join(self.runtime, "lintara.lock")).strip()
        return int(text)

    def close(self):
        if self.started:
            self.tmux("kill-server", check=False)
            # Nothing started here may outlive the test: a program stuck on
            # its way out (a sanitizer's exit-time leak check has been seen
            # to hang) would take the processor from every test after it.
            deadline = time.monotonic() + 10
            marker = "LINTARA_FAKE_VPN_LOG=" + self.tool_log
            while processes_with(marker) and time.monotonic() < deadline:
                time.sleep(0.1)
            for pid in processes_with(marker):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        shutil.rmtree(self.root, ignore_errors=True)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


def drain(fd, into):
    """Reads a terminal's output until it closes, so that the program never
    blocks writing."""
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            return
        if not chunk:
            return
        into.extend(chunk)


def line_with(text, needle):
    for line in text.split("\n"):
        if needle in line:
            return line
    raise AssertionError("no line with %r in:\n%s" % (needle, text))


def end_if_hanging(pid):
    """Kills a hung tool's group that a failed test left behind."""
    if ") S " in read("/proc/%d/stat" % pid):
        os.killpg(pid, signal.SIGKILL)


class TermEndToEnd(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.access(TERM_BINARY, os.X_OK), "LINTARA_TERM must name lintara-term-testing")
        self.assertTrue(os.access(FAKE_VPN, os.X_OK), "LINTARA_FAKE_VPN must name fake-vpn")

        def runaway(signum, frame):
            raise AssertionError("test ran longer than %d s" % TEST_LIMIT)
        signal.signal(signal.SIGALRM, runaway)
        signal.alarm(TEST_LIMIT)
        self.session = Session()
        self.addCleanup(self.session.close)
        self.addCleanup(signal.alarm, 0)

    def start(self, session=None):
        session = session or self.session
        target = session.launch()
        session.wait_text("종료 (예약도 취소)", target=target)
        return target

    def test_countdown_disconnect_alert_and_waiting_again(self):
        s = self.session
        self.start()
        s.wait_text("VPN 연결 안 됨", "다음 VPN 연결 대기 중", "설정 시간: 60분", "종료 (예약도 취소)")
        self.assertEqual(s.lines()[0], "VPN ◷")

        # The custom dialog: its texts, the field with the current duration.
        s.keys("c")
        s.wait_text("자동 해제 시간을 설정하세요", "1~10,080분을 입력하세요. 연결 중이면 지금부터 새 시간으로 예약됩니다.",
                    "[60", "Enter: 설정   Esc: 취소")
        # Edit in place: wipe, type Hangul, and try it: not a number.
        s.keys("C-u")
        s.type("일분")
        s.wait_text("[일분")
        s.keys("Enter")
        s.wait_text("시간을 확인해주세요", "1~10,080 사이의 정수(분)를 입력해주세요.", "Enter/Esc: 확인")
        s.keys("Escape")
        text = s.wait_text("설정 시간: 60분")
        self.assertNotIn("시간을 확인해주세요", text)
        # Again, from the current duration: Home, Delete, End, Backspace.
        s.keys("c")
        s.wait_text("[60")
        s.keys("Home", "DC")
        s.wait_text("[0")
        s.keys("End", "BSpace")
        s.type("1")
        s.wait_text("[1 ")
        s.keys("Enter")
        s.wait_text("설정 시간: 1분", "다음 VPN 연결 대기 중", "종료 (예약도 취소)")
        self.assertIn("durationMinutes=1\n", read(s.settings))

        # The VPN comes up: the next poll sees it and the countdown starts.
        s.vpn("connect")
        text = s.wait_for(lambda t: re.match(r"VPN 0:0[01]:\d\d\n", t) and "VPN 연결됨" in t and "종료 (예약도" in t,
                          "a countdown title")
        deadline_line = line_with(text, "해제 예정: ")
        self.assertRegex(deadline_line, r"해제 예정: (오전|오후) \d{1,2}:\d\d$")
        self.assertRegex(line_with(text, "예약 취소"), r"\[x\]")

        # A minute later: the disconnect runs and its outcome is shown.
        s.wait_text("연결 해제 명령 완료", ">> state: Disconnected", "Enter/Esc: 확인", limit=120)
        self.assertEqual(s.lines()[0], "VPN ◷")
        self.assertIn("disconnect", read(s.tool_log))
        s.keys("Enter")
        text = s.wait_text("VPN 연결 안 됨")
        s.wait_text("다음 VPN 연결 대기 중")

        # Waiting again: the next connection starts a fresh countdown.
        s.vpn("connect")
        s.wait_for(lambda t: re.match(r"VPN 0:0[01]:\d\d\n", t), "a second countdown")
        s.keys("x")
        text = s.wait_text("예약 취소됨")
        self.assertEqual(s.lines()[0], "VPN ◷")
        s.keys("q")
        s.wait_text("EXIT=0")

    def test_a_bogus_language_name_gives_the_root_locale_time(self):
        # ICU makes no locale of these names; building a formatter from one
        # crashed at start. The schedule line falls back to a 24-hour time.
        for variable, value in (("LANG", "aaaaaaaaaaaa"), ("LC_TIME", "toolonglanguage.UTF-8"),
                                ("LC_ALL", "123456789012")):
            s = Session(extra_env={variable: value})
            self.addCleanup(s.close)
            self.start(s)
            s.vpn("connect")
            text = s.wait_text("해제 예정: ")
            self.assertRegex(line_with(text, "해제 예정: "), r"해제 예정: \d\d:\d\d$", variable)

    def test_settings_file_across_restarts_and_a_corrupt_file(self):
        s = self.session
        garbage = b"[Lintara\x00\xff durationMinutes=oops\n"
        os.makedirs(os.path.dirname(s.settings))
        with open(s.settings, "wb") as f:
            f.write(garbage)
        self.start()
        text = s.wait_text("설정 시간: 60분", "종료 (예약도 취소)")
        self.assertRegex(line_with(text, "연결 감지 시 자동 시작"), r"\[a\] ✓ ")
        # Keys change the settings, which are written at once.
        s.keys("2")
        text = s.wait_text("설정 시간: 120분", "종료 (예약도 취소)")
        self.assertRegex(line_with(text, "2시간"), r"\[2\] ✓ 2시간")
        self.assertRegex(line_with(text, "1시간"), r"\[1\]   1시간")
        s.keys("a")
        s.wait_for(lambda t: re.search(r"\[a\]   연결 감지 시 자동 시작", t), "the switch off")
        with open(s.settings + ".bad", "rb") as f:
            self.assertEqual(f.read(), garbage)
        self.assertEqual(read(s.settings), "[Lintara]\ndurationMinutes=120\nautomatic=false\n")
        s.keys("q")
        s.wait_text("EXIT=0")

        # The next run starts from what was stored.
        target = self.start()
        text = s.wait_text("설정 시간: 120분", "종료 (예약도 취소)", target=target)
        self.assertRegex(line_with(text, "연결 감지 시 자동 시작"), r"\[a\]   연결")
        self.assertRegex(line_with(text, "2시간"), r"✓ 2시간")
        # Up/Down and Enter choose as well: from the switch down to 4시간.
        s.keys("Down", "Down", "Down", target=target)
        s.wait_for(lambda t: line_with(t, "4시간").startswith(">"), "the selection on 4시간", target)
        s.keys("Enter", target=target)
        s.wait_text("설정 시간: 240분", target=target)
        # A narrower terminal gets a narrower screen at once.
        s.tmux("resize-window", "-t", target, "-x", "24")
        text = s.wait_for(lambda t: t.split("\n")[1] == "─" * 24, "the rule at 24 columns", target)
        self.assertEqual(text.split("\n")[0], "VPN ◷")
        self.assertIn("설정 시간: 240분", text)
        s.keys("C-c", target=target)
        s.wait_text("EXIT=0", target=target)
        self.assertIn("durationMinutes=240", read(s.settings))

    def test_one_instance_per_user_and_a_terminal_required(self):
        s = self.session
        first = self.start()
        second = s.launch()
        text = s.wait_text("EXIT=1", "already running", target=second)
        self.assertIn(str(s.lintara_pid()), text)
        # The first goes on undisturbed.
        s.keys("4", target=first)
        s.wait_text("설정 시간: 240분", target=first)

        # Without a terminal there is nothing to draw on.
        result = subprocess.run([TERM_BINARY], env=s.env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=20)
        self.assertEqual(result.returncode, 2)
        self.assertIn("terminal", result.stderr)

        s.keys("q", target=first)
        s.wait_text("EXIT=0", target=first)
        # The lock went with the first, so the next start succeeds.
        third = self.start()
        s.keys("q", target=third)
        s.wait_text("EXIT=0", target=third)

    def test_a_terminal_type_without_what_the_screen_needs_is_refused(self):
        s = self.session
        for term in ("dumb", "no-such-terminal", "", None):
            if term is None:
                del s.env["TERM"]
            else:
                s.env["TERM"] = term
            target = s.launch()
            text = s.wait_text("EXIT=2", target=target)
            self.assertIn("lintara-term: ", text, term)
            self.assertIn("TERM", text, term)
            # It said so and left, without taking the screen first.
            self.assertNotIn("종료", text, term)
        self.assertEqual(read(s.tool_log), "", "the tool ran for a terminal that was refused")

    def assert_restored(self, target, status):
        s = self.session
        # The wrapper prints the status, then the terminal's modes, then DONE.
        s.wait_for(lambda t: "EXIT=%d" % status in t and "\nDONE" in t, "the exit and the modes", target)
        self.assertEqual(s.pane("#{alternate_on}", target), "0")
        self.assertEqual(s.pane("#{cursor_flag}", target), "1")
        stty = line_with(s.screen(target, joined=True), "STTY ")
        for mode in ("icanon", "echo", "isig", "icrnl"):
            self.assertRegex(stty, r"(^|\s)%s(\s|$)" % mode)

    def test_terminal_restored_after_signals_and_quit(self):
        s = self.session
        # SIGABRT stands for a crash: the restore runs, then the signal ends
        # the program as it would have.
        for sig, status in ((signal.SIGTERM, 143), (signal.SIGHUP, 129), (signal.SIGABRT, 134)):
            target = self.start()
            self.assertEqual(s.pane("#{alternate_on}", target), "1")
            self.assertEqual(s.pane("#{cursor_flag}", target), "0")
            os.kill(s.lintara_pid(), sig)
            self.assert_restored(target, status)
        # Ctrl-C inside a dialog cancels it; in the menu it quits.
        target = self.start()
        s.keys("c", target=target)
        s.wait_text("자동 해제 시간을 설정하세요", target=target)
        s.keys("C-c", target=target)
        s.wait_text("종료 (예약도 취소)", target=target)
        s.keys("C-c", target=target)
        self.assert_restored(target, 0)

    def test_a_flood_of_output_scrolls_inside_the_alert(self):
        # A disconnect that prints a mebibyte, with CR LF line ends.
        s = self.session
        os.makedirs(os.path.dirname(s.settings))
        with open(s.settings, "w") as f:
            f.write("[Lintara]\ndurationMinutes=1\n")
        s.env["LINTARA_FAKE_VPN_FAULTS"] = "disconnect:flood=1 disconnect:crlf"
        s.vpn("connect")
        self.start()
        # Inside the screen: the heading, the newest end (the tool's prompt),
        # where the view is, and the button line.
        hint = r"↑/↓ PgUp/PgDn: lines (\d+)-(\d+) of (\d+)"
        text = s.wait_text("연결 해제 명령 완료", "Enter/Esc: 확인", "└", limit=120)
        rows = text.split("\n")
        self.assertEqual([row for row in rows[4:-4] if row != "│"][-1], "│ VPN>")
        first, last, total = map(int, re.search(hint, rows[-4]).groups())
        self.assertEqual(last, total)
        self.assertNotIn("\ufffd", text)
        # Page Up shows the page before, Down one line further on; the
        # buttons stay where they were.
        s.keys("PPage")
        text = s.wait_for(lambda t: re.search(hint, t).group(2) == str(first), "the page before")
        self.assertIn(">> notice: Connection statistics follow", text)
        s.keys("Down")
        text = s.wait_for(lambda t: re.search(hint, t).group(2) == str(first + 1), "one line on")
        self.assertIn("│ Enter/Esc: 확인", text.split("\n")[-3])
        s.keys("Enter")
        s.wait_text("VPN 연결 안 됨", "종료 (예약도 취소)")

    def test_an_escape_sequence_split_across_two_writes_is_one_key(self):
        # Its own terminal, so that the test chooses how the bytes are cut:
        # Escape alone, read by the program before the rest of Down comes.
        s = self.session
        os.makedirs(os.path.dirname(s.settings))
        with open(s.settings, "w") as f:
            f.write("[Lintara]\ndurationMinutes=30\n")
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 100, 0, 0))
        program = subprocess.Popen([TERM_BINARY], stdin=slave, stdout=slave, stderr=slave, env=s.env,
                                   start_new_session=True)
        self.addCleanup(program.wait, 20)
        self.addCleanup(program.kill)
        output = bytearray()
        threading.Thread(target=drain, args=(master, output), daemon=True).start()
        deadline = time.monotonic() + WAIT
        while "종료 (예약도 취소)".encode() not in output:
            self.assertLess(time.monotonic(), deadline, "no menu")
            time.sleep(0.1)

        def unread():
            return struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0" * 4))[0]

        # A whole Down moves the selection from the switch to 1시간; the split
        # one must move it on to 2시간, for Enter to choose. Read as Escape, it
        # leaves 1시간 chosen. The program waits 50 ms for the rest, so a
        # slower try proves nothing and is made again.
        os.write(master, b"\x1b[B")
        for _ in range(5):
            started = time.monotonic()
            os.write(master, b"\x1b")
            while unread() > 0 or time.monotonic() - started < 0.002:
                time.sleep(0.0005)
            os.write(master, b"[B")
            conclusive = time.monotonic() - started < 0.04
            os.write(master, b"\r")
            settings = s.wait_file(s.settings, lambda t: "durationMinutes=30" not in t, "a chosen preset")
            if "durationMinutes=120" in settings or conclusive:
                break
            with open(s.settings, "w") as f:
                f.write("[Lintara]\ndurationMinutes=30\n")
        self.assertIn("durationMinutes=120", settings)
        os.write(master, b"q")
        self.assertEqual(program.wait(WAIT), 0)

    def test_suspend_hands_the_terminal_back_and_resume_takes_it_again(self):
        s = self.session
        s.env["PS1"] = "READY$ "
        s.launch(program=["bash", "--norc", "--noprofile", "-i"])
        s.wait_text("READY$")
        s.type(TERM_BINARY)
        s.keys("Enter")
        s.wait_text("종료 (예약도 취소)")
        # Ctrl-Z, then SIGTSTP from outside: each time the shell's prompt on
        # the normal screen in cooked mode; after fg the whole screen again,
        # answering single keys.
        for suspend, key, minutes in (("C-z", "2", 120), (signal.SIGTSTP, "4", 240)):
            if isinstance(suspend, str):
                s.keys(suspend)
            else:
                os.kill(s.lintara_pid(), suspend)
            s.wait_for(lambda t: t.rstrip().endswith("READY$"), "the shell's prompt")
            self.assertEqual(s.pane("#{alternate_on}"), "0")
            s.type("echo MODES%d: $(stty -a)" % minutes)
            s.keys("Enter")
            s.wait_text("MODES%d: speed" % minutes)
            stty = line_with(s.screen(joined=True), "MODES%d: speed" % minutes)
            for mode in ("icanon", "echo", "isig"):
                self.assertRegex(stty, r"(^|\s)%s(\s|$)" % mode)
            s.type("fg")
            s.keys("Enter")
            s.wait_text("VPN ◷", "종료 (예약도 취소)")
            self.assertEqual(s.pane("#{alternate_on}"), "1")
            s.keys(key)
            s.wait_text("설정 시간: %d분" % minutes)
        s.keys("q")
        s.wait_for(lambda t: t.rstrip().endswith("READY$"), "the prompt after quitting")

    def test_a_terminal_too_small_shows_only_that(self):
        s = self.session
        target = self.start()
        # Ten columns cannot hold the title whole, nor one the note: never a
        # cut title, never a wrapped line.
        for columns, rows, note in ((10, 40, "too small"), (1, 1, "")):
            s.tmux("resize-window", "-t", target, "-x", str(columns), "-y", str(rows))
            s.wait_for(lambda t: t.split("\n")[0] == note and not "".join(t.split("\n")[1:]).strip(),
                       "only %r at %dx%d" % (note, columns, rows), target)
        s.tmux("resize-window", "-t", target, "-x", "100", "-y", "40")
        s.wait_text("VPN ◷", "종료 (예약도 취소)", target=target)
        s.keys("2", target=target)
        s.wait_text("설정 시간: 120분", target=target)

    def test_a_hung_query_has_no_terminal_and_ends_with_lintara(self):
        s = self.session
        s.env["LINTARA_FAKE_VPN_FAULTS"] = "state:hang"
        for leave, status in (("q", 0), (signal.SIGTERM, 143)):
            queries = read(s.tool_log).count("state ")
            target = self.start()
            log = s.wait_file(s.tool_log, lambda t: t.count("state ") > queries, "a state query")
            pid = int(log.strip().split("\n")[-1].split()[2])
            stat = "/proc/%d/stat" % pid
            self.addCleanup(end_if_hanging, pid)
            text = s.wait_file(stat, lambda t: ") S " in t, "the query to hang")
            # state, parent, group, session, controlling terminal
            fields = text[text.rindex(")") + 2:].split()
            self.assertEqual((fields[3], fields[4]), (str(pid), "0"), "a session of its own and no terminal")
            self.assertEqual(os.readlink("/proc/%d/fd/0" % pid), "/dev/null")

            if leave == "q":
                s.keys("q", target=target)
            else:
                os.kill(s.lintara_pid(), leave)
            s.wait_text("EXIT=%d" % status, target=target)
            s.wait_file(stat, lambda t: t == "" or ") Z " in t, "the query to end with lintara-term")

    def test_wake_from_login1_ticks_at_once(self):
        s = self.session
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(bus.wait, 10)
        self.addCleanup(bus.terminate)
        address = bus.stdout.readline().strip()
        self.assertTrue(address.startswith("unix:"), address)
        login1 = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "fake_login1.py"), address],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(login1.wait, 10)
        self.addCleanup(login1.stdin.close)
        ready = login1.stdout.readline().split()
        self.assertEqual(ready[:1], ["ready"], ready)
        owner = ready[1]

        s.env["DBUS_SYSTEM_BUS_ADDRESS"] = address
        self.start()
        s.wait_file(s.trace, lambda t: "login1 owner " + owner in t, "the wake registration")

        # Anyone may send a signal that looks like login1's; only login1's
        # owner counts. Nor does going to sleep tick.
        subprocess.run(["gdbus", "emit", "--address", address, "--object-path", "/org/freedesktop/login1",
                        "--signal", "org.freedesktop.login1.Manager.PrepareForSleep", "false"],
                       check=True, capture_output=True, timeout=20)
        login1.stdin.write("sleep true\n")
        login1.stdin.flush()
        self.assertEqual(login1.stdout.readline().strip(), "sent true")
        login1.stdin.write("sleep false\n")
        login1.stdin.flush()
        self.assertEqual(login1.stdout.readline().strip(), "sent false")
        trace = s.wait_file(s.trace, lambda t: "wake" in t.split("\n"), "a wake")
        self.assertEqual(trace.split("\n").count("wake"), 1, trace)
        # The wake's tick leaves the program responsive and drawing.
        s.keys("2")
        s.wait_text("설정 시간: 120분")
        s.keys("q")
        s.wait_text("EXIT=0")

    # ---------------------------------------------------------------- deadline
    # The deadline holds whatever happens around it: a dialog left open, a
    # VPN up again at once, queries that answer late in a second, a tool that
    # takes standard input for the user's terminal.

    COUNTDOWN_TITLE = re.compile(r"VPN (\d+):(\d\d):(\d\d)$")

    def seconds_left(self, screen):
        """The seconds the title (the screen's first line) shows, or None."""
        match = self.COUNTDOWN_TITLE.match(screen.split("\n")[0])
        if not match:
            return None
        hours, minutes, seconds = (int(part) for part in match.groups())
        return hours * 3600 + minutes * 60 + seconds

    def tool_calls(self, word):
        """The wall-clock start of each run of the tool with this word."""
        return [float(fields[1]) for fields in (line.split() for line in read(self.session.tool_log).splitlines())
                if len(fields) >= 2 and fields[0] == word]

    def set_faults(self, faults):
        s = self.session
        path = s.env.setdefault("LINTARA_FAKE_VPN_FAULTS_FILE", os.path.join(s.root, "vpn.faults"))
        with open(path + ".new", "w") as f:
            f.write(faults)
        os.replace(path + ".new", path)

    def start_minute_countdown(self):
        """lintara-term set to one minute with the VPN up: the answer to its
        first query starts the countdown. Returns the earliest the deadline
        can be: that query's start plus the minute."""
        s = self.session
        os.makedirs(os.path.dirname(s.settings))
        with open(s.settings, "w") as f:
            f.write("[Lintara]\ndurationMinutes=1\nautomatic=true\n")
        self.set_faults("")
        s.vpn("connect")
        self.start()
        s.wait_for(lambda t: self.seconds_left(t) is not None, "the countdown")
        return self.tool_calls("state")[0] + 60

    def first_disconnect(self):
        self.session.wait_file(self.session.tool_log, lambda t: "disconnect " in t, "the disconnect")
        return self.tool_calls("disconnect")[0]

    def test_deadline_closes_a_dialog_left_open(self):
        s = self.session
        earliest = self.start_minute_countdown()
        s.wait_for(lambda t: (self.seconds_left(t) or 99) <= 8, "8 s left", limit=90)
        s.keys("c")
        s.wait_text("자동 해제 시간을 설정하세요")
        self.assertLess(time.time(), earliest - 2, "the dialog opened too late to be left open")
        # Nobody answers: at the deadline it gives way, and the disconnect
        # follows, instead of waiting as long as the dialog stays open.
        s.wait_for(lambda t: "자동 해제 시간을 설정하세요" not in t, "the dialog to close by itself",
                   limit=earliest - time.time() + WAIT)
        closed = time.time()
        self.assertGreater(closed, earliest, "the dialog closed before the deadline")
        late = self.first_disconnect() - earliest
        self.assertTrue(0 < late < 1.5, "the disconnect started %.2f s after the earliest deadline" % late)
        s.wait_text("연결 해제 명령 완료", "Enter/Esc: 확인")

    def test_vpn_up_again_after_the_disconnect_counts_down_again(self):
        s = self.session
        self.start_minute_countdown()
        s.wait_text("연결 해제 명령 완료", "Enter/Esc: 확인", limit=120)
        # The client reconnects by itself before the outcome is read: the next
        # query finds a new connection, not the old one still up.
        s.vpn("connect")
        s.keys("Enter")
        s.wait_for(lambda t: self.seconds_left(t) is not None and "VPN 연결됨" in t,
                   "a countdown for the connection that came back")

    def test_countdown_from_a_query_ticks_evenly_and_disconnects_on_time(self):
        from countdown_pace import pace_problems
        s = self.session
        # The query that starts the countdown answers at once, the later ones
        # half a second after their tick, as real ones do.
        earliest = self.start_minute_countdown()
        self.set_faults("state:sleep=0.5")
        changes = []
        title = None
        limit = time.monotonic() + 100
        while not (changes and changes[-1][1] is None and self.tool_calls("disconnect")):
            self.assertLess(time.monotonic(), limit, "the countdown did not end: %r" % changes)
            line = s.tmux("capture-pane", "-p", "-S", "0", "-E", "0", "-t", "main:0").stdout.rstrip("\n")
            if line != title:
                title = line
                changes.append((time.time(), self.seconds_left(line)))
            time.sleep(0.01)
        problems = pace_problems(changes, self.tool_calls("disconnect")[0], earliest)
        if problems:
            self.fail(problems)

    def test_warning_banner_rings_once_and_its_keys_extend_and_disconnect_now(self):
        s = self.session
        os.makedirs(os.path.dirname(s.settings))
        with open(s.settings, "w") as f:
            f.write("[Lintara]\ndurationMinutes=2\nwarningMinutes=1\n")
        # Twenty seconds of the countdown pass in each second: a warning
        # comes some three seconds after its countdown starts.
        s.env["LINTARA_TESTING_CLOCK_SCALE"] = "20"
        self.start()
        # Every byte the program writes from here on, bells included.
        output = os.path.join(s.root, "output")
        s.tmux("pipe-pane", "-t", "main:0", "cat >> " + output)
        s.vpn("connect")
        banner = re.compile(r"VPN 자동 해제 예정: 1분 뒤 ((오전|오후) \d{1,2}:\d\d)에 VPN 연결을 해제합니다\n"
                            r"\[e\] 30분 연장   \[n\] 지금 해제\n─")
        text = s.wait_for(lambda t: banner.search(t) and "종료 (예약도" in t, "the banner")
        self.assertEqual(text.split("\n")[1:3], banner.search(text).group(0).split("\n")[:2], "right under the title")
        # The time of day as the schedule line has it.
        self.assertRegex(text, r"(?m)^ +해제 예정: %s$" % banner.search(text).group(1))
        # One bell, not one per redraw: the title moves on twice meanwhile.
        for _ in range(2):
            title = s.lines()[0]
            s.wait_for(lambda t: t.split("\n")[0] != title, "the next tick")
        self.assertEqual(read(output).count("\a"), 1)

        s.keys("e")
        s.wait_for(lambda t: "자동 해제 예정" not in t and (self.seconds_left(t) or 0) > 30 * 60,
                   "the deadline 30 minutes later and the banner gone")

        # A new two-minute countdown warns in its turn; n disconnects at once.
        s.keys("c")
        s.wait_text("[2 ")
        s.keys("Enter")
        s.wait_text("자동 해제 예정", "[n] 지금 해제")
        s.keys("n")
        s.wait_text("연결 해제 명령 완료", "Enter/Esc: 확인")
        self.assertNotIn("자동 해제 예정", s.screen())
        self.assertEqual(len(self.tool_calls("disconnect")), 1)

    def test_tool_gets_no_terminal(self):
        s = self.session
        # A tool that writes escapes to its standard input, then reads it.
        self.set_faults("state:write-stdin state:read-stdin")
        s.vpn("connect")
        s.launch()
        s.wait_file(s.tool_log, lambda t: "state " in t, "the first query")
        asked = self.tool_calls("state")[0]
        limit = time.monotonic() + WAIT
        while "VPN 연결됨" not in s.screen() and time.monotonic() < limit:
            time.sleep(0.1)
        answered = time.time()
        # The screen is Lintara's alone: still in the alternate screen, with
        # its own title, and drawn whole.
        self.assertEqual(s.pane("#{alternate_on}"), "1", "the tool left the alternate screen")
        self.assertNotIn("fake-vpn", s.pane("#{pane_title}"))
        text = s.screen()
        self.assertIn("종료 (예약도 취소)", text)
        # The read found nothing to wait for: the answer came well within
        # the 8 s a query may take.
        self.assertIn("VPN 연결됨", text)
        self.assertLess(answered - asked, 4)

    # ------------------------------------------------------------- lintara-ctl
    # The session-bus interface, driven by lintara-ctl on a private bus.

    def private_session_bus(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(bus.wait, 10)
        self.addCleanup(bus.terminate)
        address = bus.stdout.readline().strip()
        self.assertTrue(address.startswith("unix:"), address)
        self.session.env["DBUS_SESSION_BUS_ADDRESS"] = address
        return address

    def ctl(self, *arguments):
        return subprocess.run([CTL, *arguments], env=self.session.env, capture_output=True, text=True, timeout=WAIT)

    def ctl_json(self):
        result = self.ctl("status", "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def start_with_interface(self):
        self.assertTrue(os.access(CTL, os.X_OK), "LINTARA_CTL must name lintara-ctl")
        self.private_session_bus()
        self.start()
        limit = time.monotonic() + WAIT
        while self.ctl("status").returncode != 0:
            self.assertLess(time.monotonic(), limit, "the interface never came up")
            time.sleep(0.1)

    def follow(self, *arguments):
        """lintara-ctl status --follow, and a function that returns its next
        line, failing after WAIT seconds without one."""
        process = subprocess.Popen([CTL, "status", "--follow", *arguments], env=self.session.env,
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.wait, 10)
        self.addCleanup(process.terminate)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(line.rstrip("\n")) for line in process.stdout],
                         daemon=True).start()
        return lambda: lines.get(timeout=WAIT)

    def test_lintara_ctl_starts_extends_cancels_and_reads(self):
        s = self.session
        self.assertTrue(os.access(CTL, os.X_OK), "LINTARA_CTL must name lintara-ctl")
        # Nothing to reach: without a session bus, and with one but no Lintara.
        without_bus = self.ctl("status")
        self.private_session_bus()
        for result in (without_bus, self.ctl("cancel")):
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn("lintara-ctl: ", result.stderr)
        self.assertEqual(self.ctl("start", "soon").returncode, 2)
        self.assertEqual(self.ctl("automatic", "maybe").returncode, 2)
        self.start()
        s.wait_text("VPN 연결 안 됨")
        limit = time.monotonic() + WAIT
        while (result := self.ctl("status")).returncode != 0:
            self.assertLess(time.monotonic(), limit, "the interface never came up: " + result.stderr)
            time.sleep(0.1)
        self.assertEqual(result.stdout, "VPN ◷\n")

        # Refusals carry their reason, and change nothing.
        for arguments, error in ((("cancel",), "NoCountdown"), (("extend", "5"), "NoCountdown"),
                                 (("start", "0"), "InvalidDuration"), (("start", "10081"), "InvalidDuration")):
            result = self.ctl(*arguments)
            self.assertEqual((result.returncode, "io.lintara.Error." + error in result.stderr), (3, True),
                             (arguments, result.stderr))
        self.assertIn("설정 시간: 60분", s.screen())

        s.vpn("connect")
        s.wait_text("VPN 연결됨")
        self.assertEqual(self.ctl("start", "2").returncode, 0)
        s.wait_for(lambda t: re.match(r"VPN 0:0[12]:\d\d\n", t) and "설정 시간: 2분" in t, "a two-minute countdown")
        # lintara-ctl works out remaining_seconds at some moment during the
        # call, which a slow (sanitized) build can stretch past a second.
        asked = time.time()
        status = self.ctl_json()
        answered = time.time()
        left = status["deadline"] - answered
        self.assertEqual((status["connected"], status["selected_minutes"], status["automatic"], status["busy"],
                          status["status"]), ("connected", 2, True, False, "예약 중"))
        self.assertTrue(110 < left <= 121, left)
        self.assertTrue(status["deadline"] - answered - 1 <= status["remaining_seconds"]
                        <= status["deadline"] - asked + 1, (status, asked, answered))
        self.assertRegex(status["title"], r"^VPN 0:0[12]:\d\d$")

        self.assertEqual(self.ctl("extend", "3").returncode, 0)
        self.assertEqual(self.ctl_json()["deadline"], status["deadline"] + 180)
        s.wait_for(lambda t: re.match(r"VPN 0:0[45]:\d\d\n", t), "the countdown three minutes longer")

        self.assertEqual(self.ctl("automatic", "off").returncode, 0)
        s.wait_for(lambda t: re.search(r"\[a\]   연결 감지 시 자동 시작", t), "the switch off")
        self.assertFalse(self.ctl_json()["automatic"])
        self.assertIn("automatic=false", read(s.settings))

        self.assertEqual(self.ctl("cancel").returncode, 0)
        s.wait_text("예약 취소됨")
        self.assertEqual(s.lines()[0], "VPN ◷")
        self.assertEqual(self.ctl_json()["deadline"], 0)

        # Quitting takes the interface with it.
        s.keys("q")
        s.wait_text("EXIT=0")
        limit = time.monotonic() + WAIT
        while (result := self.ctl("status")).returncode != 1:
            self.assertLess(time.monotonic(), limit, "the interface outlived lintara-term")
            time.sleep(0.1)
        self.assertIn("not running", result.stderr)

    def test_lintara_ctl_follows_the_countdown_and_waits_for_a_dialog(self):
        s = self.session
        s.vpn("connect")
        self.start_with_interface()
        s.wait_for(lambda t: self.seconds_left(t) is not None, "the countdown")
        # Each line a second less, worked out from the deadline.
        next_line = self.follow()
        seconds = [self.seconds_left(next_line()) for _ in range(4)]
        self.assertTrue(all(a > b for a, b in zip(seconds, seconds[1:])), seconds)
        self.assertLessEqual(seconds[0] - seconds[-1], 5, seconds)
        # A change comes at once: without it the old deadline would go on
        # counting.
        self.assertEqual(self.ctl("cancel").returncode, 0)
        while (line := next_line()) != "VPN ◷":
            self.assertIsNotNone(self.seconds_left(line), line)

        # A command sent while a dialog is open waits for it to close.
        s.keys("c")
        s.wait_text("자동 해제 시간을 설정하세요")
        waiting = subprocess.Popen([CTL, "start", "7"], env=s.env, stderr=subprocess.PIPE, text=True)
        self.addCleanup(waiting.wait, 10)
        self.addCleanup(waiting.kill)
        # Reads are answered meanwhile.
        self.assertEqual(self.ctl_json()["selected_minutes"], 60)
        self.assertIsNone(waiting.poll(), "the command ran inside the dialog")
        s.keys("Escape")
        self.assertEqual(waiting.wait(WAIT), 0, waiting.stderr.read())
        s.wait_text("설정 시간: 7분")

    def test_an_idle_countdown_sends_nothing_on_the_bus(self):
        s = self.session
        s.vpn("connect")
        self.start_with_interface()
        address = s.env["DBUS_SESSION_BUS_ADDRESS"]
        owner = subprocess.run(["gdbus", "call", "--address", address, "--dest", "org.freedesktop.DBus",
                                "--object-path", "/org/freedesktop/DBus", "--method",
                                "org.freedesktop.DBus.GetNameOwner", "io.lintara.Lintara"],
                               capture_output=True, text=True, check=True, timeout=WAIT).stdout
        owner = re.search(r"'(:[0-9.]+)'", owner).group(1)
        log = os.path.join(s.root, "signals.log")
        with open(log, "w") as f:
            monitor = subprocess.Popen(["dbus-monitor", "--address", address, "type='signal'"], stdout=f,
                                       stderr=subprocess.DEVNULL)
        self.addCleanup(monitor.wait, 10)
        self.addCleanup(monitor.terminate)
        s.wait_file(log, lambda t: "NameAcquired" in t, "the monitor to start")
        s.wait_for(lambda t: self.seconds_left(t) is not None, "the countdown")
        # A change it must announce marks where the quiet starts: whatever it
        # sent before has reached the log by then.
        self.assertEqual(self.ctl("extend", "1").returncode, 0)
        announced = re.compile(r"sender=%s .*member=PropertiesChanged" % re.escape(owner))
        s.wait_file(log, lambda t: announced.search(t), "the extension's PropertiesChanged")
        start = len(read(log))
        began = self.seconds_left(s.screen())
        # A minute of ticks and polls, watched whole: not one signal from it.
        time.sleep(61)
        self.assertGreaterEqual(began - self.seconds_left(s.screen()), 60, "the countdown did not run")
        quiet = [line for line in read(log)[start:].split("\n")
                 if line.startswith("signal ") and "sender=%s " % owner in line or "io.lintara.Lintara1" in line]
        self.assertEqual(len(quiet), 0, "\n".join(quiet[:5]))
        # The monitor sees its signals when there are some.
        self.assertEqual(self.ctl("automatic", "off").returncode, 0)
        s.wait_file(log, lambda t: announced.search(t[start:]), "the switch's PropertiesChanged")


if __name__ == "__main__":
    unittest.main()
