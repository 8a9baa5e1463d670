#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build ccache g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev python3 python3-pyvisa python3-pyvisa-py binutils
          python3-pytest python3-setuptools python3-pip python3-wheel python3-venv
          libcli11-dev libedit-dev gnuplot-nox librsvg2-bin tmux)
# VXI-11: the RPC library, rpcgen for the XDR code, and clients we did not write.
packages+=(libtirpc-dev rpcsvc-proto lxi-tools liblxi-dev)
packages+=(dpkg-dev)  # dpkg-shlibdeps: the .deb's dependencies (scripts/test-install.sh)
# qmdc panel: HTTP, JSON and the strip chart; its test drives a headless Chromium over the
# DevTools protocol from Python.
packages+=(libcpp-httplib-dev nlohmann-json3-dev libjs-dygraphs chromium python3-websocket)
# qmdc exporter: its test runs a Prometheus server of its own and checks with promtool.
packages+=(prometheus)
# The Windows build, run under 32-bit wine (scripts/test-win32.sh).
if [[ "${QMDC_WIN32:-0}" == 1 ]]; then packages+=(g++-mingw-w64-i686 wine wine32:i386); fi
if [[ "${QMDC_COVERAGE:-0}" == 1 ]]; then packages+=(gcovr); fi
if [[ "${QMDC_FUZZ:-0}" == 1 ]]; then packages+=(clang libclang-rt-dev); fi  # scripts/fuzz.sh
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi

# Runs a package command as root. Several people may install on one machine at
# once, and apt-get update and dpkg give up at once on a lock another one holds
# (only apt-get install can wait for dpkg's), so a lock means: wait, try again.
as_root_waiting_for_locks() {
  local log status
  log=$(mktemp)
  for _ in $(seq 60); do
    status=0
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" "$@" 2>&1 | tee "$log" || status=$?
    if (( status == 0 )) || ! grep -qiE "could not get lock|unable to lock|locked by" "$log"; then
      rm -f "$log"
      return "$status"
    fi
    echo "A package lock is held; trying again in 10 s" >&2
    sleep 10
  done
  rm -f "$log"
  return 1
}

if (( ${#missing[@]} )); then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root_waiting_for_locks dpkg --add-architecture i386
  fi
  as_root_waiting_for_locks apt-get update -qq
  as_root_waiting_for_locks apt-get install -y -qq -o DPkg::Lock::Timeout=300 "${missing[@]}"
fi
if [[ "${QMDC_WIN32:-0}" == 1 ]]; then "$(dirname "$0")/setup-pugixml-source.sh"; fi
