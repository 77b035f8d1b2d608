#!/usr/bin/env python3
"""A scripted MySQL 8 login for the client's tests: caching_sha2_password (fast path from its
cache, full path over TLS or with RSA-OAEP), sha256_password, mysql_clear_password and a switch
to client_ed25519, with the real crypto (python3-cryptography). After the login every command
gets an OK until COM_QUIT.

  mysql8_server.py PORT_FILE LOG_FILE CERT KEY
writes the port it listens on to PORT_FILE and one line per login to LOG_FILE:
  "<user> <method> <path> ok|denied" with path fast, full-tls, full-rsa-asked, full-rsa-given,
  clear, each with the prefix "switch-" after a switch from the login's method. The accounts are
  in ACCOUNTS; an unknown user is refused after the full path.
"""

import hashlib
import os
import socket
import ssl
import struct
import sys
import threading

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

ACCOUNTS = {
    "cache": ("caching_sha2_password", "sha2-pass"),
    "cache_tls": ("caching_sha2_password", "sha2-pass"),
    "cache_key": ("caching_sha2_password", "sha2-pass"),
    "sha256": ("sha256_password", "sha256-pass"),
    "sha256_key": ("sha256_password", "sha256-pass"),
    "clear": ("mysql_clear_password", "clear-pass"),
    "ed": ("client_ed25519", "ed-pass"),
    "native": ("mysql_native_password", "native-pass"),
}
SEED = b"0123456789abcdefghij"
CLIENT_CONNECT_WITH_DB = 0x8
CLIENT_SSL = 0x800
CLIENT_PLUGIN_AUTH = 0x80000
CLIENT_LENENC_DATA = 0x200000
CAPABILITIES = (0x0001 | 0x0004 | 0x0008 | 0x0200 | 0x2000 | 0x8000 | 0x20000 | CLIENT_PLUGIN_AUTH
                | CLIENT_LENENC_DATA)

KEY = rsa.generate_private_key(public_exponent=65537, key_size=2048)
PEM = KEY.public_key().public_bytes(serialization.Encoding.PEM,
                                     serialization.PublicFormat.SubjectPublicKeyInfo)
cache = set()
log_lock = threading.Lock()


def sha256(data):
    return hashlib.sha256(data).digest()


def xor(data, key):
    return bytes(b ^ key[i % len(key)] for i, b in enumerate(data))


class Connection:
    def __init__(self, sock, tls_context):
        self.sock = sock
        self.tls_context = tls_context
        self.tls = False
        self.seq = 0

    def read_exact(self, n):
        data = b""
        while len(data) < n:
            part = self.sock.recv(n - len(data))
            if not part:
                raise EOFError
            data += part
        return data

    def read(self):
        head = self.read_exact(4)
        length = head[0] | head[1] << 8 | head[2] << 16
        self.seq = head[3] + 1
        return self.read_exact(length)

    def send(self, payload):
        self.sock.sendall(struct.pack("<I", len(payload))[:3] + bytes([self.seq & 0xFF]) + payload)
        self.seq += 1

    def ok(self):
        self.send(b"\x00\x00\x00\x02\x00\x00\x00")

    def error(self, user):
        self.send(b"\xff" + struct.pack("<H", 1045) + b"#28000" +
                  ("Access denied for user '%s'@'localhost'" % user).encode())

    def more(self, data):
        self.send(b"\x01" + data)


def greeting(with_tls):
    caps = CAPABILITIES | (CLIENT_SSL if with_tls else 0)
    return (b"\x0a" + b"8.0.36-orvelle-test\x00" + struct.pack("<I", 9) + SEED[:8] + b"\x00" +
            struct.pack("<H", caps & 0xFFFF) + b"\xff" + struct.pack("<H", 2) +
            struct.pack("<H", caps >> 16) + bytes([21]) + b"\x00" * 10 + SEED[8:] + b"\x00" +
            b"caching_sha2_password\x00")


def parse_login(packet):
    caps = struct.unpack_from("<I", packet, 0)[0]
    at = 32
    end = packet.index(b"\x00", at)
    user = packet[at:end].decode("utf-8")
    at = end + 1
    if caps & CLIENT_LENENC_DATA:
        size = packet[at]
        at += 1
        if size == 0xFC:
            size = struct.unpack_from("<H", packet, at)[0]
            at += 2
    else:
        size = packet[at]
        at += 1
    auth = packet[at:at + size]
    at += size
    if caps & CLIENT_CONNECT_WITH_DB and at < len(packet):
        at = packet.index(b"\x00", at) + 1
    plugin = ""
    if caps & CLIENT_PLUGIN_AUTH and at < len(packet):
        plugin = packet[at:packet.index(b"\x00", at)].decode()
    return user, auth, plugin


def full_password(conn, method, first, password_hint):
    """The password the client sends in the full path, and how it came."""
    if conn.tls:
        return first.rstrip(b"\x00"), "full-tls"
    asked = first in (b"\x01", b"\x02")
    if asked:
        conn.more(PEM)
        first = conn.read()
    clear = KEY.decrypt(first, padding.OAEP(mgf=padding.MGF1(hashes.SHA1()),
                                            algorithm=hashes.SHA1(), label=None))
    return xor(clear, SEED).rstrip(b"\x00"), "full-rsa-asked" if asked else "full-rsa-given"


def login(conn):
    conn.send(greeting(conn.tls_context is not None))
    packet = conn.read()
    if len(packet) == 32 and struct.unpack_from("<I", packet, 0)[0] & CLIENT_SSL:
        conn.sock = conn.tls_context.wrap_socket(conn.sock, server_side=True)
        conn.tls = True
        packet = conn.read()
    user, auth, plugin = parse_login(packet)
    method, password = ACCOUNTS.get(user, ("caching_sha2_password", None))
    path = "same"
    if plugin != method:
        conn.send(b"\xfe" + method.encode() + b"\x00" + SEED + b"\x00")
        auth = conn.read()
        path = "switch"
    accepted = False
    if password is None or method in ("client_ed25519", "mysql_native_password"):
        accepted = False
    elif method == "mysql_clear_password":
        accepted = auth.rstrip(b"\x00") == password.encode()
        path = "clear"
    elif method == "sha256_password":
        given, path = full_password(conn, method, auth, password)
        accepted = given == password.encode()
    else:
        stage1 = sha256(password.encode())
        expected = xor(stage1, sha256(sha256(stage1) + SEED))
        if user in cache and auth == expected:
            conn.more(b"\x03")
            accepted, path = True, "fast"
        elif user in cache:
            accepted, path = False, "fast"
        else:
            conn.more(b"\x04")
            given, path = full_password(conn, method, conn.read(), password)
            accepted = given == password.encode()
            if accepted:
                cache.add(user)
    if plugin != method and path != "switch":
        path = "switch-" + path
    with log_lock, open(LOG, "a") as log:
        log.write("%s %s %s %s\n" % (user, method, path, "ok" if accepted else "denied"))
    if not accepted:
        conn.error(user)
        return False
    conn.ok()
    return True


def serve(sock, tls_context):
    conn = Connection(sock, tls_context)
    try:
        if not login(conn):
            return
        while True:
            command = conn.read()
            if command[:1] == b"\x01":
                return
            conn.seq = 1
            conn.ok()
    except (EOFError, OSError, ValueError, ssl.SSLError):
        pass
    finally:
        conn.sock.close()


def main():
    global LOG
    port_file, LOG, cert, key = sys.argv[1:5]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(port_file + ".tmp", "w") as out:
        out.write(str(listener.getsockname()[1]))
    os.replace(port_file + ".tmp", port_file)
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(sock, context), daemon=True).start()


if __name__ == "__main__":
    main()
