#!/usr/bin/python3
"""What a screen reader is told about the program's windows, read over
AT-SPI as a screen reader reads it: every control has a name, no two
controls of a window share one, the editor's fields are named after their
labels, and the countdown cells say what they count. Prints the tree it
read; exits 1 with the reason when a check fails.

Run with the program's windows open (the main window and the editor) and
DBUS_SESSION_BUS_ADDRESS naming the session bus the program registered on.
"""
import sys
import time

import pyatspi

CONTROLS = {"push button", "text", "entry", "password text", "check box", "tree", "tree table", "table",
            "list", "progress bar"}
EXPECTED = [
    ("Tidewell Episode Keeper", "tree", "Feeds"),
    ("Tidewell Episode Keeper", "progress bar", "Download progress"),
    ("Add / Remove Feeds", "tree", "Feeds"),
    ("Add / Remove Feeds", "push button", "Choose Folder"),
    ("Add / Remove Feeds", "text", "Feed Name"),
    ("Add / Remove Feeds", "text", "Download Minute (Don't Duplicate)"),
    ("Add / Remove Feeds", "text", "Filename"),
    ("Add / Remove Feeds", "text", "Folder"),
    ("Add / Remove Feeds", "text", "URL"),
]
failures = []


def role_of(node):
    role = node.getRoleName()
    return "text" if role == "entry" else role


def controls_of(window, depth, found):
    for child in window:
        if child is None:
            continue
        role = role_of(child)
        print("  " * depth + "%s | %s | %s" % (role, child.name, child.description))
        if role in CONTROLS:
            found.append((role, child))
        if role not in ("tree", "tree table", "table", "list"):
            controls_of(child, depth + 1, found)


def application():
    # The program registers a moment after its window shows.
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "tidewell-episode-keeper":
                return app
        time.sleep(0.2)
    sys.exit("the program is not on the accessibility bus")


seen = set()
for window in application():
    print("window | %s" % window.name)
    found = []
    controls_of(window, 1, found)
    names = [node.name for _, node in found]
    for role, node in found:
        if not node.name:
            failures.append("a %s of \"%s\" has no name" % (role, window.name))
        elif names.count(node.name) > 1:
            failures.append("two controls of \"%s\" are named \"%s\"" % (window.name, node.name))
        elif not node.description:
            failures.append("\"%s\" of \"%s\" has no description" % (node.name, window.name))
        seen.add((window.name, role, node.name))
    if window.name == "Tidewell Episode Keeper":
        tree = next(node for role, node in found if node.name == "Feeds")
        cell = tree.queryTable().getAccessibleAt(0, 1)
        if cell is None:
            failures.append("the feed list shows no countdown cell")
            continue
        print("  countdown cell | %s | %s" % (cell.name, cell.description))
        if "next download" not in cell.description:
            failures.append("the countdown cell \"%s\" does not say what it counts" % cell.name)

for expected in EXPECTED:
    if expected not in seen:
        failures.append("no %s named \"%s\" in \"%s\"" % (expected[1], expected[2], expected[0]))
if failures:
    sys.exit("; ".join(failures))
