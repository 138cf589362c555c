# SPDX-License-Identifier: MIT
"""A stand-in for systemd-logind on a private bus: owns org.freedesktop.login1
and emits PrepareForSleep when told to on standard input.

Prints "ready <unique name>" once it owns the name. Then each input line
"sleep true" or "sleep false" emits PrepareForSleep with that argument and
prints "sent <argument>". Ends at end of input.
"""
import sys
import threading

from gi.repository import Gio, GLib

BUS_ADDRESS = sys.argv[1]


def main():
    connection = Gio.DBusConnection.new_for_address_sync(
        BUS_ADDRESS,
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None,
        None,
    )
    reply = connection.call_sync(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        GLib.Variant("(su)", ("org.freedesktop.login1", 4)), GLib.VariantType("(u)"),
        Gio.DBusCallFlags.NONE, 5000, None)
    if reply.unpack()[0] != 1:
        print("could not own org.freedesktop.login1", flush=True)
        return 1
    print("ready", connection.get_unique_name(), flush=True)
    for line in sys.stdin:
        words = line.split()
        if len(words) == 2 and words[0] == "sleep":
            sleeping = words[1] == "true"
            connection.emit_signal(None, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                   "PrepareForSleep", GLib.Variant("(b)", (sleeping,)))
            connection.flush_sync(None)
            print("sent", words[1], flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
