#!/usr/bin/python3
"""What a screen reader finds of one program over AT-SPI.

  atspi-tree.py PROGRAM-NAME
      One line per object, depth first: depth, role, name, description and
      "invisible" when the object says it is not visible, separated by tabs.
  atspi-tree.py --listen PROGRAM-NAME
      Prints "ready" once listening, then one line per description change the
      program announces: role, name, new description.
  atspi-tree.py --press PROGRAM-NAME NAME
      Does the first action of the first object named NAME that has one, as a
      screen reader user does to reach a menu entry; exit status 1 if none.
"""
import signal
import sys

import pyatspi

MAX_CHILDREN = 300
MAX_DEPTH = 40


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ")


def walk(node, depth, out):
    try:
        visible = node.getState().contains(pyatspi.STATE_VISIBLE)
        out.append("\t".join([str(depth), node.getRoleName(), clean(node.name), clean(node.description),
                              "" if visible else "invisible"]))
        if depth >= MAX_DEPTH:
            return
        for i in range(min(node.childCount, MAX_CHILDREN)):
            child = node.getChildAtIndex(i)
            if child is not None:
                walk(child, depth + 1, out)
    except Exception as error:  # an object gone while it was read
        out.append("%d\terror\t%s\t\t" % (depth, clean(str(error))))


def tree(wanted):
    out = []
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and clean(app.name).lower() == wanted:
            walk(app, 0, out)
    print("\n".join(out))
    return 0 if out else 1


def find(node, name, depth=0):
    try:
        if clean(node.name) == name and node.queryAction().nActions > 0:
            return node
    except NotImplementedError:
        pass
    if depth >= MAX_DEPTH:
        return None
    for i in range(min(node.childCount, MAX_CHILDREN)):
        child = node.getChildAtIndex(i)
        found = find(child, name, depth + 1) if child is not None else None
        if found is not None:
            return found
    return None


def press(wanted, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and clean(app.name).lower() == wanted:
            found = find(app, name)
            if found is not None:
                found.queryAction().doAction(0)
                return 0
    return 1


def listen(wanted, seconds):
    def heard(event):
        try:
            if clean(event.host_application.name).lower() != wanted:
                return
            # The toolkit sends the object, not the text: read it as a reader does.
            source = event.source
            print("\t".join([source.getRoleName(), clean(source.name), clean(source.description)]), flush=True)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-description")
    from gi.repository import GLib
    GLib.timeout_add(200, lambda: print("ready", flush=True) and False)
    GLib.timeout_add(seconds * 1000, lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    return 0


def main():
    if sys.argv[1] == "--press":
        signal.alarm(8)
        return press(sys.argv[2].lower(), sys.argv[3])
    if sys.argv[1] == "--listen":
        # The test stops it once it has heard enough; this is the bound.
        signal.alarm(30)
        return listen(sys.argv[2].lower(), 25)
    # A program that stops answering must fail the test, not hold it; the
    # test reads again while its wait lasts.
    signal.alarm(4)
    return tree(sys.argv[1].lower())


sys.exit(main())
