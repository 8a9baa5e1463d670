"""pip installs the package; the package finds libqmdc.so through
$QMDC_LIBRARY, beside itself, or on the system's library path."""

from __future__ import annotations

import ctypes.util
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import qmdc
from qmdc import _library

SOURCE = Path(__file__).resolve().parents[2] / "python"
OPEN_A_SIMULATED_SESSION = (
    "import qmdc\n"
    "with qmdc.Session('TCPIP0::127.0.0.1::5025::SOCKET', simulate=True) as s:\n"
    "    print(qmdc.__file__, qmdc.library_path(), s.instrument_model, sep='\\n')\n"
)


@pytest.fixture(scope="module")
def installed(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """The package as pip installs it into a folder of its own. The source is
    copied first: setuptools builds inside the folder it is given."""
    work = tmp_path_factory.mktemp("pip")
    shutil.copytree(SOURCE, work / "source", ignore=shutil.ignore_patterns("__pycache__", "tools"))
    subprocess.run(
        [
            sys.executable,
            "-m",
            "pip",
            "install",
            "--quiet",
            "--no-build-isolation",
            "--no-deps",
            "--no-cache-dir",
            "--no-index",
            "--target",
            str(work / "site"),
            str(work / "source"),
        ],
        check=True,
    )
    return work / "site"


def run_installed(site: Path, library: str | None) -> list[str]:
    environment = {
        k: v
        for k, v in os.environ.items()
        if k not in ("PYTHONPATH", _library.ENVIRONMENT_VARIABLE)
    }
    environment["PYTHONPATH"] = str(site)
    if library is not None:
        environment[_library.ENVIRONMENT_VARIABLE] = library
    done = subprocess.run(
        [sys.executable, "-c", OPEN_A_SIMULATED_SESSION],
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )
    return done.stdout.splitlines()


def test_pip_installs_a_working_typed_package(installed: Path) -> None:
    assert {p.name for p in (installed / "qmdc").iterdir()} >= {
        "__init__.py",
        "_attributes.py",
        "py.typed",
    }
    module, library, model = run_installed(installed, qmdc.library_path())
    assert module == str(installed / "qmdc" / "__init__.py")
    assert library == qmdc.library_path()
    assert model == "Rack 30-70 QM"


def test_an_installed_package_can_carry_the_library(installed: Path, tmp_path: Path) -> None:
    site = tmp_path / "site"
    shutil.copytree(installed, site)
    shutil.copy(qmdc.library_path(), site / "qmdc" / _library.LIBRARY_FILE)
    _, library, _ = run_installed(site, None)
    assert library == str(site / "qmdc" / _library.LIBRARY_FILE)


def test_a_link_beside_the_package_is_followed(installed: Path, tmp_path: Path) -> None:
    """cmake --install links qmdc/libqmdc.so to the library installed with the
    package; the library is loaded from its own folder, so that its $ORIGIN
    finds the platform libraries beside it."""
    site = tmp_path / "site"
    shutil.copytree(installed, site)
    (site / "qmdc" / _library.LIBRARY_FILE).symlink_to(os.path.realpath(qmdc.library_path()))
    _, library, model = run_installed(site, None)
    assert library == os.path.realpath(qmdc.library_path())
    assert model == "Rack 30-70 QM"


def test_the_system_library_path_comes_last(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.delenv(_library.ENVIRONMENT_VARIABLE)
    monkeypatch.setattr(ctypes.util, "find_library", lambda name: f"lib{name}.so.1")
    assert qmdc.library_path() == "libqmdc.so.1"
    monkeypatch.setattr(ctypes.util, "find_library", lambda name: None)
    with pytest.raises(OSError, match="libqmdc.so not found: set QMDC_LIBRARY"):
        qmdc.library_path()


def test_a_wrong_library_variable_is_named(monkeypatch: pytest.MonkeyPatch, tmp_path: Path) -> None:
    monkeypatch.setenv(_library.ENVIRONMENT_VARIABLE, str(tmp_path / "missing.so"))
    with pytest.raises(OSError, match="QMDC_LIBRARY names .*missing.so"):
        qmdc.library_path()
