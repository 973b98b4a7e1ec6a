#!/usr/bin/python3
"""Walks the window's accessibility tree as a screen reader sees it, page by page.

Run inside a private session bus (dbus-run-session), with the program to try as the argument.
The program runs on a private X display, from a folder of its own holding a small book, with
Qt's accessibility bridge on. Fails, naming them, on any control that takes the focus without
a name, on a table that does not say whose row a cell is, and on links the keyboard cannot
reach."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi


def wait_for(check, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = check()
        if found:
            return found
        time.sleep(0.1)
    return None


def start_display():
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read)
    return server, ":" + number.decode().strip()


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def walk(node, seen, depth=0):
    """Every object below node that shows on screen; the rows of a list or table only as far
    as the first few."""
    try:
        states = node.getState()
    except Exception:
        return
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    seen.append(node)
    role = node.getRole()
    limit = 3 if role in (pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE) else None
    for i, child in enumerate(node):
        if limit is not None and i >= limit:
            break
        if child is not None:
            walk(child, seen, depth + 1)


def describe(node):
    try:
        return "%s %r" % (node.getRoleName(), node.name)
    except Exception:
        return "?"


def name_of(node):
    """The name a screen reader says: the object's own, or its label's."""
    return node.name.strip() or label_of(node)


def label_of(node):
    """The text of the label an object is labelled by, as a screen reader says it first."""
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                if relation.getTarget(i).name.strip():
                    return relation.getTarget(i).name
    return ""


def path(node):
    """Where an object stands: its ancestors' roles and names, outermost first."""
    names = []
    node = node.parent
    while node is not None and node.getRole() != pyatspi.ROLE_APPLICATION:
        names.append(describe(node))
        node = node.parent
    return " / ".join(reversed(names)) or "the application"


def main(program):
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(program, os.path.join(folder, "MyBrindleViewer"))
        with open(os.path.join(folder, "clientlist.txt"), "wb") as names:
            names.write("Baker & Sons\r\nZürich Uhren Atelier\r\nAcme\r\n".encode())
        with open(os.path.join(folder, "clientIDlist.txt"), "wb") as ids:
            ids.write(b"204518\r\n778899\r\n42\r\n")
        with open(os.path.join(folder, "myviewer.ini"), "wb") as ini:
            ini.write(b"[port]\r\nviewer=5901\r\n")
        home = os.path.join(folder, "home")
        os.mkdir(home, 0o700)
        server, display = start_display()
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=home,
                   XDG_RUNTIME_DIR=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1", ASAN_OPTIONS="detect_leaks=0")
        env.pop("WAYLAND_DISPLAY", None)
        viewer = subprocess.Popen([os.path.join(folder, "MyBrindleViewer")], cwd=folder, env=env)
        try:
            app = wait_for(lambda: application(viewer.pid), 30)
            if app is None:
                print("the program never showed in the accessibility tree", file=sys.stderr)
                return 1
            tabs = wait_for(lambda: pyatspi.findDescendant(
                app, lambda n: n is not None and n.getRole() == pyatspi.ROLE_PAGE_TAB_LIST), 10)
            if tabs is None:
                print("no page tabs in the accessibility tree", file=sys.stderr)
                return 1
            # The tab bar's scroll buttons are no pages.
            pages = [tabs[i] for i in range(tabs.childCount)
                     if tabs[i].getRole() == pyatspi.ROLE_PAGE_TAB]
            links = 0
            for page in pages:
                action = page.queryAction()
                names = [action.getName(i) for i in range(action.nActions)]
                action.doAction(names.index("Press") if "Press" in names else 0)
                time.sleep(0.5)
                seen = []
                walk(app, seen)
                for node in seen:
                    states = node.getState()
                    role = node.getRole()
                    if states.contains(pyatspi.STATE_FOCUSABLE) and not name_of(node):
                        problems.append("%s: a %s without a name, in %s" %
                                        (page.name, node.getRoleName(), path(node)))
                    if role == pyatspi.ROLE_LINK and states.contains(pyatspi.STATE_FOCUSABLE):
                        links += 1
                    if role in (pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TABLE_CELL) and \
                            node.parent is not None and node.parent.name == "Client book" and \
                            ", ID " not in node.name:
                        problems.append("%s: a row that does not say its ID: %s" %
                                        (page.name, describe(node)))
                print("%s: %d objects on screen" % (page.name, len(seen)))
            quality = pyatspi.findDescendant(
                app, lambda n: n is not None and n.getRole() == pyatspi.ROLE_COMBO_BOX and
                label_of(n) == "Quality preset")
            if quality is None:
                problems.append("the quality box is not named \"Quality preset\"")
            if links < 4:
                problems.append("only %d links take the keyboard's focus, of 4" % links)
            table = pyatspi.findDescendant(app, lambda n: n is not None and n.name == "Client book")
            if table is None or table.childCount == 0 or ", ID 204518" not in table[0].name:
                problems.append("the client table does not announce name and ID: %s" %
                                (describe(table[0]) if table is not None and table.childCount
                                 else "no rows"))
        finally:
            viewer.send_signal(signal.SIGTERM)
            try:
                viewer.wait(10)
            except subprocess.TimeoutExpired:
                viewer.kill()
            server.terminate()
            server.wait()
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
