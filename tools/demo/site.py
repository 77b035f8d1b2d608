#!/usr/bin/env python3
"""The demo update site: serves a folder over plain HTTP on loopback.

Every request line is appended to --log. Files whose name contains "slow" are sent in small
pieces with pauses, so a person (or a test) can press the stop button while one arrives.
An HTTPS attempt reaches this plain server, fails its handshake, and the downloader falls back
to HTTP, as it does against a real server without HTTPS.
"""
import argparse
import functools
import http.server
import os
import sys
import time

from serving import serve


class Handler(http.server.SimpleHTTPRequestHandler):
    log_path = None

    def log_message(self, format, *args):
        if self.log_path:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write("%s\n" % (format % args))

    def copyfile(self, source, outputfile):
        if "slow" not in os.path.basename(self.path):
            return super().copyfile(source, outputfile)
        while True:
            piece = source.read(16 * 1024)
            if not piece:
                break
            outputfile.write(piece)
            outputfile.flush()
            time.sleep(0.2)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=18080)
    parser.add_argument("--log")
    parser.add_argument("--port-file", help="write the port here once listening")
    args = parser.parse_args()
    Handler.log_path = args.log
    return serve(functools.partial(Handler, directory=args.root), args.port, args.port_file)


if __name__ == "__main__":
    sys.exit(main())
