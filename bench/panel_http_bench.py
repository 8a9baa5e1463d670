"""qmdc panel's answer time with many pages open: a simulated rack of SUPPLIES
supplies, PAGES event streams held open and read, and meanwhile requests of
a page (the state, a change) timed one after another. Optionally a crowd of
connections that send nothing (--idle). Prints median, 99th percentile and
the longest answer, and the panel's peak memory.

    python3 bench/panel_http_bench.py build/release/bin/qmdc --pages 200 --supplies 8
"""

from __future__ import annotations

import argparse
import json
import select
import socket
import statistics
import subprocess
import threading
import time


def peak_rss_mib(pid: int) -> float:
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def timed(port: int, raw: bytes) -> float:
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(raw)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    assert answer.startswith(b"HTTP/1.1 200"), answer[:200]
    return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("qmdc")
    parser.add_argument("--pages", type=int, default=200)
    parser.add_argument("--supplies", type=int, default=8)
    parser.add_argument("--idle", type=int, default=0)
    parser.add_argument("--requests", type=int, default=400)
    parser.add_argument("--rate", default="10")
    options = parser.parse_args()

    names = [f"SIM{i}" for i in range(options.supplies)]
    panel = subprocess.Popen([options.qmdc, "panel", "--simulate", *names, "--rate", options.rate],
                             stdout=subprocess.PIPE, text=True)
    url = panel.stdout.readline().strip()
    origin, token = url.split("/?token=")
    port = int(origin.rsplit(":", 1)[1])
    host = f"127.0.0.1:{port}"
    try:
        streams = []
        for _ in range(options.pages):
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(f"GET /api/events?token={token} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
            streams.append(s)
        idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(options.idle)]
        received = [0]
        stop = threading.Event()

        def read_streams() -> None:  # the pages read what they are sent, as browsers do
            while not stop.is_set():
                ready, _, _ = select.select(streams, [], [], 0.1)
                for s in ready:
                    received[0] += len(s.recv(1 << 16))

        reader = threading.Thread(target=read_streams)
        reader.start()
        time.sleep(1.0)
        state = (f"GET /api/state?token={token} HTTP/1.1\r\nHost: {host}\r\n"
                 "Connection: close\r\n\r\n").encode()
        body = json.dumps({"value": "1.5"}).encode()
        change = (f"POST /api/supplies/0/voltage?token={token} HTTP/1.1\r\nHost: {host}\r\n"
                  f"Origin: {origin}\r\nContent-Length: {len(body)}\r\nConnection: close\r\n\r\n"
                  ).encode() + body
        for name, raw in (("state", state), ("change", change)):
            times = sorted(timed(port, raw) * 1e3 for _ in range(options.requests))
            print(f"{options.supplies} supplies, {options.pages} pages, {options.idle} idle: "
                  f"{name}: median {statistics.median(times):.1f} ms, "
                  f"p99 {times[int(len(times) * 0.99) - 1]:.1f} ms, max {times[-1]:.1f} ms")
        stop.set()
        reader.join()
        print(f"  streams read {received[0] / 1e6:.1f} MB; panel peak RSS "
              f"{peak_rss_mib(panel.pid):.1f} MiB")
        for s in streams + idle:
            s.close()
    finally:
        panel.send_signal(2)
        panel.wait(timeout=20)


if __name__ == "__main__":
    main()
