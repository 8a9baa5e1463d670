#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
#   scripts/setup.sh          everything: the demo's packages, the tests' and the tools'
#   scripts/setup.sh --demo   only what scripts/demo.sh builds and runs (the driver, the
#                             emulator, the example), without recommended packages
set -euo pipefail

# The demo: compilers and build tools, and the libraries that the driver, the emulator and
# the example link (pugixml: the configuration server; libtirpc and rpcgen: VXI-11).
demo_packages=(cmake ninja-build g++ pkg-config libpugixml-dev libtirpc-dev rpcsvc-proto)
packages=("${demo_packages[@]}" ccache libgtest-dev libgmock-dev libbenchmark-dev
          python3 python3-pyvisa python3-pyvisa-py binutils
          python3-pytest python3-setuptools python3-pip python3-wheel python3-venv
          libcli11-dev libedit-dev gnuplot-nox librsvg2-bin tmux)
packages+=(strace)  # counts the system calls of a query (bench/count_syscalls.sh)
# VXI-11: clients we did not write.
packages+=(lxi-tools liblxi-dev)
packages+=(rpcbind)  # the system portmapper and rpcinfo (scripts/test-with-rpcbind.sh)
# LAN discovery over DNS-SD: the library loads libavahi-client at run time; its test
# announces instruments through an avahi daemon, its own one on a D-Bus bus of its own
# where the machine runs none.
packages+=(libavahi-client3 avahi-daemon avahi-utils dbus)
packages+=(dpkg-dev)  # dpkg-shlibdeps: the .deb's dependencies (scripts/test-install.sh)
# qmdc panel: JSON and the strip chart; its test drives a headless Chromium over the
# DevTools protocol from Python.
packages+=(nlohmann-json3-dev libjs-dygraphs chromium python3-websocket)
# qmdc exporter: its test runs a Prometheus server of its own and checks with promtool.
packages+=(prometheus)
install_options=()
if [[ "${1:-}" == --demo ]]; then
  packages=("${demo_packages[@]}")
  install_options=(--no-install-recommends)
fi
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
  as_root_waiting_for_locks apt-get install -y -qq -o DPkg::Lock::Timeout=300 \
    "${install_options[@]}" "${missing[@]}"
fi
if [[ "${QMDC_WIN32:-0}" == 1 ]]; then "$(dirname "$0")/setup-pugixml-source.sh"; fi
