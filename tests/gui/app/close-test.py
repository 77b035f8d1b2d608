#!/usr/bin/env python3
"""Closing the main window ends the program, idle or in the middle of a download: the real
program in a real window (Qt under Xvfb, or the Windows build under Wine), closed through the
window system's close request (WM_DELETE_WINDOW, what a window manager's close box sends).

During a run the transfer must be closed (the server sees its connection end before the body
is through), no message box may appear, nothing is saved, and the exit code is 0.

Usage: close-test.py linux|windows PROGRAM SCREENSHOT_DIR
"""
import ctypes
import ctypes.util
import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from gui import Checks, visible, wait_for, xdotool  # noqa: E402
MAIN_TITLE = "^Orvelle, Orvelle\\+ Downloader$"
BOX_TITLE = "^Orvelle Downloader$"
DOWNLOAD_BUTTON = (442, 91)
BODY_SIZE = 64 * 1024 * 1024
PIECE = 16 * 1024


class SlowSite(http.server.ThreadingHTTPServer):
    """A manifest, and an installer whose body arrives slowly; records how each body ended."""

    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), SlowHandler)
        self.sent = 0
        self.endings = []


class SlowHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        site = self.server
        if self.path == "/update/ver.txt":
            body = ("1.0=http://127.0.0.1:%d/files/setup.exe\r\n" % site.server_port).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if self.path != "/files/setup.exe":
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(BODY_SIZE))
        self.end_headers()
        piece = b"\0" * PIECE
        try:
            for _ in range(BODY_SIZE // PIECE):
                self.wfile.write(piece)
                self.wfile.flush()
                site.sent += PIECE
                time.sleep(0.05)
            site.endings.append("complete")
        except OSError:
            site.endings.append("closed by the client")


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


def main():
    target, program, shots = sys.argv[1], sys.argv[2], os.path.join(sys.argv[3], sys.argv[1])
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable]
                  + sys.argv)
    os.makedirs(shots, exist_ok=True)
    checks = Checks()
    x11 = X11()
    site = SlowSite()
    threading.Thread(target=site.serve_forever, daemon=True).start()
    temp = tempfile.mkdtemp(prefix="orvelle-close-")
    env = dict(os.environ, ORVELLE_UPDATE_HOST="127.0.0.1:%d" % site.server_port, TMPDIR=temp,
               no_proxy="127.0.0.1,localhost", NO_PROXY="127.0.0.1,localhost")

    # Idle: the close box ends the program at once.
    process, window = start(target, program, env)
    x11.close_window(window)
    code = ended(process, 30)
    checks.check(code == 0, "closing the idle window ends the program with 0", "got %s" % code)

    # During a download.
    process, window = start(target, program, env)
    try:
        xdotool("mousemove", "--window", str(window), str(DOWNLOAD_BUTTON[0]),
                str(DOWNLOAD_BUTTON[1]), "click", "1")
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
        if target == "linux":
            saved = [n for n in os.listdir(temp) if n.startswith("ORVL_Downloader")]
            checks.check(not saved, "nothing saved", str(saved))
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        site.shutdown()
    return checks.end()


if __name__ == "__main__":
    sys.exit(main())
