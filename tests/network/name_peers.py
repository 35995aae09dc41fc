#!/usr/bin/env python3
"""Peers of the name probes on the namespace test network.

  name_peers.py query-mdns IP [SECONDS]
      Sends one-shot unicast mDNS queries (RFC 6762 5.5) for IP's reverse name to
      IP:5353 until one is answered; prints the name, exit 1 after SECONDS (default 20).
  name_peers.py discard READY_FILE PORT...
      A firewalled host: takes every UDP datagram on the ports and answers none, so
      that no ICMP error goes back either. Writes READY_FILE once it listens.
  name_peers.py hostile-mdns READY_FILE
      An mDNS responder that answers each query with hostile messages first (another
      id, a pointer loop, another question, a forward pointer, a label of 64 bytes, a
      name over 255 bytes, a DNS answer from its own port 53), then with a well-formed
      answer whose name holds control characters, and 40 service types.
"""
import random
import select
import socket
import struct
import sys
import time


def name(dotted):
    out = b""
    for label in dotted.split("."):
        raw = label.encode("latin-1")
        out += bytes([len(raw)]) + raw
    return out + b"\0"


def reverse_name(ip):
    return ".".join(reversed(ip.split("."))) + ".in-addr.arpa"


def query(qid, qname):
    return struct.pack(">HHHHHH", qid, 0, 1, 0, 0, 0) + name(qname) + struct.pack(">HH", 12, 1)


def read_question(message):
    """The id and the question name of a query (uncompressed), or None."""
    if len(message) < 17:
        return None
    labels, at = [], 12
    while at < len(message) and message[at] != 0:
        length = message[at]
        if length > 63 or at + 1 + length > len(message):
            return None
        labels.append(message[at + 1:at + 1 + length].decode("latin-1"))
        at += 1 + length
    return struct.unpack(">H", message[0:2])[0], ".".join(labels), message[12:at + 5]


def ptr_answer(qid, question, targets, flags=0x8400):
    out = struct.pack(">HHHHHH", qid, flags, 1, len(targets), 0, 0) + question
    for target in targets:
        data = name(target)
        out += b"\xc0\x0c" + struct.pack(">HHIH", 12, 0x8001, 10, len(data)) + data
    return out


def query_mdns(ip, seconds):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    deadline = time.time() + seconds
    while time.time() < deadline:
        qid = random.randrange(65536)
        try:
            sock.sendto(query(qid, reverse_name(ip)), (ip, 5353))
        except OSError:
            time.sleep(0.3)
            continue
        ready, _, _ = select.select([sock], [], [], 0.5)
        if not ready:
            continue
        try:
            answer, peer = sock.recvfrom(4096)
        except OSError:
            time.sleep(0.3)
            continue
        if peer[0] == ip and len(answer) > 12 and answer[0:2] == struct.pack(">H", qid) and answer[7] > 0:
            print("answered")
            return 0
    return 1


def discard(ready_file, ports):
    sockets = []
    for port in ports:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("0.0.0.0", int(port)))
        sockets.append(sock)
    with open(ready_file, "w") as ready:
        ready.write("ready\n")
    while True:
        readable, _, _ = select.select(sockets, [], [])
        for sock in readable:
            sock.recvfrom(4096)


def hostile_mdns(ready_file):
    mdns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    mdns.bind(("0.0.0.0", 5353))
    dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    dns.bind(("0.0.0.0", 53))
    with open(ready_file, "w") as ready:
        ready.write("ready\n")
    while True:
        message, peer = mdns.recvfrom(4096)
        read = read_question(message)
        if read is None:
            continue
        qid, qname, question = read
        header = lambda count: struct.pack(">HHHHHH", qid, 0x8400, 1, count, 0, 0)
        if qname == "_services._dns-sd._udp.local":
            types = ["_t%d._tcp.local" % i for i in range(40)] + ["_ipp._tcp.local"]
            mdns.sendto(ptr_answer(qid, question, types), peer)
            continue
        hostile = [
            ptr_answer(qid ^ 0x5A5A, question, ["forged-id.local"]),
            # A pointer loop: the target points at itself.
            header(1) + question + b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 10, 2)
            + struct.pack(">H", 0xC000 | (12 + len(question) + 12)),
            ptr_answer(qid, name("9.9.9.9.in-addr.arpa") + b"\x00\x0c\x00\x01", ["forged-question.local"]),
            # A pointer forward into the next record's name.
            header(1) + question + b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 10, 2)
            + struct.pack(">H", 0xC000 | (12 + len(question) + 14 + 12)) + b"\xc0\x0c"
            + struct.pack(">HHIH", 16, 1, 10, 13) + name("alpha.local"),
            header(1) + question + b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 10, 66) + b"\x40" + b"x" * 64 + b"\0",
            ptr_answer(qid, question, [".".join(["y" * 60] * 5)]),
            header(3) + question,  # more records counted than sent
        ]
        for datagram in hostile:
            mdns.sendto(datagram, peer)
        dns.sendto(ptr_answer(qid, question, ["forged-port.local"]), peer)
        mdns.sendto(ptr_answer(qid, question, ["evil\tname\x01.local"]), peer)


def main():
    command = sys.argv[1]
    if command == "query-mdns":
        sys.exit(query_mdns(sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 20))
    if command == "discard":
        discard(sys.argv[2], sys.argv[3:])
    if command == "hostile-mdns":
        hostile_mdns(sys.argv[2])
    sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
