#!/usr/bin/env python3
"""Runs one test command and, once it has ended, ends whatever it left running.

Usage: reap.py [--leaves NAME]... COMMAND [ARGUMENT...]

This process is made the sub-reaper of everything the command starts, so that a process which
detaches (wineserver and Wine's service processes, an installer the program under test started,
xclip owning a selection) is re-parented here rather than to init. When the command exits, every
descendant still there is sent SIGTERM, then SIGKILL after a grace period, and reaped: nothing
outlives the test or keeps CTest's output pipe open.

A test that leaves a process behind fails, naming it (exit status 1 when the command's was 0):
a test ends what it starts. Ended quietly are Wine's own server and service processes and the
programs named with --leaves, which the tested program was meant to start and leave running
(an installer, the monitor program). Otherwise the command's exit status is passed on."""
import ctypes
import os
import signal
import subprocess
import sys
import time

PR_SET_CHILD_SUBREAPER = 36
GRACE_SECONDS = 5
# A process the test ended just before it exited may take a moment to go.
SETTLE_SECONDS = 2
WINE_SHUTDOWN_SECONDS = 15
# Wine's own server and service processes stay after every Windows program by design: they are
# ended like the rest, without a word.
WINE_INFRASTRUCTURE = {"wineserver", "wineserver32", "wineserver64", "services.exe",
                       "winedevice.exe", "plugplay.exe", "explorer.exe", "rpcss.exe",
                       "svchost.exe", "conhost.exe", "wineboot.exe", "winemenubuilder",
                       "tabtip.exe", "start.exe"}


def children_of():
    """Maps each process to its parent, for every process this user can see."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry, "rb") as f:
                stat = f.read()
        except OSError:
            continue
        # The name is in parentheses and may itself hold blanks or parentheses.
        fields = stat[stat.rfind(b")") + 2:].split()
        if len(fields) > 1:
            parents[int(entry)] = (int(fields[1]), fields[0] == b"Z")
    return parents


def descendants():
    """Living descendants of this process, with their names."""
    parents = children_of()
    found, frontier = [], [os.getpid()]
    while frontier:
        parent = frontier.pop()
        for pid, (ppid, zombie) in parents.items():
            if ppid == parent:
                frontier.append(pid)
                if not zombie:
                    found.append(pid)
    return found


def name_of(pid):
    try:
        with open("/proc/%d/comm" % pid) as f:
            return f.read().strip()
    except OSError:
        return "?"


def reap_zombies():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def wine_involved(left):
    return any(name_of(pid) in WINE_INFRASTRUCTURE for pid in left)


def end_wine(left):
    """Asks each Wine server left to end now, with its service processes, rather than a few
    seconds after its prefix's last program (wineserver -k, for the server's own prefix); a
    server ended in order leaves nothing for the next program to wait for."""
    for pid in left:
        if not name_of(pid).startswith("wineserver"):
            continue
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                pairs = [item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item]
        except OSError:
            continue
        env = {key.decode(errors="replace"): value.decode(errors="replace")
               for key, value in pairs}
        try:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=WINE_SHUTDOWN_SECONDS)
        except (OSError, subprocess.TimeoutExpired):
            pass
    deadline = time.monotonic() + WINE_SHUTDOWN_SECONDS
    while wine_involved(left) and time.monotonic() < deadline:
        time.sleep(0.05)
        reap_zombies()
        left = descendants()
    return left


def unexpected(left, expected):
    """The leftovers that are neither Wine's nor named as expected (a process's name is cut to
    15 characters by the system)."""
    quiet = WINE_INFRASTRUCTURE | {name[:15] for name in expected}
    return [pid for pid in left if name_of(pid) not in quiet and name_of(pid)[:15] not in quiet]


def end_leftovers(expected=()):
    """Ends every descendant; answers the names of those that were not expected to stay."""
    left = descendants()
    # A program under Wine may take a while to go once its test closed it.
    settle = WINE_SHUTDOWN_SECONDS if wine_involved(left) else SETTLE_SECONDS
    deadline = time.monotonic() + settle
    while unexpected(left, expected) and time.monotonic() < deadline:
        time.sleep(0.1)
        reap_zombies()
        left = descendants()
    if not left:
        return []
    named = ["%s(%d)" % (name_of(pid), pid) for pid in unexpected(left, expected)]
    if named:
        print("reap: the test left running: %s" % ", ".join(named), file=sys.stderr,
              flush=True)
    left = end_wine(left)
    for sig, wait in ((signal.SIGTERM, GRACE_SECONDS), (signal.SIGKILL, GRACE_SECONDS)):
        for pid in left:
            try:
                os.kill(pid, sig)
            except OSError:
                pass
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            reap_zombies()
            left = descendants()
            if not left:
                return named
            time.sleep(0.05)
    print("reap: could not end %s" % ", ".join(map(str, left)), file=sys.stderr, flush=True)
    return named


def become_subreaper():
    """Orphaned descendants are re-parented to this process from now on."""
    libc = ctypes.CDLL(None, use_errno=True)
    return libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0


def main():
    arguments, expected = sys.argv[1:], []
    while len(arguments) >= 2 and arguments[0] == "--leaves":
        expected.append(arguments[1])
        arguments = arguments[2:]
    if not arguments:
        print(__doc__, file=sys.stderr)
        return 2
    if not become_subreaper():
        print("reap: cannot become a sub-reaper", file=sys.stderr)
        return 1
    try:
        child = subprocess.Popen(arguments)
    except OSError as error:
        print("reap: cannot start %s: %s" % (arguments[0], error), file=sys.stderr)
        return 127

    def forward(sig, _frame):
        child.send_signal(sig)

    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, forward)
    code = child.wait()
    left_behind = end_leftovers(expected)
    reap_zombies()
    code = code if code >= 0 else 128 - code
    return 1 if left_behind and code == 0 else code


if __name__ == "__main__":
    sys.exit(main())
