#!/usr/bin/python3
"""Time per query of pyvisa on our VISA library beside pyvisa-py, on one emulator.

Usage: pyvisa_query_bench.py PATH-TO-libqmdcvisa.so PATH-TO-qmdc-emulator
           [--queries N] [--rounds R] [--transports socket,hislip,vxi11]
           [--cpu N] [--breakdown] [--only BACKEND:TRANSPORT]

Starts qmdc-emulator on ephemeral ports (--tcp 0, --hislip 0, --vxi11) and times
inst.query("*IDN?") through pyvisa's own VISA-library backend on our library ("qmdcvisa")
and through pyvisa-py ("pyvisa-py"). Each round opens a session per backend in turn, runs
N timed queries after a short warm-up and closes it again (the emulator serves one socket
client at a time), so that a change in the machine's load falls on every backend alike.
Prints the median and the 90th percentile in microseconds per query, per transport and
backend, and the ratio of the medians. A backend that cannot open a transport (Debian's
pyvisa-py 0.5 has no HiSLIP) is named with the reason.

--cpu N runs this program and the emulator on CPU N alone: the figures are then the work
per query, without the wake-ups between CPUs (slow and erratic in a virtual machine).

--breakdown adds rows that show where the time goes:
  qmdcvisa-nolog  ours, with pyvisa's debug-log formatting of every call's arguments
                  skipped (pyvisa 1.11 formats them even when logging is off)
  ctypes          viWrite + viRead on our library through bare ctypes, without pyvisa
  pysocket        send + recv on a Python socket, without pyvisa-py (socket only)

--only BACKEND:TRANSPORT runs R x N queries on one session of one backend and prints its
figures alone: one process to put under strace, perf or cProfile.
"""
import argparse
import ctypes
from importlib import metadata
import os
import socket
import statistics
import subprocess
import sys
import time

import pyvisa
import pyvisa.ctwrapper.highlevel as ctwrapper

WARM_UP = 50
QUESTION = b"*IDN?\n"
TRANSPORT_FLAGS = {"socket": ["--tcp", "0"], "hislip": ["--hislip", "0"], "vxi11": ["--vxi11"]}
VI_ATTR_TERMCHAR_EN = 0x3FFF0038
CHUNK = 20480  # pyvisa's read size


def start_emulator(path, transports):
    """The emulator and the resource name of each transport it serves."""
    order = [name for name in TRANSPORT_FLAGS if name in transports]  # as it prints them
    args = [path] + [flag for name in order for flag in TRANSPORT_FLAGS[name]]
    emulator = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    names = {}
    for name in order:
        line = emulator.stdout.readline().strip()
        if not line:
            emulator.kill()
            raise SystemExit(f"the emulator gave no resource name for {name}")
        names[name] = line
    return emulator, names


def timed(call, count):
    """Nanoseconds of each of `count` calls, after a warm-up."""
    for _ in range(WARM_UP):
        call()
    samples = []
    clock = time.perf_counter_ns
    for _ in range(count):
        start = clock()
        call()
        samples.append(clock() - start)
    return samples


def pyvisa_queries(backend, quiet=False):
    """inst.query("*IDN?") on a fresh pyvisa session of `backend`."""
    def run(resource, count):
        keep = ctwrapper._args_to_str
        if quiet:  # what the call costs without its debug-log formatting
            ctwrapper._args_to_str = lambda arguments: arguments
        rm = pyvisa.ResourceManager(backend)
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n")
        try:
            return timed(lambda: inst.query("*IDN?"), count)
        finally:
            inst.close()
            rm.close()
            ctwrapper._args_to_str = keep
    return run


def ctypes_queries(library):
    """viWrite + viRead on our library through bare ctypes."""
    def run(resource, count):
        lib = ctypes.CDLL(library)
        rm, vi, got = ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32()
        if lib.viOpenDefaultRM(ctypes.byref(rm)) < 0:
            raise RuntimeError("viOpenDefaultRM failed")
        try:
            if lib.viOpen(rm.value, resource.encode(), 0, 2000, ctypes.byref(vi)) < 0:
                raise RuntimeError(f"viOpen {resource} failed")
            lib.viSetAttribute(vi.value, VI_ATTR_TERMCHAR_EN, 1)
            buffer = ctypes.create_string_buffer(CHUNK)
            session, count_ref = vi.value, ctypes.byref(got)
            write, read = lib.viWrite, lib.viRead

            def query():
                write(session, QUESTION, len(QUESTION), count_ref)
                read(session, buffer, CHUNK, count_ref)
            return timed(query, count)
        finally:
            lib.viClose(rm.value)
    return run


def socket_queries(resource, count):
    """send + recv of the same bytes on a Python socket."""
    port = int(resource.split("::")[2])
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

        def query():
            s.send(QUESTION)
            answer = s.recv(4096)
            while not answer.endswith(b"\n"):
                answer += s.recv(4096)
        return timed(query, count)


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
    parser.add_argument("--cpu", type=int, help="run everything on this CPU alone")
    parser.add_argument("--breakdown", action="store_true")
    parser.add_argument("--only", metavar="BACKEND:TRANSPORT")
    args = parser.parse_args()

    library = os.path.abspath(args.library)
    every = {"qmdcvisa": pyvisa_queries(library), "pyvisa-py": pyvisa_queries("@py"),
             "qmdcvisa-nolog": pyvisa_queries(library, quiet=True),
             "ctypes": ctypes_queries(library), "pysocket": socket_queries}
    shown = list(every) if args.breakdown else ["qmdcvisa", "pyvisa-py"]
    backends = {tag: every[tag] for tag in shown}
    transports = args.transports.split(",")
    if args.only:
        backend, _, transport = args.only.partition(":")
        if backend not in every:
            parser.error(f"unknown backend {backend}: one of {', '.join(every)}")
        backends = {backend: every[backend]}
        transports = [transport]
        args.queries *= args.rounds
        args.rounds = 1
    unknown = [t for t in transports if t not in TRANSPORT_FLAGS]
    if unknown:
        parser.error(f"unknown transport {unknown[0]}")
    if args.cpu is not None:
        os.sched_setaffinity(0, {args.cpu})  # the emulator inherits it

    emulator, names = start_emulator(args.emulator, transports)
    samples = {(t, b): [] for t in transports for b in backends}
    unusable = {}  # (transport, backend) -> why
    try:
        for _ in range(args.rounds):
            for transport in transports:
                for tag, run in backends.items():
                    bare_socket_elsewhere = tag == "pysocket" and transport != "socket"
                    if (transport, tag) in unusable or bare_socket_elsewhere:
                        continue
                    try:
                        samples[transport, tag] += run(names[transport], args.queries)
                    except Exception as error:  # noqa: BLE001 - any failure of the backend
                        unusable[transport, tag] = f"{type(error).__name__}: {error}"
    finally:
        emulator.terminate()
        emulator.wait()

    pinned = f", on CPU {args.cpu} alone" if args.cpu is not None else ""
    print(f"*IDN? per query, {args.rounds} rounds of {args.queries}{pinned}; microseconds; "
          f"pyvisa {metadata.version('pyvisa')}, pyvisa-py {metadata.version('pyvisa-py')}")
    print(f"{'transport':10} {'backend':15} {'median':>8} {'p90':>8}")
    for transport in transports:
        medians = {}
        for tag in backends:
            if (transport, tag) in unusable:
                print(f"{transport:10} {tag:15} fails: {unusable[transport, tag]}")
                continue
            if not samples[transport, tag]:
                continue
            medians[tag], p90 = summary(samples[transport, tag])
            print(f"{transport:10} {tag:15} {medians[tag]:8.1f} {p90:8.1f}")
        if "qmdcvisa" in medians and "pyvisa-py" in medians:
            ratio = medians["qmdcvisa"] / medians["pyvisa-py"]
            print(f"{transport:10} {'ours/pyvisa-py':15} {ratio:8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
