# SPDX-License-Identifier: MIT
"""A private desktop for one end-to-end test of the tray application.

Each Session starts its own X server (Xvfb), a private session bus, a second
private bus that stands in for the system bus, a StatusNotifierWatcher and a
logind stand-in (see mock_services.py), a notification server if the test
asks for one, and a state file for the fake VPN tool. The application under test runs with only these in its environment, so
tests can run side by side and never touch the user's desktop.

Every wait polls for a condition with a generous deadline; nothing sleeps a
fixed time and hopes. Each test also runs under an alarm, its own watchdog.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))

try:
    from gi.repository import Gio, GLib
except ImportError:  # pragma: no cover - depends on the machine
    Gio = GLib = None

ITEM_INTERFACE = "org.kde.StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"
PROPERTIES = "org.freedesktop.DBus.Properties"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={directory}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def missing_tools():
    needed = ["Xvfb", "dbus-daemon", "xdotool", "import"]
    missing = [tool for tool in needed if shutil.which(tool) is None]
    if Gio is None:
        missing.append("python3-gi")
    return missing


def wait_for(condition, what, timeout=20.0, interval=0.05):
    """Polls condition until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except GLib.Error as error:  # the application may still be starting
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error.message})" if last_error else ""
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def unpack_layout(node):
    """(id, properties, children) from GetLayout into plain dictionaries."""
    ident, properties, children = node
    entry = dict(properties)
    entry["id"] = ident
    entry["children"] = [unpack_layout(child) for child in children]
    return entry


class Session:
    def __init__(self, name, artefacts, binary):
        self.name = name
        self.artefacts = artefacts
        self.binary = binary
        self.processes = []
        self.watcher = None
        self.app = None
        self.root = tempfile.mkdtemp(prefix="lintara-e2e-")
        for sub in ("home", "config", "data", "runtime", "bus"):
            os.makedirs(os.path.join(self.root, sub), mode=0o700)
        self.state_file = os.path.join(self.root, "vpn.state")
        self.vpn_log = os.path.join(self.root, "vpn.log")
        self.faults_file = os.path.join(self.root, "vpn.faults")
        self.set_vpn("Disconnected")
        self.set_faults("")
        self.app_log = os.path.join(artefacts, f"{name}.app.log")
        if os.path.exists(self.app_log):
            os.remove(self.app_log)

    # ------------------------------------------------------------ the desktop

    def start(self, watcher=True):
        self.display = self._start_xvfb()
        self.session_address = self._start_bus("session")
        self.system_address = self._start_bus("system")
        self.session_bus = self._connect(self.session_address)
        self.system_bus = self._connect(self.system_address)
        self._start_service("login1", self.system_address)
        if watcher:
            self.start_watcher()
        return self

    def _spawn(self, arguments, **options):
        process = subprocess.Popen(arguments, **options)
        self.processes.append(process)
        return process

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                     "-noreset"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not report a display")
        return ":" + number

    def _start_bus(self, which):
        directory = os.path.join(self.root, "bus")
        config = os.path.join(self.root, f"{which}-bus.conf")
        with open(config, "w") as file:
            file.write(BUS_CONFIG.format(directory=directory))
        process = self._spawn(["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = process.stdout.readline().strip()
        if not address:
            raise Failure(f"the {which} bus did not start")
        return address

    @staticmethod
    def _connect(address):
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)

    def _start_service(self, role, address):
        process = self._spawn([sys.executable, os.path.join(HERE, "mock_services.py"), role, address],
                              stdout=subprocess.PIPE, text=True)
        if process.stdout.readline().strip() != "ready":
            raise Failure(f"the {role} stand-in did not start")
        return process

    def start_watcher(self):
        self.watcher = self._start_service("watcher", self.session_address)

    def stop_watcher(self):
        self.watcher.terminate()
        self.watcher.wait(timeout=10)
        self.processes.remove(self.watcher)
        self.watcher = None

    def start_notifications(self):
        self._start_service("notifications", self.session_address)

    def _testing_call(self, method, signature=None, values=()):
        return self.session_bus.call_sync("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                          "org.lintara.Testing", method,
                                          GLib.Variant(signature, values) if signature else None, None,
                                          Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def notification_calls(self, method):
        """The Notify or CloseNotification calls the notification server has had, oldest first."""
        return [call for call in json.loads(self._testing_call("Calls")[0]) if call["method"] == method]

    def invoke_action(self, ident, key):
        """Reports a click on an action of a notification, as the server would."""
        self._testing_call("InvokeAction", "(us)", (ident, key))

    # ---------------------------------------------------------- the VPN tool

    def set_vpn(self, state):
        temporary = self.state_file + ".new"
        with open(temporary, "w") as file:
            file.write(state + "\n")
        os.replace(temporary, self.state_file)

    def set_faults(self, faults):
        # The fake tool reads this file on every call, perhaps while it is
        # being written: replace it whole, so no call sees half a list.
        partial = self.faults_file + ".new"
        with open(partial, "w") as file:
            file.write(faults)
        os.replace(partial, self.faults_file)

    def vpn_calls(self):
        """(command, wall-clock time) of each run of the VPN tool, oldest first."""
        try:
            with open(self.vpn_log) as file:
                fields = [line.split() for line in file]
        except FileNotFoundError:
            return []
        return [(words[0], float(words[1])) for words in fields if len(words) >= 2]

    # ------------------------------------------------------- the application

    def environment(self, **extra):
        environment = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(self.root, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "runtime"),
            "DISPLAY": self.display,
            "GDK_BACKEND": "x11",
            "DBUS_SESSION_BUS_ADDRESS": self.session_address,
            "DBUS_SYSTEM_BUS_ADDRESS": self.system_address,
            "LANG": "C.UTF-8",
            "NO_AT_BRIDGE": "1",
            "GSETTINGS_BACKEND": "memory",
            "LINTARA_FAKE_VPN_STATE_FILE": self.state_file,
            "LINTARA_FAKE_VPN_LOG": self.vpn_log,
            "LINTARA_FAKE_VPN_FAULTS_FILE": self.faults_file,
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                environment[name] = os.environ[name]
        environment.update(extra)
        return environment

    def launch(self, **extra):
        """Starts the application and returns once its item has registered."""
        self.app = self.spawn_app(**extra)
        self.wait_for_item()
        return self.app

    def spawn_app(self, **extra):
        with open(self.app_log, "a") as log:
            return self._spawn([self.binary], env=self.environment(**extra), stdout=log, stderr=subprocess.STDOUT)

    def app_output(self):
        with open(self.app_log, errors="replace") as file:
            return file.read()

    def registered_items(self):
        reply = self.session_bus.call_sync("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", PROPERTIES,
                                           "Get", GLib.Variant("(ss)", ("org.kde.StatusNotifierWatcher",
                                                                         "RegisteredStatusNotifierItems")),
                                           None, Gio.DBusCallFlags.NONE, 5000, None)
        return reply.unpack()[0]

    def wait_for_item(self, timeout=20.0):
        def found():
            self.check_running()
            items = self.registered_items()
            return items[0] if items else None

        item = wait_for(found, "the tray item to register with the watcher", timeout)
        self.item_name, _, path = item.partition("/")
        self.item_path = "/" + path
        return item

    def check_running(self):
        if self.app is not None and self.app.poll() is not None:
            raise Failure(f"the application exited with status {self.app.returncode}")

    def item_property(self, name):
        reply = self.session_bus.call_sync(self.item_name, self.item_path, PROPERTIES, "Get",
                                           GLib.Variant("(ss)", (ITEM_INTERFACE, name)), None,
                                           Gio.DBusCallFlags.NONE, 5000, None)
        return reply.unpack()[0]

    def label(self):
        return self.item_property("XAyatanaLabel")

    def wait_for_label(self, condition, what, timeout=20.0):
        def matches():
            self.check_running()
            text = self.label()
            return text if condition(text) else None

        return wait_for(matches, what, timeout)

    def menu(self):
        """The top-level entries of the status menu as the host sees them."""
        path = self.item_property("Menu")
        reply = self.session_bus.call_sync(self.item_name, path, MENU_INTERFACE, "GetLayout",
                                           GLib.Variant("(iias)", (0, -1, [])), None, Gio.DBusCallFlags.NONE,
                                           5000, None)
        _revision, root = reply.unpack()
        return unpack_layout(root)["children"]

    def entry(self, label):
        for entry in self.menu():
            if entry.get("label") == label:
                return entry
        raise Failure(f"no menu entry {label!r}")

    def wait_for_menu(self, condition, what, timeout=20.0):
        def matches():
            self.check_running()
            entries = self.menu()
            return entries if len(entries) == 13 and condition(entries) else None

        return wait_for(matches, what, timeout)

    def click(self, entry_id):
        """Chooses an entry the way a panel does when the user clicks it."""
        path = self.item_property("Menu")
        try:
            self.session_bus.call_sync(self.item_name, path, MENU_INTERFACE, "Event",
                                       GLib.Variant("(isvu)", (entry_id, "clicked", GLib.Variant("i", 0), 0)), None,
                                       Gio.DBusCallFlags.NONE, 5000, None)
        except GLib.Error as error:
            raise Failure(f"the click on entry {entry_id} was lost: {error.message}") from None

    def click_label(self, label):
        self.click(self.entry(label)["id"])

    def emit_prepare_for_sleep(self, start):
        self.system_bus.call_sync("org.freedesktop.login1", "/org/freedesktop/login1", "org.lintara.Testing",
                                  "EmitPrepareForSleep", GLib.Variant("(b)", (start,)), None,
                                  Gio.DBusCallFlags.NONE, 5000, None)

    def wait_for_exit(self, process, timeout=20.0):
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the process did not exit within {timeout:.0f} s") from None

    # -------------------------------------------------------------- the screen

    def xdotool(self, *arguments, timeout=20.0):
        completed = subprocess.run(["xdotool", *arguments], env=self.environment(), capture_output=True, text=True,
                                   timeout=timeout)
        if completed.returncode != 0:
            raise Failure(f"xdotool {' '.join(arguments)} failed: {completed.stderr.strip()}")
        return completed.stdout.strip()

    def dialog(self, title, timeout=20.0):
        """Waits for a visible window with this title and gives it the focus,
        so that keys typed next (through XTEST, as a keyboard would) reach it."""
        try:
            found = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^" + title + "$",
                                 timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"no window titled {title!r} appeared") from None
        # The newest window, should an older one with the title still be
        # on its way out.
        window = max(found.splitlines(), key=int)
        self.xdotool("windowfocus", "--sync", window)
        return window

    def geometry(self, window):
        """(x, y, width, height) of a window on the screen."""
        values = dict(line.split("=") for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines())
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def visible_windows(self):
        completed = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=self.environment(),
                                   capture_output=True, text=True, timeout=20)
        return completed.stdout.split()

    def wait_for_no_window(self, title):
        def gone():
            completed = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"],
                                       env=self.environment(), capture_output=True, text=True, timeout=20)
            return completed.stdout.strip() == ""

        wait_for(gone, f"the window {title!r} to close")

    def screenshot(self, label):
        path = os.path.join(self.artefacts, f"{self.name}-{label}.png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True, timeout=30,
                       capture_output=True)
        return path

    # ------------------------------------------------------------- tidying up

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def run(tests, argv):
    """Runs the one test named on the command line; the exit code tells ctest."""
    if len(argv) < 2 or argv[1] not in tests:
        print("usage: test_tray.py TEST [--binary PATH] [--artefacts DIR]\n tests: " + " ".join(sorted(tests)))
        return 2
    name = argv[1]
    options = dict(zip(argv[2::2], argv[3::2]))
    missing = missing_tools()
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIP
    binary = options.get("--binary") or os.environ.get("LINTARA_BINARY", "")
    artefacts = options.get("--artefacts") or os.environ.get("LINTARA_ARTEFACTS", tempfile.gettempdir())
    os.makedirs(artefacts, exist_ok=True)
    test, timeout = tests[name]

    def watchdog(signum, frame):
        raise Failure(f"the test's own watchdog fired after {timeout} s")

    signal.signal(signal.SIGALRM, watchdog)
    signal.alarm(timeout)
    session = Session(name, artefacts, binary)
    started = time.monotonic()
    try:
        test(session)
    except Skip as reason:
        print(f"skipped: {reason}")
        return SKIP
    except (Failure, GLib.Error) as failure:
        print(f"FAILED {name}: {getattr(failure, 'message', failure)}")
        log = os.path.join(artefacts, f"{name}.app.log")
        if os.path.exists(log):
            with open(log, errors="replace") as file:
                print("--- application output ---\n" + file.read()[-4000:])
        return 1
    finally:
        signal.alarm(0)
        session.close()
    print(f"passed {name} in {time.monotonic() - started:.1f} s")
    return 0
