"""VXI-11 clients we did not write against qmdc-emulator --vxi11: pyvisa-py (pyvisa's
pure-Python backend) and lxi-tools (liblxi over libtirpc). Run by ctest with Debian's
interpreter, which sees the Debian pyvisa packages; the emulator's path is in QMDC_EMULATOR."""
import os
import shutil
import subprocess

import pytest

import pyvisa  # noqa: E402  (a missing pyvisa fails the test: it exists to prove interop)

from vxi11_turn import vxi11_turn

IDN = "Orvane,Rack 30-70 QM,SN0001,1.2.3"


@pytest.fixture
def emulator(request):
    """Starts the emulator with VXI-11 (and the test's fault options); yields its resource."""
    args = getattr(request, "param", [])
    with vxi11_turn():
        process = subprocess.Popen([os.environ["QMDC_EMULATOR"], "--vxi11", *args],
                                   stdout=subprocess.PIPE, text=True)
        try:
            resource = process.stdout.readline().strip()
            assert resource.startswith("TCPIP0::127.") and resource.endswith("::inst0::INSTR")
            yield resource
        finally:
            process.terminate()
            assert process.wait(timeout=10) == 0


@pytest.fixture
def rm():
    manager = pyvisa.ResourceManager("@py")
    yield manager
    manager.close()


def host_of(resource):
    return resource.split("::")[1]


def open_instrument(rm, resource, timeout=2000):
    instrument = rm.open_resource(resource)
    instrument.read_termination = "\n"
    instrument.write_termination = "\n"
    instrument.timeout = timeout
    return instrument


def test_pyvisa_py_session(emulator, rm):
    instrument = open_instrument(rm, emulator)
    assert instrument.query("*IDN?") == IDN
    instrument.write("VOLT 12.5")
    assert float(instrument.query("VOLT?")) == 12.5
    # The status byte: a command error sets ESB (bit 5, enabled by *ESE) and the error queue
    # bit (bit 2).
    instrument.write("*ESE 32")
    instrument.write("NOT:A:COMMAND")
    assert instrument.read_stb() & 0x24 == 0x24
    assert instrument.query("SYST:ERR?") == '-113,"Undefined header"'
    # A device clear drops the answer the instrument held.
    instrument.write("*IDN?")
    instrument.clear()
    instrument.timeout = 200
    with pytest.raises(pyvisa.errors.VisaIOError) as error:
        instrument.read()
    assert error.value.error_code == pyvisa.constants.StatusCode.error_timeout
    instrument.close()


def test_pyvisa_py_lock_held_by_another_link(emulator, rm):
    holder = open_instrument(rm, emulator)
    other = open_instrument(rm, emulator, timeout=300)
    holder.lock_excl(1000)
    with pytest.raises(pyvisa.errors.VisaIOError):
        other.query("*IDN?")
    holder.unlock()
    assert other.query("*IDN?") == IDN


@pytest.mark.parametrize("emulator", [["--no-reply", "*IDN?"]], indirect=True)
def test_pyvisa_py_timeout(emulator, rm):
    instrument = open_instrument(rm, emulator, timeout=300)
    with pytest.raises(pyvisa.errors.VisaIOError) as error:
        instrument.query("*IDN?")
    assert error.value.error_code == pyvisa.constants.StatusCode.error_timeout
    # The link goes on: the next query gets its own answer.
    instrument.timeout = 2000
    assert instrument.query("*OPC?") == "1"


def lxi_scpi(host, command, timeout_s=2):
    return subprocess.run([shutil.which("lxi") or "lxi", "scpi", "-a", host, "-t",
                           str(timeout_s), command], capture_output=True, text=True, timeout=30)


def test_lxi_tools(emulator):
    host = host_of(emulator)
    assert lxi_scpi(host, "*IDN?").stdout.strip() == IDN
    assert lxi_scpi(host, "VOLT 7.25").returncode == 0
    assert float(lxi_scpi(host, "VOLT?").stdout) == 7.25


@pytest.mark.parametrize("emulator", [["--no-reply", "*IDN?"]], indirect=True)
def test_lxi_tools_timeout(emulator):
    result = lxi_scpi(host_of(emulator), "*IDN?", timeout_s=1)
    assert result.returncode != 0
    assert "timeout" in result.stderr


def own_portmapper():
    """rpcinfo -p and -u ask port 111 of the host: the emulator's own portmapper, unless a
    system one holds the port (then the emulator has registered with it)."""
    from vxi11_turn import system_portmapper_running
    return not system_portmapper_running()


# rpcinfo (package rpcbind) against the emulator's portmapper and programs: each row is a
# command line (HOST stands for the emulator's address) and a text its output must contain.
RPCINFO_ROWS = [
    (["-p", "HOST"], "395183    1   tcp", True),  # DUMP over TCP: the core channel is listed
    (["-p", "HOST"], "100000    2   udp    111  portmapper", True),
    (["-t", "HOST", "395183", "1"], "program 395183 version 1 ready and waiting", False),
    (["-t", "HOST", "395184", "1"], "program 395184 version 1 ready and waiting", True),
    (["-u", "HOST", "100000", "2"], "program 100000 version 2 ready and waiting", True),
    (["-t", "HOST", "100000", "2"], "program 100000 version 2 ready and waiting", False),
]


@pytest.mark.parametrize("args, expected, own_only", RPCINFO_ROWS)
def test_rpcinfo(emulator, args, expected, own_only):
    rpcinfo = shutil.which("rpcinfo") or shutil.which("rpcinfo", path="/usr/sbin:/sbin")
    if rpcinfo is None:
        pytest.skip("rpcinfo is not installed (Debian package rpcbind)")
    if own_only and not own_portmapper():
        pytest.skip("the system portmapper answers this row, not the emulator")
    host = host_of(emulator)
    result = subprocess.run([rpcinfo, *[host if a == "HOST" else a for a in args]],
                            capture_output=True, text=True, timeout=30)
    assert expected in result.stdout, result.stdout + result.stderr


def test_lxi_discover_finds_the_emulator(emulator):
    if not own_portmapper():
        pytest.skip("the system portmapper answers discovery broadcasts, not the emulator")
    result = subprocess.run([shutil.which("lxi") or "lxi", "discover", "-t", "2"],
                            capture_output=True, text=True, timeout=60)
    if "Broadcasting on interface" not in result.stdout:
        pytest.skip("lxi found no interface to broadcast on")
    assert f'Found "{IDN}" on address {host_of(emulator)}' in result.stdout, result.stdout
