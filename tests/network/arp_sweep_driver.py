"""Drives the ARP sweep helper over its pipe protocol, as the unprivileged user it serves.

    arp_sweep_driver.py HELPER INTERFACE HOSTS_TXT

Checks, against the real network of the namespace: the helper says it is ready with the
interface's address and netmask, holds no capability once it is, answers a probe of each
host of HOSTS_TXT with that host's MAC (and nothing for the silent address after the
last host), and refuses every request that breaks a rule with the right error record and
exit status 2. Prints one line per failed check; exits 1 when any failed.
"""
import ipaddress
import os
import select
import socket
import struct
import subprocess
import sys
import time

OPEN, PROBE = 1, 2
READY, ANSWER, ERROR = 0x81, 0x82, 0x83
MALFORMED, OUT_OF_ORDER, NO_INTERFACE, RATE_REFUSED, OFF_SUBNET, TRUNCATED = 1, 2, 3, 4, 5, 7
MAX_RATE = 10000

helper, interface, hosts_txt = sys.argv[1:4]
failures = []


def record(op, first=0, second=0, tail=b"\0" * 4, reserved=b"\0\0\0"):
    return bytes([op]) + reserved + struct.pack(">II", first, second) + tail


def ip(text):
    return int(ipaddress.IPv4Address(text))


class Helper:
    def __init__(self):
        self.proc = subprocess.Popen([helper], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env={})
        self.buffer = b""

    def send(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def replies(self, wait):
        """Records that arrive within `wait` seconds (until the helper ends)."""
        out = []
        deadline = time.monotonic() + wait
        fd = self.proc.stdout.fileno()
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                break
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            self.buffer += chunk
            while len(self.buffer) >= 16:
                out.append(self.buffer[:16])
                self.buffer = self.buffer[16:]
        return out

    def end(self):
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        return self.proc.wait(timeout=5)


index = socket.if_nametoindex(interface)
hosts = [line.split() for line in open(hosts_txt) if line.strip()]
own = subprocess.run(["ip", "-4", "-o", "addr", "show", interface], capture_output=True, text=True).stdout.split()
network = ipaddress.IPv4Interface(own[own.index("inet") + 1])

# Ready, no capability kept, every host answered with its MAC.
h = Helper()
h.send(record(OPEN, index, 500))
first = h.replies(2)
if not first or first[0][0] != READY or struct.unpack(">II", first[0][4:12]) != (
        int(network.ip), int(network.netmask)):
    failures.append(f"no ready record with {network}: {first!r}")
with open(f"/proc/{h.proc.pid}/status") as status:
    for line in status:
        key, _, value = line.partition(":")
        if key in ("CapEff", "CapPrm", "CapInh", "CapAmb") and int(value, 16) != 0:
            failures.append(f"the helper keeps {key} {value.strip()}")
silent = ip(max(hosts, key=lambda host: ip(host[0]))[0]) + 1
for host in hosts:
    h.send(record(PROBE, ip(host[0])))
h.send(record(PROBE, silent))
answers = {}
for reply in h.replies(1.5):
    if reply[0] != ANSWER:
        failures.append(f"unexpected record {reply!r}")
        continue
    address = str(ipaddress.IPv4Address(struct.unpack(">I", reply[8:12])[0]))
    answers.setdefault(address, set()).add(":".join(f"{b:02X}" for b in reply[2:8]))
for host in hosts:
    if answers.get(host[0]) != {host[1].upper()}:
        failures.append(f"{host[0]}: answers {answers.get(host[0])}, not {host[1]}")
if str(ipaddress.IPv4Address(silent)) in answers:
    failures.append("an answer for the silent address")
if h.end() != 0:
    failures.append("the end of its input did not end the helper with 0")

# Refusals: each request, after an open where the case needs one, gives this error.
opened = record(OPEN, index, 500)
cases = [
    ("off subnet", [opened, record(PROBE, ip("198.19.0.1"))], OFF_SUBNET),
    ("network address", [opened, record(PROBE, int(network.network.network_address))], OFF_SUBNET),
    ("broadcast", [opened, record(PROBE, int(network.network.broadcast_address))], OFF_SUBNET),
    ("own address", [opened, record(PROBE, int(network.ip))], OFF_SUBNET),
    ("rate 0", [record(OPEN, index, 0)], RATE_REFUSED),
    ("rate above the maximum", [record(OPEN, index, MAX_RATE + 1)], RATE_REFUSED),
    ("no such interface", [record(OPEN, 0x7FFFFFF0, 500)], NO_INTERFACE),
    ("loopback", [record(OPEN, socket.if_nametoindex("lo"), 500)], NO_INTERFACE),
    ("probe before open", [record(PROBE, ip(hosts[0][0]))], OUT_OF_ORDER),
    ("second open", [opened, opened], OUT_OF_ORDER),
    ("unknown operation", [record(9)], MALFORMED),
    ("reserved bytes", [record(OPEN, index, 500, reserved=b"\0\1\0")], MALFORMED),
    ("probe tail", [opened, record(PROBE, ip(hosts[0][0]), 1)], MALFORMED),
    ("truncated", [opened, record(PROBE, ip(hosts[0][0]))[:9]], TRUNCATED),
]
for name, requests, error in cases:
    h = Helper()
    for request in requests:
        h.send(request)
    if name == "truncated":
        h.proc.stdin.close()
    errors = [r for r in h.replies(2) if r[0] == ERROR]
    try:
        code = h.end()
    except subprocess.TimeoutExpired:
        h.proc.kill()
        code = "none (still running)"
    if not errors or errors[0][1] != error or code != 2:
        failures.append(f"{name}: error records {errors!r}, exit {code}, not error {error} and exit 2")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
