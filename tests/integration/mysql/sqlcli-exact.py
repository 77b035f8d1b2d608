#!/usr/bin/env python3
"""orvelle-sql's exact output and exit status for a few statements against the real MariaDB
(127.0.0.1:3307), on both targets (the Windows console ends lines with CR LF).

Usage: sqlcli-exact.py COMMAND...   (orvelle-sql, after Wine's loader for the Windows build)
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import junit  # noqa: E402

LOGIN = ["-h", "127.0.0.1", "-P", "3307", "-u", "orvelle", "-p", "orvelle-pass",
         "-D", "orvelle_test"]
# name, arguments, what the whole output must match, exit status
CASES = [
    ("rows", ["-e", "SET NAMES utf8mb4", "-e", "SELECT id, name FROM samples ORDER BY id"],
     "id\tname\r?\n1\talpha\r?\n2\tNULL\r?\n3\t\r?\n4\tПривіт, світе\r?\n5\ta\\\\0b\r?\n", 0),
    ("used rows", ["--use-result", "-N", "-e", "SELECT id, s1 FROM bench WHERE id <= 2 ORDER BY id"],
     "1\tc4ca4238a0b\r?\n2\tc81e728d9d4c\r?\n", 0),
    ("error", ["-e", "SELECT * FROM nope"],
     "ERROR 1146: Table 'orvelle_test.nope' doesn't exist\r?\n", 1),
    # the server has no create-db and drop-db commands: SQL stands in
    ("create and drop db", ["--command", "create-db", "orvelle_cli_%d" % os.getpid(),
                            "--command", "drop-db", "orvelle_cli_%d" % os.getpid()], "", 0),
    ("processlist", ["--command", "processlist"],
     "(?s).*\torvelle\t[^\t]+\torvelle_test\tProcesslist\t.*", 0),
]


def main():
    cases = []
    for name, arguments, pattern, status in CASES:
        # Through a file, not a pipe: Wine's server and services, started by the program,
        # would hold a pipe open for seconds after it ends.
        with tempfile.TemporaryFile() as out:
            run = subprocess.run(sys.argv[1:] + LOGIN + arguments, stdout=out,
                                 stderr=subprocess.STDOUT, timeout=120)
            out.seek(0)
            output = out.read().decode("utf-8", "replace")
        problems = []
        if not re.fullmatch(pattern, output):
            problems.append("output %r" % output[:300])
        if run.returncode != status:
            problems.append("exit status %d, expected %d" % (run.returncode, status))
        cases.append((name, "fail" if problems else "pass", "; ".join(problems)))
        print(("ok   " if not problems else "FAIL ") + name + "".join(": " + p for p in problems))
    junit.write(cases)
    return 1 if any(result == "fail" for _, result, _ in cases) else 0


if __name__ == "__main__":
    sys.exit(main())
