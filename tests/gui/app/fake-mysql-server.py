#!/usr/bin/env python3
"""A MySQL server that greets with the given version and admits every login; enough for the
program's start-up probe. Usage: fake-mysql-server.py VERSION [PORT]"""
import socket
import struct
import sys


def packet(sequence, payload):
    return struct.pack("<I", len(payload))[:3] + bytes([sequence]) + payload


def greeting(version):
    return (bytes([10]) + version.encode() + b"\0" + struct.pack("<I", 1) + b"abcdefgh" + b"\0"
            + struct.pack("<H", 0xA20F) + bytes([8]) + struct.pack("<H", 2) + b"\0" * 13
            + b"ijklmnopqrst" + b"\0")


def read_packet(connection):
    head = b""
    while len(head) < 4:
        chunk = connection.recv(4 - len(head))
        if not chunk:
            return None
        head += chunk
    length = head[0] | head[1] << 8 | head[2] << 16
    body = b""
    while len(body) < length:
        chunk = connection.recv(length - len(body))
        if not chunk:
            return None
        body += chunk
    return body


def main():
    version = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 3307
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(4)
    print("listening", flush=True)
    while True:
        connection, _ = listener.accept()
        # A peer that goes away early (a readiness check) only ends its own connection.
        try:
            with connection:
                connection.sendall(packet(0, greeting(version)))
                if read_packet(connection) is None:
                    continue
                connection.sendall(packet(2, b"\0\0\0\x02\0\0\0"))
                while read_packet(connection) is not None:
                    pass
        except OSError:
            pass


if __name__ == "__main__":
    main()
