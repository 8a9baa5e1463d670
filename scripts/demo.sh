#!/usr/bin/env bash
# Sets everything up, builds, starts the instrument emulator and runs the
# example program against it, then the same in simulation.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=build/release/bin

"$bin/qmdc-emulator" --model "Rack 30-70 QM" > build/release/emulator.out &
emulator=$!
trap 'kill $emulator 2>/dev/null; wait $emulator 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [[ -s build/release/emulator.out ]] && break
  sleep 0.05
done
resource=$(head -n 1 build/release/emulator.out)

echo "== Emulator at $resource"
"$bin/qmdc-example" "$resource"
echo
echo "== Simulation"
"$bin/qmdc-example" "TCPIP0::sim::5025::SOCKET" "Simulate=1, DriverSetup=Model:Bench 50-20 QM"
