#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""End-to-end tests of the tray application over D-Bus, one per process.

    test_tray.py TEST --binary PATH --artefacts DIR

Each test gets a private desktop from harness.py, talks to the application
only the way a panel and a user would (the StatusNotifierItem properties, the
dbusmenu interface, key presses into its dialogs), and leaves screenshots of
any dialog it opened in the artefacts folder.
"""
import os
import re
import subprocess
import sys
import time

import harness
from harness import Failure, wait_for

TESTS = {}


def test(timeout=90):
    def register(function):
        TESTS[function.__name__] = (function, timeout)
        return function
    return register


# The application's own texts.
IDLE = "VPN ◷"
DISCONNECTING = "VPN 해제 중…"
CONNECTED = "VPN 연결됨"
NOT_CONNECTED = "VPN 연결 안 됨"
CHECKING = "VPN 상태 확인 중"
AUTOMATIC = "연결 감지 시 자동 시작"
ONE_HOUR, TWO_HOURS, FOUR_HOURS = "1시간", "2시간", "4시간"
CUSTOM = "사용자 설정…"
CANCEL = "예약 취소"
SLEEP_NOTE = "잠자기 중에는 깨어난 뒤 해제됩니다"
QUIT = "종료 (예약도 취소)"
WAITING = "다음 VPN 연결 대기 중"
CANCELLED = "예약 취소됨"
DISCONNECT_DONE = "연결 해제 명령 완료"
DISCONNECT_ERROR = "연결 해제 오류"
DIALOG_TITLE = "자동 해제 시간을 설정하세요"
REJECTED_TITLE = "시간을 확인해주세요"

COUNTDOWN = re.compile(r"^VPN (\d+):(\d\d):(\d\d)$")


def seconds_left(label):
    """The seconds a countdown label shows, or None for any other label."""
    match = COUNTDOWN.match(label)
    if not match:
        return None
    hours, minutes, seconds = (int(part) for part in match.groups())
    return hours * 3600 + minutes * 60 + seconds


def labels(entries):
    return [entry.get("label", "") for entry in entries]


def duration_line(minutes):
    return f"설정 시간: {minutes}분"


def by_label(entries, label):
    for entry in entries:
        if entry.get("label") == label:
            return entry
    raise Failure(f"no menu entry {label!r} in {labels(entries)}")


def checked(entries, label):
    return by_label(entries, label).get("toggle-state") == 1


def enabled(entries, label):
    # dbusmenu leaves the property out when it has its default, enabled.
    return by_label(entries, label).get("enabled", True)


def start(session, vpn, **environment):
    """A desktop, the VPN in the given state, and the application running
    with its first state query answered."""
    session.set_vpn(vpn)
    session.start()
    session.launch(**environment)
    line = CONNECTED if vpn == "Connected" else NOT_CONNECTED
    session.wait_for_menu(lambda entries: entries[0].get("label") == line, f"the menu to read {line!r}")


def wait_for_countdown(session, what="a countdown in the label"):
    return seconds_left(session.wait_for_label(lambda text: seconds_left(text) is not None, what))


def wait_for_tick(session):
    """Returns the label right after the countdown moved on."""
    before = session.label()
    return session.wait_for_label(lambda text: text != before, "the countdown to move on")


def settings_text(session):
    path = os.path.join(session.root, "config", "lintara", "settings.ini")
    try:
        with open(path) as file:
            return file.read()
    except FileNotFoundError:
        return ""


def assert_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def assert_true(condition, what):
    if not condition:
        raise Failure(what)


def holds_for(seconds, condition, what):
    """Checks condition over and over for a while; it must hold every time."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not condition():
            raise Failure(what)
        time.sleep(0.05)


# ------------------------------------------------------------ label and menu

@test()
def label_counts_down(session):
    start(session, "Connected")
    first = wait_for_countdown(session)
    # The default duration is an hour, counted from the first state query.
    assert_true(3590 <= first <= 3600, f"a fresh countdown should show about an hour, not {first} s")
    began = time.monotonic()
    for _ in range(3):
        wait_for_tick(session)
    now = seconds_left(session.label())
    elapsed = time.monotonic() - began
    # The label follows the wall clock: it loses what time passed, give or
    # take the second the display rounds to.
    assert_true(abs((first - now) - elapsed) <= 2.5,
                f"the label went from {first} s to {now} s while {elapsed:.1f} s passed")
    # Hosts without labels show the title instead; it carries the same text.
    wait_for(lambda: session.item_property("Title") == session.label(), "the title to carry the label's text")
    label = session.label()
    guide = session.item_property("XAyatanaLabelGuide")
    assert_true(len(guide) >= len(label), f"the guide {guide!r} is narrower than the label {label!r}")


@test()
def menu_layout(session):
    start(session, "Disconnected")
    entries = session.menu()
    assert_equal(labels(entries), [NOT_CONNECTED, AUTOMATIC, duration_line(60), WAITING, "", ONE_HOUR, TWO_HOURS,
                                   FOUR_HOURS, CUSTOM, CANCEL, "", SLEEP_NOTE, QUIT], "the menu")
    separators = [index for index, entry in enumerate(entries) if entry.get("type") == "separator"]
    assert_equal(separators, [4, 10], "the separators")
    toggles = [entry.get("label") for entry in entries if entry.get("toggle-type") == "checkmark"]
    assert_equal(toggles, [AUTOMATIC, ONE_HOUR, TWO_HOURS, FOUR_HOURS], "the entries with a check mark")
    assert_true(checked(entries, AUTOMATIC), "the automatic switch starts on")
    assert_equal([checked(entries, hours) for hours in (ONE_HOUR, TWO_HOURS, FOUR_HOURS)], [True, False, False],
                 "the preset marks for 60 minutes")
    # Nothing is scheduled, so only cancelling is disabled; the information
    # lines keep the default, enabled, as the controller leaves them.
    disabled = [entry.get("label") for entry in entries if entry.get("type") != "separator"
                and not entry.get("enabled", True)]
    assert_equal(disabled, [CANCEL], "the disabled entries")
    assert_equal(by_label(entries, QUIT).get("shortcut"), [["Control", "q"]], "the quit entry's shortcut")


@test()
def menu_ids_stay_across_ticks(session):
    start(session, "Connected")
    wait_for_countdown(session)
    before = [(entry["id"], entry.get("label")) for entry in session.menu()]
    for _ in range(3):
        wait_for_tick(session)
    after = [(entry["id"], entry.get("label")) for entry in session.menu()]
    assert_equal(after, before, "the menu's ids and labels after three ticks")


# -------------------------------------------------------------- menu actions

@test()
def preset_click(session):
    start(session, "Disconnected")
    session.click_label(TWO_HOURS)
    entries = session.wait_for_menu(lambda entries: duration_line(120) in labels(entries), "120 minutes")
    assert_equal([checked(entries, hours) for hours in (ONE_HOUR, TWO_HOURS, FOUR_HOURS)], [False, True, False],
                 "the preset marks for 120 minutes")
    assert_equal(entries[3].get("label"), WAITING, "the status line while not connected")
    assert_equal(session.label(), IDLE, "the label while not connected")
    assert_true("durationMinutes=120" in settings_text(session), "the choice was not stored")
    # An information line leads nowhere; choosing it changes nothing.
    session.click_label(SLEEP_NOTE)
    session.click_label(FOUR_HOURS)
    entries = session.wait_for_menu(lambda entries: duration_line(240) in labels(entries), "240 minutes")
    assert_equal([checked(entries, hours) for hours in (ONE_HOUR, TWO_HOURS, FOUR_HOURS)], [False, False, True],
                 "the preset marks for 240 minutes")


@test()
def clicks_just_after_ticks(session):
    start(session, "Connected")
    wait_for_countdown(session)
    # A panel clicks with the ids it read when it opened the menu, which may
    # be a few ticks old by then.
    ids = {entry.get("label"): entry["id"] for entry in session.menu()}
    for hours in (2, 4, 1, 2):
        wait_for_tick(session)
        session.click(ids[f"{hours}시간"])
        entries = session.wait_for_menu(lambda entries: duration_line(hours * 60) in labels(entries),
                                        f"{hours * 60} minutes after a click right after a tick", timeout=10)
        assert_true(checked(entries, f"{hours}시간"), f"the {hours}-hour preset is not checked")
        # Connected, so the choice restarts the countdown from now.
        left = seconds_left(session.wait_for_label(
            lambda text: (seconds_left(text) or 0) > hours * 3600 - 10, "the countdown to restart"))
        assert_true(left <= hours * 3600, f"{left} s left after choosing {hours} hours")


@test()
def automatic_switch_does_not_flip_back(session):
    start(session, "Disconnected")
    session.click_label(AUTOMATIC)
    session.wait_for_menu(lambda entries: not checked(entries, AUTOMATIC), "the switch to turn off")
    # Setting the mark emits the toolkit's activate signal; a binding that
    # reacted to it would flip the switch back on by itself.
    holds_for(1.5, lambda: not checked(session.menu(), AUTOMATIC), "the switch turned itself back on")
    assert_true("automatic=false" in settings_text(session), "the switch was not stored")

    # Off: a connection starts nothing.
    session.set_vpn("Connected")
    session.wait_for_menu(lambda entries: entries[0].get("label") == CONNECTED, "the connection to be seen", 15)
    assert_equal(session.label(), IDLE, "the label with the switch off")

    # On while connected and nothing scheduled: the countdown starts at once.
    session.click_label(AUTOMATIC)
    wait_for_countdown(session, "the countdown to start when the switch goes on")
    assert_true(checked(session.menu(), AUTOMATIC), "the switch is not on")
    holds_for(1.5, lambda: checked(session.menu(), AUTOMATIC), "the switch turned itself back off")


@test()
def cancel_countdown(session):
    start(session, "Connected")
    wait_for_countdown(session)
    entries = session.menu()
    assert_true(enabled(entries, CANCEL), "cancelling is disabled during a countdown")
    assert_true(entries[3].get("label", "").startswith("해제 예정: "), "the schedule line shows no deadline")
    session.click_label(CANCEL)
    session.wait_for_label(lambda text: text == IDLE, "the idle label after cancelling")
    entries = session.menu()
    assert_equal(entries[3].get("label"), CANCELLED, "the status line after cancelling")
    assert_true(not enabled(entries, CANCEL), "cancelling stays enabled with nothing scheduled")
    # The VPN stays up and the cancelled countdown does not come back.
    holds_for(6, lambda: session.label() == IDLE, "the countdown came back while the VPN stayed up")
    assert_true("disconnect" not in [call for call, _ in session.vpn_calls()], "cancelling disconnected")


# -------------------------------------------------------------------- dialogs

@test()
def custom_duration_dialog(session):
    start(session, "Disconnected")

    # The field holds the current duration and has the focus: typing at its
    # end appends, and Return presses "설정".
    session.click_label(CUSTOM)
    window = session.dialog(DIALOG_TITLE)
    x, y, width, height = session.geometry(window)
    assert_true(abs(x + width / 2 - 512) <= 40 and abs(y + height / 2 - 384) <= 40,
                f"the dialog is not centred: {width}x{height} at {x},{y}")
    session.screenshot("custom-duration")
    session.xdotool("key", "End")
    session.xdotool("type", "0")
    session.xdotool("key", "Return")
    session.wait_for_no_window(DIALOG_TITLE)
    entries = session.wait_for_menu(lambda entries: duration_line(600) in labels(entries), "600 minutes")
    assert_true(not any(checked(entries, hours) for hours in (ONE_HOUR, TWO_HOURS, FOUR_HOURS)),
                "a preset is checked for 600 minutes")

    # The text starts out selected, so typing replaces it; blanks around the
    # number are trimmed.
    session.click_label(CUSTOM)
    window = session.dialog(DIALOG_TITLE)
    session.xdotool("type", " 0090 ")
    session.xdotool("key", "Return")
    session.wait_for_no_window(DIALOG_TITLE)
    session.wait_for_menu(lambda entries: duration_line(90) in labels(entries), "90 minutes")
    assert_true("durationMinutes=90" in settings_text(session), "the custom duration was not stored")

    # Escape closes without "설정": nothing changes, whatever was typed.
    session.click_label(CUSTOM)
    window = session.dialog(DIALOG_TITLE)
    session.xdotool("type", "30")
    session.xdotool("key", "Escape")
    session.wait_for_no_window(DIALOG_TITLE)
    holds_for(1.5, lambda: duration_line(90) in labels(session.menu()), "cancelling the dialog changed the duration")


@test()
def custom_duration_rejected(session):
    start(session, "Disconnected")
    for text in ("abc", "10081", "1,000"):
        session.click_label(CUSTOM)
        window = session.dialog(DIALOG_TITLE)
        session.xdotool("type", text)
        session.xdotool("key", "Return")
        alert = session.dialog(REJECTED_TITLE)
        if text == "abc":
            session.screenshot("rejected")
        # One button, "확인", the default: Return closes the alert.
        session.xdotool("key", "Return")
        session.wait_for_no_window(REJECTED_TITLE)
        assert_true(duration_line(60) in labels(session.menu()), f"{text!r} changed the duration")
    assert_true("durationMinutes" not in settings_text(session), "a rejected entry was stored")


@test()
def dialog_holds_ticks_and_results(session):
    # Each state query takes a while, so that one can be under way when the
    # dialog opens and finish while it is open.
    query_seconds = 5
    start(session, "Connected")
    wait_for_countdown(session)
    session.set_faults(f"state:sleep={query_seconds}")
    queries = len(session.vpn_calls())
    wait_for(lambda: len(session.vpn_calls()) > queries, "the next state query to start", 15)
    began = session.vpn_calls()[-1][1]
    # Its answer will be "disconnected", which must wait for the dialog.
    session.set_vpn("Disconnected")
    session.click_label(CUSTOM)
    session.dialog(DIALOG_TITLE)
    frozen = session.label()
    assert_true(seconds_left(frozen) is not None, f"the countdown stopped before the dialog opened: {frozen!r}")
    # Hold the dialog open until well after the query has ended and posted
    # its answer.
    holds_for(began + query_seconds + 2 - time.time(),
              lambda: session.label() == frozen and session.menu()[0].get("label") == CONNECTED,
              "a tick or a query result ran while the dialog was open")
    assert_true(session.visible_windows(), "the dialog closed by itself")
    session.xdotool("key", "Escape")
    session.wait_for_no_window(DIALOG_TITLE)
    session.wait_for_label(lambda text: text == IDLE, "the held query result once the dialog closed", 10)
    assert_equal(session.menu()[0].get("label"), NOT_CONNECTED, "the connection line after the dialog")


@test()
def bogus_language_name(session):
    # ICU makes no locale of this name; building a formatter from one crashed
    # at start. The schedule line falls back to a 24-hour time.
    start(session, "Connected", LANG="aaaaaaaaaaaa")
    wait_for_countdown(session)
    line = session.menu()[3].get("label", "")
    assert_true(re.fullmatch(r"해제 예정: \d\d:\d\d", line), f"the schedule line reads {line!r}")


# ------------------------------------------------------------------ the road

@test()
def countdown_road(session):
    # Ten minutes of the countdown pass in each second, and the disconnect
    # takes two, so that its busy state can be seen.
    session.set_faults("disconnect:sleep=2")
    start(session, "Connected", LINTARA_TESTING_CLOCK_SCALE="600")
    wait_for_countdown(session)
    session.wait_for_label(lambda text: text == DISCONNECTING, "the disconnect to start", 30)
    entries = session.menu()
    assert_equal([enabled(entries, label) for label in (ONE_HOUR, TWO_HOURS, FOUR_HOURS, CUSTOM, QUIT)],
                 [False] * 5, "presets, custom and quit while disconnecting")
    assert_true(enabled(entries, AUTOMATIC), "the switch is disabled while disconnecting")
    # A panel may still send a click for a disabled entry; it must do nothing.
    session.click_label(TWO_HOURS)

    alert = session.dialog(DISCONNECT_DONE, timeout=30)
    session.screenshot("disconnected")
    # The menu was redrawn before the alert opened.
    assert_equal(session.label(), IDLE, "the label while the outcome is shown")
    assert_equal(session.menu()[3].get("label"), DISCONNECT_DONE, "the status line while the outcome is shown")
    session.xdotool("key", "Return")
    session.wait_for_no_window(DISCONNECT_DONE)
    session.wait_for_menu(lambda entries: entries[0].get("label") == NOT_CONNECTED, "the VPN to read down", 15)
    assert_equal([call for call, _ in session.vpn_calls()].count("disconnect"), 1, "disconnect runs")
    assert_equal(session.menu()[2].get("label"), duration_line(60), "the duration after a click on a disabled preset")

    # The next connection starts the next countdown by itself.
    session.set_vpn("Connected")
    wait_for_countdown(session, "a new countdown at the next connection")


@test()
def huge_disconnect_output(session):
    def alert_fits_the_screen(title, label):
        # A 1 MiB output took GTK 90 s to lay out, in an alert 32767 px tall.
        window = session.dialog(title, timeout=30)
        x, y, width, height = session.geometry(window)
        assert_true(x >= 0 and y >= 0 and x + width <= 1024 and y + height <= 768,
                    f"the {label} alert is {width}x{height} at {x},{y}, beyond the 1024x768 screen")
        session.screenshot(label)
        # Its one button sits at the bottom right, where a click must reach it.
        session.xdotool("mousemove", "--window", window, str(width - 40), str(height - 25), "click", "1")
        session.wait_for_no_window(title)

    # Ten minutes of the countdown pass in each second: the disconnect comes
    # some six seconds after the countdown shows.
    session.set_faults("disconnect:flood=1")
    start(session, "Connected", LINTARA_TESTING_CLOCK_SCALE="600")
    wait_for_countdown(session)
    alert_fits_the_screen(DISCONNECT_DONE, "flood")
    # At most 64 KiB, some 1,100 lines, was shown; the log holds all 1 MiB.
    logged = session.app_output().count("Connection statistics follow")
    assert_true(logged > 15000, f"the log holds {logged} lines of the output, not all of it")

    # One line of 20,000 characters, from a disconnect that fails.
    session.set_faults("disconnect:" + "x" * 20000)
    session.wait_for_menu(lambda entries: entries[0].get("label") == NOT_CONNECTED, "the VPN to read down", 15)
    session.set_vpn("Connected")
    wait_for_countdown(session, "a new countdown at the next connection")
    alert_fits_the_screen(DISCONNECT_ERROR, "long-line")


@test()
def wake_ticks_at_once(session):
    start(session, "Disconnected")
    wait_for(lambda: "listening for wake from :" in session.app_output(), "the wake subscription")
    # Right after a periodic query the next one is five ticks away. Five
    # wakes are five ticks at once, so the next query comes straight away.
    count = len(session.vpn_calls())
    wait_for(lambda: len(session.vpn_calls()) > count, "a periodic state query", 15)
    last = session.vpn_calls()[-1][1]
    session.emit_prepare_for_sleep(True)
    for _ in range(5):
        session.emit_prepare_for_sleep(False)
    wait_for(lambda: len(session.vpn_calls()) > count + 1, "a state query after the wakes", 10)
    following = session.vpn_calls()[count + 1][1]
    # The timer alone would bring it five seconds after the last one.
    assert_true(following - last < 4,
                f"the query after five wakes came {following - last:.1f} s after the last one, as if by the timer")


# ------------------------------------------------------- the application as a whole

@test()
def second_launch_reopens(session):
    start(session, "Disconnected")
    first_item = session.registered_items()
    second = session.spawn_app()
    assert_equal(session.wait_for_exit(second), 0, "the second launch's exit status")
    session.check_running()
    assert_equal(session.registered_items(), first_item, "the tray items after a second launch")
    assert_equal(session.visible_windows(), [], "windows opened by the reopen")
    session.click_label(TWO_HOURS)
    session.wait_for_menu(lambda entries: duration_line(120) in labels(entries), "the first copy to still answer")

    # Another session of the same user (another session bus) must not start
    # a second controller.
    other_bus = session._start_bus("other")
    third = session.spawn_app(DBUS_SESSION_BUS_ADDRESS=other_bus)
    assert_true(session.wait_for_exit(third) != 0, "a second controller for the same user started")
    assert_true("already" in session.app_output(), "the refused launch did not say why")


@test()
def host_starts_late_and_restarts(session):
    session.start(watcher=False)
    session.app = session.spawn_app()

    def owns_name():
        session.check_running()
        reply = session.session_bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                              "NameHasOwner", harness.GLib.Variant("(s)", ("io.lintara.Lintara",)),
                                              None, harness.Gio.DBusCallFlags.NONE, 5000, None)
        return reply.unpack()[0]

    wait_for(owns_name, "the application to be up")
    session.start_watcher()
    session.wait_for_item()
    session.wait_for_label(lambda text: text == IDLE, "the label through a late host")
    session.stop_watcher()
    session.start_watcher()
    session.wait_for_item()
    session.wait_for_label(lambda text: text == IDLE, "the label through a restarted host")


@test()
def duration_survives_restart(session):
    start(session, "Disconnected")
    session.click_label(FOUR_HOURS)
    session.wait_for_menu(lambda entries: duration_line(240) in labels(entries), "240 minutes")
    session.click_label(QUIT)
    assert_equal(session.wait_for_exit(session.app), 0, "the exit status after quitting")
    session.launch()
    entries = session.wait_for_menu(lambda entries: entries[0].get("label") == NOT_CONNECTED, "the restarted menu")
    assert_equal(entries[2].get("label"), duration_line(240), "the duration after a restart")
    assert_true(checked(entries, FOUR_HOURS), "the 4-hour preset is not checked after a restart")


@test()
def quit_leaves_the_vpn_alone(session):
    start(session, "Connected")
    wait_for_countdown(session)
    session.click_label(QUIT)
    assert_equal(session.wait_for_exit(session.app), 0, "the exit status after quitting")
    assert_true("disconnect" not in [call for call, _ in session.vpn_calls()], "quitting disconnected the VPN")
    with open(session.state_file) as file:
        assert_equal(file.read().strip(), "Connected", "the VPN's state after quitting")


@test()
def installed_smoke(session):
    """For an installed lintara, which runs the real VPN tool's path: it
    starts, shows its item and menu, and quits. Not one of the build's tests."""
    session.start()
    session.launch()
    session.wait_for_label(lambda text: text == IDLE, "the idle label")
    entries = session.wait_for_menu(lambda entries: True, "the menu")
    assert_equal(entries[12].get("label"), QUIT, "the last menu entry")
    session.click_label(QUIT)
    assert_equal(session.wait_for_exit(session.app), 0, "the exit status after quitting")


@test(timeout=30)
def no_display(session):
    environment = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
    completed = subprocess.run([session.binary], env=environment, capture_output=True, text=True, timeout=20)
    assert_true(completed.returncode != 0, "started without a display")
    assert_true("lintara-term" in completed.stderr, f"the message does not point to lintara-term: {completed.stderr!r}")


@test(timeout=30)
def no_session_bus(session):
    session.start(watcher=False)
    environment = session.environment(DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(session.root, "no-bus"))
    try:
        completed = subprocess.run([session.binary], env=environment, capture_output=True, text=True, timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("it ran on without a session bus") from None
    assert_equal(completed.returncode, 1, "the exit status without a session bus")
    assert_true("no session bus" in completed.stderr and "lintara-term" in completed.stderr,
                f"the message does not say what is missing: {completed.stderr!r}")


@test()
def no_tray_host_is_said_once_and_waited_for(session):
    session.start(watcher=False)
    session.start_notifications()
    session.app = session.spawn_app()

    said_line = "lintara: no tray host"

    def said():
        session.check_running()
        return said_line in session.app_output()

    wait_for(said, "the missing host on standard error", timeout=40)
    line = [line for line in session.app_output().splitlines() if line.startswith(said_line)][0]
    assert_true("gnome-shell-extension-appindicator" in line and "lintara-term" in line,
                f"the message does not name the extension and lintara-term: {line!r}")
    sent = wait_for(lambda: session.notification_calls("Notify"), "a notification")
    assert_equal(len(sent), 1, "the number of notifications")
    assert_true("gnome-shell-extension-appindicator" in sent[0]["body"] and "lintara-term" in sent[0]["body"],
                f"the notification does not say the same: {sent[0]!r}")
    # It still waits for a host, and shows up when one comes; a host that
    # leaves again for good is said on standard error, with no second
    # notification.
    session.start_watcher()
    session.wait_for_item()
    session.stop_watcher()
    wait_for(lambda: session.app_output().count(said_line) >= 2,
             "the host missing again on standard error", timeout=40)
    session.check_running()
    assert_equal(len(session.notification_calls("Notify")), 1, "the number of notifications")


# -------------------------------------------------------------- the deadline
# The deadline holds whatever happens around it: a dialog left open, queries
# that answer late in a second, a VPN up again at once.

LABEL_SIGNAL = re.compile(r"^signal time=([0-9.]+) .*member=XAyatanaNewLabel$")


def start_minute_countdown(session):
    """Set to one minute with the VPN up: the answer to the first query starts
    the countdown. Returns the earliest the deadline can be: that query's
    start plus the minute."""
    path = os.path.join(session.root, "config", "lintara", "settings.ini")
    os.makedirs(os.path.dirname(path))
    with open(path, "w") as file:
        file.write("[Lintara]\ndurationMinutes=1\nautomatic=true\n")
    start(session, "Connected")
    wait_for_countdown(session)
    return [at for call, at in session.vpn_calls() if call == "state"][0] + 60


def first_disconnect(session, timeout=20.0):
    return wait_for(lambda: [at for call, at in session.vpn_calls() if call == "disconnect"][:1],
                    "the disconnect", timeout)[0]


@test(timeout=110)
def dialog_gives_way_at_the_deadline(session):
    earliest = start_minute_countdown(session)
    session.wait_for_label(lambda text: (seconds_left(text) or 99) <= 8, "8 s left", timeout=80)
    session.click_label(CUSTOM)
    session.dialog(DIALOG_TITLE)
    assert_true(time.time() < earliest - 2, "the dialog opened too late to be left open")
    # Nobody answers: at the deadline it gives way, and the disconnect
    # follows, instead of waiting as long as the dialog stays open.
    session.wait_for_no_window(DIALOG_TITLE)
    assert_true(time.time() > earliest, "the dialog closed before the deadline")
    late = first_disconnect(session) - earliest
    assert_true(0 < late < 1.5, f"the disconnect started {late:.2f} s after the earliest deadline")
    session.dialog(DISCONNECT_DONE)


@test(timeout=110)
def label_counts_down_evenly_and_disconnects_on_time(session):
    # Shared with the other front end's tests; no bytecode left in the source tree.
    sys.dont_write_bytecode = True
    sys.path.insert(0, os.path.dirname(harness.HERE))
    from countdown_pace import pace_problems
    # The query that starts the countdown answers at once, the later ones
    # half a second after their tick, as real ones do.
    earliest = start_minute_countdown(session)
    session.set_faults("state:sleep=0.5")
    # The label as a panel gets it: each change is a signal on the bus.
    log = os.path.join(session.root, "labels.log")
    with open(log, "w") as file:
        session._spawn(["dbus-monitor", "--address", session.session_address,
                        "type='signal',member='XAyatanaNewLabel'"], stdout=file, stderr=subprocess.DEVNULL)

    def changes():
        found = []
        with open(log, errors="replace") as file:
            lines = file.read().split("\n")
        for header, argument in zip(lines, lines[1:]):
            match = LABEL_SIGNAL.match(header)
            if match and argument.strip().startswith("string "):
                left = seconds_left(argument.strip()[len("string "):].strip('"'))
                if not found or found[-1][1] != left:
                    found.append((float(match.group(1)), left))
        return found if found and found[-1][1] is None and len(found) > 1 else None

    recorded = wait_for(changes, "the countdown to end in the label's signals", 90)
    problems = pace_problems(recorded, first_disconnect(session), earliest)
    assert_true(not problems, problems)


@test()
def vpn_up_again_after_the_disconnect_counts_down_again(session):
    start(session, "Connected", LINTARA_TESTING_CLOCK_SCALE="600")
    wait_for_countdown(session)
    session.dialog(DISCONNECT_DONE, timeout=30)
    # The client reconnects by itself before the outcome is read: the next
    # query finds a new connection, not the old one still up.
    session.set_vpn("Connected")
    session.xdotool("key", "Return")
    session.wait_for_no_window(DISCONNECT_DONE)
    wait_for_countdown(session, "a countdown for the connection that came back")


# ------------------------------------------------------------------ the warning
# Two-minute countdowns that warn a minute ahead, with ten seconds of the
# countdown passing in each second: the warning comes some six seconds before
# the deadline.

WARNING_TITLE = "VPN 자동 해제 예정"
WARNING_BODY = re.compile(r"^1분 뒤 (.+)에 VPN 연결을 해제합니다$")


def start_warning_countdown(session, notifications):
    path = os.path.join(session.root, "config", "lintara", "settings.ini")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as file:
        file.write("[Lintara]\ndurationMinutes=2\nwarningMinutes=1\n")
    session.set_vpn("Connected")
    if session.app is None:
        session.start()
        if notifications:
            session.start_notifications()
    session.launch(LINTARA_TESTING_CLOCK_SCALE="10")
    wait_for_countdown(session)


def disconnects(session):
    return [at for call, at in session.vpn_calls() if call == "disconnect"]


@test()
def warning_notification_extend_and_disconnect_now(session):
    start_warning_countdown(session, notifications=True)
    first = wait_for(lambda: session.notification_calls("Notify"), "the warning's notification")[0]
    assert_equal((first["app"], first["summary"], first["actions"]),
                 ("Lintara", WARNING_TITLE, ["extend", "30분 연장", "disconnect-now", "지금 해제"]), "the notification")
    body = WARNING_BODY.match(first["body"])
    assert_true(body, f"the body reads {first['body']!r}")
    assert_equal(session.menu()[3].get("label"), "해제 예정: " + body.group(1), "the schedule line")
    assert_equal((first["hints"].get("urgency"), first["hints"].get("resident")), (1, True),
                 "normal urgency, and it stays until withdrawn")
    # A minute is left: it may outlast the deadline, never fall short of it.
    assert_true(first["timeout"] == 0 or first["timeout"] >= 60000, f"it expires after {first['timeout']} ms")

    # An action for a notification that is not the one on show does nothing.
    session.invoke_action(first["id"] + 100, "disconnect-now")
    holds_for(1, lambda: not disconnects(session), "an unknown notification's action disconnected")
    session.invoke_action(first["id"], "extend")
    session.wait_for_label(lambda text: (seconds_left(text) or 0) > 30 * 60, "the deadline 30 minutes later")
    wait_for(lambda: [call["id"] for call in session.notification_calls("CloseNotification")] == [first["id"]],
             "the notification to be withdrawn")

    # After a restart, the previous run's notification is not ours.
    session.click_label(QUIT)
    assert_equal(session.wait_for_exit(session.app), 0, "the exit status after quitting")
    start_warning_countdown(session, notifications=True)
    second = wait_for(lambda: session.notification_calls("Notify")[1:], "the next run's warning")[0]
    session.invoke_action(first["id"], "disconnect-now")
    holds_for(1, lambda: not disconnects(session), "the previous run's notification disconnected")
    asked = time.time()
    session.invoke_action(second["id"], "disconnect-now")
    session.dialog(DISCONNECT_DONE)
    # At once, not at the deadline some five seconds on.
    assert_true(disconnects(session)[0] - asked < 2, "the disconnect waited for the deadline")
    assert_true(second["id"] in [call["id"] for call in session.notification_calls("CloseNotification")],
                "the second notification was not withdrawn")


@test()
def warning_window_without_a_notification_server(session):
    start_warning_countdown(session, notifications=False)
    window = session.dialog(WARNING_TITLE)
    session.screenshot("warning-window")
    # The focus is on its first button, 30분 연장.
    session.xdotool("key", "--window", window, "Return")
    session.wait_for_label(lambda text: (seconds_left(text) or 0) > 30 * 60, "the deadline 30 minutes later")
    session.wait_for_no_window(WARNING_TITLE)


if __name__ == "__main__":
    sys.exit(harness.run(TESTS, sys.argv))
