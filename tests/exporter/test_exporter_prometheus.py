"""qmdc exporter scraped by a real Prometheus server (Debian's prometheus) in
front of two emulators: the server finds their levels, a protection trip and
the packaged alert rule firing for it, a supply lost (qmdc_up 0, its readings
gone) and back again; promtool accepts the exporter's scrape, the packaged
scrape job and the alert rules."""

from __future__ import annotations

import json
import os
import select
import socket
import subprocess
import tempfile
import termios
import time
import tty
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

import pytest

PACKAGING = Path(os.environ["QMDC_SOURCE_DIR"]) / "packaging" / "prometheus"
RULES = PACKAGING / "qmdc-alerts.yml"


def eventually(check, within=20.0, every=0.1):
    """Polls until check() answers something true; that answer, or the last one."""
    end = time.monotonic() + within
    while True:
        answer = check()
        if answer or time.monotonic() >= end:
            return answer
        time.sleep(every)


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def fetch(url: str, headers=None) -> tuple[str, str]:
    with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}),
                                timeout=10) as answer:
        return answer.headers.get("Content-Type", ""), answer.read().decode()


class Emulator:
    """qmdc-emulator on TCP (read by the exporter) and a pseudo-terminal (the
    test's own line to the same instrument)."""

    def __init__(self, *arguments: str) -> None:
        self.process = subprocess.Popen(
            [os.environ["QMDC_EMULATOR"], "--pty", *arguments], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True)
        self.resource = self.process.stdout.readline().strip()
        serial = self.process.stdout.readline().strip()  # ASRL/dev/pts/N::INSTR
        self.port = int(self.resource.split("::")[2])
        self.terminal = os.open(serial[len("ASRL"):-len("::INSTR")], os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.terminal)
        attributes = termios.tcgetattr(self.terminal)
        attributes[3] &= ~termios.ECHO
        termios.tcsetattr(self.terminal, termios.TCSANOW, attributes)

    def send(self, *lines: str) -> str:
        """SCPI lines over the terminal; the answer of the last when it is a query."""
        for line in lines:
            os.write(self.terminal, (line + "\n").encode())
        if "?" not in lines[-1]:
            return ""
        answer, end = b"", time.monotonic() + 5
        while not answer.endswith(b"\n") and time.monotonic() < end:
            if select.select([self.terminal], [], [], 0.1)[0]:
                answer += os.read(self.terminal, 4096)
        return answer.decode().strip()

    def stop(self) -> None:
        if self.process.poll() is not None:
            return  # stopped before
        os.close(self.terminal)
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class Exporter:
    def __init__(self, *arguments: str) -> None:
        self.process = subprocess.Popen(
            [os.environ["QMDC_TOOL"], "exporter", "--port", "0", *arguments],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        assert self.url.startswith("http://127.0.0.1:"), self.process.stderr.read()
        self.target = self.url.split("/")[2]

    def stop(self) -> tuple[int, str]:
        self.process.send_signal(2)  # Ctrl-C
        status = self.process.wait(timeout=20)
        self.process.stdout.close()
        log = self.process.stderr.read()
        self.process.stderr.close()
        return status, log


class Prometheus:
    """A Prometheus server of the test's own: ephemeral port, temporary
    storage, scraping and evaluating every second, with the packaged rules."""

    def __init__(self, folder: Path, target: str) -> None:
        config = folder / "prometheus.yml"
        config.write_text(json.dumps({
            "global": {"scrape_interval": "1s", "scrape_timeout": "1s",
                       "evaluation_interval": "1s"},
            "rule_files": [str(RULES)],
            "scrape_configs": [{"job_name": "qmdc",
                                "static_configs": [{"targets": [target]}]}],
        }))
        self.origin = f"http://127.0.0.1:{free_port()}"
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(
            ["prometheus", f"--config.file={config}", f"--storage.tsdb.path={folder / 'data'}",
             f"--web.listen-address={self.origin[len('http://'):]}"],
            stdout=self.log, stderr=subprocess.STDOUT)
        assert eventually(self.ready, 30), self.output()

    def ready(self) -> bool:
        try:
            return fetch(self.origin + "/-/ready")[1].strip() != ""
        except OSError:
            return False

    def output(self) -> str:
        self.log.seek(0)
        return self.log.read()

    def query(self, expression: str) -> dict[str, float]:
        """supply label -> value of each series the instant query answers."""
        _, body = fetch(self.origin + "/api/v1/query?" +
                        urllib.parse.urlencode({"query": expression}))
        answer = json.loads(body)
        assert answer["status"] == "success", answer
        return {r["metric"].get("supply", r["metric"].get("__name__", "")): float(r["value"][1])
                for r in answer["data"]["result"]}

    def stop(self) -> None:
        self.process.terminate()
        self.process.wait(timeout=20)
        self.log.close()


@pytest.fixture
def site(tmp_path):
    first = Emulator("--tcp", "--load", "10")
    second = Emulator("--tcp", "--load", "10", "--model", "Bench 50-20 QM", "--serial", "SN0002")
    first.send("VOLT 12", "CURR 2", "OUTP ON")
    second.send("VOLT 7.5", "CURR 1")
    exporter = Exporter(first.resource, second.resource, "--interval", "0.2")
    prometheus = Prometheus(tmp_path, exporter.target)
    emulators = [first, second]
    yield emulators, exporter, prometheus
    prometheus.stop()
    status, log = exporter.stop()
    assert status == 0, log
    for emulator in emulators:
        emulator.stop()


def test_prometheus_sees_levels_a_trip_and_a_lost_supply(site):
    (first, second), exporter, prometheus = site
    a, b = first.resource, second.resource

    levels = eventually(lambda: prometheus.query("qmdc_voltage_level_volts"))
    assert levels == {a: 12.0, b: 7.5}
    assert prometheus.query("qmdc_rated_voltage_volts") == {a: 30.0, b: 50.0}
    assert eventually(lambda: prometheus.query("qmdc_measured_voltage_volts").get(a) == 12.0)
    assert prometheus.query('qmdc_regulation_mode{mode="CV"} == 1') == {a: 1.0}
    assert prometheus.query('qmdc_up{serial="SN0002",model="Bench 50-20 QM"}') == {b: 1.0}

    # 12 V into 10 ohm is 1.2 A: an over-current level of 0.5 A trips the output.
    first.send("CURR:PROT 0.5")
    tripped = eventually(lambda: prometheus.query("qmdc_protection_tripped == 1"))
    assert tripped == {a: 1.0}
    assert prometheus.query('qmdc_protection_tripped{protection="ocp"} == 1') == {a: 1.0}
    assert prometheus.query("qmdc_output_enabled") == {a: 0.0, b: 0.0}
    firing = eventually(lambda: prometheus.query(
        'ALERTS{alertname="QmdcProtectionTripped",alertstate="firing"}'))
    assert firing == {a: 1.0}
    assert first.send("OUTP?") == "0"  # the exporter left it as the trip did

    # The second supply goes away: up 0 and no readings, then back on its port.
    second.stop()
    assert eventually(lambda: prometheus.query("qmdc_up == 0")) == {b: 0.0}
    assert eventually(lambda: b not in prometheus.query("qmdc_voltage_level_volts"))
    assert prometheus.query("qmdc_up == 1") == {a: 1.0}
    back = Emulator("--tcp", str(second.port), "--load", "10", "--model", "Bench 50-20 QM",
                    "--serial", "SN0002")
    site[0][1] = back  # stopped by the fixture
    assert back.resource == b
    assert eventually(lambda: prometheus.query("qmdc_up == 1") == {a: 1.0, b: 1.0})
    assert eventually(lambda: prometheus.query("qmdc_reconnects_total > 0")) == {b: 1.0}
    assert prometheus.query("qmdc_voltage_level_volts")[b] == 0.0  # a new instrument


def test_promtool_accepts_the_scrape_the_job_and_the_rules(tmp_path):
    emulator = Emulator("--tcp", "--load", "10")
    emulator.send("VOLT 5", "OUTP ON")
    exporter = Exporter(emulator.resource, "--interval", "0.2")
    try:
        scrape = eventually(lambda: (lambda text: "qmdc_rated_power_watts" in text and text)(
            fetch(exporter.url)[1]))
        content_type, open_metrics = fetch(
            exporter.url, {"Accept": "application/openmetrics-text;version=1.0.0,"
                                     "text/plain;version=0.0.4;q=0.5"})
    finally:
        status, log = exporter.stop()
        emulator.stop()
    assert status == 0, log
    families = {line.split()[2] for line in scrape.splitlines() if line.startswith("# TYPE")}
    # Every family the exporter has, with a supply that answers.
    assert families == {
        "qmdc_exporter_build_info", "qmdc_up", "qmdc_last_reading_age_seconds",
        "qmdc_reading_duration_seconds", "qmdc_readings_total", "qmdc_reading_failures_total",
        "qmdc_reconnects_total", "qmdc_measured_voltage_volts", "qmdc_measured_current_amperes",
        "qmdc_measured_power_watts", "qmdc_voltage_level_volts", "qmdc_current_level_amperes",
        "qmdc_ovp_level_volts", "qmdc_ocp_level_amperes", "qmdc_rated_voltage_volts",
        "qmdc_rated_current_amperes", "qmdc_rated_power_watts", "qmdc_output_enabled",
        "qmdc_regulation_mode", "qmdc_protection_tripped"}
    checked = subprocess.run(["promtool", "check", "metrics"], input=scrape, text=True,
                             capture_output=True)
    assert checked.returncode == 0, checked.stdout + checked.stderr
    assert content_type.startswith("application/openmetrics-text; version=1.0.0")
    assert open_metrics.endswith("# EOF\n")
    assert "# TYPE qmdc_readings counter\nqmdc_readings_total{" in open_metrics

    job = tmp_path / "prometheus.yml"
    job.write_text((PACKAGING / "prometheus.yml").read_text().replace(
        "/usr/share/qmdc/prometheus/qmdc-alerts.yml", str(RULES)))
    for command in (["check", "config", str(job)], ["check", "rules", str(RULES)]):
        checked = subprocess.run(["promtool", *command], capture_output=True, text=True)
        assert checked.returncode == 0, checked.stdout + checked.stderr


STORE = """<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore>
  <Name>IVI Configuration Server</Name>
  <SoftwareModules>
    <IviSoftwareModule id="m"><Name>QmDC</Name><Prefix>QmDC</Prefix></IviSoftwareModule>
    <IviSoftwareModule id="o"><Name>OtherDC</Name><Prefix>OtherDC</Prefix></IviSoftwareModule>
  </SoftwareModules>
  <HardwareAssets></HardwareAssets>
  <DriverSessions>
    <IviDriverSession id="l"><Name>Left</Name><IviSoftwareModuleRef idref="m"/>
      <Simulate>true</Simulate><DriverSetup>Model:Bench 50-20 QM</DriverSetup></IviDriverSession>
    <IviDriverSession id="x"><Name>Other</Name><IviSoftwareModuleRef idref="o"/>
      <Simulate>true</Simulate></IviDriverSession>
    <IviDriverSession id="r"><Name>Right</Name><IviSoftwareModuleRef idref="m"/>
      <Simulate>true</Simulate><DriverSetup>Model:Rack 60-25 QM</DriverSetup></IviDriverSession>
  </DriverSessions>
  <LogicalNames></LogicalNames>
</IviConfigStore>
"""


def up_series(text: str) -> list[str]:
    return [line for line in text.splitlines() if line.startswith("qmdc_up{")]


def test_without_resources_the_store_driver_sessions_of_this_driver(tmp_path):
    store = tmp_path / "store.xml"
    store.write_text(STORE)
    os.environ["IVICONFIGSERVERDEFAULT"] = str(store)
    try:
        exporter = Exporter("--interval", "0.2")
    finally:
        del os.environ["IVICONFIGSERVERDEFAULT"]
    try:
        ups = eventually(lambda: (lambda lines: all(line.endswith(" 1") for line in lines)
                                  and lines)(up_series(fetch(exporter.url)[1])))
    finally:
        status, log = exporter.stop()
    assert status == 0, log
    assert ups == ['qmdc_up{supply="Left",model="Bench 50-20 QM",serial="simulated"} 1',
                   'qmdc_up{supply="Right",model="Rack 60-25 QM",serial="simulated"} 1']


def test_the_panel_serves_the_same_families(tmp_path):
    panel = subprocess.Popen([os.environ["QMDC_TOOL"], "panel", "--simulate", "--rate", "10"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    url = panel.stdout.readline().strip()
    origin, token = url.split("/?token=")
    try:
        scrape = eventually(lambda: (lambda text: "qmdc_measured_voltage_volts" in text and text)(
            fetch(f"{origin}/metrics?token={token}")[1]))
        with pytest.raises(urllib.error.HTTPError) as refused:
            fetch(f"{origin}/metrics")
    finally:
        panel.send_signal(2)
        assert panel.wait(timeout=20) == 0
        panel.stdout.close()
        panel.stderr.close()
    assert refused.value.code == 403
    assert up_series(scrape) == [
        'qmdc_up{supply="simulated",model="Rack 30-70 QM",serial="simulated"} 1']
    assert 'qmdc_regulation_mode{supply="simulated",model="Rack 30-70 QM",serial="simulated",' \
           'mode="CV"} 1' in scrape
    checked = subprocess.run(["promtool", "check", "metrics"], input=scrape, text=True,
                             capture_output=True)
    assert checked.returncode == 0, checked.stdout + checked.stderr


# The options that would make the exporter change a supply, and those that
# must not be taken for them.
@pytest.mark.parametrize("options, status", [
    ("QueryInstrStatus=1", 2), ("queryinstrstatus=0", 2), ("RangeCheck=0", 0)])
def test_the_status_check_is_refused(options, status):
    exporter = subprocess.Popen(
        [os.environ["QMDC_TOOL"], "exporter", "--simulate", "--port", "0", "--options", options],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    first = exporter.stdout.readline()
    if status == 0:
        assert first.startswith("http://127.0.0.1:")
        exporter.send_signal(2)
    assert exporter.wait(timeout=20) == status
    message = exporter.stderr.read()
    exporter.stdout.close()
    exporter.stderr.close()
    if status:
        assert "cannot name QueryInstrStatus" in message


def exchange(target: str, request: bytes) -> bytes:
    """One raw request; what the exporter answers until it closes (or b"" when it resets)."""
    host, port = target.split(":")
    with socket.create_connection((host, int(port)), timeout=10) as connection:
        try:
            connection.sendall(request)
            answer = b""
            while chunk := connection.recv(65536):
                answer += chunk
            return answer
        except ConnectionResetError:
            return b""


# Which limit each row guards: a head within the server's 16 KiB and one
# past it, a body at 1 KiB (read) and one byte past (refused), a POST refused
# from its head before its body is read, a request line past 8 KiB. None:
# refused with one of the statuses for too large, or the connection closed.
@pytest.mark.parametrize("request_bytes, expected", [
    (b"GET /metrics HTTP/1.1\r\nHost: {host}\r\nX-Pad: " + b"a" * 9000 + b"\r\n"
     b"Connection: close\r\n\r\n", b"200"),
    (b"GET /metrics HTTP/1.1\r\nHost: {host}\r\nX-Pad: " + b"a" * 17000 + b"\r\n"
     b"Connection: close\r\n\r\n", None),
    (b"GET /metrics HTTP/1.1\r\nHost: {host}\r\nContent-Length: 1024\r\n"
     b"Connection: close\r\n\r\n" + b"b" * 1024, b"200"),
    (b"GET /metrics HTTP/1.1\r\nHost: {host}\r\nContent-Length: 1025\r\n"
     b"Connection: close\r\n\r\n" + b"b" * 1025, None),
    (b"POST /metrics HTTP/1.1\r\nHost: {host}\r\nContent-Length: 1000000\r\n"
     b"Connection: close\r\n\r\n", b"405"),
    (b"GET /metrics?" + b"q" * 9000 + b" HTTP/1.1\r\nHost: {host}\r\nConnection: close\r\n\r\n",
     None),
], ids=["head-9000", "head-17000", "body-1024", "body-1025", "post-unread", "target-9000"])
def test_requests_beyond_the_limits_are_refused(request_bytes, expected):
    exporter = Exporter("--simulate")
    try:
        # A client that sends half a request and stalls holds one connection,
        # not the exporter.
        host, port = exporter.target.split(":")
        with socket.create_connection((host, int(port)), timeout=10) as stalled:
            stalled.sendall(b"GET /metrics HTTP/1.1\r\nHo")
            answer = exchange(exporter.target,
                              request_bytes.replace(b"{host}", exporter.target.encode()))
    finally:
        status, log = exporter.stop()
    assert status == 0, log
    code = answer.split(b" ")[1] if answer.startswith(b"HTTP/1.1 ") else None
    if expected:
        assert code == expected, answer[:200]
    else:
        assert code in (None, b"400", b"413", b"414", b"431"), answer[:200]
