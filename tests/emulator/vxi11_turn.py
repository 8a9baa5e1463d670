"""One VXI-11 emulator at a time while a system portmapper (rpcbind) holds port 111: the same
file lock as the C++ tests' EmulatorProcess takes (emulator/testing/emulator_process.cpp)."""
import contextlib
import fcntl
import os
import socket
import tempfile


def system_portmapper_running():
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", 111)) == 0


@contextlib.contextmanager
def vxi11_turn():
    """Held while the emulator runs; free of cost without a system portmapper."""
    if not system_portmapper_running():
        yield
        return
    path = os.path.join(tempfile.gettempdir(), f"qmdc-emulator-vxi11-{os.getuid()}.lock")
    with open(path, "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield
