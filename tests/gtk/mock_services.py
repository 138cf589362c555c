#!/usr/bin/python3
"""Stand-ins for the desktop services the tray application talks to.

    mock_services.py watcher ADDRESS   a StatusNotifierWatcher on that bus
    mock_services.py login1 ADDRESS    a logind that can announce sleep
    mock_services.py notifications ADDRESS FILE
                                       a notification server that writes
                                       each notification to FILE

Each prints "ready" on standard output once it owns its name, then serves
until it is killed. The watcher pairs each registered object path with the
bus name of the caller, the way the panels do, and forgets an item whose
owner leaves the bus. The logind stand-in has one extra method,
org.lintara.Testing.EmitPrepareForSleep(b), that makes it broadcast
PrepareForSleep the way the real one does around a suspend.
"""
import os
import sys

from gi.repository import Gio, GLib

WATCHER_NAME = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""

LOGIN1_NAME = "org.freedesktop.login1"
LOGIN1_PATH = "/org/freedesktop/login1"
LOGIN1_XML = """
<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="Inhibit">
      <arg name="what" type="s" direction="in"/>
      <arg name="who" type="s" direction="in"/>
      <arg name="why" type="s" direction="in"/>
      <arg name="mode" type="s" direction="in"/>
      <arg name="fd" type="h" direction="out"/>
    </method>
    <signal name="PrepareForSleep"><arg name="start" type="b"/></signal>
  </interface>
  <interface name="org.lintara.Testing">
    <method name="EmitPrepareForSleep"><arg name="start" type="b" direction="in"/></method>
  </interface>
</node>
"""


NOTIFICATIONS_NAME = "org.freedesktop.Notifications"
NOTIFICATIONS_PATH = "/org/freedesktop/Notifications"
NOTIFICATIONS_XML = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
  </interface>
</node>
"""


def connect(address):
    flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
             | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


def own_name(bus, name):
    # Without queueing: a second copy must fail loudly, not wait in line.
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", GLib.Variant("(su)", (name, 4)), GLib.VariantType("(u)"),
                          Gio.DBusCallFlags.NONE, -1, None)
    if reply.unpack()[0] != 1:
        sys.exit(f"could not own {name}")


class Watcher:
    def __init__(self, bus):
        self.bus = bus
        self.items = []
        info = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0]
        bus.register_object(WATCHER_PATH, info, self.on_call, self.on_get_property, None)
        bus.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                             "/org/freedesktop/DBus", None, Gio.DBusSignalFlags.NONE, self.on_owner_changed)

    def on_call(self, bus, sender, path, interface, method, parameters, invocation):
        if method == "RegisterStatusNotifierItem":
            service = parameters.unpack()[0]
            # An item may pass its object path, which only means something
            # together with the caller's name, or a bus name of its own.
            item = sender + service if service.startswith("/") else service + "/StatusNotifierItem"
            if item not in self.items:
                self.items.append(item)
                self.bus.emit_signal(None, WATCHER_PATH, WATCHER_NAME, "StatusNotifierItemRegistered",
                                     GLib.Variant("(s)", (item,)))
            invocation.return_value(None)
        elif method == "RegisterStatusNotifierHost":
            invocation.return_value(None)
        else:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)

    def on_get_property(self, bus, sender, path, interface, name):
        if name == "RegisteredStatusNotifierItems":
            return GLib.Variant("as", self.items)
        if name == "IsStatusNotifierHostRegistered":
            return GLib.Variant("b", True)
        if name == "ProtocolVersion":
            return GLib.Variant("i", 0)
        return None

    def on_owner_changed(self, bus, sender, path, interface, signal, parameters):
        name, _old, new = parameters.unpack()
        if new:
            return
        for item in [item for item in self.items if item.startswith(name + "/")]:
            self.items.remove(item)
            self.bus.emit_signal(None, WATCHER_PATH, WATCHER_NAME, "StatusNotifierItemUnregistered",
                                 GLib.Variant("(s)", (item,)))


class Login1:
    def __init__(self, bus):
        self.bus = bus
        self.inhibitors = []
        for info in Gio.DBusNodeInfo.new_for_xml(LOGIN1_XML).interfaces:
            bus.register_object(LOGIN1_PATH, info, self.on_call, None, None)

    def on_call(self, bus, sender, path, interface, method, parameters, invocation):
        if method == "Inhibit":
            # The caller holds the read end for as long as it wants to delay
            # sleep; the write end stays here so that it never reads EOF.
            read_end, write_end = os.pipe()
            self.inhibitors.append(write_end)
            fds = Gio.UnixFDList.new()
            index = fds.append(read_end)
            os.close(read_end)
            invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (index,)), fds)
        elif method == "EmitPrepareForSleep":
            start = parameters.unpack()[0]
            self.bus.emit_signal(None, LOGIN1_PATH, "org.freedesktop.login1.Manager", "PrepareForSleep",
                                 GLib.Variant("(b)", (start,)))
            self.bus.flush_sync(None)
            invocation.return_value(None)
        else:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)


class Notifications:
    def __init__(self, bus, path):
        self.path = path
        self.count = 0
        info = Gio.DBusNodeInfo.new_for_xml(NOTIFICATIONS_XML).interfaces[0]
        bus.register_object(NOTIFICATIONS_PATH, info, self.on_call, None, None)

    def on_call(self, bus, sender, path, interface, method, parameters, invocation):
        app, _replaces, _icon, summary, body = parameters.unpack()[:5]
        self.count += 1
        with open(self.path, "a") as file:
            file.write(f"{app}|{summary}|{body}\n")
        invocation.return_value(GLib.Variant("(u)", (self.count,)))


def main():
    roles = {"watcher": 3, "login1": 3, "notifications": 4}
    if len(sys.argv) < 2 or roles.get(sys.argv[1]) != len(sys.argv):
        sys.exit(__doc__)
    role, address = sys.argv[1], sys.argv[2]
    bus = connect(address)
    if role == "notifications":
        service = Notifications(bus, sys.argv[3])
        own_name(bus, NOTIFICATIONS_NAME)
    elif role == "watcher":
        service = Watcher(bus)
        own_name(bus, WATCHER_NAME)
    else:
        service = Login1(bus)
        own_name(bus, LOGIN1_NAME)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    bus.connect("closed", lambda *args: loop.quit())
    loop.run()
    del service


if __name__ == "__main__":
    main()
