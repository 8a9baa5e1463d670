#!/usr/bin/env bash
# Sets everything up, builds, starts the instrument emulator and runs a bench
# session against it (set up, measure, constant voltage turning into constant
# current as the load changes, an over-voltage trip and its reset), then the
# same session in simulation.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the demo builds and runs: the driver, the emulator and the example.
scripts/setup.sh --demo >&2
cmake --preset demo >/dev/null
cmake --build --preset demo --target qmdc-emulator qmdc-example >/dev/null
bin=build/demo/bin
source scripts/lib/emulator.sh

emulator=
trap '[[ -z $emulator ]] || { kill $emulator 2>/dev/null; wait $emulator 2>/dev/null || true; }' EXIT
start_emulator "$bin/qmdc-emulator" build/demo/emulator.out --model "Rack 30-70 QM"

echo "== Rack 30-70 QM emulated at $resource, 10 ohm load"
"$bin/qmdc-example" "$resource" "QueryInstrStatus=1"
echo
echo "== The same session in simulation"
"$bin/qmdc-example" "TCPIP0::sim::5025::SOCKET" "Simulate=1, DriverSetup=Model:Bench 50-20 QM"
