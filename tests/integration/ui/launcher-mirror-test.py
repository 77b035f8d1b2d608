#!/usr/bin/env python3
"""The Linux taskbar mirror on a real session bus: runs the driver under dbus-run-session with
dbus-monitor listening and checks the launcher-entry Update signals it sent; then runs it without
any session bus, where the mirror must be absent without an error."""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import junit  # noqa: E402

URI = "application://orvelle-downloader.desktop"


def on_bus(driver):
    monitor = subprocess.Popen(
        ["dbus-monitor", "--session",
         "type='signal',interface='com.canonical.Unity.LauncherEntry'"],
        stdout=subprocess.PIPE, text=True)
    time.sleep(0.5)  # let the monitor register its match rule before the driver starts
    result = subprocess.run([driver], capture_output=True, text=True)
    time.sleep(0.5)
    monitor.terminate()
    output = monitor.communicate()[0]
    if result.returncode != 0:
        sys.exit(f"driver failed: {result.stderr}")
    return output


def signals(output):
    found = []
    for block in output.split("signal time=")[1:]:
        if "member=Update" not in block:
            continue
        uri = re.search(r'string "(application://[^"]*)"', block)
        progress = re.search(r'string "progress"\s+variant\s+double ([0-9.e+-]+)', block)
        visible = re.search(r'string "progress-visible"\s+variant\s+boolean (\w+)', block)
        urgent = re.search(r'string "urgent"\s+variant\s+boolean (\w+)', block)
        if not (uri and progress and visible and urgent):
            sys.exit(f"incomplete Update signal:\n{block}")
        if uri.group(1) != URI:
            sys.exit(f"wrong application uri {uri.group(1)}")
        found.append((round(float(progress.group(1)), 2), visible.group(1) == "true",
                      urgent.group(1) == "true"))
    return found


def on_a_session_bus(driver):
    seen = signals(on_bus(driver))
    collapsed = [s for i, s in enumerate(seen) if i == 0 or seen[i - 1] != s]
    expected = [
        (0.37, True, False),   # normal at 57 of 20..120
        (0.37, True, True),    # error: urgent
        (0.37, True, False),   # paused
        (0.37, False, False),  # marquee: no progress shown
        (1.0, True, False),    # normal, full
        (1.0, False, False),   # destroyed: cleared
    ]
    position = 0
    for state in collapsed:
        if position < len(expected) and state == expected[position]:
            position += 1
    if position != len(expected) or collapsed[-1] != expected[-1]:
        sys.exit(f"launcher signals {collapsed} do not show {expected} in order")
    if any(urgent for (_, _, urgent) in seen[:seen.index((0.37, True, True))]):
        sys.exit("urgent before the error state")
    print(f"{len(seen)} Update signals, states {collapsed}")


def without_a_session_bus(driver):
    quiet = dict(os.environ)
    quiet.pop("DBUS_SESSION_BUS_ADDRESS", None)
    quiet["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/orvelle-no-bus"
    result = subprocess.run([driver], capture_output=True, text=True, env=quiet)
    if result.returncode != 0 or "done" not in result.stdout:
        sys.exit(f"without a session bus the driver failed: {result.stderr}")


def main():
    driver = sys.argv[1]
    os.environ["QT_QPA_PLATFORM"] = "offscreen"
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        # Re-run inside a private session bus.
        sys.exit(subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv))
    cases = []
    for check in (on_a_session_bus, without_a_session_bus):
        name = check.__name__.replace("_", " ")
        try:
            check(driver)
            cases.append((name, "pass", ""))
            print("ok   " + name)
        except SystemExit as failure:
            cases.append((name, "fail", str(failure.code)))
            print("FAIL %s: %s" % (name, failure.code))
    junit.write(cases)
    sys.exit(1 if any(result == "fail" for _, result, _ in cases) else 0)


main()
