"""The site list as a screen reader hears it, over AT-SPI.

Usage: atspi_list.py PID ITEM...  (the running program and the items its list holds)
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def application(pid):
    for _ in range(150):
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except GLib.GError:
                pass
        time.sleep(0.1)
    fail("the program never appeared on the accessibility bus")


def find(node, wanted):
    if wanted(node):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), wanted)
        if found is not None:
            return found
    return None


def main():
    pid = int(sys.argv[1])
    items = sys.argv[2:]
    app = application(pid)
    site_list = None
    for _ in range(100):
        site_list = find(app, lambda n: n.getRole() == pyatspi.ROLE_LIST)
        if site_list is not None and site_list.childCount == len(items):
            break
        time.sleep(0.1)
    if site_list is None:
        fail("no list in the window")
    if site_list.name != "Site(s)":
        fail("the list is named %r" % site_list.name)
    if site_list.childCount != len(items):
        fail("%d rows, expected %d" % (site_list.childCount, len(items)))
    rows = [site_list.getChildAtIndex(i) for i in range(site_list.childCount)]
    if [row.name for row in rows] != items:
        fail("rows read %r" % [row.name for row in rows])
    if any(row.getRole() != pyatspi.ROLE_LIST_ITEM for row in rows):
        fail("rows are not list items")

    groups = {}
    for group in ("Which Browser?", "Open Browser As"):
        frame = find(app, lambda n, g=group: n.getRole() == pyatspi.ROLE_PANEL and n.name == g)
        if frame is None:
            fail("no group named %r" % group)
        groups[group] = [frame.getChildAtIndex(i) for i in range(frame.childCount)]
        # "Open Browser As" holds the "Private window" check box too.
        roles = [pyatspi.ROLE_RADIO_BUTTON] * 3 + ([pyatspi.ROLE_CHECK_BOX] if group == "Open Browser As" else [])
        if [child.getRole() for child in groups[group]] != roles:
            fail("the options of %r are %r" % (group, [c.getRoleName() for c in groups[group]]))
    private = groups["Open Browser As"].pop()
    if private.name != "Private window" or private.getState().contains(pyatspi.STATE_CHECKED):
        fail("the check box reads %r, checked: %r" % (private.name, private.getState().contains(pyatspi.STATE_CHECKED)))
    # Each option is named by its caption; the group's title is the group's.
    names = [child.name for group in groups.values() for child in group]
    if names != ["Internet Explorer", "Chrome", "Firefox",
                 "Default (same state/size as when it was last opened)", "Minimized", "Maximized"]:
        fail("the options are named %r" % names)

    # The keyboard moves the selection; the reader hears the row it is on.
    heard = []

    def listener(event):
        if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_LIST_ITEM:
            heard.append(event.source.name)

    pyatspi.Registry.registerEventListener(listener, "object:state-changed:focused")
    site_list.queryComponent().grabFocus()
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid), "windowactivate", "--sync"],
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    site_list.queryComponent().grabFocus()
    time.sleep(0.3)
    subprocess.run(["xdotool", "key", "Down", "Down"], check=True)
    deadline = time.time() + 5
    context = GLib.MainContext.default()
    while time.time() < deadline and len(heard) < 2:
        context.iteration(False)
        time.sleep(0.02)
    pyatspi.Registry.deregisterEventListener(listener, "object:state-changed:focused")
    if heard[-1:] != [items[1]]:
        fail("the reader heard %r after two Downs" % heard)
    state = rows[1].getState()
    if not state.contains(pyatspi.STATE_SELECTED):
        fail("the second row is not selected")
    print("PASS: %d rows read, option groups, options and check box named, focus heard: %r" % (len(rows), heard))


main()
