"""What the Python window tests share: xdotool, finding windows, waiting on a condition, reading a
message box's text, and checks reported case by case (junit.py)."""
import os
import subprocess
import time

import junit

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), capture_output=True, text=True).stdout


def visible(pattern):
    """The visible windows whose title matches the pattern."""
    return xdotool("search", "--onlyvisible", "--name", pattern).split()


def wait_for(predicate, seconds, what):
    """The predicate's first true value, asked every 0.2 s; fails after SECONDS."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def box_text(box, caption, box_reader=None):
    """The text of the message box BOX (window title CAPTION): read by BOX_READER under Wine
    (Wine's boxes have no Ctrl+C), copied with Ctrl+C from a Qt box."""
    if box_reader:
        out = subprocess.run([os.path.join(ROOT, "scripts", "wine-run"), box_reader, caption],
                             capture_output=True, timeout=30)
        return out.stdout.decode("utf-8", "replace")
    subprocess.run(["xclip", "-selection", "clipboard"], input=b"nothing",
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
    xdotool("windowfocus", box)
    time.sleep(0.3)
    xdotool("key", "ctrl+c")
    time.sleep(0.5)
    out = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"],
                         capture_output=True, timeout=10)
    return out.stdout.decode("utf-8", "replace")


class Checks:
    """Named checks, printed as they are made and written as one case each."""

    def __init__(self):
        self.cases = []

    def check(self, condition, name, detail=""):
        print(("ok:   " if condition else "FAIL: ") + name + (" (%s)" % detail if detail else ""),
              flush=True)
        self.cases.append((name, "pass" if condition else "fail", detail))

    def end(self):
        """Writes the report; the exit status: 0 when every check passed and there was one."""
        junit.write(self.cases)
        failures = sum(1 for _, result, _ in self.cases if result == "fail")
        print("%d case(s), %d failure(s)" % (len(self.cases), failures))
        return 0 if self.cases and not failures else 1
