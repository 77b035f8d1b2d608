#!/usr/bin/env python3
"""Captures what a real MariaDB server sends to a client that speaks exactly like ours.

Run once against the test server (scripts/services.d/mariadb) to refresh the vectors in this
folder. It answers the greeting the way our client does (capabilities 0xA685, character set 8,
the SHA-1 token) and writes every byte the server sends, packet headers included:

  greeting.bin          the server's first packet
  auth_ok.bin           the reply to an anonymous login
  auth_denied.bin       the reply to a wrong password for orvelle
  ok_set_names.bin      the OK packet of SET NAMES utf8mb4
  ok_insert.bin         the OK packet of an INSERT into a table with an auto-increment key
  result_samples.bin    SELECT * FROM samples: header, columns, end, rows, end
  result_one_column.bin SELECT id, v ... and SELECT v FROM one_column (1-byte rows)
  processlist.bin       the reply to the process-list command
  change_user_switch.bin the reply to a change of user: a switch to mysql_native_password
  stat.bin              the reply to the statistics command
  ping.bin              the reply to ping
  error_no_table.bin    the error packet of a SELECT from a missing table
  session.bin           one whole session in the order the fuzz target drives it (see
                        tests/fuzz/ClientSessionFuzzer.cpp): greeting, login, then for each step
                        the replies our client reads
"""
import hashlib
import os
import socket
import struct
import sys

HOST = os.environ.get("ORVELLE_MYSQL_HOST", "127.0.0.1")
PORT = int(os.environ.get("ORVELLE_MYSQL_PORT", "3307"))
OUT = os.path.dirname(os.path.abspath(__file__))
CLIENT_FLAG = 0xA685


class Conn:
    def __init__(self):
        self.sock = socket.create_connection((HOST, PORT))
        self.received = bytearray()

    def read_packet(self):
        head = self._read(4)
        length = head[0] | head[1] << 8 | head[2] << 16
        payload = self._read(length)
        return head + payload, payload

    def _read(self, n):
        data = bytearray()
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise EOFError("server closed")
            data += chunk
        self.received += data
        return bytes(data)

    def send(self, seq, payload):
        self.sock.sendall(struct.pack("<I", len(payload))[:3] + bytes([seq]) + payload)

    def command(self, code, arg=b""):
        self.send(0, bytes([code]) + arg)

    def read_result(self):
        """Reads a query's first reply and, for a result set, its columns and rows."""
        packets = []
        raw, payload = self.read_packet()
        packets.append(raw)
        if payload[0] in (0x00, 0xFF):
            return b"".join(packets)
        ends = 0
        while ends < 2:
            raw, payload = self.read_packet()
            packets.append(raw)
            if payload[0] == 0xFF:
                break
            if payload[0] == 0xFE and len(payload) < 9:
                ends += 1
        return b"".join(packets)

    def close(self):
        self.command(1)
        self.sock.close()


def token(password, seed):
    if not password:
        return b"\0"
    stage1 = hashlib.sha1(password.encode()).digest()
    stage2 = hashlib.sha1(stage1).digest()
    mix = hashlib.sha1(seed + stage2).digest()
    return b"\x14" + bytes(a ^ b for a, b in zip(mix, stage1))


def login(user="", password="", db=""):
    conn = Conn()
    greeting, payload = conn.read_packet()
    version_end = payload.index(b"\0", 1)
    seed = payload[version_end + 5:version_end + 13] + payload[version_end + 32:version_end + 44]
    flag = CLIENT_FLAG | (0x0008 if db else 0)
    auth = struct.pack("<HBBI", flag & 0xFFFF, 2, 0, 1 << 24) + bytes([8]) + bytes(23)
    auth += user.encode()[:32] + b"\0" + token(password, seed) + (db.encode() if db else b"\0")
    conn.send(1, auth)
    reply, _ = conn.read_packet()
    return conn, greeting, reply


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def query(conn, statement):
    """What our client reads for one query: the ping it sends first, then the statement."""
    conn.command(14)
    ping, _ = conn.read_packet()
    conn.command(3, statement.encode())
    return ping, conn.read_result()


def main():
    conn, greeting, reply = login()
    write("greeting.bin", greeting)
    write("auth_ok.bin", reply)
    conn.close()

    # The process list needs the PROCESS right, which the anonymous user lacks.
    conn, greeting, reply = login("orvelle", "orvelle-pass")
    start = len(conn.received)

    ping, ok = query(conn, "SET NAMES utf8mb4")
    write("ping.bin", ping)
    write("ok_set_names.bin", ok)
    _, result = query(conn, "SELECT * FROM orvelle_test.samples ORDER BY id")
    write("result_samples.bin", result)
    _, result = query(conn, "SELECT id, v FROM orvelle_test.one_column ORDER BY id")
    _, single = query(conn, "SELECT v FROM orvelle_test.one_column ORDER BY id")
    write("result_one_column.bin", result + single)
    conn.command(10)
    processlist = conn.read_result()
    write("processlist.bin", processlist)
    # MariaDB answers a change of user with a request to switch to mysql_native_password and a
    # new seed, even to a client that did not offer plugin authentication.
    conn.command(17, b"orvelle\0\0orvelle_test\0")
    raw, switch = conn.read_packet()
    write("change_user_switch.bin", raw)
    if switch[0] == 0xFE:
        name_end = switch.index(b"\0", 1)
        conn.send(2, token("orvelle-pass", switch[name_end + 1:name_end + 21])[1:])
        conn.read_packet()
    conn.command(14)
    conn.read_packet()
    conn.command(9)
    stat, _ = conn.read_packet()
    write("stat.bin", stat)
    conn.close()
    write("session.bin", greeting + reply + bytes(conn.received[start:]))

    conn, _, _ = login("orvelle", "orvelle-pass")
    _, error = query(conn, "SELECT * FROM orvelle_test.no_such_table")
    write("error_no_table.bin", error)
    conn.close()

    conn, _, denied = login("orvelle", "wrong-pass")
    write("auth_denied.bin", denied)
    conn.sock.close()

    conn, _, _ = login("orvelle", "orvelle-pass", "orvelle_test")
    query(conn, "CREATE TEMPORARY TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, v INT)")
    _, ok = query(conn, "INSERT INTO t (v) VALUES (1), (2), (3)")
    write("ok_insert.bin", ok)
    conn.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
