"""Fixtures of the binding's tests: the emulator and sessions.

ctest sets QMDC_LIBRARY (the libqmdc.so built), QMDC_EMULATOR (the emulator
program) and PYTHONPATH (python/); see CMakeLists.txt beside this file.
"""

from __future__ import annotations

import os
import subprocess
from typing import Iterator

import pytest

import qmdc

# The model simulated by default, and its ratings.
DEFAULT_MODEL = "Rack 30-70 QM"


class Emulator:
    """qmdc-emulator on an ephemeral port; the first line it prints is the
    resource name. It serves one client at a time."""

    def __init__(self, *arguments: str) -> None:
        program = os.environ.get("QMDC_EMULATOR")
        if not program:
            pytest.skip("QMDC_EMULATOR does not name the emulator program")
        self.process = subprocess.Popen(
            [program, *arguments], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True
        )
        assert self.process.stdout is not None
        self.resource = self.process.stdout.readline().strip()
        assert self.resource.startswith("TCPIP0::127.0.0.1::"), self.resource

    def stop(self) -> None:
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.process.stdout is not None:
            self.process.stdout.close()


@pytest.fixture(scope="module")
def emulator() -> Iterator[Emulator]:
    running = Emulator("--model", DEFAULT_MODEL)
    yield running
    running.stop()


@pytest.fixture
def instrument(emulator: Emulator) -> Iterator[qmdc.Session]:
    """A session on the emulator, reset so that each test starts alike."""
    with qmdc.Session(emulator.resource, reset=True) as session:
        yield session


@pytest.fixture
def simulated() -> Iterator[qmdc.Session]:
    with qmdc.Session("TCPIP0::127.0.0.1::5025::SOCKET", simulate=True) as session:
        yield session
