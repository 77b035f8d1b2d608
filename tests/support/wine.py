"""The project's Wine as the window tests use it (scripts/wine-run with its private prefix): the
environment, paths translated between Unix and Windows, and the user's temporary folder, where
the Windows build keeps a run's files."""
import os
import subprocess
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RUN = os.path.join(ROOT, "scripts", "wine-run")
ENV = dict(os.environ, WINEDEBUG="-all",
           WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix")))


def output(*command):
    """What a Windows program prints. Read from a file, not a pipe: Wine's server and services,
    when the program starts them, would hold a pipe open for seconds after it ends."""
    with tempfile.TemporaryFile() as out:
        subprocess.run([RUN] + list(command), stdout=out, stderr=subprocess.DEVNULL, env=ENV)
        out.seek(0)
        return out.read().decode("utf-8", "replace")


def path(option, name):
    """winepath -w (to Windows) or -u (to Unix) of name."""
    return output("winepath", option, name).strip()


def temp_folder():
    """The user's temporary folder (GetTempPathW) as a Unix path."""
    return path("-u", output("cmd", "/c", "echo %TEMP%").strip().splitlines()[-1].strip())
