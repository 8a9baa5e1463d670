#!/usr/bin/env bash
# Installation as a user does it: runs the commands of the README's section
# "Installing" as written (release build, `cmake --install` into a temporary
# prefix, examples/consumer built against it with pkg-config and with
# find_package(QmDC), the Python binding, `cpack -G DEB`), then checks what
# they made: the installed tree holds what it should and no more; the
# consumers print the simulated model; the tree's programs and the binding run
# from it with no library path, on the tree's own libraries; the .deb has its
# name, version and dependencies, and unpacked with dpkg-deb -x (not
# installed) holds the same tree under /usr, which runs from there too.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/emulator.sh
started=$SECONDS
scripts/setup.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PREFIX=$work/prefix

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() { [[ "$3" == "$2" ]] || fail "$1: expected '$2', got '$3'"; }

echo "== The README's Installing commands, PREFIX=$PREFIX"
cmake -DREADME=README.md "-DHEADING=## Installing" -DLANGUAGE=sh -DOUTPUT="$work/installing.sh" \
      -P cmake/readme_block.cmake
rm -rf build/consumer build/consumer-pc  # configured afresh for this prefix
# The consumer is held to the project's warnings (CMake reads CFLAGS when it
# configures a folder for the first time).
CFLAGS="-Wall -Wextra -Werror" bash -euxo pipefail "$work/installing.sh"

echo "== Checks"
model="Bench 50-20 QM"
expect "consumer built with pkg-config" "$model" "$(build/consumer-pc)"
expect "consumer built with find_package(QmDC)" "$model" "$(build/consumer/consumer)"

# Every file and link of a tree, relative to it, without the binding's
# modules (checked by name against python/qmdc below).
tree() { (cd "$1" && find . \( -type f -o -type l \) ! -name '*.py' | sed 's|^\./||' | sort); }
expect "installed tree" "$(cat tests/install/installed-files.txt)" "$(tree "$PREFIX")"
expect "installed Python modules" "$(cd python/qmdc && ls ./*.py | sort)" \
       "$(cd "$PREFIX/lib/python3/dist-packages/qmdc" && ls ./*.py | sort)"

runpath() { readelf -d "$1" | sed -nE 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]$/\2/p'; }
expect "RUNPATH of bin/qmdc" '$ORIGIN/../lib' "$(runpath "$PREFIX/bin/qmdc")"
expect "RUNPATH of lib/libqmdc.so" '$ORIGIN' "$(runpath "$PREFIX/lib/libqmdc.so")"
expect "soname of libqmdcvisa" "libqmdcvisa.so.1" \
       "$(readelf -d "$PREFIX/lib/libqmdcvisa.so" | sed -nE 's/.*\(SONAME\).*\[(.*)\]$/\1/p')"

# An installed tree (the prefix, the unpacked package's usr/) runs from where
# it lies, with no library path, on its own libraries: the tool in simulation
# and against the tree's emulator, and the Python binding.
check_tree_runs() {
  local root=$1 label=$2
  local libraries
  libraries=$(env -u LD_LIBRARY_PATH ldd "$root/bin/qmdc" | grep -c "libqmdc.* => $root/" || true)
  # The tool is a client of the driver like any program: libqmdc, our VISA
  # and the two IVI libraries.
  expect "$label: qmdc's libraries loaded from the tree" 4 "$libraries"
  local info
  info=$(env -u LD_LIBRARY_PATH "$root/bin/qmdc" info --simulate --model "$model") \
    || fail "$label: qmdc info --simulate failed"
  grep -q "^Instrument  Orvane $model$" <<<"$info" || fail "$label: qmdc info printed: $info"

  local emulator resource
  start_emulator "$root/bin/qmdc-emulator" "$work/emulator.out" --model "Rack 30-70 QM" \
    || fail "$label: the tree's emulator did not start"
  info=$(env -u LD_LIBRARY_PATH "$root/bin/qmdc" info "$resource") \
    || fail "$label: qmdc info on the tree's emulator failed"
  kill "$emulator"; wait "$emulator" 2>/dev/null || true
  grep -q "^Instrument  Orvane Rack 30-70 QM$" <<<"$info" || fail "$label: qmdc info printed: $info"

  local python
  python=$(env -u LD_LIBRARY_PATH -u QMDC_LIBRARY PYTHONPATH="$root/lib/python3/dist-packages" \
           python3 -c "import qmdc, os
with qmdc.Session('TCPIP0::127.0.0.1::5025::SOCKET', simulate=True, model='$model') as s:
    print(os.path.realpath(qmdc.library_path()), s.instrument_model)") || true
  expect "$label: the binding's library and model" "$(realpath "$root/lib/libqmdc.so") $model" \
         "$python"
}
check_tree_runs "$PREFIX" "prefix"

echo "== The Debian package"
version=$(sed -nE 's/^project\(QmDC VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
deb=build/release/qmdc_${version}_$(dpkg --print-architecture).deb
if [[ -f $deb ]]; then
  echo "$deb: $(du -k "$deb" | cut -f1) KiB"
  expect "package name" qmdc "$(dpkg-deb -f "$deb" Package)"
  expect "package version" "$version" "$(dpkg-deb -f "$deb" Version)"
  depends=$(dpkg-deb -f "$deb" Depends)
  depended=$(sed -E 's/ \([^)]*\)//g; s/, /\n/g' <<<"$depends")  # the names, a line each
  for needed in libc6 libstdc++6 libgcc-s1 libpugixml1v5 libedit2 libtirpc3; do
    grep -qxF "$needed" <<<"$depended" || fail "Depends lacks $needed: $depends"
  done
  grep -q gnuplot <<<"$(dpkg-deb -f "$deb" Suggests)" || fail "Suggests lacks gnuplot"
  [[ -n $(dpkg-deb -f "$deb" Maintainer) && -n $(dpkg-deb -f "$deb" Description) ]] \
    || fail "the package has no maintainer or description"

  dpkg-deb -x "$deb" "$work/root"
  expect "the package's tree" "$(tree "$PREFIX")" "$(tree "$work/root/usr")"
  grep -qx "prefix=/usr" "$work/root/usr/lib/pkgconfig/qmdc.pc" || fail "qmdc.pc does not name /usr"
  check_tree_runs "$work/root/usr" "unpacked package"
else
  fail "$deb was not made"
fi

echo "test-install: $((SECONDS - started)) s"
if ((failures)); then
  echo "test-install: $failures failed" >&2
  exit 1
fi
echo "test-install: every check passed"
