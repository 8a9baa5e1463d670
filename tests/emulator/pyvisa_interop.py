#!/usr/bin/python3
"""A third-party VISA client (pyvisa with the pure-Python backend) against qmdc-emulator.

Usage: pyvisa_interop.py PATH-TO-qmdc-emulator
Runs the same checks over the TCP socket and over the pseudo-terminal. Exits 0 when every
check passes, 1 otherwise. A missing pyvisa is a failure, not a skip: the test exists to
prove that the emulator works with it.
"""
import subprocess
import sys


def run_checks(rm, resource):
    """Returns a list of (name, passed, answer) for one resource."""
    instrument = rm.open_resource(resource)
    try:
        instrument.read_termination = "\n"
        instrument.write_termination = "\n"
        instrument.timeout = 5000
        checks = []
        idn = instrument.query("*IDN?")
        checks.append(("*IDN?", idn == "Orvane,Rack 30-70 QM,SN0001,1.2.3", idn))
        instrument.write("VOLT 12.5")
        volt = instrument.query("VOLT?")
        checks.append(("VOLT?", float(volt) == 12.5, volt))
        instrument.write("NOT:A:COMMAND")
        error = instrument.query("SYST:ERR?")
        checks.append(("SYST:ERR?", error == '-113,"Undefined header"', error))
        return checks
    finally:
        instrument.close()


def main():
    if len(sys.argv) != 2:
        print("usage: pyvisa_interop.py PATH-TO-qmdc-emulator", file=sys.stderr)
        return 1
    try:
        import pyvisa
    except ImportError as error:
        print(f"FAIL: pyvisa cannot be imported ({error}); install python3-pyvisa "
              "and python3-pyvisa-py", file=sys.stderr)
        return 1

    emulator = subprocess.Popen([sys.argv[1], "--tcp", "--pty"], stdout=subprocess.PIPE,
                                text=True)
    failed = False
    try:
        resources = [emulator.stdout.readline().strip() for _ in range(2)]
        if not resources[0].startswith("TCPIP0::127.0.0.1::") or \
                not resources[1].startswith("ASRL/dev/"):
            print(f"FAIL: unexpected resource names {resources!r}", file=sys.stderr)
            return 1
        rm = pyvisa.ResourceManager("@py")
        try:
            for resource in resources:
                for name, ok, answer in run_checks(rm, resource):
                    print(f"{'ok  ' if ok else 'FAIL'} {resource} {name} -> {answer!r}")
                    failed = failed or not ok
        finally:
            rm.close()
    finally:
        emulator.terminate()
        status = emulator.wait(timeout=10)
        if status != 0:
            print(f"FAIL: emulator exited with {status}", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
