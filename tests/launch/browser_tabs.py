"""A browser's windows and tabs as a screen reader hears them, over AT-SPI.

Usage: browser_tabs.py WORD  (the word in the browser's accessible name)
Prints "frame<TAB>NAME" for each window and "tab<TAB>NAME" for each of its
tabs, in the order of the tab strip; nothing when the browser is not on the bus.
"""
import os
import sys

import pyatspi

# An application that does not answer (the test that runs this, waiting for
# it) costs a few seconds, not D-Bus's 25 for every question.
pyatspi.setTimeout(3000, 15000)


def walk(node, depth):
    try:
        role, name = node.getRoleName(), node.name
    except Exception:  # a node that went away while being read
        return
    if role == "frame":
        print("frame\t" + name)
    elif role == "page tab":
        print("tab\t" + name)
        return
    # The tab strip lies a dozen levels down; page content is never needed.
    if depth < 16 and role not in ("document web", "document frame"):
        for i in range(node.childCount):
            try:
                walk(node.getChildAtIndex(i), depth + 1)
            except Exception:
                pass


for app in pyatspi.Registry.getDesktop(0):
    try:
        # The test that started this waits for it and cannot answer; its pid
        # comes from the bus, not from the application.
        if app is None or app.get_process_id() == os.getppid():
            continue
        if sys.argv[1] in (app.name or ""):
            walk(app, 0)
    except Exception:
        pass
