#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset [ctest arguments]]   (default, release, asan or tsan)
#   scripts/test.sh tsan -R '^Visa'   the VISA tests under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
[[ $# -gt 0 ]] && shift
scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" "$@"
