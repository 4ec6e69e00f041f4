#!/usr/bin/env python3
"""Attacks a vxserver on this machine from tens of thousands of loopback addresses
and samples its resident size, for the memory figure.

Usage: scripts/address_flood.py PORT PID SECONDS [WORLD_IDENTITY]

For SECONDS, 8 threads each take addresses 127.A.B.C in turn (a new one for nearly
every connection) and mix: half are logins with a zero-byte password (refused before
any hashing, but a failure the server counts against the address), a quarter Check
visits (version, protocol and identity, then close), a quarter garbage bytes; each is
followed by a datagram of junk at a random port of the default UDP range. The server (process PID) must listen on 127.0.0.1 or 0.0.0.0.
Prints the resident size of PID before, every 10 s during, and 30 s after the
attack, with the number of connections made and addresses used.
"""
import random
import socket
import struct
import sys
import threading
import time

WELCOME, PROTOCOL, IDENTITY = 0x30000000, 0x50000000, 0x0A000000
NAMEOK = 0x2B000000
C_VERSION, C_PROTOCOL, C_IDENTITY, C_NAME, C_PASSWORD = 0x08000000, 0x09000000, 0x0B000000, 0x1C000000, 0x1E000000


def message(kind, payload=b""):
    return struct.pack("<I", kind | len(payload)) + payload


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def wait_for(sock, kind):
    """Reads until a message of `kind` came; False on close or timeout."""
    buffer = bytearray()
    while True:
        data = sock.recv(65536)
        if not data:
            return False
        buffer += data
        while len(buffer) >= 4:
            (word,) = struct.unpack_from("<I", buffer)
            length = word & 0xFFFF
            if len(buffer) < 4 + length:
                break
            if word & 0xFFFF0000 == kind:
                return True
            del buffer[:4 + length]


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.connections = 0
        self.addresses = set()


def attacker(index, port, identity, end, counts):
    rng = random.Random(index)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    n = 0
    while time.time() < end:
        n += 1
        # 127.A.B.C, A from 1 to 126 spread over the threads: a new address nearly every time.
        address = f"127.{1 + (index * 15 + n // 60000) % 126}.{(n // 250) % 240 + 1}.{n % 250 + 1}"
        kind = n % 4
        try:
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.settimeout(2)
            sock.bind((address, 0))
            sock.connect(("127.0.0.1", port))
            with counts.lock:
                counts.connections += 1
                counts.addresses.add(address)
            if kind == 3:
                sock.sendall(bytes(rng.getrandbits(8) for _ in range(200)))
            elif wait_for(sock, PROTOCOL):
                sock.sendall(message(C_VERSION, b"0.2.3") + message(C_PROTOCOL, b"2") + message(C_IDENTITY, identity))
                if wait_for(sock, IDENTITY) and kind < 2:
                    sock.sendall(message(C_NAME, b"Nobody%d" % (n % 1000)))
                    if wait_for(sock, NAMEOK):
                        sock.sendall(message(C_PASSWORD, b"\0"))
                        wait_for(sock, 0x21000000)
            sock.close()
        except OSError:
            pass
        # UDP junk at a random port of the default range.
        udp.sendto(bytes(64), ("127.0.0.1", 12577 + rng.randrange(1024)))


def main():
    port, pid, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    identity = (sys.argv[4] if len(sys.argv) > 4 else "EMBER VALE").encode("latin-1")
    counts = Counts()
    start = time.time()
    print(f"before: {resident_kib(pid)} KiB resident", flush=True)
    end = start + seconds
    threads = [threading.Thread(target=attacker, args=(i, port, identity, end, counts)) for i in range(8)]
    for t in threads:
        t.start()
    while time.time() < end:
        time.sleep(10)
        with counts.lock:
            print(f"{time.time() - start:5.0f} s: {resident_kib(pid)} KiB resident, {counts.connections} connections "
                  f"from {len(counts.addresses)} addresses", flush=True)
    for t in threads:
        t.join()
    time.sleep(30)
    print(f"30 s after: {resident_kib(pid)} KiB resident", flush=True)


if __name__ == "__main__":
    main()
