#!/usr/bin/env bash
# Builds the 32-bit Windows DLLs and programs (preset win32) and runs them
# under 32-bit wine, against the Linux emulator over loopback and in
# simulation: the C API smoke test, checks of our visa32.dll and
# IviConfigServer.dll, the bench example by resource name (its output must be
# the Linux build's, byte for byte) and by logical name, from a store named by
# IVICONFIGSERVERDEFAULT and from the master store the registry names, and
# the argument sweep of every export.
# Fails, saying so, when wine cannot be installed here.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/emulator.sh

if ! QMDC_WIN32=1 scripts/setup.sh; then
  echo "FAIL: the packages for the Windows tests (MinGW-w64, wine, wine32:i386) could not be" \
       "installed on this machine, so no Windows program ran." >&2
  exit 1
fi

scripts/build-win32.sh
# The emulator, and the Linux example whose output the Windows one must match.
cmake --preset default >/dev/null
cmake --build --preset default --target qmdc-emulator qmdc-example

win=build/win32/bin
linux=build/default/bin
work=$PWD/build/win32/wine-test
rm -rf "$work"
mkdir -p "$work"
# A 32-bit prefix of our own; no Mono or Gecko installers, no wine chatter, no screen.
export WINEPREFIX=$PWD/build/win32/wineprefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# The programs run here look for no store but the ones given below.
unset IVICONFIGSERVERDEFAULT QMDC_IVI_CONFIG_MASTER_OVERRIDE

emulator=
cleanup() {
  if [[ -n $emulator ]]; then kill "$emulator" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true  # the prefix's server, started by this script
}
trap cleanup EXIT

started=$SECONDS
timeout 300 wineboot --init >/dev/null 2>&1 ||
  { echo "FAIL: wine could not set up its prefix in $WINEPREFIX" >&2; exit 1; }
echo "wine prefix ready in $((SECONDS - started)) s"

start_emulator "$linux/qmdc-emulator" "$work/emulator.out" --tcp --hislip --model "Rack 30-70 QM"
hislip=$(sed -n 2p "$work/emulator.out")  # the same instrument over HiSLIP
echo "emulator at $resource and $hislip"

# The store of logical names, as a Windows path.
sed "s/@RESOURCE@/$resource/" tests/win32/wine_store.xml >"$work/IviConfigurationStore.xml"
store=$(winepath -w "$work/IviConfigurationStore.xml" 2>/dev/null)
master_key='HKLM\SOFTWARE\IVI\CONFIGURATIONSERVER'

passed=0
failed=0
# check NAME STATUS EXPECTED COMMAND...: runs COMMAND (a wine command line)
# with a time limit; passes when it exits with STATUS and EXPECTED holds: an
# extended regular expression that a line of its output (standard output and
# error, line ends made LF) matches, or "=file": its standard output is that
# file's text.
check() {
  local name=$1 expected_status=$2 expected=$3 status=0
  shift 3
  local out="$work/$name.out"
  timeout 120 "$@" >"$out.raw" 2>"$work/$name.err.raw" || status=$?
  tr -d '\r' <"$out.raw" >"$out"
  tr -d '\r' <"$work/$name.err.raw" >"$work/$name.err"
  rm -f "$out.raw" "$work/$name.err.raw"
  local why=
  if (( status != expected_status )); then
    why="exit status $status, not $expected_status"
  elif [[ $expected == =* ]]; then
    diff -u "${expected#=}" "$out" >"$work/$name.diff" || why="output differs from ${expected#=}"
  elif ! grep -qE "$expected" "$out" "$work/$name.err"; then
    why="no line matches /$expected/"
  fi
  if [[ -z $why ]]; then
    echo "PASS: $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name: $why" >&2
    cat "$out" "$work/$name.err" "$work/$name.diff" 2>/dev/null | head -n 40 | sed 's/^/    /' >&2 ||
      true
    failed=$((failed + 1))
  fi
}

simulated=(TCPIP0::sim::5025::SOCKET "Simulate=1, DriverSetup=Model:Bench 50-20 QM")
"$linux/qmdc-example" "${simulated[@]}" >"$work/linux-simulated.out"
"$linux/qmdc-example" "$resource" "QueryInstrStatus=1" >"$work/linux-emulator.out"

check capi-smoke 0 '^0 failed$' wine "$win/capi_smoke.exe"
check example-simulated 0 "=$work/linux-simulated.out" wine "$win/qmdc-example.exe" "${simulated[@]}"
check example-emulator 0 "=$work/linux-emulator.out" \
  wine "$win/qmdc-example.exe" "$resource" "QueryInstrStatus=1"
check visa32 0 'all checks passed' wine "$win/visa32_check.exe" "$resource"
check visa32-hislip 0 'all checks passed' wine "$win/visa32_check.exe" "$hislip"
check example-hislip 0 "=$work/linux-emulator.out" \
  wine "$win/qmdc-example.exe" "$hislip" "QueryInstrStatus=1"
check iviconfig 0 'all checks passed' wine "$win/iviconfig_check.exe"
check iviconfig-process-default 0 'all checks passed' \
  env IVICONFIGSERVERDEFAULT="$store" wine "$win/iviconfig_check.exe"
check logical-name-emulator 0 "=$work/linux-emulator.out" \
  env IVICONFIGSERVERDEFAULT="$store" wine "$win/qmdc-example.exe" WineBench
check logical-name-simulated 0 'Orvane Bench 50-20 QM, firmware .* \(simulated\)' \
  env IVICONFIGSERVERDEFAULT="$store" wine "$win/qmdc-example.exe" WineSim
check unknown-name 1 'init failed \(0xBFFF0012\)' wine "$win/qmdc-example.exe" NoSuchBench
check serial-line 1 'init failed \(0xBFFF0011\)' wine "$win/qmdc-example.exe" ASRL1::INSTR
check sweep 0 '^emulator: [0-9]+ exports, [0-9]+ calls, 0 failed$' \
  env IVICONFIGSERVERDEFAULT="$(winepath -w tests/sweep/sweep_store.xml 2>/dev/null)" \
  wine "$win/sweep.exe" "$resource"

# Writes the master store's registry value. wine's reg now and then fails
# while the prefix is still settling (seen on a freshly made prefix): try
# again, and say so if it never takes, rather than end the script silently.
set_master_store() {
  for _ in 1 2 3 4 5; do
    wine reg add "$master_key" /v MasterStore "$@" /f >/dev/null 2>&1 && return 0
    sleep 2
  done
  echo "FAIL: wine reg add $master_key MasterStore $*" >&2
  failed=$((failed + 1))
}
set_master_store /t REG_SZ /d "$store"
check master-from-registry 0 'Orvane Bench 50-20 QM, firmware .* \(simulated\)' \
  wine "$win/qmdc-example.exe" WineSim
# The installer may write the value as REG_EXPAND_SZ, with variables in it.
set_master_store /t REG_EXPAND_SZ /d '%QMDC_STORE_FOLDER%\IviConfigurationStore.xml'
check master-from-registry-expanded 0 'Orvane Bench 50-20 QM, firmware .* \(simulated\)' \
  env QMDC_STORE_FOLDER="${store%\\*}" wine "$win/qmdc-example.exe" WineSim
wine reg delete "$master_key" /f >/dev/null 2>&1 || true

echo "wine: $passed passed, $failed failed"
(( failed == 0 ))
