#!/usr/bin/python3
"""Time per query of pyvisa on our VISA library beside pyvisa-py, on one emulator.

Usage: pyvisa_query_bench.py PATH-TO-libqmdcvisa.so PATH-TO-qmdc-emulator
           [--queries N] [--rounds R] [--transports socket,hislip,vxi11]
           [--only BACKEND:TRANSPORT]

Starts qmdc-emulator on ephemeral ports (--tcp 0 --hislip 0, and --vxi11 when asked) and
times inst.query("*IDN?") through pyvisa's own VISA-library backend on our library
("qmdcvisa") and through pyvisa-py ("pyvisa-py"). Each round opens a session per backend
in turn, runs N timed queries after a short warm-up and closes it again (the emulator
serves one socket client at a time), so that a change in the machine's load falls on both
backends alike. Prints the median and the 90th percentile in microseconds per query, per
transport and backend, and the ratio of the medians.

--only BACKEND:TRANSPORT runs R x N queries on one session of one backend and prints its
figures alone: one process to put under strace, perf or cProfile.
"""
import argparse
import statistics
import subprocess
import sys
import time

import pyvisa

WARM_UP = 50
TRANSPORT_FLAGS = {"socket": ["--tcp", "0"], "hislip": ["--hislip", "0"], "vxi11": ["--vxi11"]}


def start_emulator(path, transports):
    """The emulator and the resource name of each transport it serves."""
    args = [path]
    for name in ("socket", "hislip", "vxi11"):  # the order in which it prints the names
        if name in transports:
            args += TRANSPORT_FLAGS[name]
    emulator = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    names = {}
    for name in ("socket", "hislip", "vxi11"):
        if name in transports:
            line = emulator.stdout.readline().strip()
            if not line:
                emulator.kill()
                raise SystemExit(f"the emulator gave no resource name for {name}")
            names[name] = line
    return emulator, names


def timed_queries(rm, resource, count):
    """Nanoseconds of each of `count` queries on a fresh session."""
    inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    try:
        for _ in range(WARM_UP):
            inst.query("*IDN?")
        samples = []
        clock = time.perf_counter_ns
        for _ in range(count):
            start = clock()
            inst.query("*IDN?")
            samples.append(clock() - start)
        return samples
    finally:
        inst.close()


def summary(samples):
    ordered = sorted(samples)
    return statistics.median(ordered) / 1000, ordered[int(len(ordered) * 0.9)] / 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("library")
    parser.add_argument("emulator")
    parser.add_argument("--queries", type=int, default=1000, help="timed queries per round")
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--transports", default="socket,hislip,vxi11")
    parser.add_argument("--only", metavar="BACKEND:TRANSPORT")
    args = parser.parse_args()

    backends = {"qmdcvisa": args.library, "pyvisa-py": "@py"}
    if args.only:
        backend, transport = args.only.split(":")
        backends = {backend: backends[backend]}
        transports = [transport]
        args.queries *= args.rounds
        args.rounds = 1
    else:
        transports = args.transports.split(",")
    unknown = [t for t in transports if t not in TRANSPORT_FLAGS]
    if unknown:
        parser.error(f"unknown transport {unknown[0]}")

    emulator, names = start_emulator(args.emulator, transports)
    try:
        managers = {tag: pyvisa.ResourceManager(path) for tag, path in backends.items()}
        samples = {(t, b): [] for t in transports for b in backends}
        unusable = {}  # (transport, backend) -> why (pyvisa-py 0.5 has no HiSLIP)
        for _ in range(args.rounds):
            for transport in transports:
                for tag, rm in managers.items():
                    if (transport, tag) in unusable:
                        continue
                    try:
                        samples[transport, tag] += timed_queries(rm, names[transport],
                                                                 args.queries)
                    except Exception as error:  # noqa: BLE001 - any failure of the backend
                        unusable[transport, tag] = f"{type(error).__name__}: {error}"
        for rm in managers.values():
            rm.close()
    finally:
        emulator.terminate()
        emulator.wait()

    print(f"*IDN? per query, {args.rounds} rounds of {args.queries}; microseconds")
    print(f"{'transport':10} {'backend':10} {'median':>8} {'p90':>8}")
    for transport in transports:
        medians = {}
        for tag in backends:
            if (transport, tag) in unusable:
                print(f"{transport:10} {tag:10} fails: {unusable[transport, tag]}")
                continue
            median, p90 = summary(samples[transport, tag])
            medians[tag] = median
            print(f"{transport:10} {tag:10} {median:8.1f} {p90:8.1f}")
        if len(medians) == 2:
            ratio = medians["qmdcvisa"] / medians["pyvisa-py"]
            print(f"{transport:10} {'ours/py':10} {ratio:8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
