#!/usr/bin/python3
"""A desktop portal that offers only global shortcuts, for tests on a private session bus.

Every CreateSession and BindShortcuts is answered at once through a Response signal on the
request object, as the real portal does. Triggers given with --refuse are never bound.
Test hooks on the interface org.quillon.FakePortal: Activate(trigger) fires Activated for the
bound shortcut with that trigger; Bound() lists the triggers of the open sessions.
Prints "ready" once it owns its name.
"""
import argparse
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
HOOKS = "org.quillon.FakePortal"


def sender_part(sender):
    return sender.lstrip(":").replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.path = path
        self.portal = portal
        self.shortcuts = {}  # id -> trigger

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, refused):
        super().__init__(bus, PATH)
        self.bus = bus
        self.refused = set(refused)
        self.sessions = {}
        self.requests = []

    def answer(self, sender, token, response, results):
        path = "%s/request/%s/%s" % (PATH, sender_part(sender), token)
        request = Request(self.bus, path)
        self.requests.append(request)
        GLib.idle_add(lambda: (request.Response(dbus.UInt32(response), results), False)[1])
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SHORTCUTS and name == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        path = "%s/session/%s/%s" % (PATH, sender_part(sender), options["session_handle_token"])
        self.sessions[path] = Session(self.bus, path, self)
        return self.answer(sender, options["handle_token"], 0,
                           {"session_handle": dbus.String(path, variant_level=1)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session_path, shortcuts, parent, options, sender=None):
        session = self.sessions.get(str(session_path))
        bound = []
        for shortcut_id, properties in shortcuts:
            trigger = str(properties.get("preferred_trigger", ""))
            if session is None or trigger in self.refused:
                continue
            session.shortcuts[str(shortcut_id)] = trigger
            bound.append(dbus.Struct((shortcut_id, {"trigger_description": trigger}),
                                     signature="sa{sv}"))
        results = {"shortcuts": dbus.Array(bound, signature="(sa{sv})", variant_level=1)}
        return self.answer(sender, options["handle_token"], 0 if session else 2, results)

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.method(HOOKS, in_signature="s", out_signature="u")
    def Activate(self, trigger):
        fired = 0
        for path, session in list(self.sessions.items()):
            for shortcut_id, bound in session.shortcuts.items():
                if bound == trigger:
                    self.Activated(dbus.ObjectPath(path), shortcut_id, dbus.UInt64(0),
                                   dbus.Dictionary({}, signature="sv"))
                    fired += 1
        return dbus.UInt32(fired)

    @dbus.service.method(HOOKS, in_signature="", out_signature="as")
    def Bound(self):
        return sorted(t for s in self.sessions.values() for t in s.shortcuts.values())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--refuse", action="append", default=[])
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, args.refuse)
    name = dbus.service.BusName(PORTAL, bus, do_not_queue=True)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    try:
        loop.run()
    except KeyboardInterrupt:
        pass
    del name, portal


if __name__ == "__main__":
    sys.exit(main())
