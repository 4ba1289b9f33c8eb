#!/usr/bin/python3
"""End-to-end journeys through the real dirquill binary.

Each journey runs in a child process of its own with its own virtual display (Xvfb),
session bus, accessibility bus, runtime folder, home and data folder, and its own
program instance. The program is driven as a user and a screen reader would: read
through the accessibility bus, clicked and typed with xdotool.

    dirquill_e2e.py BUILD_DIR [JOURNEY...]
"""

import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import traceback

TITLE_MAIN = "澄枫文件助手V1.0"
TITLE_AGREEMENT = "澄枫文件助手V1.0软件最终用户授权使用许可协议"
COLUMN_NAMES = ["工作目录", "一级目录", "二级目录", "三级目录", "四级目录"]
HEADING_MY_COMPUTER = "----------我的电脑---------"
HEADING_WORK_DIRS = "----------自定义目录---------"
NO_DATABASE_TEXT = "连接数据库失败!\r\n错误信息:系统找不到指定的文件。"

WAIT = 20.0  # seconds; generous, as a loaded machine can be slow
JOURNEY_TIMEOUT = 180


class Failure(Exception):
    pass


class Skip(Exception):
    """A journey that cannot run here, for the reason given."""


def check(condition, message):
    if not condition:
        raise Failure(message)


# --------------------------------------------------------------------------------------
# The environment of one journey: display, buses, folders, the fake desktop opener.


class Environment:
    def __init__(self, screen="1280x800x24"):
        self.screen = screen
        self.base = tempfile.mkdtemp(prefix="dirquill-e2e-")
        self.pids = []  # (pid, is_group) of what we started, stopped in reverse order
        self.env = {}

    def path(self, *parts):
        return os.path.join(self.base, *parts)

    def start(self):
        for sub in ("runtime", "home", "data", "config", "cache", "bin", "work"):
            os.makedirs(self.path(sub), mode=0o700, exist_ok=True)
        os.chmod(self.path("runtime"), 0o700)
        self.open_log = self.path("opened.txt")
        opener = self.path("bin", "xdg-open")
        with open(opener, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "$DIRQUILL_E2E_OPEN_LOG"\n')
        os.chmod(opener, 0o755)

        env = {
            "PATH": self.path("bin") + ":/usr/local/bin:/usr/bin:/bin",
            "HOME": self.path("home"),
            "XDG_RUNTIME_DIR": self.path("runtime"),
            "XDG_DATA_HOME": self.path("data"),
            "XDG_CONFIG_HOME": self.path("config"),
            "XDG_CACHE_HOME": self.path("cache"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "0",
            "DIRQUILL_E2E_OPEN_LOG": self.open_log,
        }
        # A sanitizer build reports with the options the caller chose.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        self.env = env

        # The display. A display that another server is just giving up can refuse the
        # first connections, so the display is checked and, failing that, started anew.
        for attempt in range(3):
            if self.start_display(env):
                break
        else:
            raise Failure("no usable virtual display")

        # The session bus.
        out = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
            env=env, capture_output=True, text=True, timeout=WAIT, check=True).stdout.split()
        env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.pids.append((int(out[1]), False))

        # The accessibility bus.
        launcher = subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
            stdout=subprocess.DEVNULL, stderr=open(self.path("atspi.log"), "w"),
            start_new_session=True)
        self.pids.append((launcher.pid, True))
        poll(lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
             "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            env=env, capture_output=True).returncode == 0, "the accessibility bus")
        os.environ.update(env)

    def start_display(self, env):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.screen, "-noreset",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), env=env, stdout=subprocess.DEVNULL,
            stderr=open(self.path("xvfb.log"), "a"), start_new_session=True)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        env["DISPLAY"] = ":" + number.decode().strip()
        try:
            if number.strip():
                poll(lambda: subprocess.run(["xdotool", "getdisplaygeometry"], env=env,
                                            capture_output=True).returncode == 0,
                     "the display", timeout=5)
                self.pids.append((xvfb.pid, True))
                return True
        except Failure:
            pass
        os.killpg(xvfb.pid, signal.SIGTERM)
        xvfb.wait()
        return False

    def spawn(self, args, log):
        """Starts a program of the desktop in its own process group, stopped with the rest."""
        proc = subprocess.Popen(args, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=open(self.path(log), "a"), start_new_session=True)
        self.pids.append((proc.pid, True))
        return proc

    def start_window_manager(self):
        require("openbox")
        self.spawn(["openbox"], "openbox.log")
        from Xlib import display
        d = display.Display(self.env["DISPLAY"])
        check_atom = d.intern_atom("_NET_SUPPORTING_WM_CHECK")
        try:
            poll(lambda: d.screen().root.get_full_property(check_atom, 0), "the window manager")
        finally:
            d.close()

    def start_input_method(self):
        """fcitx5 on the session bus with pinyin in its profile; programs started after
        this use it."""
        require("fcitx5", "fcitx5-remote",
                "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforminputcontexts/"
                "libfcitx5platforminputcontextplugin.so")
        folder = self.path("config", "fcitx5")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "profile"), "w") as f:
            f.write("[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=pinyin\n\n"
                    "[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
                    "[Groups/0/Items/1]\nName=pinyin\nLayout=\n\n"
                    "[GroupOrder]\n0=Default\n")
        self.spawn(["fcitx5", "--disable=wayland,notificationitem,notifications"], "fcitx5.log")
        poll(lambda: self.input_method_state() is not None, "fcitx5 on the session bus")
        self.env.update({"QT_IM_MODULE": "fcitx", "XMODIFIERS": "@im=fcitx"})

    def input_method_state(self, *args):
        """What fcitx5-remote prints (0 no input context focused, 1 off, 2 on), or None."""
        out = subprocess.run(["fcitx5-remote", *args], env=self.env, capture_output=True,
                             text=True, timeout=WAIT)
        return out.stdout.strip() if out.returncode == 0 else None

    def start_wayland(self):
        """weston inside the virtual display, where xdotool reaches it; programs started
        after this are its clients and log the protocol they speak."""
        require("weston", "weston-debug",
                "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so")
        self.spawn(["weston", "--backend=x11-backend.so", "--socket=dirquill-wl", "--debug",
                    "--width=1366", "--height=768", "--idle-time=0"], "weston.log")
        poll(lambda: os.path.exists(self.path("runtime", "dirquill-wl")), "weston")
        self.env.update({"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": "dirquill-wl",
                         "WAYLAND_DEBUG": "client"})

    def stop(self):
        for pid, group in reversed(self.pids):
            try:
                if group:
                    os.killpg(pid, signal.SIGTERM)
                else:
                    os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        # What has not ended a few seconds after being asked to (weston can linger) is
        # killed.
        deadline = time.monotonic() + 5
        for pid, group in self.pids:
            if group:
                try:
                    while os.waitpid(pid, os.WNOHANG) == (0, 0):
                        if time.monotonic() > deadline:
                            os.killpg(pid, signal.SIGKILL)
                            os.waitpid(pid, 0)
                            break
                        time.sleep(0.05)
                except (ChildProcessError, ProcessLookupError):
                    pass
        shutil.rmtree(self.base, ignore_errors=True)


def require(*programs):
    """Skips the journey when a program of the desktop it needs is not installed."""
    for program in programs:
        if not (os.path.exists(program) if program.startswith("/") else shutil.which(program)):
            raise Skip("%s is not installed (tools/deps.sh e2e)" % program)


def poll(condition, what, timeout=WAIT, pump=None):
    """Calls condition() until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        if pump:
            pump()
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


# --------------------------------------------------------------------------------------
# The program and its accessible tree.


class App:
    def __init__(self, env, binary, cwd):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, GLib
        self.Atspi = Atspi
        self.GLib = GLib
        self.env = env
        self.cwd = cwd
        self.log = open(env.path("dirquill.log"), "a")
        self.proc = subprocess.Popen([binary], cwd=cwd, env=env.env, stdout=self.log,
                                     stderr=self.log)
        self.root = None
        self.shown = []
        self.shown_names = []  # every name shown, kept for the whole run
        self.listener = Atspi.EventListener.new(self._on_showing)
        self.listener.register("object:state-changed:showing")

    def _on_showing(self, event):
        try:
            if event.detail1 == 1 and event.source is not None:
                self.shown.append(event.source)
                self.shown_names.append(event.source.get_name())
        except Exception:
            pass

    def pump(self):
        context = self.GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def exited(self, timeout=WAIT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not exit")

    def stop(self):
        self.listener.deregister("object:state-changed:showing")
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()

    def application(self):
        def find():
            check(self.proc.poll() is None, "the program ended early")
            desktop = self.Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                child = desktop.get_child_at_index(i)
                try:
                    if child is not None and child.get_process_id() == self.proc.pid:
                        return child
                except Exception:
                    pass
            return None
        if self.root is None:
            self.root = poll(find, "the program on the accessibility bus", pump=self.pump)
        return self.root

    def windows(self):
        app = self.application()
        result = []
        for i in range(app.get_child_count()):
            child = app.get_child_at_index(i)
            if child is not None:
                result.append(child)
        return result

    def window(self, name, role=None):
        def find():
            for w in self.windows():
                try:
                    if w.get_name() == name and (role is None or w.get_role_name() == role) \
                            and w.get_state_set().contains(self.Atspi.StateType.SHOWING):
                        return w
                except Exception:
                    pass
            return None
        return poll(find, "window " + repr(name), pump=self.pump)

    def window_gone(self, name):
        def gone():
            for w in self.windows():
                try:
                    if w.get_name() == name and \
                            w.get_state_set().contains(self.Atspi.StateType.SHOWING):
                        return False
                except Exception:
                    pass
            return True
        poll(gone, "window " + repr(name) + " to close", pump=self.pump)

    def popup_menu(self, timeout=WAIT):
        """The popup menu shown since the last call to expect_popup()."""
        def find():
            for obj in self.shown:
                try:
                    if obj.get_role_name() in ("popup menu", "menu") and \
                            obj.get_child_count() > 0:
                        return obj
                except Exception:
                    pass
            return None
        return poll(find, "a popup menu", timeout=timeout, pump=self.pump)

    def expect_popup(self):
        self.pump()
        self.shown.clear()


def descendants(obj, depth=0):
    if obj is None or depth > 12:
        return
    yield obj
    try:
        count = obj.get_child_count()
    except Exception:
        return
    for i in range(count):
        yield from descendants(obj.get_child_at_index(i), depth + 1)


def find_desc(root, role, name=None):
    for obj in descendants(root):
        try:
            if obj.get_role_name() == role and (name is None or obj.get_name() == name):
                return obj
        except Exception:
            pass
    return None


def table(app, name):
    main = app.window(TITLE_MAIN)
    found = find_desc(main, "table", name)
    check(found is not None, "no table named " + name)
    return found


def rows(tbl):
    t = tbl
    result = []
    for r in range(t.get_n_rows()):
        cell = t.get_accessible_at(r, 0)
        result.append(cell.get_name() if cell is not None else None)
    return result


def header(tbl):
    return tbl.get_column_description(0)


def xdotool(env, *args):
    subprocess.run(["xdotool", *args], env=env.env, check=True, timeout=WAIT)


def centre(obj, Atspi):
    ext = obj.get_extents(Atspi.CoordType.SCREEN)
    check(ext.width > 0 and ext.height > 0, "object has no extents on screen")
    return ext.x + ext.width // 2, ext.y + ext.height // 2


def click(app, obj, button=1, double=False):
    x, y = centre(obj, app.Atspi)
    args = ["mousemove", "--sync", str(x), str(y), "click"]
    if double:
        args += ["--repeat", "2", "--delay", "80"]
    xdotool(app.env, *args, str(button))


def row_cell(app, column, text):
    def find():
        tbl = table(app, column)
        names = rows(tbl)
        if text in names:
            return tbl.get_accessible_at(names.index(text), 0)
        return None
    return poll(find, repr(text) + " in " + column, pump=app.pump)


def wait_rows(app, column, condition, what):
    return poll(lambda: (lambda r: r if condition(r) else None)(rows(table(app, column))),
                what + " in " + column, pump=app.pump)


def choose_menu_item(app, cell, item):
    app.expect_popup()
    click(app, cell, button=3)
    menu = app.popup_menu()
    entry = poll(lambda: find_desc(menu, "menu item", item), "menu item " + item,
                 pump=app.pump)
    click(app, entry)


def answer_prompt(app, title, text=None, confirm="click"):
    dialog = app.window(title)
    edit = poll(lambda: find_desc(dialog, "text"), "the prompt's edit", pump=app.pump)
    if text is not None:
        edit.set_text_contents(text)
        poll(lambda: edit.get_text(0, -1) == text, "the typed text",
             pump=app.pump)
    if confirm == "enter":
        xdotool(app.env, "key", "Return")
    else:
        click(app, find_desc(dialog, "push button", "OK"))
    app.window_gone(title)


def make_database(build, folder, *work_dirs):
    tool = os.path.join(build, "dirquill-db")
    db = os.path.join(folder, "config.mdb")
    subprocess.run([tool, "create", db], check=True, capture_output=True)
    if work_dirs:
        subprocess.run([tool, "add", db, *work_dirs], check=True, capture_output=True)
    return db


def stored(db):
    with sqlite3.connect("file:" + db + "?mode=ro", uri=True) as con:
        return [r[0] for r in con.execute("SELECT workspace FROM workspace")]


def accept_agreement(app):
    dialog = app.window(TITLE_AGREEMENT)
    click(app, find_desc(dialog, "push button", "同意使用"))
    return app.window(TITLE_MAIN)


# --------------------------------------------------------------------------------------
# Journeys. Each takes (env, build) and runs in a process of its own.


def journey_startup_without_database(env, build):
    app = App(env, os.path.join(build, "dirquill"), env.path("work"))
    try:
        box = app.window("dirquill", role="alert")
        labels = [o.get_name() for o in descendants(box) if o.get_role_name() == "label"]
        check(NO_DATABASE_TEXT in labels, "message text: %r" % labels)
        click(app, find_desc(box, "push button", "OK"))
        check(app.exited() == 0, "exit status is not 0")
        check(not os.path.exists(env.path("work", "config.mdb")), "a database was created")
    finally:
        app.stop()


def journey_decline_agreement(env, build):
    make_database(build, env.path("work"))
    app = App(env, os.path.join(build, "dirquill"), env.path("work"))
    try:
        dialog = app.window(TITLE_AGREEMENT)
        click(app, find_desc(dialog, "push button", "不同意，退出"))
        app.exited()
        app.pump()
        check(TITLE_MAIN not in app.shown_names, "the main window appeared")
    finally:
        app.stop()


def journey_main_window_tables(env, build):
    make_database(build, env.path("work"), "/srv/one", "工作 二")
    app = App(env, os.path.join(build, "dirquill"), env.path("work"))
    try:
        accept_agreement(app)
        for name in COLUMN_NAMES:
            tbl = table(app, name)
            check(header(tbl) == " " * 16 + name, "header of %s: %r" % (name, header(tbl)))
        col0 = rows(table(app, "工作目录"))
        check(col0[0] == HEADING_MY_COMPUTER, "first row %r" % col0[0])
        check(col0[1] == "/", "the first mount is not /: %r" % col0)
        sep = col0.index("")
        check(all(r.endswith("/") for r in col0[1:sep]), "mount rows %r" % col0[1:sep])
        check(col0[sep + 1:] == [HEADING_WORK_DIRS, "/srv/one", "工作 二"], "rows %r" % col0)
        for name in COLUMN_NAMES[1:]:
            check(rows(table(app, name)) == [], name + " is not empty")
    finally:
        app.stop()


def start_browser(env, build, *work_dirs):
    db = make_database(build, env.path("work"), *work_dirs)
    app = App(env, os.path.join(build, "dirquill"), env.path("work"))
    accept_agreement(app)
    return app, db


def journey_add_work_directory(env, build):
    tree = env.path("tree 树")
    os.makedirs(tree)
    app, db = start_browser(env, build)
    try:
        heading = row_cell(app, "工作目录", HEADING_WORK_DIRS)
        choose_menu_item(app, heading, "增加工作目录")
        answer_prompt(app, "工作目录", tree)
        wait_rows(app, "工作目录", lambda r: r and r[-1] == tree, "the new work directory")
        check(stored(db) == [tree], "stored: %r" % stored(db))
    finally:
        app.stop()


def make_tree(env):
    tree = env.path("tree")
    os.makedirs(os.path.join(tree, "l1", "l2", "l3", "l4"))
    with open(os.path.join(tree, "l1", "l2", "l3", "说明 note.txt"), "w") as f:
        f.write("note")
    return tree


def browse_to_level4(app, tree):
    click(app, row_cell(app, "工作目录", tree))
    click(app, row_cell(app, "一级目录", "l1"))
    click(app, row_cell(app, "二级目录", "l2"))
    click(app, row_cell(app, "三级目录", "l3"))
    return wait_rows(app, "四级目录", lambda r: len(r) == 2, "two entries")


def journey_browse_and_open(env, build):
    tree = make_tree(env)
    app, _ = start_browser(env, build, tree)
    try:
        level4 = browse_to_level4(app, tree)
        check(sorted(level4) == sorted(["l4", "说明 note.txt"]), "level 4: %r" % level4)
        check(rows(table(app, "一级目录")) == ["l1"], "level 1")
        check(rows(table(app, "二级目录")) == ["l2"], "level 2")
        check(rows(table(app, "三级目录")) == ["l3"], "level 3")
        click(app, row_cell(app, "四级目录", "说明 note.txt"), double=True)
        opened = poll(lambda: os.path.exists(env.open_log) and open(env.open_log).read(),
                      "the desktop opener to be called", pump=app.pump)
        from urllib.parse import unquote_to_bytes, urlsplit
        url = opened.splitlines()[0]
        check(url.startswith("file://"), "opened %r" % url)
        path = unquote_to_bytes(urlsplit(url).path)
        expected = os.path.join(tree, "l1", "l2", "l3", "说明 note.txt").encode()
        check(path == expected, "opened %r, expected %r" % (path, expected))
    finally:
        app.stop()


def journey_gbk_names_that_pass_as_utf8(env, build):
    # GBK names whose bytes are valid UTF-8 too: read as UTF-8 they would be a Hebrew
    # point and an Armenian letter (职员), a Greek sign and a Hebrew point (图纸).
    tree = env.path("gbk")
    os.makedirs(tree)
    # Beside them a program passing for a picture: with its right-to-left override
    # obeyed, "invoice" U+202E "gpj.exe" would read "invoiceexe.jpg".
    raw = {b"\xd6\xb0\xd4\xb1": "职员", b"\xcd\xbc\xd6\xbd": "图纸",
           b"\xc3\xa9\xcc\xa8.txt": "茅台.txt",
           "invoice\u202egpj.exe".encode(): "invoice<U+202E>gpj.exe"}
    for name in raw:
        path = os.path.join(os.fsencode(tree), name)
        if b"." in name:
            open(path, "w").close()
        else:
            os.mkdir(path)
    app, _ = start_browser(env, build, tree)
    try:
        click(app, row_cell(app, "工作目录", tree))
        level1 = wait_rows(app, "一级目录", lambda r: len(r) == 4, "four entries")
        # In the order of their Chinese text; the override is read out as its stand-in.
        check(level1 == ["invoice<U+202E>gpj.exe", "图纸", "职员", "茅台.txt"],
              "level 1: %r" % level1)
        check(not any("\u202e" in r for r in level1), "an override is read out: %r" % level1)
        # Commands still act on the raw bytes: the file opens by its own name.
        click(app, row_cell(app, "一级目录", "茅台.txt"), double=True)
        opened = poll(lambda: os.path.exists(env.open_log) and open(env.open_log).read(),
                      "the desktop opener to be called", pump=app.pump)
        from urllib.parse import unquote_to_bytes, urlsplit
        path = unquote_to_bytes(urlsplit(opened.splitlines()[0]).path)
        expected = os.path.join(os.fsencode(tree), b"\xc3\xa9\xcc\xa8.txt")
        check(path == expected, "opened %r, expected %r" % (path, expected))
    finally:
        app.stop()


def journey_new_folder_rename_delete(env, build):
    tree = env.path("tree")
    os.makedirs(tree)
    with open(os.path.join(tree, "a.txt"), "w") as f:
        f.write("a")
    app, _ = start_browser(env, build, tree)
    try:
        click(app, row_cell(app, "工作目录", tree))
        cell = row_cell(app, "一级目录", "a.txt")

        # New folder: the prompt, confirmed with Enter.
        choose_menu_item(app, cell, "新建文件夹")
        answer_prompt(app, "修改文件或文件夹名", "新的 文件夹", confirm="enter")
        poll(lambda: os.path.isdir(os.path.join(tree, "新的 文件夹")), "the new folder")
        wait_rows(app, "一级目录", lambda r: "新的 文件夹" in r, "the new folder's row")

        # Rename: the prompt comes filled with the old name.
        cell = row_cell(app, "一级目录", "a.txt")
        choose_menu_item(app, cell, "重命名")
        dialog = app.window("修改文件或文件夹名")
        edit = find_desc(dialog, "text")
        check(edit.get_text(0, -1) == "a.txt", "prompt not prefilled")
        answer_prompt(app, "修改文件或文件夹名", "b 改名.txt")
        poll(lambda: os.path.exists(os.path.join(tree, "b 改名.txt")), "the renamed file")
        check(not os.path.exists(os.path.join(tree, "a.txt")), "the old name remains")
        wait_rows(app, "一级目录", lambda r: "b 改名.txt" in r and "a.txt" not in r,
                  "the renamed row")

        # Delete: into the trash of the data folder, with its information file.
        cell = row_cell(app, "一级目录", "b 改名.txt")
        choose_menu_item(app, cell, "删除")
        trashed = env.path("data", "Trash", "files", "b 改名.txt")
        info = env.path("data", "Trash", "info", "b 改名.txt.trashinfo")
        poll(lambda: os.path.exists(trashed) and os.path.exists(info), "the trashed file")
        check(not os.path.exists(os.path.join(tree, "b 改名.txt")), "the file remains")
        with open(trashed) as f:
            check(f.read() == "a", "trashed content")
        with open(info) as f:
            text = f.read()
        check("[Trash Info]" in text and "DeletionDate=" in text, "trashinfo %r" % text)
        wait_rows(app, "一级目录", lambda r: "b 改名.txt" not in r, "the row to go")
    finally:
        app.stop()


def journey_delete_work_directory(env, build):
    keep = env.path("keep")
    drop = env.path("drop")
    os.makedirs(keep)
    os.makedirs(drop)
    app, db = start_browser(env, build, keep, drop)
    try:
        choose_menu_item(app, row_cell(app, "工作目录", drop), "删除工作目录")
        wait_rows(app, "工作目录", lambda r: drop not in r and r[-1] == keep,
                  "the work directory to go")
        poll(lambda: stored(db) == [keep], "the database to drop it")
        check(os.path.isdir(drop), "the folder itself was touched")
    finally:
        app.stop()


class SlowMount:
    """A FUSE mount of the tests' slowfs: "stuck*" folders never open, and its statfs
    never answers when asked for, as with a network server that went away."""

    def __init__(self, env, build, *options):
        self.backing = env.path("backing")
        self.path = env.path("mnt")
        os.makedirs(self.backing)
        os.makedirs(self.path)
        self.daemon = subprocess.Popen(
            [os.path.join(build, "tests", "slowfs"), self.backing, self.path, *options],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: (" %s " % self.path) in open("/proc/self/mountinfo").read(),
             "the FUSE mount")

    def stop(self):
        self.daemon.kill()
        self.daemon.wait()
        subprocess.run(["umount", "-l", self.path], stderr=subprocess.DEVNULL)


def wait_line(app):
    """The text of the line the main window shows while it waits, or None."""
    main = app.window(TITLE_MAIN)
    for obj in descendants(main):
        try:
            name = obj.get_name()
            if obj.get_role_name() == "label" and name.startswith(("正在读取", "正在处理")) \
                    and obj.get_state_set().contains(app.Atspi.StateType.SHOWING):
                return name
        except Exception:
            pass
    return None


def close_window(env, pid, keep=None):
    """Asks the program's windows to close, as a window manager's close box does; with
    `keep`, all but the window of that title."""
    from Xlib import X, display, protocol
    d = display.Display(env.env["DISPLAY"])
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                         env=env.env, capture_output=True, text=True).stdout.split()
    if keep is not None:
        ids = [i for i in ids if subprocess.run(
            ["xdotool", "getwindowname", i], env=env.env, capture_output=True,
            text=True).stdout.strip() != keep]
        check(ids, "no window of the program besides " + repr(keep))
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    for wid in ids:
        window = d.create_resource_object("window", int(wid))
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
    # A round trip before hanging up: a client that closes right after writing can lose
    # its last requests, as the server may see the hang-up first on a busy machine.
    d.sync()
    d.close()


def journey_mount_that_never_answers(env, build):
    mount = SlowMount(env, build, "--statfs=never", "-o", "fsname=me@host:/data,subtype=sshfs")
    try:
        os.makedirs(os.path.join(mount.backing, "stuck"))
        os.makedirs(os.path.join(mount.backing, "normal"))
        open(os.path.join(mount.backing, "normal", "file.txt"), "w").close()
        # Starting never asks the mount anything: the window comes, and lists the mount.
        app, _ = start_browser(env, build, mount.path)
        try:
            col0 = rows(table(app, "工作目录"))
            check(mount.path + "/" in col0, "the mount is not a drive row: %r" % col0)
            click(app, row_cell(app, "工作目录", mount.path))
            wait_rows(app, "一级目录", lambda r: sorted(r) == ["normal", "stuck"], "the mount")

            # A folder that never opens: the window says so, and Escape gives it up.
            click(app, row_cell(app, "一级目录", "stuck"))
            line = poll(lambda: wait_line(app), "the waiting line", pump=app.pump)
            check(line == "正在读取… 已读 0 项（按 Esc 取消）", "line %r" % line)
            xdotool(app.env, "key", "Escape")
            poll(lambda: wait_line(app) is None, "the line to go", pump=app.pump)
            check(rows(table(app, "二级目录")) == [], "the stuck folder listed something")
            app.window(TITLE_MAIN)
            click(app, row_cell(app, "一级目录", "normal"))
            wait_rows(app, "二级目录", lambda r: r == ["file.txt"], "the folder that answers")

            # The close box during a wait ends the program, and its parent sees it end.
            click(app, row_cell(app, "一级目录", "stuck"))
            poll(lambda: wait_line(app), "the waiting line", pump=app.pump)
            closed = time.monotonic()
            close_window(env, app.proc.pid)
            check(app.exited() == 0, "exit status is not 0")
            print("  close box to exit: %.2f s" % (time.monotonic() - closed), file=sys.stderr)
        finally:
            app.stop()
    finally:
        mount.stop()


def tip_shown(app):
    """Whether a tip window of the program is showing."""
    app.pump()
    for obj in app.shown + app.windows():
        try:
            if obj.get_role_name() == "tool tip" and \
                    obj.get_state_set().contains(app.Atspi.StateType.SHOWING):
                return True
        except Exception:
            pass
    return False


def journey_tip_and_held_escape_during_a_wait(env, build):
    mount = SlowMount(env, build)
    try:
        os.makedirs(os.path.join(mount.backing, "stuck"))
        os.makedirs(os.path.join(mount.backing, "normal"))
        os.makedirs(os.path.join(mount.backing, "other"))
        app, _ = start_browser(env, build, mount.path)
        try:
            click(app, row_cell(app, "工作目录", mount.path))
            wait_rows(app, "一级目录", lambda r: sorted(r) == ["normal", "other", "stuck"],
                      "the mount")
            click(app, row_cell(app, "一级目录", "stuck"))
            poll(lambda: wait_line(app), "the waiting line", pump=app.pump)

            def still_waiting(what):
                time.sleep(1.0)
                check(app.proc.poll() is None, "the program ended when " + what)
                check(wait_line(app), "the wait ended when " + what)

            # Tips still show during the wait; one that hides, or that the window manager
            # closes, is not the main window closing.
            for name in ("normal", "other"):
                x, y = centre(row_cell(app, "一级目录", name), app.Atspi)
                app.expect_popup()
                xdotool(app.env, "mousemove", "--sync", str(x), str(y))
                poll(lambda: tip_shown(app), "the tip of " + name, pump=app.pump)
                if name == "normal":
                    close_window(env, app.proc.pid, keep=TITLE_MAIN)
                    still_waiting("another window was closed")
                else:
                    xdotool(app.env, "mousemove", "--sync", "5", "5")
                    still_waiting("the tip went away")

            # Escape held down gives the wait up, and nothing more.
            xdotool(app.env, "keydown", "Escape")
            time.sleep(3.5)
            xdotool(app.env, "keyup", "Escape")
            poll(lambda: wait_line(app) is None, "the line to go", pump=app.pump)
            time.sleep(0.5)
            check(app.proc.poll() is None, "the held Escape ended the program")
            app.window(TITLE_MAIN)

            # The next press of its own closes the window, as Escape always does.
            xdotool(app.env, "key", "Escape")
            check(app.exited() == 0, "exit status is not 0")
        finally:
            app.stop()
    finally:
        mount.stop()


# --------------------------------------------------------------------------------------
# The desktop's own parts: an input method, a window manager, a Wayland compositor.


def selected(tbl):
    names = rows(tbl)
    return [names[r] for r in range(len(names)) if tbl.is_row_selected(r)]


def journey_chinese_through_the_input_method(env, build):
    env.start_input_method()
    tree = env.path("names")
    for name in ("合同", "图纸", "职员"):
        os.makedirs(os.path.join(tree, name))
    app, _ = start_browser(env, build, tree)
    try:
        click(app, row_cell(app, "工作目录", tree))
        click(app, row_cell(app, "一级目录", "合同"))
        # The focused column takes the input method: pinyin goes on for it, and typed
        # pinyin with Space commits 图纸, which the type-ahead finds.
        poll(lambda: env.input_method_state() in ("1", "2"), "the column's input context")
        env.input_method_state("-o")
        poll(lambda: env.input_method_state() == "2", "pinyin to be on")
        xdotool(env, "type", "--delay", "80", "tuzhi")
        xdotool(env, "key", "space")
        level1 = table(app, "一级目录")
        poll(lambda: selected(level1) == ["图纸"], "图纸 to be selected", pump=app.pump)

        # Ctrl+Space, the input method's switch, presses no button of a prompt.
        choose_menu_item(app, row_cell(app, "一级目录", "图纸"), "新建文件夹")
        app.window("修改文件或文件夹名")
        xdotool(env, "key", "ctrl+space")
        time.sleep(1.0)
        app.window("修改文件或文件夹名")
        check(not os.path.exists(os.path.join(tree, "新建文件夹")), "Ctrl+Space made a folder")
        xdotool(env, "key", "Escape")
        app.window_gone("修改文件或文件夹名")
    finally:
        app.stop()


def x_frame(env, title):
    """The frame of the visible window of this title (client and the window manager's
    borders) and the work area of the screen, as (x, y, width, height)."""
    from Xlib import display
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                         env=env.env, capture_output=True, text=True).stdout.split()
    if not ids:
        return None
    d = display.Display(env.env["DISPLAY"])
    try:
        root = d.screen().root
        window = d.create_resource_object("window", int(ids[0]))
        extents = window.get_full_property(d.intern_atom("_NET_FRAME_EXTENTS"), 0)
        if extents is None:
            return None
        left, right, top, bottom = extents.value
        at = window.translate_coords(root, 0, 0)
        size = window.get_geometry()
        area = root.get_full_property(d.intern_atom("_NET_WORKAREA"), 0).value[:4]
        return ((-at.x - left, -at.y - top, size.width + left + right,
                 size.height + top + bottom), tuple(area))
    finally:
        d.close()


def inside(rect, area):
    return rect[0] >= area[0] and rect[1] >= area[1] and \
        rect[0] + rect[2] <= area[0] + area[2] and rect[1] + rect[3] <= area[1] + area[3]


def journey_main_window_fits_under_a_window_manager(env, build):
    env.start_window_manager()
    app, _ = start_browser(env, build)
    try:
        last = []

        def fits():
            last[:] = [x_frame(env, TITLE_MAIN)]
            return last[0] is not None and inside(*last[0])
        poll(fits, "the main window's frame to fit the work area", timeout=10, pump=app.pump)
        print("  frame %r in work area %r" % last[0], file=sys.stderr)
    finally:
        app.stop()


journey_main_window_fits_under_a_window_manager.screen = "1366x768x24"


def scene_views(env):
    """The compositor's views of top-level windows: title -> (x, y, width, height)."""
    out = subprocess.run(["weston-debug", "scene-graph"], env=env.env, capture_output=True,
                         text=True, timeout=WAIT).stdout
    views = {}
    title = None
    for line in out.splitlines():
        named = re.search(r"top-level window '(.*)' of ", line)
        if named:
            title = named.group(1)
            continue
        place = re.search(r"position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)", line)
        if place and title is not None:
            x0, y0, x1, y1 = map(int, place.groups())
            views[title] = (x0, y0, x1 - x0, y1 - y0)
            title = None
    return views


def wayland_click(app, obj, button=1):
    """Clicks obj of the main window where the compositor shows it."""
    Atspi = app.Atspi
    main = app.window(TITLE_MAIN)
    view = poll(lambda: scene_views(app.env).get(TITLE_MAIN), "the main window's view")
    client = main.get_extents(Atspi.CoordType.WINDOW)
    # Qt draws the frame on Wayland: equal borders, and the title bar above.
    side = (view[2] - client.width) // 2
    top = view[3] - client.height - side
    ext = obj.get_extents(Atspi.CoordType.WINDOW)
    local = (side + ext.x + ext.width // 2, top + ext.y + ext.height // 2)
    x, y = view[0] + local[0], view[1] + local[1]
    # The compositor's scene can show the window off from where its surface takes
    # input: where the pointer landed, the program itself is told. Aim again by the
    # difference.
    log = app.env.path("dirquill.log")
    before = len(pointer_places(log))
    xdotool(app.env, "mousemove", "--sync", str(x), str(y))
    try:
        poll(lambda: len(pointer_places(log)) > before, "the pointer", timeout=2)
    except Failure:
        pass  # it stood there already
    places = pointer_places(log)
    if places:
        x += local[0] - places[-1][0]
        y += local[1] - places[-1][1]
    xdotool(app.env, "mousemove", "--sync", str(x), str(y), "click", str(button))


def pointer_places(log):
    """Each place the pointer stood on the program's surface, as the protocol it logged
    tells: (x, y) in the surface."""
    with open(log, errors="replace") as f:
        places = re.findall(r"wl_pointer@\d+\.(?:enter\(\d+, wl_surface@\d+, |motion\(\d+, )"
                            r"(-?[\d.]+), (-?[\d.]+)\)", f.read())
    return [(round(float(px)), round(float(py))) for px, py in places]


def wayland_parents(log):
    """Each top-level window the program made, as (title, title of its parent or None),
    read from the protocol it logged."""
    made = {}  # object id -> record of the window that id stands for now
    records = []
    for line in open(log, errors="replace"):
        new = re.search(r"xdg_surface@\d+\.get_toplevel\(new id xdg_toplevel@(\d+)\)", line)
        if new:
            made[new.group(1)] = {"title": None, "parent": None}
            records.append(made[new.group(1)])
            continue
        title = re.search(r"xdg_toplevel@(\d+)\.set_title\(\"(.*)\"\)", line)
        if title and title.group(1) in made:
            made[title.group(1)]["title"] = title.group(2)
            continue
        parent = re.search(r"xdg_toplevel@(\d+)\.set_parent\(xdg_toplevel@(\d+)\)", line)
        if parent and parent.group(1) in made:
            made[parent.group(1)]["parent"] = made.get(parent.group(2))
    return [(r["title"], r["parent"]["title"] if r["parent"] else None) for r in records]


def open_menu(app, opener):
    """Opens a popup menu by calling opener(), again if no menu showed: input that comes
    while the compositor hands the keyboard back to a window can be lost."""
    for attempt in range(3):
        app.expect_popup()
        opener()
        try:
            app.popup_menu(timeout=5)
            time.sleep(0.3)
            return
        except Failure:
            if attempt == 2:
                raise


def wait_active(app, title):
    """Waits until the window of this title has the keyboard again, as the compositor
    gives it back a while after a dialog closes."""
    poll(lambda: app.window(title).get_state_set().contains(app.Atspi.StateType.ACTIVE),
         repr(title) + " to be active", pump=app.pump)


def journey_dialogs_belong_to_the_main_window_on_wayland(env, build):
    env.start_wayland()
    tree = env.path("tree")
    os.makedirs(tree)
    for name in ("a.txt", "taken.txt"):
        open(os.path.join(tree, name), "w").close()
    make_database(build, env.path("work"), tree)
    # Keys reach the compositor's window under the pointer, and there the window it
    # activated.
    xdotool(env, "mousemove", "683", "5")
    app = App(env, os.path.join(build, "dirquill"), env.path("work"))
    try:
        wait_active(app, TITLE_AGREEMENT)
        xdotool(env, "key", "Return")
        wait_active(app, TITLE_MAIN)
        # The whole window, the frame Qt draws included, fits the output.
        view = poll(lambda: scene_views(env).get(TITLE_MAIN), "the main window's view")
        check(view[2] <= 1366 and view[3] <= 768, "the main window's frame %r" % (view,))

        # The work-directory prompt, from column 0's menu.
        open_menu(app, lambda: wayland_click(app, row_cell(app, "工作目录", HEADING_WORK_DIRS),
                                             button=3))
        xdotool(env, "key", "Down", "Return")
        wait_active(app, "工作目录")
        xdotool(env, "key", "Escape")
        app.window_gone("工作目录")
        wait_active(app, TITLE_MAIN)
        # The About box, from the window menu by its item's key.
        open_menu(app, lambda: xdotool(env, "key", "alt+space"))
        xdotool(env, "key", "a")
        wait_active(app, "澄枫文件助手V1.0 属性")
        xdotool(env, "key", "Escape")
        app.window_gone("澄枫文件助手V1.0 属性")
        wait_active(app, TITLE_MAIN)
        # A message box: the rename onto a taken name is refused.
        wayland_click(app, row_cell(app, "工作目录", tree))
        open_menu(app, lambda: wayland_click(app, row_cell(app, "一级目录", "a.txt"), button=3))
        xdotool(env, "key", "Down", "Down", "Down", "Return")
        wait_active(app, "修改文件或文件夹名")
        answer_prompt(app, "修改文件或文件夹名", "taken.txt", confirm="enter")
        wait_active(app, "dirquill")
        xdotool(env, "key", "Return")
        app.window_gone("dirquill")

        made = wayland_parents(env.path("dirquill.log"))
        for title in ("工作目录", "澄枫文件助手V1.0 属性", "修改文件或文件夹名", "dirquill"):
            check((title, TITLE_MAIN) in made, "%s is no child of the main window: %r"
                  % (title, made))
    finally:
        app.stop()



JOURNEYS = [
    journey_startup_without_database,
    journey_decline_agreement,
    journey_main_window_tables,
    journey_add_work_directory,
    journey_browse_and_open,
    journey_gbk_names_that_pass_as_utf8,
    journey_new_folder_rename_delete,
    journey_delete_work_directory,
    journey_mount_that_never_answers,
    journey_tip_and_held_escape_during_a_wait,
    journey_chinese_through_the_input_method,
    journey_main_window_fits_under_a_window_manager,
    journey_dialogs_belong_to_the_main_window_on_wayland,
]


SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")


def check_no_sanitizer_report(env):
    log = env.path("dirquill.log")
    if os.path.exists(log):
        with open(log, errors="replace") as f:
            text = f.read()
        for mark in SANITIZER_MARKS:
            check(mark not in text, "the program's log holds a sanitizer report (%s)" % mark)


SKIPPED = 3


def run_one(name, build):
    journey = {j.__name__: j for j in JOURNEYS}[name]
    env = Environment(getattr(journey, "screen", "1280x800x24"))
    try:
        env.start()
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        Atspi.init()
        Atspi.set_timeout(2000, 15000)
        journey(env, build)
        check_no_sanitizer_report(env)
        return 0
    except Skip as e:
        print("  SKIP: %s" % e, file=sys.stderr)
        return SKIPPED
    except Failure as e:
        print("  FAIL: %s" % e, file=sys.stderr)
        for log in ("dirquill.log", "atspi.log", "xvfb.log", "openbox.log", "fcitx5.log",
                    "weston.log"):
            if os.path.exists(env.path(log)):
                with open(env.path(log), errors="replace") as f:
                    tail = f.read()[-2000:]
                if tail.strip():
                    print("  --- %s:\n%s" % (log, tail), file=sys.stderr)
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    finally:
        env.stop()


def main(argv):
    if len(argv) >= 3 and argv[1] == "--one":
        return run_one(argv[2], os.path.abspath(argv[3]))
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(argv[1])
    wanted = argv[2:] or [j.__name__ for j in JOURNEYS]
    passed = skipped = failed = 0
    for name in wanted:
        start = time.monotonic()
        child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--one", name,
                                  build], start_new_session=True)
        try:
            rc = child.wait(timeout=JOURNEY_TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            print("  FAIL: timed out", file=sys.stderr)
            rc = 1
        status = {0: "PASS", SKIPPED: "SKIP"}.get(rc, "FAIL")
        passed += status == "PASS"
        skipped += status == "SKIP"
        failed += status == "FAIL"
        print("%s %s (%.1f s)" % (status, name, time.monotonic() - start), flush=True)
    print("%d passed, %d skipped, %d failed" % (passed, skipped, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
