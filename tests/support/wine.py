"""The project's Wine as the window tests use it (scripts/wine-run with its private prefix): the
environment, paths translated between Unix and Windows, and the user's temporary folder, where
the Windows build keeps a run's files."""
import os
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RUN = os.path.join(ROOT, "scripts", "wine-run")
ENV = dict(os.environ, WINEDEBUG="-all",
           WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix")))


def path(option, name):
    """winepath -w (to Windows) or -u (to Unix) of name."""
    out = subprocess.run([RUN, "winepath", option, name], capture_output=True, text=True, env=ENV)
    return out.stdout.strip()


def temp_folder():
    """The user's temporary folder (GetTempPathW) as a Unix path."""
    out = subprocess.run([RUN, "cmd", "/c", "echo %TEMP%"], capture_output=True, text=True,
                         env=ENV)
    return path("-u", out.stdout.strip().splitlines()[-1].strip())
