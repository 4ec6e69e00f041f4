#!/usr/bin/env python3
"""Floods a vxserver on this machine as hostile clients would, for a flood run.

Usage: scripts/flood.py PORT SECONDS [WORLD_IDENTITY]

Opens three connections that never log in and send empty messages as fast as the
server takes them, and logs one player in ("Flooder") whose UDP endpoint then gets
64 KiB datagrams packed with empty messages, all for SECONDS. Only ever talks to
127.0.0.1. Prints how many bytes and datagrams it sent.
"""
import select
import socket
import struct
import sys
import time

HOST = "127.0.0.1"
WELCOME, PROTOCOL, IDENTITY = 0x30000000, 0x50000000, 0x0A000000
NAMEOK, UDPPORT, BADNAME, BADPASSWORD, FULL = 0x2B000000, 0x27000000, 0x1F000000, 0x21000000, 0x20000000
C_VERSION, C_PROTOCOL, C_IDENTITY, C_NAME, C_PASSWORD = 0x08000000, 0x09000000, 0x0B000000, 0x1C000000, 0x1E000000
C_UDPPORT, C_BEATACK = 0x28000000, 0x1B000000


def message(kind, payload=b""):
    return struct.pack("<I", kind | len(payload)) + payload


def read_messages(sock, buffer):
    data = sock.recv(65536)
    if not data:
        raise ConnectionError("closed")
    buffer += data
    out = []
    while len(buffer) >= 4:
        (word,) = struct.unpack_from("<I", buffer)
        length = word & 0xFFFF
        if len(buffer) < 4 + length:
            break
        out.append((word & 0xFFFF0000, bytes(buffer[4:4 + length])))
        del buffer[:4 + length]
    return out


def wait_for(sock, buffer, kinds, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        ready, _, _ = select.select([sock], [], [], 0.2)
        if ready:
            for kind, payload in read_messages(sock, buffer):
                if kind in kinds:
                    return kind, payload
    raise TimeoutError("no reply")


def login(port, identity):
    sock = socket.create_connection((HOST, port))
    buffer = bytearray()
    wait_for(sock, buffer, {PROTOCOL})
    sock.sendall(message(C_VERSION, b"0.2.3") + message(C_PROTOCOL, b"2") + message(C_IDENTITY, identity))
    wait_for(sock, buffer, {IDENTITY})
    sock.sendall(message(C_NAME, b"Flooder"))
    wait_for(sock, buffer, {NAMEOK})
    sock.sendall(message(C_PASSWORD, b"flood-pw"))
    kind, payload = wait_for(sock, buffer, {UDPPORT, BADNAME, BADPASSWORD, FULL})
    if kind != UDPPORT:
        raise RuntimeError("login refused")
    (udp_port,) = struct.unpack_from("<H", payload)
    return sock, udp_port


def main():
    port, seconds = int(sys.argv[1]), float(sys.argv[2])
    identity = (sys.argv[3] if len(sys.argv) > 3 else "EMBER VALE").encode("latin-1")
    player, udp_port = login(port, identity)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((HOST, 0))
    udp.sendto(message(C_UDPPORT, struct.pack("<H", udp.getsockname()[1])), (HOST, udp_port))
    packed = message(C_BEATACK) * (65000 // 4)
    empties = (message(C_IDENTITY) + message(0x77000000)) * 8192
    noisy = []
    for _ in range(3):
        s = socket.create_connection((HOST, port))
        s.setblocking(False)
        noisy.append(s)
    sent_bytes = sent_datagrams = 0
    end = time.time() + seconds
    while time.time() < end:
        _, writable, _ = select.select([], noisy, [], 0.01)
        for s in writable:
            try:
                sent_bytes += s.send(empties)
            except (BlockingIOError, ConnectionError):
                pass
        for _ in range(4):
            udp.sendto(packed, (HOST, udp_port))
            sent_datagrams += 1
        player.setblocking(False)
        try:
            while player.recv(65536):
                pass
        except (BlockingIOError, ConnectionError):
            pass
    print(f"flood: {sent_bytes} bytes of empty messages on 3 connections, "
          f"{sent_datagrams} datagrams of {len(packed)} bytes in {seconds:.0f} s")


if __name__ == "__main__":
    main()
