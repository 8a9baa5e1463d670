#!/usr/bin/env bash
# The VXI-11 tests with the system portmapper (rpcbind) running, as on an ordinary Debian
# host with NFS tools: the emulator then registers its core channel with rpcbind instead of
# running its own portmapper. rpcbind runs in network and mount namespaces of its own
# (root and unshare), so that the host's port 111 and /run are left alone; without them it
# runs on the host when none is running there, and is stopped afterwards.
# Usage: scripts/test-with-rpcbind.sh [preset]   (after a build of that preset)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
# Every test that starts an emulator with --vxi11.
tests='Vxi11|VisaPyvisaBackend|EmulatorHislip|ServiceRequestsFromTheEmulator|RemoteLocalOverVxi11|InstrumentLockFollows|VisaLanDiscovery\.FindsTheEmulator|EndToEnd\.BenchSession'
command -v rpcbind >/dev/null || { echo "test-with-rpcbind: rpcbind is not installed" >&2; exit 1; }

if [[ "${QMDC_IN_RPCBIND_NAMESPACE:-}" == 1 ]]; then
    ip link set lo up
    mount -t tmpfs tmpfs /run  # rpcbind's socket, lock and state files
    mkdir -p /run/rpcbind /run/lock
    chown _rpc /run/rpcbind 2>/dev/null || true
fi
started=
if ! rpcinfo -p 127.0.0.1 >/dev/null 2>&1; then
    if [[ $EUID -eq 0 && -z "${QMDC_IN_RPCBIND_NAMESPACE:-}" ]] && command -v unshare >/dev/null; then
        exec env QMDC_IN_RPCBIND_NAMESPACE=1 unshare --net --mount --propagation private "$0" "$@"
    fi
    rpcbind -f -w &
    started=$!
    trap 'kill "$started" 2>/dev/null; wait "$started" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
fi
rpcinfo -p 127.0.0.1 >/dev/null || { echo "test-with-rpcbind: rpcbind does not answer" >&2; exit 1; }
ctest --preset "$preset" -R "$tests"
