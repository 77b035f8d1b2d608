#!/usr/bin/env python3
"""Closing the main window ends the program, idle or in the middle of a download: the real
program in a real window (Qt under Xvfb, or the Windows build under Wine), closed through the
window system's close request (WM_DELETE_WINDOW, what a window manager's close box sends).

During a run the transfer must be closed (the server sees its connection end before the body
is through), no message box may appear, nothing is saved under the downloads' names, and the
exit code is 0. The next run continues the part kept and starts the installer (the demo
installer, padded). Stop in a stalled read shows the stop message and leaves the window idle.

Usage: close-test.py linux|windows PROGRAM INSTALLER SCREENSHOT_DIR [MESSAGE_BOX_READER]
"""
import ctypes
import ctypes.util
import hashlib
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from gui import Checks, visible, wait_for, xdotool  # noqa: E402
import wine  # noqa: E402

MAIN_TITLE = "^Orvelle, Orvelle\\+ Downloader$"
BOX_TITLE = "^Orvelle Downloader$"
DOWNLOAD_BUTTON = (442, 91)  # Stop takes its place during a run
BODY_SIZE = 32 * 1024 * 1024
PIECE = 16 * 1024
ETAG = '"orvelle-close-1"'
STOPPED = "Зупинено користувачем."


class SlowSite(http.server.ThreadingHTTPServer):
    """A manifest naming the installer with its SHA-256, and the installer: a whole answer
    arrives slowly, a range is answered at once, and while stall is set the answer sends its
    head and then nothing. Records how each slow body ended and which ranges were asked."""

    daemon_threads = True

    def __init__(self, installer):
        super().__init__(("127.0.0.1", 0), SlowHandler)
        self.installer = installer + b"\0" * max(0, BODY_SIZE - len(installer))
        self.url = "http://127.0.0.1:%d/files/setup.exe" % self.server_port
        self.stall = False
        self.manifests = 0
        self.stalled = 0
        self.sent = 0
        self.endings = []
        self.ranges = []


class SlowHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        site = self.server
        if self.path == "/update/ver.txt":
            site.manifests += 1
            self.answer(200, ("1.0=%s\r\nsha256=%s\r\n" % (
                site.url, hashlib.sha256(site.installer).hexdigest())).encode())
            return
        if self.path != "/files/setup.exe":
            self.send_error(404)
            return
        total = len(site.installer)
        if site.stall:
            self.answer(200, b"", length=total)
            site.stalled += 1
            self.rfile.read(1)  # returns once the client has closed the connection
            return
        asked = self.headers.get("Range")
        if asked:
            site.ranges.append((asked, self.headers.get("If-Range")))
            start = int(asked.split("=")[-1].rstrip("-"))
            self.answer(206, site.installer[start:], [
                ("ETag", ETAG), ("Content-Range", "bytes %d-%d/%d" % (start, total - 1, total))])
            return
        self.answer(200, b"", [("ETag", ETAG)], length=total)
        try:
            for start in range(0, total, PIECE):
                self.wfile.write(site.installer[start:start + PIECE])
                self.wfile.flush()
                site.sent += PIECE
                time.sleep(0.05)
            site.endings.append("complete")
        except OSError:
            site.endings.append("closed by the client")

    def answer(self, status, body, headers=(), length=None):
        """The head (Content-Length: the body's, unless the length of a body still to come is
        given) and the body."""
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()


class X11:
    """Sends a top-level window the close request a window manager sends."""

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        pass

    Event._fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    def __init__(self):
        self.lib = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_long, ctypes.c_void_p]
        self.lib.XFlush.argtypes = [ctypes.c_void_p]
        self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]

    def close_window(self, window):
        display = self.lib.XOpenDisplay(None)
        assert display, "no X display"
        event = X11.Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = self.lib.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = self.lib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        self.lib.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        self.lib.XFlush(display)
        self.lib.XCloseDisplay(display)


def start(target, program, env):
    command = [program]
    if target == "windows":
        command = [os.path.join(ROOT, "scripts", "wine-run"), program]
    process = subprocess.Popen(command, env=env)
    window = wait_for(lambda: visible(MAIN_TITLE), 90, "the main window")[0]
    time.sleep(1)
    return process, int(window)


def ended(process, seconds):
    try:
        return process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return None


def click_download(window):
    """The download button, or Stop in its place during a run."""
    xdotool("mousemove", "--window", str(window), str(DOWNLOAD_BUTTON[0]),
            str(DOWNLOAD_BUTTON[1]), "click", "1")


def shell(env, function, *arguments):
    """Runs one of the window tests' shared shell helpers (windows.sh)."""
    return subprocess.run(["bash", "-c", 'source "$0" && "$@"', os.path.join(HERE, "windows.sh"),
                           function] + list(arguments), capture_output=True, text=True, env=env)


def downloads(folder):
    """The files under the names the run gives whole, verified downloads."""
    if not os.path.isdir(folder):
        return []
    return [name for name in os.listdir(folder) if name.startswith("ORVL_Downloader")]


def read(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def main():
    target, program, installer = sys.argv[1:4]
    shots = os.path.join(sys.argv[4], target)
    if not os.environ.get("DISPLAY"):
        # Without -noreset the display resets when its last window goes, and a program
        # started at that moment cannot connect.
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-noreset -screen 0 1024x768x24",
                               sys.executable] + sys.argv)
    os.makedirs(shots, exist_ok=True)
    checks = Checks()
    x11 = X11()
    with open(installer, "rb") as f:
        site = SlowSite(f.read())
    threading.Thread(target=site.serve_forever, daemon=True).start()
    temp = tempfile.mkdtemp(prefix="orvelle-close-")
    record = os.path.join(temp, "installer-record.txt")
    # The run's folder: the user's cache (the test's own here); under Wine the user's temporary
    # folder, where other suites may have left downloads.
    folder, record_name = os.path.join(temp, "cache", "orvelle"), record
    if target == "windows":
        folder, record_name = wine.temp_folder(), wine.path("-w", record)
        for name in downloads(folder):
            os.remove(os.path.join(folder, name))
    env = dict(os.environ, ORVELLE_UPDATE_HOST="127.0.0.1:%d" % site.server_port, TMPDIR=temp,
               XDG_CACHE_HOME=os.path.join(temp, "cache"), ORVELLE_DEMO_RECORD=record_name,
               no_proxy="127.0.0.1,localhost", NO_PROXY="127.0.0.1,localhost")
    shell_env = dict(env, target=target, root=ROOT,
                     box_reader=sys.argv[5] if len(sys.argv) > 5 else "")

    process = None
    try:
        # Idle: the close box ends the program at once.
        process, window = start(target, program, env)
        x11.close_window(window)
        code = ended(process, 30)
        checks.check(code == 0, "closing the idle window ends the program with 0", "got %s" % code)

        # During a download.
        process, window = start(target, program, env)
        click_download(window)
        wait_for(lambda: site.sent >= 8 * PIECE, 60, "the installer's body to flow")
        subprocess.run(["import", "-window", str(window), os.path.join(shots, "close-running.png")],
                       capture_output=True)
        x11.close_window(window)
        boxes = []
        deadline = time.monotonic() + 30
        while process.poll() is None and time.monotonic() < deadline:
            boxes += visible(BOX_TITLE)
            time.sleep(0.1)
        code = ended(process, 1)
        checks.check(code == 0, "closing during the download ends the program with 0",
                     "got %s" % code)
        checks.check(not boxes, "no message box after the close")
        wait_for(lambda: site.endings, 30, "the transfer to end")
        checks.check(site.endings == ["closed by the client"], "the transfer was closed",
                     "%s after %d bytes" % (site.endings, site.sent))
        checks.check(not downloads(folder), "nothing saved under the downloads' names",
                     str(downloads(folder)))
        part = os.path.join(folder, "ORVL_Partial_" + hashlib.sha256(site.url.encode())
                            .hexdigest()[:32])
        kept = os.path.getsize(part) if os.path.exists(part) else 0

        # Started again, the run continues the part kept, saves the installer whole, starts it.
        process, window = start(target, program, env)
        click_download(window)
        code = ended(process, 120)
        checks.check(code == 0, "the next run hands the installer over and ends", "got %s" % code)
        checks.check(kept > 0 and site.ranges == [("bytes=%d-" % kept, ETAG)],
                     "it asked only for the bytes after those kept, under the file's tag",
                     "%d kept, asked %s" % (kept, site.ranges))
        checks.check(read(os.path.join(folder, "ORVL_Downloader.exe")) == site.installer,
                     "the installer saved is whole")
        started = wait_for(lambda: read(record), 60, "the installer to start")
        checks.check(started.rstrip().endswith(b"ORVL_Downloader.exe"),
                     "the installer saved was started", repr(started))
        for demo in wait_for(lambda: visible("^Orvelle demo: "), 30, "the installer's window"):
            x11.close_window(int(demo))

        # Stop in a read that gets nothing: the stop message, then the window is idle again;
        # the close box then ends the program in the same stalled read.
        site.stall = True
        process, window = start(target, program, env)
        click_download(window)
        wait_for(lambda: site.stalled, 60, "the installer's head")
        click_download(window)
        # Far within the transfer's own limits (60 s at the minimum rate, 120 s of silence):
        # only the Stop can have ended the wait.
        box = shell(shell_env, "wait_window", BOX_TITLE, "30").stdout.strip()
        text = shell(shell_env, "box_text", box).stdout if box else "no message box"
        checks.check(STOPPED in text, "Stop in a stalled read shows " + STOPPED, repr(text))
        shell(shell_env, "press", box, "Return")
        checks.check(shell(shell_env, "gone", BOX_TITLE, "10").returncode == 0, "OK closes it")
        manifests = site.manifests
        click_download(window)
        wait_for(lambda: site.stalled == 2 and site.manifests > manifests, 60,
                 "the button to start a new run after OK")
        x11.close_window(window)
        code = ended(process, 30)
        checks.check(code == 0, "closing in a stalled read ends the program with 0",
                     "got %s" % code)
    except AssertionError as failure:  # a wait that timed out: the report still tells it
        checks.check(False, "the steps ran to their end", str(failure))
    finally:
        if process and process.poll() is None:
            process.kill()
            process.wait()
        site.shutdown()
    return checks.end()


if __name__ == "__main__":
    sys.exit(main())
