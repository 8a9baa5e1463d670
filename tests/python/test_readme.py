"""The README's Python examples run as written: the session against the
emulator, the library from the build tree, and the install commands."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path
from typing import Any

import pytest

from conftest import Emulator

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
EXAMPLE_RESOURCE = "TCPIP0::127.0.0.1::5025::SOCKET"
OPEN_A_SIMULATED_SESSION = (
    "import qmdc\n"
    "with qmdc.Session('TCPIP0::127.0.0.1::5025::SOCKET', simulate=True) as s:\n"
    "    print(qmdc.__file__, s.instrument_model)\n"
)


def readme_blocks(language: str) -> list[str]:
    """The code blocks of the README's section From Python, in order."""
    section = README.read_text().split("\n## From Python\n", 1)[1].split("\n## ", 1)[0]
    blocks = re.findall(rf"```{language}\n(.*?)```", section, re.S)
    assert blocks, f"the README's section From Python has no {language} block"
    return blocks


def run(command: list[str], **options: Any) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        command, capture_output=True, text=True, check=True, timeout=120, **options
    )


def test_the_readme_example_prints_what_the_readme_says(emulator: Emulator) -> None:
    example = readme_blocks("python")[0]
    assert EXAMPLE_RESOURCE in example
    done = run([sys.executable, "-c", example.replace(EXAMPLE_RESOURCE, emulator.resource)])
    printed = done.stdout.splitlines()
    assert printed[0] == "12.00 V, 1.20 A on a Rack 30-70 QM"
    assert printed[1].startswith("0xBFFA0013 Does not support this class-compliant feature: ")
    assert printed[2] == "-222 Data out of range"
    for line in (printed[0], "-222 Data out of range"):
        assert f"`{line}`" in README.read_text()


def test_python_runs_from_the_build_tree_as_shown() -> None:
    (command,) = readme_blocks("sh")[0].strip().splitlines()
    built = os.environ["QMDC_LIBRARY"]  # the library this build made
    command = command.replace("build/release/lib/libqmdc.so", built)
    command = command.replace("python3 -c", f"{sys.executable} -c")
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    done = run(["bash", "-c", command], cwd=ROOT, env=environment)
    assert done.stdout.strip() == built


def test_the_install_commands_work_and_leave_the_tree_clean(tmp_path: Path) -> None:
    """The README's pip commands, for a copy of python/ (pip builds in the
    folder it is given) and with a home of the test's own."""
    source = tmp_path / "python"
    shutil.copytree(ROOT / "python", source, ignore=shutil.ignore_patterns("__pycache__", "build"))
    commands = readme_blocks("sh")[1]
    commands = commands.replace("~/", f"{tmp_path}/").replace("./python", str(source))
    commands = re.sub(r"^python3 ", f"{sys.executable} ", commands, flags=re.M)
    run(["bash", "-euo", "pipefail", "-c", commands + "\n"], cwd=tmp_path)

    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    venv_python = str(tmp_path / "qmdc-venv" / "bin" / "python")
    installed = {
        "venv": run([venv_python, "-c", OPEN_A_SIMULATED_SESSION], env=environment),
        "target": run(
            [sys.executable, "-c", OPEN_A_SIMULATED_SESSION],
            env={**environment, "PYTHONPATH": str(tmp_path / "qmdc-python")},
        ),
    }
    for route, done in installed.items():
        module, model = done.stdout.strip().split(" ", 1)
        assert module.startswith(str(tmp_path)), (route, module)
        assert model == "Rack 30-70 QM"
    left = sorted(p.name for p in source.iterdir() if p.name in ("build", "qmdc.egg-info"))
    assert left == ["build", "qmdc.egg-info"]  # what git must ignore in the real tree
    if shutil.which("git") is None or not (ROOT / ".git").exists():
        pytest.skip("not a git checkout: the ignore rules cannot be asked")
    ignored = ["python/build/lib/qmdc/__init__.py", "python/qmdc.egg-info/PKG-INFO"]
    done = run(["git", "-C", str(ROOT), "check-ignore", "--no-index", *ignored])
    assert done.stdout.splitlines() == ignored
