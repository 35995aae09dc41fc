#!/usr/bin/env python3
"""A NetBIOS node-status responder with names a hostile host could send.

Usage: hostile_netbios_peer.py READY_FILE IP=MAC=HEXNAME...
Answers node-status queries on UDP port 137 of each IP (which must be a local address)
with one name, the bytes HEXNAME (at most 15), and MAC as unit id. Writes READY_FILE
once every socket listens, then serves until killed.
"""
import select
import socket
import struct
import sys


def answer(query: bytes, name: bytes, mac: bytes) -> bytes:
    header = query[0:2] + struct.pack(">HHHHH", 0x8400, 0, 1, 0, 0)
    question_name = query[12:46]
    entry = name[:15].ljust(15, b" ") + b"\x00" + struct.pack(">H", 0x0400)
    statistics = mac + bytes(40)
    data = bytes([1]) + entry + statistics
    return header + question_name + struct.pack(">HHIH", 0x21, 1, 0, len(data)) + data


def main() -> None:
    ready_file = sys.argv[1]
    sockets = {}
    for spec in sys.argv[2:]:
        ip, mac, hexname = spec.split("=")
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((ip, 137))
        sockets[sock] = (bytes.fromhex(hexname), bytes.fromhex(mac.replace(":", "")))
    with open(ready_file, "w") as ready:
        ready.write("ready\n")
    while True:
        readable, _, _ = select.select(list(sockets), [], [])
        for sock in readable:
            query, peer = sock.recvfrom(1024)
            # A node-status query: 50 bytes, type NBSTAT.
            if len(query) >= 50 and query[46:48] == b"\x00\x21":
                name, mac = sockets[sock]
                sock.sendto(answer(query, name, mac), peer)


if __name__ == "__main__":
    main()
