#!/usr/bin/env python3
"""Checks that a vxserver on this machine whose socket table is full refuses one
more connection with server_full.

Usage: scripts/full_check.py PORT

Connects to 127.0.0.1:PORT and reads until the server closes the connection (at
most 10 s). Passes (exit 0) when the first message is server_full, with its text,
and no server_welcome came; otherwise prints what came and exits 1.
"""
import socket
import struct
import sys
import time

FULL, WELCOME = 0x20000000, 0x30000000


def main():
    port = int(sys.argv[1])
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    data = bytearray()
    deadline = time.monotonic() + 10
    closed = False
    while time.monotonic() < deadline:
        try:
            chunk = sock.recv(65536)
        except (socket.timeout, ConnectionResetError):
            break
        if not chunk:
            closed = True
            break
        data += chunk
    sock.close()
    messages = []
    while len(data) >= 4:
        (word,) = struct.unpack_from("<I", data)
        length = word & 0xFFFF
        if len(data) < 4 + length:
            break
        messages.append((word & 0xFFFF0000, bytes(data[4:4 + length])))
        del data[:4 + length]
    kinds = ["0x%08X" % kind for kind, _ in messages]
    if messages and messages[0][0] == FULL and messages[0][1] and all(k != WELCOME for k, _ in messages) and closed:
        print("full check: one more connection refused with server_full (\"%s\") and closed"
              % messages[0][1].decode("latin-1"))
        return 0
    print("full check: FAILED: messages %s, closed by the server: %s" % (kinds, closed))
    return 1


if __name__ == "__main__":
    sys.exit(main())
