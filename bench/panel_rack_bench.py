#!/usr/bin/python3
"""qmdc panel on a rack of emulated supplies, watched by headless Chromium.

Usage: panel_rack_bench.py PATH-TO-qmdc PATH-TO-qmdc-emulator
           [--supplies 50] [--rate 4] [--seconds 60] [--simulate]

Starts one qmdc-emulator per supply (--simulate: simulated sessions instead, for a
machine too small for the emulators), qmdc panel on all of them at --rate readings a
second, switches every output on at its own voltage, and opens the page in headless
Chromium: --seconds on the rack view, then --seconds on the card of the first supply
(with its chart). Prints, per view:

  stream      bytes a second of the event stream, read by a bare HTTP client beside the
              page (what every page costs the panel and the network)
  page        bytes a second the page took from its stream, its messages and frames
  age         how old the newest reading drawn is (rack: in each row's trend, over all
              rows; card: in the chart), sampled four times a second: median, 99th
              percentile, largest, and the largest of the first and of the last ten
              seconds (a page that falls behind grows from one to the other)
  cpu         CPU of Chromium (all its processes, and its renderer alone) and of the
              panel, in cores; and the renderer's main-thread busy share (DevTools
              TaskDuration)
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import threading
import time
import http.client
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "panel"))

TICK = os.sysconf("SC_CLK_TCK")


def tree_cpu(root: int, only: str = "") -> float:
    """CPU seconds used so far by root and its descendants (whose command line holds only)."""
    parents, total = {}, 0.0
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                parents[int(entry)] = (int(fields[1]), int(fields[11]) + int(fields[12]))
            except OSError:
                pass
    for pid, (_, ticks) in parents.items():
        ancestor = pid
        while ancestor and ancestor != root:
            ancestor = parents.get(ancestor, (0, 0))[0]
        if ancestor != root:
            continue
        if only:
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                    if only.encode() not in cmdline.read():
                        continue
            except OSError:
                continue
        total += ticks / TICK
    return total


class StreamCounter(threading.Thread):
    """A bare client of the event stream, counting the bytes after the first event."""

    def __init__(self, origin: str, token: str) -> None:
        super().__init__(daemon=True)
        self.connection = http.client.HTTPConnection(origin[len("http://"):], timeout=30)
        self.connection.request("GET", "/api/events?token=" + token)
        self.answer = self.connection.getresponse()
        self.bytes = 0
        self.first = b""
        self.stopping = False

    def run(self) -> None:
        while not self.stopping:
            data = self.answer.read1(65536)
            if not data:
                return
            if b"\n\n" not in self.first:
                self.first += data
                continue
            self.bytes += len(data)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def measure(page, panel, panel_pid, browser_pid, seconds, ages_js):
    counter = StreamCounter(panel.origin, panel.token)
    counter.start()
    time.sleep(2)  # past the stream's first event and the view's first frames
    stats = "window.panelStats"
    start = {"bytes0": counter.bytes, "page": page.evaluate(f"({{b: {stats}.bytes, m: {stats}.messages, f: {stats}.frames}})"),
             "cpu": (tree_cpu(browser_pid), tree_cpu(browser_pid, "--type=renderer"), tree_cpu(panel_pid)),
             "task": metric(page, "TaskDuration"), "time": time.monotonic()}
    samples = []  # (seconds since start, [ages in s])
    while time.monotonic() - start["time"] < seconds:
        ages = page.evaluate(ages_js)
        samples.append((time.monotonic() - start["time"], ages))
        time.sleep(0.25)
    elapsed = time.monotonic() - start["time"]
    end_page = page.evaluate(f"({{b: {stats}.bytes, m: {stats}.messages, f: {stats}.frames}})")
    cpu = (tree_cpu(browser_pid), tree_cpu(browser_pid, "--type=renderer"), tree_cpu(panel_pid))
    task = metric(page, "TaskDuration")
    counter.stopping = True
    stream = (counter.bytes - start["bytes0"]) / elapsed
    every = [age for _, ages in samples for age in ages]
    first = [age for t, ages in samples if t < 10 for age in ages]
    last = [age for t, ages in samples if t > elapsed - 10 for age in ages]
    return {
        "stream_bytes_per_s": round(stream),
        "page_bytes_per_s": round((end_page["b"] - start["page"]["b"]) / elapsed),
        "page_messages_per_s": round((end_page["m"] - start["page"]["m"]) / elapsed, 1),
        "page_frames_per_s": round((end_page["f"] - start["page"]["f"]) / elapsed, 1),
        "age_median_s": round(statistics.median(every), 3),
        "age_p99_s": round(percentile(every, 0.99), 3),
        "age_max_s": round(max(every), 3),
        "age_max_first_10s": round(max(first), 3),
        "age_max_last_10s": round(max(last), 3),
        "chromium_cores": round((cpu[0] - start["cpu"][0]) / elapsed, 3),
        "renderer_cores": round((cpu[1] - start["cpu"][1]) / elapsed, 3),
        "renderer_main_thread_busy": round((task - start["task"]) / elapsed, 3),
        "panel_cores": round((cpu[2] - start["cpu"][2]) / elapsed, 3),
    }


def metric(page, name):
    for entry in page.call("Performance.getMetrics")["metrics"]:
        if entry["name"] == name:
            return entry["value"]
    return 0.0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tool")
    parser.add_argument("emulator")
    parser.add_argument("--supplies", type=int, default=50)
    parser.add_argument("--rate", default="4")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--simulate", action="store_true")
    options = parser.parse_args()
    os.environ["QMDC_TOOL"] = options.tool
    os.environ.setdefault("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/qmdc-bench-store.xml")
    os.environ.setdefault("IVICONFIGSERVERDEFAULT", "")
    from browser import Chromium, Panel, eventually

    emulators, resources = [], []
    if options.simulate:
        resources = [f"SIM{i}" for i in range(options.supplies)]
    else:
        for i in range(options.supplies):
            emulator = subprocess.Popen([options.emulator, "--serial", f"QM7-{20400 + i}"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            emulators.append(emulator)
            resources.append(emulator.stdout.readline().strip())
    panel = Panel(*(["--simulate"] if options.simulate else []), "--rate", options.rate, *resources)
    browser = None
    try:
        def state():
            with urllib.request.urlopen(panel.origin + "/api/state?token=" + panel.token, timeout=10) as answer:
                return json.load(answer)["supplies"]
        assert eventually(lambda: all(s["connected"] for s in state()), within=60), "supplies did not connect"
        for i in range(options.supplies):
            for command, value in (("voltage", str(5 + i % 20)), ("output", "on")):
                request = urllib.request.Request(
                    f"{panel.origin}/api/supplies/{i}/{command}?token={panel.token}", method="POST",
                    data=json.dumps({"value": value}).encode(),
                    headers={"Origin": panel.origin, "Content-Type": "application/json"})
                urllib.request.urlopen(request, timeout=30).close()
        browser = Chromium()
        page = browser.new_page()
        page.call("Performance.enable")
        page.open(panel.url)
        assert eventually(lambda: page.evaluate(
            "document.querySelectorAll('#rack tbody tr').length") == options.supplies, within=30)
        rows_js = ("(() => { const now = Date.now(); return window.panelStats.drawn"
                   ".map(t => (now - t) / 1000); })()")
        results = {"rack view": measure(page, panel, panel.process.pid, browser.process.pid,
                                        options.seconds, rows_js)}
        page.evaluate("location.hash = 'supply-0'")
        assert eventually(lambda: page.evaluate("window.panelStats.chartDrawn") > 0, within=30)
        chart_js = "[(Date.now() - window.panelStats.chartDrawn) / 1000]"
        results["card with chart"] = measure(page, panel, panel.process.pid, browser.process.pid,
                                             options.seconds, chart_js)
        print(f"{options.supplies} {'simulated' if options.simulate else 'emulated'} supplies, "
              f"{options.rate} readings/s each, {options.seconds:.0f} s per view")
        for view, figures in results.items():
            print(f"\n{view}:")
            for name, value in figures.items():
                print(f"  {name:28} {value}")
    finally:
        if browser:
            browser.stop()
        panel.stop()
        for emulator in emulators:
            emulator.terminate()
            emulator.wait(timeout=10)
            emulator.stdout.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
