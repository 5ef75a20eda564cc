#!/usr/bin/python3
"""Prints what a screen reader finds in the running program: one line per push button, text box or table of each
of its windows, as "window|role|name", read from the accessibility bus (AT-SPI). With --text, a text box's line
ends in "|" and the text it holds, and labels are listed too, by what they show.

Usage: atspi_names.py [--text] APPLICATION_NAME [MINIMUM_WINDOW_COUNT]
Waits up to 20 s for the application and for that many windows to appear on the bus.
"""
import sys
import time

import pyatspi

ROLES = {pyatspi.ROLE_PUSH_BUTTON: "button", pyatspi.ROLE_TEXT: "text", pyatspi.ROLE_ENTRY: "text",
         pyatspi.ROLE_TABLE: "table"}


TEXT = "--text" in sys.argv
ARGS = [a for a in sys.argv if a != "--text"]
if TEXT:
    ROLES[pyatspi.ROLE_LABEL] = "label"


def controls(node, found):
    try:
        role = node.getRole()
        if role in ROLES:
            name = node.name
            if TEXT and ROLES[role] == "text":
                name += "|" + node.queryText().getText(0, -1)
            found.append((ROLES[role], name))
            return
        for i in range(node.childCount):
            controls(node.getChildAtIndex(i), found)
    except Exception:  # a control that went away while it was read
        pass


def main():
    wanted = ARGS[1]
    windows = int(ARGS[2]) if len(ARGS) > 2 else 1
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
        apps = [a for a in apps if a is not None and a.name == wanted]
        if apps and apps[0].childCount >= windows:
            break
        time.sleep(0.2)
    else:
        sys.exit(f"{wanted} with {windows} window(s) is not on the accessibility bus")
    app = apps[0]
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        found = []
        controls(window, found)
        for role, name in found:
            print(f"{window.name}|{role}|{name}")


main()
