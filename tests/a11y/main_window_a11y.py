#!/usr/bin/python3
"""The program's main window as a screen reader sees it, through AT-SPI.

Starts the real program (copied with its skin file, service.ini and config.ini into a temporary
folder) over the sample service, then reads and drives the main window with pyatspi: the buttons,
the user number field and its label, and the album list as a table whose rows are replaced when
another user's albums are fetched; check boxes are ticked through their action and with the mouse.

Needs an X display and a session bus of its own, where the AT-SPI bus and registry start on
demand; the CTest case runs it as
    xvfb-run -a dbus-run-session -- python3 main_window_a11y.py --program P --skin S --service V
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

import pyatspi  # noqa: E402

HEADERS = ["序号", "相册名称", "类型", "数量", "进度", "备注"]
FIRST_USER = (20001, [("a1", "Spring", 3), ("a2", "Beach", 2), ("a3", "Snow", 2)])
SECOND_USER = (20002, [("b1", "Autumn", 4), ("b2", "Harbour", 1)])


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)
    print("ok:", message, flush=True)


def pump(seconds):
    """Runs this process's main context (AT-SPI events arrive through it) for `seconds`."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.02)


def wait_for(what, predicate, seconds=15):
    """The first true value of `predicate`, asked until `seconds` have passed."""
    end = time.monotonic() + seconds
    last_error = None
    while time.monotonic() < end:
        try:
            value = predicate()
            if value:
                return value
        except GLib.Error as error:  # an object went away while it was read
            last_error = error
        pump(0.05)
    raise Failure("timed out waiting for %s%s" % (what, ": %s" % last_error if last_error else ""))


def descendants(accessible):
    for child in accessible:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(root, role, name=None):
    for accessible in descendants(root):
        if accessible.getRole() == role and (name is None or accessible.name == name):
            return accessible
    return None


def has_state(accessible, state):
    return accessible.getState().contains(state)


def extents(accessible):
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def click_at(accessible):
    x, y, width, height = extents(accessible)
    subprocess.run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2), "click",
                    "1"], check=True)


def labelled_by(accessible):
    accessible.clear_cache()
    return [target for relation in accessible.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def serve_user(fixtures, user):
    uin, albums = user
    items = "".join("<album><id>%s</id><name>%s</name><total>%d</total></album>" % album
                    for album in albums)
    write(os.path.join(fixtures, "alist1", "%d.xml" % uin),
          '<?xml version="1.0" encoding="UTF-8"?><data>%s</data>' % items)


def start_service(binary, fixtures):
    for i in range(1, 5):
        os.makedirs(os.path.join(fixtures, "alist%d" % i), exist_ok=True)
    service = subprocess.Popen([binary, "--fixtures", fixtures, "--port", "0", "--exit-with-parent"],
                               stdout=subprocess.PIPE, text=True)
    ready, _, _ = select.select([service.stdout], [], [], 10)
    line = service.stdout.readline() if ready else ""
    if not line.startswith("listening on "):
        service.kill()
        raise Failure("the sample service did not start")
    return service, int(line.split()[-1])


def start_program(args, folder, port):
    program = os.path.join(folder, "program")
    home = os.path.join(folder, "home")
    os.makedirs(os.path.join(home, "photos"))
    os.makedirs(program)
    shutil.copy(args.program, os.path.join(program, "zupictrove"))
    shutil.copy(args.skin, os.path.join(program, "skin.dll"))
    hosts = "".join("album_list_host_%d=alist%d.photo.localhost:%d\n" % (i, i, port)
                    for i in range(1, 5))
    write(os.path.join(program, "service.ini"),
          "[service]\n%sphoto_list_domain=photo.localhost:%d\nuser_page_host=user.photo.localhost:%d\n"
          % (hosts, port, port))
    write(os.path.join(program, "config.ini"),
          "[info]\nphoto_dir=%s\n" % os.path.join(home, "photos"))
    env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"))
    env.pop("NO_AT_BRIDGE", None)  # GTK publishes the windows over AT-SPI unless this says 1
    return subprocess.Popen([os.path.join(program, "zupictrove")], env=env)


class Events:
    """The AT-SPI events of the kinds asked for, as they arrive."""

    def __init__(self, *kinds):
        self.seen = []
        self.listener = Atspi.EventListener.new(self.seen.append)
        for kind in kinds:
            self.listener.register(kind)

    def of(self, kind, role=None):
        found = []
        for event in self.seen:
            if not event.type.startswith(kind):
                continue
            try:
                if role is None or event.source.get_role() == role:
                    found.append(event)
            except GLib.Error:
                pass
        return found


def main_window():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "zupictrove":
            continue
        for frame in app:
            if frame is not None and frame.name == "DuRavuv" and find(frame, pyatspi.ROLE_TABLE):
                return frame
    return None


def run(args, folder):
    fixtures = os.path.join(folder, "fixtures")
    service, port = start_service(args.service, fixtures)
    serve_user(fixtures, FIRST_USER)
    serve_user(fixtures, SECOND_USER)
    program = start_program(args, folder, port)
    try:
        exercise(program)
    finally:
        program.kill()
        program.wait()
        service.terminate()
        service.wait()


def exercise(program):
    frame = wait_for("the main window", main_window, 30)
    canvas = find(frame, pyatspi.ROLE_DRAWING_AREA)
    check(canvas is not None and canvas.childCount == 1, "the drawing area holds the control tree")
    frame_x, frame_y, frame_width, frame_height = extents(frame)

    buttons = {}
    for name in ("获取相册", "下载相册", "更改位置"):
        button = find(canvas, pyatspi.ROLE_PUSH_BUTTON, name)
        check(button is not None, "push button %s" % name)
        action = button.queryAction()
        check(action.nActions == 1 and action.getName(0) == "click", "%s can be clicked" % name)
        for state in (pyatspi.STATE_ENABLED, pyatspi.STATE_SENSITIVE, pyatspi.STATE_VISIBLE,
                      pyatspi.STATE_SHOWING, pyatspi.STATE_FOCUSABLE):
            check(has_state(button, state), "%s is %s" % (name, pyatspi.stateToString(state)))
        buttons[name] = button
    x, y, width, height = extents(buttons["获取相册"])
    check((width, height) == (104, 32), "获取相册 is 104 by 32 pixels on the screen")
    check(frame_x <= x and x + width <= frame_x + frame_width and frame_y <= y and
          y + height <= frame_y + frame_height, "获取相册 lies inside its window")

    entry = wait_for("the user number field", lambda: next(
        (a for a in descendants(frame) if a.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)
         and a.name == "用户号码"), None))
    labels = labelled_by(entry)
    check(len(labels) == 1 and labels[0].getRole() == pyatspi.ROLE_LABEL and
          labels[0].name == "用户号码", "the field is labelled by the label 用户号码")
    check(any(relation.getRelationType() == pyatspi.RELATION_LABEL_FOR
              for relation in labels[0].getRelationSet()), "the label is the field's label")

    table = find(canvas, pyatspi.ROLE_TABLE)
    check(table.queryTable().nRows == 0, "the album list starts empty")
    events = Events("object:children-changed", "object:state-changed:checked",
                    "object:state-changed:focused", "focus:")

    def fetch(user):
        entry.queryEditableText().setTextContents(str(user[0]))
        check(entry.queryText().getText(0, -1) == str(user[0]), "typed %d" % user[0])
        buttons["获取相册"].queryAction().doAction(0)

        def listed():
            table.clear_cache()
            return table.queryTable().nRows == len(user[1])

        wait_for("%d rows" % len(user[1]), listed)
        rows = [child for child in table if child.getRole() == pyatspi.ROLE_TABLE_ROW]
        check(len(rows) == len(user[1]), "one table row per album of %d" % user[0])
        for row, (_, name, count) in zip(rows, user[1]):
            cells = [cell.name for cell in row]
            check(len(cells) == 6 and cells[1] == name and cells[3] == str(count),
                  "the row of %s shows its name and photo count" % name)
        return rows

    rows = fetch(FIRST_USER)
    contents = table.queryTable()
    check(contents.nColumns == 6, "the table has six columns")
    check([contents.getColumnHeader(i).name for i in range(6)] == HEADERS and
          [contents.getColumnDescription(i) for i in range(6)] == HEADERS,
          "the column headers are " + " ".join(HEADERS))
    check(all(contents.getColumnHeader(i).getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER
              for i in range(6)), "the headers are column headers")
    check(contents.getAccessibleAt(2, 1).name == "Snow", "the cell at row 3, column 2 is Snow")
    wait_for("children-changed events of the table",
             lambda: len(events.of("object:children-changed:add", pyatspi.ROLE_TABLE)) >= 3)

    ticks = [find(row, pyatspi.ROLE_CHECK_BOX) for row in rows]
    check(all(tick is not None and has_state(tick, pyatspi.STATE_CHECKABLE) and
              not has_state(tick, pyatspi.STATE_CHECKED) for tick in ticks),
          "each row has an unticked check box")
    check("Spring" in ticks[0].name, "the first row's check box is named after its row")

    def checked(tick, expected):
        tick.clear_cache()
        return has_state(tick, pyatspi.STATE_CHECKED) == expected

    ticks[0].queryAction().doAction(0)
    wait_for("the first tick through its action", lambda: checked(ticks[0], True))
    check(True, "the action ticks the first row")
    wait_for("a checked state change event",
             lambda: events.of("object:state-changed:checked", pyatspi.ROLE_CHECK_BOX))

    click_at(ticks[1])
    wait_for("the second tick by the mouse", lambda: checked(ticks[1], True))
    check(True, "a click ticks the second row")
    wait_for("the clicked check box focused",
             lambda: checked(ticks[1], True) and has_state(ticks[1], pyatspi.STATE_FOCUSED))
    check(True, "the clicked check box has the focus")
    wait_for("a focus event",
             lambda: [e for e in events.of("object:state-changed:focused", pyatspi.ROLE_CHECK_BOX)
                      if e.detail1 == 1])
    click_at(ticks[1])
    wait_for("the second row unticked by the mouse", lambda: checked(ticks[1], False))
    check(True, "a second click unticks it")
    check(checked(ticks[0], True) and checked(ticks[2], False), "the other rows kept their state")

    removed_before = len(events.of("object:children-changed:remove", pyatspi.ROLE_TABLE))
    fetch(SECOND_USER)
    wait_for("the old rows removed from the table",
             lambda: len(events.of("object:children-changed:remove", pyatspi.ROLE_TABLE)) >=
             removed_before + 3)
    check(True, "refilling the list reports the old rows removed")
    table.clear_cache()
    check(table.childCount == 6 + 2, "the table holds six headers and two rows")
    for old in rows:
        try:
            gone = has_state(old, pyatspi.STATE_DEFUNCT)
        except GLib.Error:
            gone = True
        check(gone, "an old row is defunct")
    check(len(labelled_by(entry)) == 1, "the field is still labelled once")
    check(program.poll() is None, "the program is still running")
    program.terminate()
    try:
        code = program.wait(10)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "the program ends cleanly on SIGTERM while its objects are published")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--skin", required=True)
    parser.add_argument("--service", required=True)
    args = parser.parse_args()
    started = time.monotonic()
    folder = tempfile.mkdtemp(prefix="a11y-")
    try:
        run(args, folder)
    except Exception:  # noqa: BLE001 - the report names it
        traceback.print_exc()
        print("FAILED after %.1f s" % (time.monotonic() - started))
        return 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("passed in %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
