"""A headless Chromium driven over the DevTools protocol (python3-websocket),
and the programs the panel's tests run: the emulator and qmdc panel."""

from __future__ import annotations

import base64
import itertools
import json
import os
import select
import shutil
import subprocess
import tempfile
import termios
import time
import tty
import urllib.request

import websocket

CHROMIUM = os.environ.get("QMDC_CHROMIUM", "/usr/bin/chromium")
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--remote-allow-origins=*", "--remote-debugging-port=0", "--window-size=1280,900",
]


def eventually(check, within=10.0, every=0.02):
    """Polls until check() answers something true; that answer, or the last one."""
    end = time.monotonic() + within
    while True:
        answer = check()
        if answer or time.monotonic() >= end:
            return answer
        time.sleep(every)


class Page:
    """One tab: evaluates JavaScript and takes screenshots."""

    in_front = None

    def __init__(self, socket_url: str) -> None:
        self.socket = websocket.create_connection(socket_url, timeout=30, suppress_origin=True)
        self.ids = itertools.count(1)

    def call(self, method: str, **params):
        ident = next(self.ids)
        self.socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == ident:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})

    def front(self) -> None:
        """Brings the tab to the front: a page draws in animation frames,
        which a browser runs for the visible tab only."""
        if Page.in_front is not self:
            self.call("Page.bringToFront")
            Page.in_front = self

    def evaluate(self, expression: str):
        self.front()
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def open(self, url: str) -> None:
        self.call("Page.enable")
        self.call("Page.navigate", url=url)

    def screenshot(self, path: str) -> None:
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as file:
            file.write(base64.b64decode(data))

    def close(self) -> None:
        self.socket.close()


class Chromium:
    """The browser, on a DevTools port of its own choosing, with an empty profile."""

    def __init__(self) -> None:
        self.profile = tempfile.mkdtemp(prefix="qmdc-chromium-")
        self.process = subprocess.Popen(
            [CHROMIUM, *CHROMIUM_FLAGS, f"--user-data-dir={self.profile}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        assert eventually(lambda: os.path.exists(port_file) and open(port_file).read().strip(),
                          within=30), "Chromium did not open its DevTools port"
        self.port = int(open(port_file).read().split()[0])
        self.pages: list[Page] = []

    def new_page(self) -> Page:
        request = urllib.request.Request(
            f"http://127.0.0.1:{self.port}/json/new?about:blank", method="PUT")
        with urllib.request.urlopen(request, timeout=10) as answer:
            target = json.load(answer)
        page = Page(target["webSocketDebuggerUrl"])
        self.pages.append(page)
        return page

    def stop(self) -> None:
        for page in self.pages:
            page.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


class Emulator:
    """qmdc-emulator on TCP (for the panel) and a pseudo-terminal (the test's
    own line to the same instrument), logging every line it receives."""

    def __init__(self, *arguments: str) -> None:
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(
            [os.environ["QMDC_EMULATOR"], "--tcp", "--pty", "--verbose", *arguments],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.resource = self.process.stdout.readline().strip()
        serial = self.process.stdout.readline().strip()  # ASRL/dev/pts/N::INSTR
        self.terminal = os.open(serial[len("ASRL"):-len("::INSTR")], os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.terminal)
        attributes = termios.tcgetattr(self.terminal)
        attributes[3] &= ~termios.ECHO
        termios.tcsetattr(self.terminal, termios.TCSANOW, attributes)

    def received(self) -> str:
        """Every line the emulator received on TCP so far."""
        self.log.seek(0)
        return "".join(line for line in self.log if line.startswith("[tcp] <- "))

    def query(self, line: str) -> str:
        """A line over the pseudo-terminal, and the answer when it is a query."""
        os.write(self.terminal, (line + "\n").encode())
        if "?" not in line:
            return ""
        answer = b""
        end = time.monotonic() + 5
        while not answer.endswith(b"\n") and time.monotonic() < end:
            if select.select([self.terminal], [], [], 0.1)[0]:
                answer += os.read(self.terminal, 4096)
        return answer.decode().strip()

    def stop(self) -> None:
        os.close(self.terminal)
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()
        self.log.close()


class Panel:
    """qmdc panel on a port of its own; url is the address it printed."""

    def __init__(self, *arguments: str) -> None:
        self.process = subprocess.Popen(
            [os.environ["QMDC_TOOL"], "panel", *arguments], stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        assert self.url.startswith("http://127.0.0.1:"), self.process.stderr.read()
        self.origin = self.url.split("/?")[0]
        self.token = self.url.split("token=")[1]

    def stop(self) -> int:
        self.process.send_signal(2)  # Ctrl-C
        status = self.process.wait(timeout=20)
        self.process.stdout.close()
        self.process.stderr.close()
        return status
