#!/usr/bin/env python3
"""A stand-in for the product's monitor service (HTTP on 127.0.0.1, default port 48754).

GET /run?param=<installer arguments>&path=<installer path> answers with an empty body (the
request is accepted), starts the installer with those arguments, then writes the progress file
(Orvelle_Install.ini, beside the /LOG= file named in param) from 0 to 100 and finally the path
of the monitor program. With --refuse TEXT it answers TEXT instead and does nothing.
Every request is appended to --log as "path<TAB>param".
Windows paths (C:\\...) are run and translated through Wine (--wine, winepath).
"""
import argparse
import http.server
import os
import re
import subprocess
import sys
import threading
import time
import urllib.parse

from serving import serve


def unix_path(path, wine):
    if wine and re.match(r"^[A-Za-z]:\\", path):
        env = dict(os.environ, WINEDEBUG="-all")
        out = subprocess.run([wine, "winepath", "-u", path], capture_output=True, text=True,
                             env=env)
        return out.stdout.strip() or path
    return path


def split_arguments(text):
    """The words of an argument text as a Windows program's C runtime reads them: blanks and
    tabs separate, quotes group, 2n backslashes before a quote give n (the quote groups), 2n+1
    give n and a literal quote, "" inside quotes is a literal quote that ends the quoted part."""
    words, at, n = [], 0, len(text)
    while True:
        while at < n and text[at] in " \t":
            at += 1
        if at >= n:
            return words
        word, quoted = [], False
        while at < n and (quoted or text[at] not in " \t"):
            c = text[at]
            if c == "\\":
                run = 0
                while at < n and text[at] == "\\":
                    run, at = run + 1, at + 1
                if at < n and text[at] == '"':
                    word.append("\\" * (run // 2))
                    if run % 2:
                        word.append('"')
                        at += 1
                else:
                    word.append("\\" * run)
            elif c == '"':
                if quoted and at + 1 < n and text[at + 1] == '"':
                    word.append('"')
                    quoted, at = False, at + 2
                else:
                    quoted, at = not quoted, at + 1
            else:
                word.append(c)
                at += 1
        words.append("".join(word))


def write_progress(path, value):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(("[Update]\r\nOrvelle_Install=%s\r\n" % value).encode("utf-8"))
    os.replace(temporary, path)


class Monitor(http.server.BaseHTTPRequestHandler):
    options = None

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        param = query.get("param", [""])[0]
        installer = query.get("path", [""])[0]
        if self.options.log:
            with open(self.options.log, "a", encoding="utf-8") as log:
                log.write("%s\t%s\t%s\n" % (url.path, param, installer))
        if url.path != "/run":
            self.send_error(404)
            return
        answer = (self.options.refuse or "").encode(self.options.encoding)
        self.send_response(200)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)
        if not self.options.refuse:
            threading.Thread(target=self.install, args=(param, installer), daemon=True).start()

    def install(self, param, installer):
        options = self.options
        # The service passes param on as the installer's command line.
        words = split_arguments(param)
        # The progress file sits beside the log file; its path may hold blanks.
        found = re.search(r'/LOG="([^"]*)"', param)
        progress = None
        if found:
            progress = re.sub(r"\.log$", ".ini", unix_path(found.group(1), options.wine))
        program = unix_path(installer, options.wine)
        env = dict(os.environ)
        if options.record:
            env["ORVELLE_DEMO_RECORD"] = options.record
        try:
            if options.wine:
                subprocess.Popen([options.wine, installer] + words, env=env,
                                 cwd=os.path.dirname(program) or None)
            else:
                os.chmod(program, os.stat(program).st_mode | 0o100)
                subprocess.Popen([program] + words, env=env,
                                 cwd=os.path.dirname(program) or None)
        except OSError as error:
            print("monitor: cannot start %s: %s" % (program, error), file=sys.stderr)
        if not progress:
            return
        for value in range(0, 101, 10):
            time.sleep(options.step)
            write_progress(progress, str(value))
        time.sleep(options.step)
        write_progress(progress, options.monitor_program)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=48754)
    parser.add_argument("--monitor-program", required=True,
                        help="path written at the end (names ORVL_Monitor.exe)")
    parser.add_argument("--refuse", help="answer with this text instead of running anything")
    parser.add_argument("--encoding", default="utf-8", help="encoding of the refusal text")
    parser.add_argument("--step", type=float, default=0.3, help="seconds per 10 %%")
    parser.add_argument("--wine", help="Wine loader for Windows installers")
    parser.add_argument("--record", help="ORVELLE_DEMO_RECORD for the programs started")
    parser.add_argument("--log")
    parser.add_argument("--port-file", help="write the port here once listening")
    Monitor.options = parser.parse_args()
    return serve(Monitor, Monitor.options.port, Monitor.options.port_file)


if __name__ == "__main__":
    sys.exit(main())
