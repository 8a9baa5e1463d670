#!/usr/bin/python3
"""*IDN? over VXI-11 through pyvisa-py, to set beside bench/vxi11_bench.cpp.

Usage: vxi11_pyvisa_py.py PATH-TO-qmdc-emulator [CALLS]
Starts the emulator with --vxi11, times CALLS (default 2000) single queries after a warm-up,
and prints the median in nanoseconds."""
import statistics
import subprocess
import sys
import time

import pyvisa


def main():
    calls = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    emulator = subprocess.Popen([sys.argv[1], "--vxi11"], stdout=subprocess.PIPE, text=True)
    try:
        resource = emulator.stdout.readline().strip()
        rm = pyvisa.ResourceManager("@py")
        instrument = rm.open_resource(resource)
        instrument.read_termination = "\n"
        for _ in range(100):
            instrument.query("*IDN?")
        samples = []
        for _ in range(calls):
            start = time.perf_counter_ns()
            instrument.query("*IDN?")
            samples.append(time.perf_counter_ns() - start)
        instrument.close()
        rm.close()
        print(f"pyvisa-py *IDN? over VXI-11: median_ns={statistics.median(samples):.0f}")
    finally:
        emulator.terminate()
        emulator.wait()


if __name__ == "__main__":
    main()
