"""The README's Python example runs as written, against the emulator."""

from __future__ import annotations

import os
import re
import subprocess
import sys
from pathlib import Path

from conftest import Emulator

README = Path(__file__).resolve().parents[2] / "README.md"
EXAMPLE_RESOURCE = "TCPIP0::127.0.0.1::5025::SOCKET"


def readme_example() -> str:
    section = README.read_text().split("\n## From Python\n", 1)[1].split("\n## ", 1)[0]
    found = re.search(r"```python\n(.*?)```", section, re.S)
    assert found, "the README's section From Python has no python block"
    return found.group(1)


def test_the_readme_example_prints_what_the_readme_says(emulator: Emulator) -> None:
    example = readme_example()
    assert EXAMPLE_RESOURCE in example
    done = subprocess.run(
        [sys.executable, "-c", example.replace(EXAMPLE_RESOURCE, emulator.resource)],
        env=os.environ,
        capture_output=True,
        text=True,
        check=True,
        timeout=60,
    )
    printed = done.stdout.splitlines()
    assert printed[0] == "12.00 V, 1.20 A on a Rack 30-70 QM"
    assert printed[1].startswith("0xBFFA0013 Does not support this class-compliant feature: ")
    assert f"`{printed[0]}`" in README.read_text()
