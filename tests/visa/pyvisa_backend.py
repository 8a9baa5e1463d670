#!/usr/bin/python3
"""pyvisa's own VISA-library backend on libqmdcvisa, against qmdc-emulator; the same checks
with pyvisa-py ("@py") side by side, with the time per query of each.

Usage: pyvisa_backend.py PATH-TO-libqmdcvisa.so PATH-TO-qmdc-emulator
Also runs pyvisa-info and pyvisa-shell (list, open, query, close) on our library, through a
~/.pyvisarc in a temporary HOME. Exits 0 when every check passes.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyvisa
from pyvisa import constants, errors

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "emulator"))
from vxi11_turn import vxi11_turn  # noqa: E402

IDN = "Orvane,Rack 30-70 QM,SN0001,1.2.3"
failures = []


def check(label, ok, detail=""):
    print(f"ok   {label}" if ok else f"FAIL {label}: {detail}")
    if not ok:
        failures.append(label)


def raises(code, call):
    """Whether call() raises VisaIOError with this status."""
    try:
        call()
    except errors.VisaIOError as error:
        return error.error_code == code
    return False


def open_sockets():
    count = 0
    for fd in os.listdir("/proc/self/fd"):
        try:
            count += os.readlink(f"/proc/self/fd/{fd}").startswith("socket:")
        except OSError:
            pass
    return count


def query_time(instrument, rounds=10, count=40):
    """Microseconds per query: the best of several rounds, so that another
    program's load on the machine shows as little as possible."""
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for _ in range(count):
            instrument.query("*IDN?")
        best = min(best, (time.perf_counter() - start) / count * 1e6)
    return best


def common_checks(tag, rm, resource):
    """What both backends must do alike; returns the time per query in microseconds."""
    inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    try:
        check(f"{tag} query {resource}", inst.query("*IDN?") == IDN)
        inst.write("VOLT 2.5")
        check(f"{tag} query_ascii_values", inst.query_ascii_values("VOLT?") == [2.5])
        inst.write("*IDN?")
        check(f"{tag} read_raw", inst.read_raw() == (IDN + "\n").encode())
        inst.timeout = None
        check(f"{tag} timeout None", inst.timeout == float("inf") and inst.query("*IDN?") == IDN)
        inst.timeout = 2000
        try:
            inst.clear()
            check(f"{tag} clear", inst.query("*IDN?") == IDN)
        except errors.VisaIOError as error:  # pyvisa-py cannot clear a serial line
            check(f"{tag} clear", tag == "pyvisa-py", str(error))
        return query_time(inst)
    finally:
        inst.close()


def our_checks(rm, resources):
    tcp, serial = resources
    os.environ["QMDC_VISA_RESOURCES"] = tcp
    os.environ["QMDC_VISA_DISCOVERY_MS"] = "0"  # the names given only
    listed = rm.list_resources("?*")
    check("list_resources", tcp in listed, repr(listed))
    info = rm.resource_info(serial)
    check("resource_info", info.interface_type == constants.InterfaceType.asrl
          and info.resource_class == "INSTR", repr(info))
    check("resource_info unsupported kind", rm.resource_info("GPIB0::5::INSTR").interface_type
          == constants.InterfaceType.gpib)
    check("open unsupported kind",
          raises(constants.StatusCode.error_interface_number_not_configured,
                 lambda: rm.open_resource("GPIB0::5::INSTR")))
    for resource in resources:
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
        check(f"read_stb without 488.2 emulation {resource}",
              raises(constants.StatusCode.error_nonsupported_operation, inst.read_stb))
        inst.io_protocol = constants.IOProtocol.protocol4882_strs
        inst.write("*SRE 0;*CLS")
        check(f"read_stb {resource}", inst.read_stb() == 0)
        # The emulator has no "*TRG": the error it queues shows the command arrived.
        inst.assert_trigger()
        check(f"assert_trigger {resource}", inst.query("SYST:ERR?") == '-113,"Undefined header"')
        other = rm.open_resource(resource, read_termination="\n", write_termination="\n")
        inst.lock_excl()
        check(f"lock_excl keeps another session out {resource}",
              raises(constants.StatusCode.error_timeout, lambda: other.lock_excl(timeout=100)))
        inst.unlock()
        other.lock_excl(timeout=100)
        other.unlock()
        check(f"lock free again {resource}", True)
        if resource == serial:  # both sessions share the line, so both can talk
            with inst.lock_context():
                check("lock_context blocks the other session",
                      raises(constants.StatusCode.error_resource_locked,
                             lambda: other.query("*IDN?")))
            check("lock_context released", other.query("*IDN?") == IDN)
        other.close()
        inst.close()
    before = open_sockets()
    inst = rm.open_resource(tcp)
    check("socket opened", open_sockets() == before + 1)
    rm.close()
    check("rm.close() closes the socket", open_sockets() == before)


def hislip_checks(rm, resource):
    """HiSLIP carries the status byte, the trigger, clear and locks itself."""
    common_checks("qmdcvisa", rm, resource)
    inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    inst.write("*SRE 0;*CLS")
    check("hislip read_stb", inst.read_stb() == 0)
    inst.assert_trigger()  # HiSLIP's Trigger message, not a "*TRG" the emulator would refuse
    check("hislip assert_trigger", inst.query("SYST:ERR?").startswith("0,"))
    with inst.lock_context():
        check("hislip lock_context", inst.query("*IDN?") == IDN)
    check("hislip control_ren",
          inst.control_ren(constants.RENLineOperation.asrt_llo) == constants.StatusCode.success
          and inst.control_ren(constants.RENLineOperation.deassert_gtl)
          == constants.StatusCode.success)
    service_request_checks(inst, "hislip")
    inst.close()
    rm.close()


def vxi11_checks(rm, resource):
    """VXI-11 delivers service requests on its interrupt channel."""
    inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    check("vxi11 query", inst.query("*IDN?") == IDN)
    service_request_checks(inst, "vxi11")
    inst.close()
    rm.close()


def service_request_checks(inst, tag):
    """Service requests through pyvisa's event calls: the queue, then a handler."""
    srq = constants.EventType.service_request
    inst.write("*CLS;*ESE 1;*SRE 32")
    inst.enable_event(srq, constants.EventMechanism.queue)
    inst.write("*OPC")
    response = inst.wait_on_event(srq, 2000, capture_timeout=True)
    check(f"{tag} service request queued",
          not response.timed_out and response.event.event_type == srq, repr(response.ret))
    del response  # closes the event context
    check(f"{tag} status byte requests service", inst.read_stb() & 0x40 == 0x40)
    check(f"{tag} one event per request",
          inst.wait_on_event(srq, 100, capture_timeout=True).timed_out)
    inst.disable_event(srq, constants.EventMechanism.queue)
    seen = []

    def handler(session, event_type, context, user_handle):
        seen.append(event_type)
        return constants.StatusCode.success

    inst.install_handler(srq, handler)
    inst.enable_event(srq, constants.EventMechanism.handler)
    inst.write("*CLS\n*OPC")
    deadline = time.monotonic() + 2
    while not seen and time.monotonic() < deadline:
        time.sleep(0.01)
    check(f"{tag} service request handler", seen == [srq], repr(seen))
    inst.disable_event(srq, constants.EventMechanism.handler)
    inst.uninstall_handler(srq, handler)


def run_tools(library, tcp):
    home = tempfile.mkdtemp()
    with open(os.path.join(home, ".pyvisarc"), "w") as rc:
        rc.write(f"[Paths]\nVISA library: {library}\n")
    # One serial port in a made-up sysfs, so that "list" shows the same on every machine.
    os.makedirs(os.path.join(home, "sys/class/tty/ttyS0"))
    with open(os.path.join(home, "sys/class/tty/ttyS0/type"), "w") as uart:
        uart.write("4\n")
    env = dict(os.environ, HOME=home, QMDC_VISA_RESOURCES=tcp, QMDC_VISA_DISCOVERY_MS="0",
               QMDC_VISA_SYSFS=os.path.join(home, "sys"))
    info = subprocess.run(["/usr/bin/pyvisa-info"], env=env, capture_output=True, text=True,
                          timeout=60)
    check("pyvisa-info", info.returncode == 0 and "Vendor: QmDC" in info.stdout
          and "Could not get more info" not in info.stdout, info.stdout + info.stderr)
    commands = f"list\nopen {tcp}\ntermchar LF LF\nquery *IDN?\nclose\nexit\n"
    shell = subprocess.run(["/usr/bin/pyvisa-shell"], env=env, input=commands,
                           capture_output=True, text=True, timeout=60)
    out = shell.stdout
    check("pyvisa-shell list", "( 0) ASRL1::INSTR" in out, out)
    check("pyvisa-shell open", f"{tcp} has been opened" in out, out)
    check("pyvisa-shell query", f"Response: {IDN}" in out, out)
    check("pyvisa-shell close", "Error" not in out and shell.returncode == 0, out + shell.stderr)


def main():
    library, emulator_path = sys.argv[1:3]
    with vxi11_turn():
        return run_all(library, emulator_path)


def run_all(library, emulator_path):
    emulator = subprocess.Popen([emulator_path, "--tcp", "--pty", "--hislip", "--vxi11"],
                                stdout=subprocess.PIPE, text=True)
    try:
        resources = [emulator.stdout.readline().strip() for _ in range(2)]
        hislip = emulator.stdout.readline().strip()
        vxi11 = emulator.stdout.readline().strip()
        times = {}
        for tag, backend in (("qmdcvisa", library), ("pyvisa-py", "@py")):
            rm = pyvisa.ResourceManager(backend)
            times[tag] = [common_checks(tag, rm, r) for r in resources]
            rm.close()
        hislip_checks(pyvisa.ResourceManager(library), hislip)
        vxi11_checks(pyvisa.ResourceManager(library), vxi11)
        os.environ["QMDC_VISA_DISCOVERY_MS"] = "500"  # the emulator answers the broadcast
        listed = pyvisa.ResourceManager(library).list_resources("TCPIP?*INSTR")
        check("list_resources discovers", vxi11 in listed, repr(listed))
        our_checks(pyvisa.ResourceManager(library), resources)
        run_tools(library, resources[0])
        for tag, (tcp_us, serial_us) in times.items():
            print(f"time per *IDN? query, {tag}: socket {tcp_us:.0f} us, serial {serial_us:.0f} us")
    finally:
        emulator.terminate()  # SIGTERM: it takes its entry out of a system portmapper
        try:
            emulator.wait(timeout=10)
        except subprocess.TimeoutExpired:
            emulator.kill()
            emulator.wait()
    print(f"{len(failures)} failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
