#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev python3 python3-pyvisa python3-pyvisa-py binutils
          python3-pytest python3-setuptools python3-pip python3-wheel
          libcli11-dev libedit-dev gnuplot-nox librsvg2-bin tmux)
packages+=(dpkg-dev)  # dpkg-shlibdeps: the .deb's dependencies (scripts/test-install.sh)
if [[ "${QMDC_WIN32:-0}" == 1 ]]; then packages+=(g++-mingw-w64-i686); fi
if [[ "${QMDC_COVERAGE:-0}" == 1 ]]; then packages+=(gcovr); fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
if (( ${#missing[@]} )); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
