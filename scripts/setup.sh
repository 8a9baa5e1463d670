#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev python3 python3-pyvisa python3-pyvisa-py binutils)
if [[ "${QMDC_WIN32:-0}" == 1 ]]; then packages+=(g++-mingw-w64-i686); fi
if [[ "${QMDC_FUZZ:-0}" == 1 ]]; then packages+=(clang libclang-rt-dev); fi  # scripts/fuzz.sh

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
