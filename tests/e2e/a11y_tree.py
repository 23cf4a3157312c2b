#!/usr/bin/python3
"""The program as a screen reader sees it, through AT-SPI (pyatspi).

  a11y_tree.py tree [WINDOW]   every object of the program's windows (or of the
                               one named WINDOW), one a line:
                               depth|role|name|description|states|relations
  a11y_tree.py focus           the object that has the keyboard focus: role|name
  a11y_tree.py press WINDOW NAME   runs the "press" action of the object named
                               NAME in WINDOW, as a screen reader's command does
  a11y_tree.py menu READY      waits (up to 10 s) for an item of a menu of the
                               program to take the focus, as a screen reader
                               learns of a popup menu (which is no window of
                               the program's on the bus), and prints the menu
                               that holds it as tree does, submenus included;
                               writes the file READY once it listens

Exits 1 when the program is not (yet) on the accessibility bus.
"""
import sys

import pyatspi
from gi.repository import GLib

APP = "orvane"


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and (app.name or "").lower() == APP:
            return app
    return None


def windows(app, title=None):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and (title is None or w.name == title):
            yield w


def walk(obj, depth=0):
    yield depth, obj
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


STATES = {
    pyatspi.STATE_FOCUSABLE: "focusable",
    pyatspi.STATE_FOCUSED: "focused",
    pyatspi.STATE_CHECKED: "checked",
    pyatspi.STATE_ENABLED: "enabled",
    pyatspi.STATE_SHOWING: "showing",
    pyatspi.STATE_ACTIVE: "active",
}

RELATIONS = {
    pyatspi.RELATION_LABEL_FOR: "label-for",
    pyatspi.RELATION_LABELLED_BY: "labelled-by",
}


def line(depth, obj):
    states = obj.getState()
    shown = [name for state, name in STATES.items() if states.contains(state)]
    relations = []
    for relation in obj.getRelationSet():
        kind = RELATIONS.get(relation.getRelationType())
        if kind:
            for i in range(relation.getNTargets()):
                relations.append("%s:%s" % (kind, relation.getTarget(i).name))
    return "|".join([str(depth), obj.getRoleName(), obj.name or "", obj.description or "",
                     ",".join(shown), ",".join(relations)])


def main(argv):
    app = application()
    if app is None:
        return 1
    command = argv[1] if len(argv) > 1 else "tree"
    if command == "tree":
        for window in windows(app, argv[2] if len(argv) > 2 else None):
            for depth, obj in walk(window):
                print(line(depth, obj))
        return 0
    if command == "focus":
        for window in windows(app):
            for _, obj in walk(window):
                if obj.getState().contains(pyatspi.STATE_FOCUSED):
                    print("%s|%s" % (obj.getRoleName(), obj.name or ""))
                    return 0
        return 1
    if command == "press":
        for window in windows(app, argv[2]):
            for _, obj in walk(window):
                if obj.name == argv[3]:
                    action = obj.queryAction()
                    for i in range(action.nActions):
                        if action.getName(i).lower() == "press":
                            return 0 if action.doAction(i) else 1
        return 1
    if command == "menu":
        return focused_menu(argv[2])
    print(__doc__, file=sys.stderr)
    return 2


MENU_ITEMS = ("menu item", "check menu item", "radio menu item", "menu")


def focused_menu(ready):
    found = []

    def heard(event):
        item = event.source
        if found or not event.detail1 or item is None or item.getRoleName() not in MENU_ITEMS:
            return
        menu = item.parent
        if menu is None or (menu.getApplication().name or "").lower() != APP:
            return
        found.extend(line(depth, obj) for depth, obj in walk(menu))
        pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused")
    GLib.timeout_add_seconds(10, pyatspi.Registry.stop)
    open(ready, "w").close()
    pyatspi.Registry.start()
    print("\n".join(found))
    return 0 if found else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
