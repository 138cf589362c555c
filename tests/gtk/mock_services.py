#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Stand-ins for the desktop services the tray application talks to.

    mock_services.py watcher ADDRESS         a StatusNotifierWatcher on that bus
    mock_services.py login1 ADDRESS          a logind that can announce sleep
    mock_services.py notifications ADDRESS   a desktop notification server

Each prints "ready" on standard output once it owns its name, then serves
until it is killed. The watcher pairs each registered object path with the
bus name of the caller, the way the panels do, and forgets an item whose
owner leaves the bus. The logind stand-in has one extra method,
org.lintara.Testing.EmitPrepareForSleep(b), that makes it broadcast
PrepareForSleep the way the real one does around a suspend. The notification
server records every Notify and CloseNotification, which
org.lintara.Testing.Calls() returns as JSON, and
org.lintara.Testing.InvokeAction(u id, s key) makes it report an action the
way a server does when the user clicks one: ActionInvoked, then
NotificationClosed unless the notification asked to stay (resident).
"""
import json
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
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/>
    </method>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
  </interface>
  <interface name="org.lintara.Testing">
    <method name="Calls"><arg type="s" direction="out"/></method>
    <method name="InvokeAction"><arg type="u" direction="in"/><arg type="s" direction="in"/></method>
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
    def __init__(self, bus):
        self.bus = bus
        self.calls = []
        self.next_id = 1
        for info in Gio.DBusNodeInfo.new_for_xml(NOTIFICATIONS_XML).interfaces:
            bus.register_object(NOTIFICATIONS_PATH, info, self.on_call, None, None)

    def emit(self, signal, signature, values):
        self.bus.emit_signal(None, NOTIFICATIONS_PATH, NOTIFICATIONS_NAME, signal, GLib.Variant(signature, values))

    def on_call(self, bus, sender, path, interface, method, parameters, invocation):
        if method == "Notify":
            app, replaces, icon, summary, body, actions, hints, timeout = parameters.unpack()
            ident = replaces or self.next_id
            self.next_id += 1
            self.calls.append({"method": method, "id": ident, "app": app, "icon": icon, "summary": summary,
                               "body": body, "actions": actions, "hints": hints, "timeout": timeout})
            invocation.return_value(GLib.Variant("(u)", (ident,)))
        elif method == "CloseNotification":
            ident = parameters.unpack()[0]
            self.calls.append({"method": method, "id": ident})
            invocation.return_value(None)
            self.emit("NotificationClosed", "(uu)", (ident, 3))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("mock", "lintara", "1", "1.2")))
        elif method == "Calls":
            invocation.return_value(GLib.Variant("(s)", (json.dumps(self.calls),)))
        elif method == "InvokeAction":
            ident, key = parameters.unpack()
            self.emit("ActionInvoked", "(us)", (ident, key))
            shown = [call for call in self.calls if call["method"] == "Notify" and call["id"] == ident]
            if not (shown and shown[-1]["hints"].get("resident")):
                self.emit("NotificationClosed", "(uu)", (ident, 2))
            self.bus.flush_sync(None)
            invocation.return_value(None)
        else:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)


ROLES = {"watcher": (Watcher, WATCHER_NAME), "login1": (Login1, LOGIN1_NAME),
         "notifications": (Notifications, NOTIFICATIONS_NAME)}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ROLES:
        sys.exit(__doc__)
    role, address = sys.argv[1], sys.argv[2]
    bus = connect(address)
    kind, name = ROLES[role]
    service = kind(bus)
    own_name(bus, name)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    bus.connect("closed", lambda *args: loop.quit())
    loop.run()
    del service


if __name__ == "__main__":
    main()
