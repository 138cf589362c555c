"""End-to-end tests of lintara-term: the real program (its test build, which
runs the fake VPN tool) in a real terminal, tmux, driven by keys and read
from the screen.

Every test gets its own HOME, XDG directories, fake tool state and tmux
server, and waits for what it expects by polling with a generous limit; an
alarm ends any test that runs away. Run by ctest, one test per process:
    python3 term_e2e.py TermEndToEnd.test_name
with LINTARA_TERM and LINTARA_FAKE_VPN naming the two programs.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TERM_BINARY = os.environ.get("LINTARA_TERM", "")
FAKE_VPN = os.environ.get("LINTARA_FAKE_VPN", "")
HERE = os.path.dirname(os.path.abspath(__file__))
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

    def launch(self, columns=100, rows=40):
        """Starts lintara-term in a new tmux window; returns its target."""
        command = ["env", "-i"] + ["%s=%s" % item for item in self.env.items()] + \
            ["sh", self.wrapper, TERM_BINARY]
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
        shutil.rmtree(self.root, ignore_errors=True)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


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


if __name__ == "__main__":
    unittest.main()
