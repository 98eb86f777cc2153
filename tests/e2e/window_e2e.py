#!/usr/bin/python3
"""End-to-end test of the real verdigo window.

Starts the program under Xvfb (through xvfb-run) on Qt's xcb platform and
uses it as a person would: clicks on the buttons where the window's layout
puts them, types into the input box and the file dialogs, answers the boxes
with the keyboard. Pages come from an HTTP server on 127.0.0.1; `ping` and
`xdg-open` are fakes first on PATH. Only Python's own library is used; X is
reached through xdotool, xwininfo, xclip, ImageMagick's import and, for the
mouse pointer's picture and the close request, libX11/libXfixes via ctypes.

Run by ctest; by hand:
    python3 tests/e2e/window_e2e.py --program build/verdigo --out /tmp/e2e-out
"""

import argparse
import ctypes
import glob
import http.server
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SCREEN = "-screen 0 1024x768x24"
# Deadlines of the waits, all of which poll: generous, since a machine
# running other builds and tests beside this one may be slow to show a box.
WAIT_SECONDS = 90.0
CURSOR_WAIT_SECONDS = 15.0
PROGRAM = ""
OUT_DIR = ""

APP_TITLE = "Verdigo"
OPEN_TITLE = "Add File(s) - Use Ctrl & Shift to select multiple files"
SAVE_TITLE = "Save"
WINDOW_SIZE = (536, 528)

# The window's layout in pixels: left, top, width, height.
BUTTONS = {
    "Add URL": (8, 183, 256, 27),
    "Load List From Text File": (272, 183, 256, 27),
    "Clear List": (8, 217, 256, 27),
    "Load Sample/Example Files": (272, 217, 256, 27),
    "Start Extracting Links": (8, 251, 520, 27),
    "Save Results As Text File": (8, 460, 256, 27),
    "Save As Comma Delimited": (272, 460, 256, 27),
    "Copy Results To Clipboard": (8, 494, 256, 27),
    "Clear Results": (272, 494, 256, 27),
}
URL_LIST = (8, 8, 520, 169)
RESULTS_LIST = (8, 285, 520, 169)
# Points of the window's own surface: a margin, between the URL list and the
# buttons, and between two buttons of a row.
SURFACE_POINTS = [(3, 3), (4, 180), (268, 196)]

WHITE = (255, 255, 255)
SKIN_COLOUR = (10, 120, 200)
SKIN = b"QWidget#Form1 { background: rgb(10, 120, 200); }\n"
CURSOR_SIZE, CURSOR_HOTSPOT, CURSOR_ARGB = 32, (5, 9), 0xFFFF0000

FAKE_PING = """#!/bin/sh
echo "PING $*"
echo "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.1 ms"
"""
FAKE_XDG_OPEN = """#!/bin/sh
printf '%s\\n' "$*" >> "{record}"
"""


# ---------------------------------------------------------------- waiting

def wait_until(what, probe, timeout=WAIT_SECONDS, interval=0.05):
    """Polls probe() until it returns a true value; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def run(*command, check=True):
    result = subprocess.run([str(part) for part in command], capture_output=True,
                            timeout=WAIT_SECONDS)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, command))} failed with {result.returncode}: "
                             f"{result.stderr.decode(errors='replace')}")
    return result


def xdotool(*args, check=True):
    return run("xdotool", *args, check=check)


# ---------------------------------------------------------------- X through libX11

class XEventClient(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XEventClient), ("pad", ctypes.c_long * 24)]


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong))]


class Display:
    """The little of Xlib that no command-line tool offers."""

    CLIENT_MESSAGE = 33

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xfixes = ctypes.CDLL("libXfixes.so.3")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11.XInternAtom.restype = ctypes.c_ulong
        self.x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_long, ctypes.POINTER(XEvent)]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
        self.xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        self.handle = self.x11.XOpenDisplay(None)
        if not self.handle:
            raise AssertionError("cannot open the X display " + os.environ.get("DISPLAY", ""))

    def close(self):
        self.x11.XCloseDisplay(self.handle)

    def request_close(self, window):
        """What the close button of a window manager does: WM_DELETE_WINDOW."""
        event = XEvent()
        event.xclient.type = self.CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = self.x11.XInternAtom(self.handle, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = self.x11.XInternAtom(self.handle, b"WM_DELETE_WINDOW", 0)
        if not self.x11.XSendEvent(self.handle, window, 0, 0, ctypes.byref(event)):
            raise AssertionError("XSendEvent failed")
        self.x11.XFlush(self.handle)

    def pointer_image(self):
        """(width, height, hotspot, ARGB at the centre) of the pointer shown now."""
        image_pointer = self.xfixes.XFixesGetCursorImage(self.handle)
        image = image_pointer.contents
        centre = image.pixels[(image.height // 2) * image.width + image.width // 2] & 0xFFFFFFFF
        shown = (image.width, image.height, (image.xhot, image.yhot), centre)
        self.x11.XFree(image_pointer)
        return shown


# ---------------------------------------------------------------- files the test makes

def cursor_file(size, hotspot, argb):
    """A Windows cursor: the icon format with type 2 and the hotspot in its entry."""
    bitmap_header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = struct.pack("<I", argb) * (size * size)
    and_mask = bytes(((size + 31) // 32) * 4 * size)
    image = bitmap_header + colours + and_mask
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, hotspot[0], hotspot[1],
                        len(image), 6 + 16)
    return struct.pack("<HHH", 0, 2, 1) + entry + image


def write_file(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data.encode() if isinstance(data, str) else data)
    if mode is not None:
        os.chmod(path, mode)


def read_file(path):
    with open(path, "rb") as file:
        return file.read()


def read_ppm(data):
    """Width, height and RGB bytes of a binary PPM (P6, maximum 255)."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise AssertionError(f"unexpected screenshot header {fields!r}")
    return int(fields[1]), int(fields[2]), data[at + 1:]


# ---------------------------------------------------------------- the page server

class PageServer:
    """Serves the test's pages on 127.0.0.1; any other path is 404."""

    def __init__(self):
        self.pages = {}
        self.requests = []
        lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with lock:
                    server.requests.append(self.path)
                body = server.pages.get(self.path)
                self.send_response(404 if body is None else 200)
                body = b"<html><body>Not here</body></html>" if body is None else body
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# ---------------------------------------------------------------- the program

class Verdigo:
    """One run of the program, and the gestures of a person using it."""

    def __init__(self, test, program, root):
        self.test = test
        self.root = root
        self.temp = os.path.join(root, "temp")
        self.tmpdir = os.path.join(root, "tmpdir")
        self.xdg_open_record = os.path.join(root, "xdg-open.txt")
        self.display = Display()
        for folder in (self.temp, self.tmpdir, os.path.join(root, "home")):
            os.makedirs(folder)
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700)
        fake_bin = os.path.join(root, "bin")
        write_file(os.path.join(fake_bin, "ping"), FAKE_PING, 0o755)
        write_file(os.path.join(fake_bin, "xdg-open"),
                   FAKE_XDG_OPEN.format(record=self.xdg_open_record), 0o755)
        env = {
            "PATH": fake_bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(root, "home"),
            "TEMP": self.temp,
            "TMPDIR": self.tmpdir,
            "XDG_RUNTIME_DIR": runtime,
            "DISPLAY": os.environ["DISPLAY"],
            "QT_QPA_PLATFORM": "xcb",
            "LANG": "C.UTF-8",
            "no_proxy": "127.0.0.1",
            "NO_PROXY": "127.0.0.1",
        }
        for name in ("XAUTHORITY", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        self.log_path = os.path.join(root, "verdigo.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen([program], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            windows = wait_until("the main window", self.visible_windows)
            test.assertEqual(len(windows), 1, "a box was shown at start-up")
        except BaseException:
            self.stop()
            raise
        self.main = windows[0]

    # -- windows

    def visible_windows(self):
        """The program's shown windows that are not pop-ups (tool tips, completers)."""
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended with {self.process.returncode}:\n"
                                 + read_file(self.log_path).decode(errors="replace"))
        found = xdotool("search", "--onlyvisible", "--pid", self.process.pid, check=False)
        windows = [int(window) for window in found.stdout.split()]
        return [window for window in windows if self.is_box_or_main(window)]

    def is_box_or_main(self, window):
        """Still shown, and not a pop-up; a window that went away meanwhile is neither."""
        info = run("xwininfo", "-id", window, check=False).stdout.decode()
        return "Map State: IsViewable" in info and "Override Redirect State: no" in info

    def geometry(self, window):
        info = run("xwininfo", "-id", window).stdout.decode()
        values = {}
        for line in info.splitlines():
            name, _, value = line.strip().partition(":")
            values[name] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def title(self, window):
        return xdotool("getwindowname", window).stdout.decode().rstrip("\n")

    def focused_window(self):
        result = xdotool("getwindowfocus", check=False)
        return int(result.stdout) if result.returncode == 0 and result.stdout.strip() else None

    def next_box(self, title):
        """Waits for a new window (a box or dialog) to show and take the keyboard."""
        def shown_with_keyboard():
            focused = self.focused_window()
            shown = self.visible_windows()
            return focused if focused != self.main and focused in shown else None

        box = wait_until(f'a box titled "{title}" with the keyboard', shown_with_keyboard)
        self.test.assertEqual(self.title(box), title)
        self.test.assertEqual(sorted(self.visible_windows()), sorted([self.main, box]),
                              "more than one box at once")
        return box

    def wait_closed(self, box):
        wait_until("the box to close", lambda: box not in self.visible_windows())

    # -- gestures

    def click(self, x, y):
        xdotool("mousemove", "--window", self.main, x, y, "click", "1")

    def press(self, caption):
        left, top, width, height = BUTTONS[caption]
        self.click(left + width // 2, top + height // 2)

    def answer(self, box, key):
        xdotool("key", key)
        self.wait_closed(box)

    def type_answer(self, box, text):
        xdotool("type", "--delay", "5", text)
        self.answer(box, "Return")

    def add_url(self, address):
        self.press("Add URL")
        self.type_answer(self.next_box(APP_TITLE), address)

    def load_list(self, path):
        self.press("Load List From Text File")
        self.type_answer(self.next_box(OPEN_TITLE), path)

    def save(self, caption, path, overwrite=None):
        """Saves through caption's button; overwrite answers the question ('y' or 'n')."""
        self.press(caption)
        dialog = self.next_box(SAVE_TITLE)
        self.type_answer(dialog, path)
        if overwrite is not None:
            self.answer(self.next_box(APP_TITLE), overwrite)

    def screenshot(self, path):
        run("import", "-window", self.main, path)

    def pixel(self, x, y):
        shot = run("import", "-window", self.main, "-depth", "8", "ppm:-").stdout
        width, _, rgb = read_ppm(shot)
        at = (y * width + x) * 3
        return tuple(rgb[at:at + 3])

    def wait_for_pixels(self, points, colour):
        """Waits until the window, painted, shows colour at every point."""
        try:
            wait_until(f"{colour} at {points}",
                       lambda: all(self.pixel(*point) == colour for point in points))
        except AssertionError:
            pass  # the comparison below names the point
        for point in points:
            self.test.assertEqual(self.pixel(*point), colour, f"background at {point}")

    def pointer_at(self, x, y):
        xdotool("mousemove", "--window", self.main, x, y)

    def close(self):
        self.display.request_close(self.main)
        self.process.wait(timeout=WAIT_SECONDS)
        return self.process.returncode

    def private_folders(self):
        return glob.glob(os.path.join(self.temp, "verdigo-*"))

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()
        self.display.close()


# ---------------------------------------------------------------- the pages and what they give

def links_page(server):
    return (
        b'<html><head><title>Links</title>\n'
        b'<link rel="stylesheet" href="style.css">\n'
        b'</head><body>\n'
        b'<a href="page.htm">beside this page</a>\n'
        b'<A HREF="/about.html">from the root</A>\n'
        b'<a href="sub">a folder</a>\n'
        b"<a href='single.htm'>single quotes</a>\n"
        b'<a href = "spaced.htm">blanks around the equals sign</a>\n'
        b'<a href="' + server.url("/elsewhere").encode() + b'">absolute</a>\n'
        b'<a href="caf\xe9/\xc3\xa9t\xc3\xa9.html">bytes above 127</a>\n'
        b'<a href="report.htm?a=1,b=2">a comma</a>\n'
        b'<a href="">empty</a>\n'
        b'<!-- <a href="#top">in a comment</a> -->\n'
        b'<div data-href="x.htm/y"></div>\n'
        b'</body></html>\n')


def expected_rows(server):
    base = server.url("/dir").encode()
    return [
        server.url("/dir/links.html").encode(),
        base + b"/style.css/",
        base + b"/page.htm",
        base + b"/about.html",
        base + b"/sub/",
        server.url("/elsewhere/").encode(),
        base + b"/caf\xe9/\xc3\xa9t\xc3\xa9.html",
        base + b"/report.htm?a=1,b=2/",
        base + b"/",
        base + b"/#top/",
        base + b"/x.htmy/",
        server.url("/empty/").encode(),
    ]


def text_file(rows):
    return b"".join(row + b"\r\n" for row in rows)


def csv_file(rows):
    def field(row):
        return b'"' + row.replace(b'"', b'""') + b'"' if b"," in row or b'"' in row else row
    return b"".join(field(row) + b"," for row in rows) + b"\r\n"


def clipboard_text(rows):
    """The rows as the window shows them (code page 1252), as UTF-8 from the clipboard."""
    return "".join(row.decode("cp1252").rstrip(" ") + "\r\n" for row in rows).encode()


# ---------------------------------------------------------------- the tests

class WindowEndToEnd(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="verdigo-e2e-")
        self.server = PageServer()
        self.program = None

    def tearDown(self):
        if self.program is not None:
            self.program.stop()
        self.server.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def start(self, program):
        self.program = Verdigo(self, program, os.path.join(self.root, "run"))
        return self.program

    def assert_file_becomes(self, path, expected):
        """A save ends on the UI thread after its dialog has gone: wait for the bytes."""
        try:
            wait_until(f"{path} to hold the expected bytes",
                       lambda: os.path.exists(path) and read_file(path) == expected)
        except AssertionError:
            pass  # the comparison below shows the difference
        self.assertEqual(read_file(path) if os.path.exists(path) else None, expected)

    def assert_ends_cleanly(self, window):
        self.assertEqual(window.close(), 0)
        self.assertEqual(window.private_folders(), [])
        self.assertEqual(os.listdir(window.tmpdir), [])

    def test_a_person_extracts_saves_copies_and_removes_results(self):
        server = self.server
        server.pages["/dir/links.html"] = links_page(server)
        server.pages["/empty/"] = b""
        list_file = os.path.join(self.root, "files", "list.txt")
        write_file(list_file, server.url("/missing.htm") + "\n")
        text_path = os.path.join(self.root, "files", "results.txt")
        csv_path = os.path.join(self.root, "files", "results.csv")
        rows = expected_rows(server)

        window = self.start(PROGRAM)
        centred = ((1024 - WINDOW_SIZE[0]) // 2, (768 - WINDOW_SIZE[1]) // 2, *WINDOW_SIZE)
        try:
            wait_until("the window centred", lambda: window.geometry(window.main) == centred)
        except AssertionError:
            pass  # the comparisons below say how it stands
        x, y, width, height = window.geometry(window.main)
        self.assertEqual((width, height), WINDOW_SIZE)
        self.assertEqual((x, y), ((1024 - width) // 2, (768 - height) // 2))
        self.assertEqual(window.title(window.main), APP_TITLE)
        window.wait_for_pixels(SURFACE_POINTS, WHITE)

        window.add_url(server.url("/dir/links.html"))
        window.add_url(f"127.0.0.1:{server.port}/empty")
        window.load_list(list_file)

        window.press("Start Extracting Links")
        not_found = window.next_box(APP_TITLE)
        folders = window.private_folders()
        self.assertEqual(len(folders), 1, "one private folder inside TEMP during the run")
        self.assertEqual(stat.S_IMODE(os.stat(folders[0]).st_mode), 0o700)
        window.answer(not_found, "Return")
        window.answer(window.next_box(APP_TITLE), "Return")  # "Done."
        # The pages download at once, so the server sees them in any order;
        # the order that counts is the results', checked in the saved files.
        self.assertEqual(sorted(server.requests), ["/dir/links.html", "/empty/", "/missing.htm"])
        window.screenshot(os.path.join(OUT_DIR, "e2e-window.png"))

        window.save("Save Results As Text File", text_path)
        self.assert_file_becomes(text_path, text_file(rows))
        window.save("Save As Comma Delimited", csv_path)
        self.assert_file_becomes(csv_path, csv_file(rows))

        # The comma-delimited save onto the text file, refused: nothing changes.
        before = os.stat(text_path).st_mtime_ns
        window.save("Save As Comma Delimited", text_path, overwrite="n")

        # Delete on the third row: a click in the list, the first row, down twice.
        left, top, _, _ = RESULTS_LIST
        window.click(left + 120, top + 28)
        xdotool("key", "Home", "Down", "Down", "Delete")
        del rows[2]

        window.press("Copy Results To Clipboard")
        confirmation = window.next_box(APP_TITLE)
        copied = run("xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING").stdout
        self.assertEqual(copied, clipboard_text(rows))
        window.answer(confirmation, "Return")
        self.assertEqual(read_file(text_path), text_file(expected_rows(server)))
        self.assertEqual(os.stat(text_path).st_mtime_ns, before)

        window.save("Save Results As Text File", text_path, overwrite="y")
        self.assert_file_becomes(text_path, text_file(rows))

        window.press("Clear Results")
        window.save("Save Results As Text File", text_path, overwrite="y")
        self.assert_file_becomes(text_path, b"")

        self.assert_ends_cleanly(window)
        if os.path.exists(window.xdg_open_record):  # the home page, one start in a hundred
            self.assertRegex(read_file(window.xdg_open_record).decode(), r"^http://\S+\n$")

    def test_a_typed_missing_list_file_and_closing_while_a_box_is_open(self):
        window = self.start(PROGRAM)
        # The open dialog takes the name; the program's own "File not found" follows.
        window.load_list(os.path.join(self.root, "no-such-list.txt"))
        window.answer(window.next_box(APP_TITLE), "Return")
        window.press("Add URL")
        window.next_box(APP_TITLE)
        window.press("Clear List")  # the box keeps the window's input
        self.assert_ends_cleanly(window)

    def test_cursor_and_skin_beside_the_program(self):
        folder = os.path.join(self.root, "program")
        os.makedirs(folder)
        program = shutil.copy(PROGRAM, os.path.join(folder, "verdigo"))
        write_file(os.path.join(folder, "HAND-M.CUR"),
                   cursor_file(CURSOR_SIZE, CURSOR_HOTSPOT, CURSOR_ARGB))
        write_file(os.path.join(folder, "x", "o.cjs"), SKIN)

        window = self.start(program)
        window.screenshot(os.path.join(OUT_DIR, "e2e-skinned.png"))
        window.wait_for_pixels(SURFACE_POINTS, SKIN_COLOUR)

        custom = (CURSOR_SIZE, CURSOR_SIZE, CURSOR_HOTSPOT, CURSOR_ARGB)

        def expect_pointer(x, y, over_button):
            window.pointer_at(x, y)
            where = f"({x}, {y}) {'on' if over_button else 'off'} a button"
            try:
                wait_until(f"the pointer {where}",
                           lambda: (window.display.pointer_image() == custom) == over_button,
                           timeout=CURSOR_WAIT_SECONDS)
                return
            except AssertionError:
                pass
            self.fail(f"pointer at {where}: {window.display.pointer_image()}")

        # Each button's own pointer reaches exactly to its edges.
        for caption, (left, top, width, height) in BUTTONS.items():
            with self.subTest(button=caption):
                right, bottom = left + width - 1, top + height - 1
                middle_x, middle_y = left + width // 2, top + height // 2
                expect_pointer(left + 1, top + 1, True)
                expect_pointer(left - 2, middle_y, False)
                expect_pointer(right - 1, bottom - 1, True)
                expect_pointer(right + 2, middle_y, False)
                expect_pointer(middle_x, top + 1, True)
                expect_pointer(middle_x, top - 2, False)
                expect_pointer(middle_x, bottom - 1, True)
                expect_pointer(middle_x, bottom + 2, False)
        for left, top, width, height in (URL_LIST, RESULTS_LIST):
            expect_pointer(left + width // 2, top + height // 2, False)

        self.assert_ends_cleanly(window)


def main():
    global PROGRAM, OUT_DIR
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the verdigo binary")
    parser.add_argument("--out", default=".", help="where the screenshots are left")
    parser.add_argument("--under-xvfb", action="store_true", help=argparse.SUPPRESS)
    args, rest = parser.parse_known_args()
    if not args.under_xvfb:
        command = ["xvfb-run", "-a", "-s", SCREEN, sys.executable, os.path.abspath(__file__),
                   "--under-xvfb", *sys.argv[1:]]
        return subprocess.run(command).returncode
    PROGRAM = os.path.abspath(args.program)
    OUT_DIR = os.path.abspath(args.out)
    os.makedirs(OUT_DIR, exist_ok=True)
    result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
