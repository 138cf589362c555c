#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What the tray application costs while it counts down and nobody looks.

    measure.py --binary PATH [--seconds 300]

Starts a private desktop (harness.py) with the fake VPN connected, so that a
countdown runs and the tool is queried every five seconds, lets the
application settle, then over the window reports its processor time (its own,
and that of the VPN tool runs it waited for), its resident memory at the start
and the end, and the messages on the private session bus (dbus-monitor, every
message but the monitor's own), per second.
"""
import argparse
import os
import subprocess
import sys
import time

import harness


def times(pid):
    """(own, children's) processor seconds from /proc/PID/stat."""
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    # utime, stime, cutime, cstime are fields 14 to 17; the split starts at 3.
    utime, stime, cutime, cstime = (int(value) for value in fields[11:15])
    return (utime + stime) / ticks, (cutime + cstime) / ticks


def memory(pid, key):
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--seconds", type=float, default=300)
    options = parser.parse_args()
    missing = harness.missing_tools()
    if missing:
        print("cannot measure: missing " + ", ".join(missing))
        return harness.SKIP

    artefacts = os.path.join(os.path.dirname(os.path.abspath(options.binary)), "measure")
    os.makedirs(artefacts, exist_ok=True)
    session = harness.Session("measure", artefacts, options.binary)
    try:
        session.set_vpn("Connected")
        session.start()
        session.launch()
        session.wait_for_label(lambda text: text.startswith("VPN ") and text[4:5].isdigit(), "a countdown")
        # Let start-up settle before the window opens.
        settle = time.monotonic() + 10
        while time.monotonic() < settle:
            session.check_running()
            time.sleep(0.5)

        pid = session.app.pid
        label_start = session.label()
        monitor = subprocess.Popen(["stdbuf", "-oL", "dbus-monitor", "--address", session.session_address, "--profile"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        own_before, children_before = times(pid)
        rss_before = memory(pid, "VmRSS")
        started = time.monotonic()
        while time.monotonic() - started < options.seconds:
            session.check_running()
            time.sleep(1)
        elapsed = time.monotonic() - started
        own_after, children_after = times(pid)
        rss_after = memory(pid, "VmRSS")
        peak = memory(pid, "VmHWM")
        monitor.terminate()
        output, _ = monitor.communicate(timeout=10)
        kinds = ("sig", "mc", "mr", "err")
        lines = [line.split() for line in output.splitlines()]
        messages = [words for words in lines if words and words[0] in kinds]
        # The monitor's own hand-shake with the bus daemon, and this script's
        # calls, are no traffic of the application's.
        ours = session.session_bus.get_unique_name()
        counted = [words for words in messages if ours not in words and "BecomeMonitor" not in words
                   and "NameAcquired" not in words and "NameLost" not in words]
        label_end = session.label()
        print(f"window: {elapsed:.0f} s, label {label_start!r} -> {label_end!r}")
        print(f"cpu: lintara {own_after - own_before:.2f} s = {100 * (own_after - own_before) / elapsed:.3f} %; "
              f"VPN tool runs it waited for {children_after - children_before:.2f} s")
        print(f"rss: {rss_before} KiB at the start, {rss_after} KiB at the end, peak {peak} KiB")
        members = {}
        for words in counted:
            # Replies carry the serial of their call where calls and signals
            # carry a member name.
            member = words[-1] if words[0] in ("sig", "mc") else "(replies)"
            members[member] = members.get(member, 0) + 1
        print(f"session bus: {len(counted)} messages = {len(counted) / elapsed:.2f} per second; by member: "
              + ", ".join(f"{name} {count}" for name, count in sorted(members.items(), key=lambda item: -item[1])))
        vpn_runs = len(session.vpn_calls())
        print(f"VPN tool runs over the whole session: {vpn_runs}")
        return 0
    except harness.Failure as failure:
        print(f"measurement failed: {failure}")
        return 1
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
