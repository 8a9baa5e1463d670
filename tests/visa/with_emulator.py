#!/usr/bin/python3
"""Runs a command beside qmdc-emulator, with the emulator's socket named in
QMDC_VISA_RESOURCES (so that viFindRsrc finds it) and in $RESOURCE.

Usage: with_emulator.py PATH-TO-qmdc-emulator COMMAND [ARG...]
Exits with the command's status.
"""
import os
import subprocess
import sys

emulator = subprocess.Popen([sys.argv[1], "--tcp"], stdout=subprocess.PIPE, text=True)
try:
    resource = emulator.stdout.readline().strip()
    env = dict(os.environ, QMDC_VISA_RESOURCES=resource, RESOURCE=resource,
               QMDC_VISA_DISCOVERY_MS="0")
    sys.exit(subprocess.run(sys.argv[2:], env=env, timeout=60).returncode)
finally:
    emulator.kill()
    emulator.wait()
