#!/usr/bin/python3
"""Prints what a screen reader finds of one program over AT-SPI.

One line per object, depth first: depth, role, name, description and
"invisible" when the object says it is, separated by tabs.
Usage: atspi-tree.py PROGRAM-NAME
"""
import signal
import sys

import pyatspi

# A program that stops answering must fail the test, not hold it.
signal.alarm(8)

MAX_CHILDREN = 300
MAX_DEPTH = 40


def walk(node, depth, out):
    try:
        states = node.getState()
        fields = [str(depth), node.getRoleName(), node.name or "", node.description or "",
                  "invisible" if not states.contains(pyatspi.STATE_VISIBLE) else ""]
        out.append("\t".join(f.replace("\t", " ").replace("\n", " ") for f in fields))
        if depth >= MAX_DEPTH:
            return
        for i in range(min(node.childCount, MAX_CHILDREN)):
            child = node.getChildAtIndex(i)
            if child is not None:
                walk(child, depth + 1, out)
    except Exception as error:  # an object gone while it was read
        out.append("%d\terror\t%s\t\t" % (depth, error))


def main():
    wanted = sys.argv[1].lower()
    out = []
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and (app.name or "").lower() == wanted:
            walk(app, 0, out)
    print("\n".join(out))
    return 0 if out else 1


sys.exit(main())
