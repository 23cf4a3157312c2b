#!/usr/bin/python3
"""Drops files on a window as a file manager does, through X11's drag and
drop protocol (XDND): the source owns the XdndSelection, tells the target
window it enters with a text/uri-list, moves over a point of it, drops, and
hands the list over when the target asks for the selection.

  xdnd_drop.py WINDOW X Y PATH...

WINDOW is the X window that takes drops (it has XdndAware), X Y a point of
it. Prints "accepted" or "refused" (the target's last answer to the move)
and exits 0 once the target has finished an accepted drop, 1 when it refused
it, 2 when it does not answer in time.
"""
import os
import select
import sys
import time
import urllib.parse

from Xlib import X, display, protocol

VERSION = 5


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    d = display.Display()
    root = d.screen().root
    target = d.create_resource_object("window", int(argv[1], 0))
    at = root.translate_coords(target, int(argv[2]), int(argv[3]))
    uris = "".join("file://%s\r\n" % urllib.parse.quote(os.path.abspath(p)) for p in argv[4:]).encode()

    atom = lambda name: d.intern_atom(name)
    uri_list, selection, copy = atom("text/uri-list"), atom("XdndSelection"), atom("XdndActionCopy")
    aware = target.get_full_property(atom("XdndAware"), X.AnyPropertyType)
    if not aware:
        print("the window takes no drops (no XdndAware)", file=sys.stderr)
        return 1
    version = min(VERSION, aware.value[0])

    source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, X.InputOnly, X.CopyFromParent)
    source.set_selection_owner(selection, X.CurrentTime)

    def send(name, *data):
        words = [source.id] + list(data)
        target.send_event(protocol.event.ClientMessage(window=target, client_type=atom(name),
                                                       data=(32, (words + [0] * 5)[:5])))
        d.flush()

    send("XdndEnter", version << 24, uri_list)
    send("XdndPosition", 0, (at.x << 16) | at.y, X.CurrentTime, copy)
    accepted = None
    dropped = False
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if not d.pending_events():
            select.select([d.fileno()], [], [], 0.1)
            continue
        e = d.next_event()
        if e.type == X.SelectionRequest:
            # The list, as the target asks for it; anything else is refused.
            prop = e.property or e.target
            if e.target == uri_list:
                e.requestor.change_property(prop, uri_list, 8, uris)
            else:
                prop = X.NONE
            e.requestor.send_event(protocol.event.SelectionNotify(time=e.time, requestor=e.requestor,
                                                                  selection=e.selection, target=e.target,
                                                                  property=prop))
            d.flush()
        elif e.type == X.ClientMessage and e.client_type == atom("XdndStatus") and not dropped:
            accepted = bool(e.data[1][1] & 1)
            if accepted:
                send("XdndDrop", 0, X.CurrentTime)
                dropped = True
            else:
                send("XdndLeave")
                print("refused")
                return 1
        elif e.type == X.ClientMessage and e.client_type == atom("XdndFinished"):
            ok = version < 5 or bool(e.data[1][1] & 1)
            print("accepted" if ok else "refused")
            return 0 if ok else 1
    print("no answer" if accepted is None else "accepted, not finished", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
