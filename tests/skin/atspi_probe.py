#!/usr/bin/python3
"""Finds the skinned widgets of a running application on the accessibility bus by role and
name, checks what they say of themselves, and clicks some through their action.

    atspi_probe.py APPLICATION_NAME

Exits 0 when every check holds; prints what it found otherwise.
"""

import sys
import time

import pyatspi

WAIT_SECONDS = 20


def find_application(name):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(app, role, name):
    for node in descendants(app):
        if node.getRole() == role and node.name == name:
            return node
    return None


def act(node, action_name):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == action_name:
            return action.doAction(i)
    raise AssertionError("%s has no %s action (has %s)" % (
        node.name, action_name, [action.getName(i) for i in range(action.nActions)]))


def main():
    app = find_application(sys.argv[1])
    if app is None:
        print("the application did not appear on the accessibility bus")
        return 1
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    record = find(app, pyatspi.ROLE_PUSH_BUTTON, "Record")
    check(record is not None, "no push button named Record")
    help_button = find(app, pyatspi.ROLE_PUSH_BUTTON, "Help")
    check(help_button is not None, "no push button named Help")
    for name in ("Close", "Minimise", "Maximise", "Restore"):
        check(find(app, pyatspi.ROLE_PUSH_BUTTON, name) is not None,
              "no push button named " + name)
    live = find(app, pyatspi.ROLE_CHECK_BOX, "Live check box")
    check(live is not None, "no check box named Live check box")
    check(find(app, pyatspi.ROLE_RADIO_BUTTON, "Live radio button") is not None,
          "no radio button named Live radio button")
    disabled = find(app, pyatspi.ROLE_PUSH_BUTTON, "Disabled")
    check(disabled is not None and
          not disabled.getState().contains(pyatspi.STATE_ENABLED),
          "the Disabled button is not reported disabled")
    if failures:
        print("\n".join(failures))
        return 1

    act(record, "press")
    act(help_button, "press")
    check(not live.getState().contains(pyatspi.STATE_CHECKED), "Live check box starts checked")
    act(live, "toggle")
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline and not live.getState().contains(pyatspi.STATE_CHECKED):
        time.sleep(0.1)
    check(live.getState().contains(pyatspi.STATE_CHECKED),
          "Live check box is not checked after its toggle action")
    if failures:
        print("\n".join(failures))
        return 1
    print("found and clicked: Record, Help, Live check box")
    return 0


if __name__ == "__main__":
    sys.exit(main())
