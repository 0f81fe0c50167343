#!/usr/bin/env python3
"""Runs a command in a network of its own and reports every DNS query, connection and datagram it makes.

usage: unshare --net --mount [--user --map-root-user] netwatch.py REPORT -- COMMAND...

Run inside fresh network and mount namespaces (the caller makes them, with unshare): only loopback is
there, brought up here, and the name resolver of the namespace is pointed at a DNS server of this script
on 127.0.0.1:53 (resolv.conf and nsswitch.conf are bound over for the namespace only), which answers
127.0.0.1 to every address query. Listeners take TCP on 80, 443 and 8000 and UDP on 8000 (STUN,
WebTransport, QUIC), so that a name that resolves leads to a connection that is seen too. Nothing of
the machine's network is reachable or disturbed, and the ports are the namespace's own.

REPORT receives a JSON object {"events": [...]}: one event per DNS query (the name asked for), TCP
connection (port and the first line sent) and datagram (port). The exit code is the command's.
"""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

events = []
lock = threading.Lock()


def record(kind, **what):
    with lock:
        events.append(dict(kind=kind, **what))


def query_name(packet):
    """The name a DNS query asks for, its type, and the offset after the question."""
    labels, i = [], 12
    while i < len(packet) and packet[i] != 0:
        n = packet[i]
        labels.append(packet[i + 1:i + 1 + n].decode("ascii", "replace"))
        i += 1 + n
    qtype = struct.unpack(">H", packet[i + 1:i + 3])[0] if i + 3 <= len(packet) else 0
    return ".".join(labels), qtype, i + 5


def dns_answer(packet):
    """An answer: 127.0.0.1 for an A query, no record for any other."""
    name, qtype, end = query_name(packet)
    header = packet[:2] + b"\x81\x80" + packet[4:6] + (b"\x00\x01" if qtype == 1 else b"\x00\x00") + b"\0\0\0\0"
    answer = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\x7f\x00\x00\x01" if qtype == 1 else b""
    return name, qtype, header + packet[12:end] + answer


def serve_udp_dns(sock):
    while True:
        packet, peer = sock.recvfrom(4096)
        name, qtype, reply = dns_answer(packet)
        record("dns", name=name, type=qtype, transport="udp")
        sock.sendto(reply, peer)


def serve_tcp(sock, port):
    while True:
        conn, _ = sock.accept()
        threading.Thread(target=handle_tcp, args=(conn, port), daemon=True).start()


def handle_tcp(conn, port):
    conn.settimeout(2)
    data = b""
    try:
        if port == 53:
            length = struct.unpack(">H", conn.recv(2))[0]
            while len(data) < length:
                data += conn.recv(length - len(data))
            name, qtype, reply = dns_answer(data)
            record("dns", name=name, type=qtype, transport="tcp")
            conn.sendall(struct.pack(">H", len(reply)) + reply)
            return
        while b"\r\n" not in data and len(data) < 4096:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
    except (OSError, struct.error):
        pass
    finally:
        if port != 53:
            first = data.split(b"\r\n")[0].decode("latin-1")[:120]
            record("tcp", port=port, first=first if port != 443 else "(%d bytes of TLS)" % len(data))
        conn.close()


def serve_udp(sock, port):
    while True:
        packet, _ = sock.recvfrom(65536)
        record("udp", port=port, bytes=len(packet))


def main():
    report, command = sys.argv[1], sys.argv[sys.argv.index("--") + 1:]
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    folder = tempfile.mkdtemp(prefix="netwatch-")
    for name, text in (("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n"),
                       ("nsswitch.conf", "hosts: files dns\n")):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
        subprocess.run(["mount", "--bind", os.path.join(folder, name), os.path.join("/etc", name)], check=True)
    for family in (socket.AF_INET, socket.AF_INET6):
        host = "127.0.0.1" if family == socket.AF_INET else "::1"
        udp53 = socket.socket(family, socket.SOCK_DGRAM)
        udp53.bind((host, 53))
        threading.Thread(target=serve_udp_dns, args=(udp53,), daemon=True).start()
        for port in (53, 80, 443, 8000):
            tcp = socket.socket(family, socket.SOCK_STREAM)
            tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            tcp.bind((host, port))
            tcp.listen(64)
            threading.Thread(target=serve_tcp, args=(tcp, port), daemon=True).start()
        udp = socket.socket(family, socket.SOCK_DGRAM)
        udp.bind((host, 8000))
        threading.Thread(target=serve_udp, args=(udp, 8000), daemon=True).start()
    code = subprocess.run(command).returncode
    time.sleep(1)  # what the command's last moments sent
    with lock, open(report, "w") as f:
        json.dump({"events": events}, f)
    sys.exit(code)


main()
