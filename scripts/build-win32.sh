#!/usr/bin/env bash
# Cross-builds the 32-bit Windows DLLs (preset win32, MinGW-w64) and checks
# what came out: every DLL is PE32 i386 and needs no MinGW runtime DLL;
# QmDC.dll exports exactly the QmDC_* functions of include/QmDC.h under their
# plain names and imports visa32.dll and IviConfigServer.dll, which ours
# export exactly as their lists in platform/vendor/ say, undecorated.
set -euo pipefail
cd "$(dirname "$0")/.."

QMDC_WIN32=1 scripts/setup.sh
cmake --preset win32
cmake --build --preset win32

objdump=i686-w64-mingw32-objdump
bin=build/win32/bin
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Ours unless the build was told to leave them to a vendor's.
dlls=(QmDC.dll qmdcivisession.dll)
for dll in visa32.dll IviConfigServer.dll; do
  [[ -f "$bin/$dll" ]] && dlls+=("$dll")
done
for dll in "${dlls[@]}"; do
  [[ -f "$bin/$dll" ]] || { fail "$bin/$dll was not built"; continue; }
  header=$("$objdump" -f "$bin/$dll")
  grep -q "file format pei-i386" <<<"$header" || fail "$dll is not i386"
  magic=$("$objdump" -p "$bin/$dll" | sed -n '/^Magic/p')
  grep -qE "010b[[:space:]]+\(PE32\)" <<<"$magic" || fail "$dll is not PE32"
  imports=$("$objdump" -p "$bin/$dll" | sed -nE 's/^[[:space:]]*DLL Name: (.+)$/\1/p')
  if grep -qiE '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$imports"; then
    fail "$dll needs a MinGW runtime DLL: $(tr '\n' ' ' <<<"$imports")"
  fi
done
(( failures == 0 )) || exit 1

# The names in the "[Ordinal/Name Pointer] Table" of a DLL's exports.
exports_of() {
  "$objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+(.+)$/\1/p' | sort
}
# Fails unless DLL exports exactly the names EXPECTED lists, one a line.
same_exports() {
  local dll=$1 expected=$2 exported
  exported=$(exports_of "$bin/$dll")
  if [[ "$exported" != "$expected" ]]; then
    fail "$dll exports differ from its list (< exported, > listed):"
    diff <(echo "$exported") <(echo "$expected") >&2 || true
  fi
}

# The functions QmDC.h declares (a prototype may wrap after QMDC_CALL).
declared=$(tr '\n' ' ' <include/QmDC.h | grep -oE 'QMDC_CALL[[:space:]]+QmDC_[A-Za-z0-9_]+' \
  | awk '{print $2}' | sort)
same_exports QmDC.dll "$declared"
for dll in visa32.dll IviConfigServer.dll; do
  [[ -f "$bin/$dll" ]] || continue
  listed=$(sed -nE 's/^[[:space:]]+([A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?[[:space:]]*$/\1/p' \
    "platform/vendor/${dll%.dll}.def" | sort)
  same_exports "$dll" "$listed"
done

imports=$("$objdump" -p "$bin/QmDC.dll" | sed -nE 's/^[[:space:]]*DLL Name: (.+)$/\1/p')
for needed in visa32.dll IviConfigServer.dll qmdcivisession.dll; do
  grep -qx "$needed" <<<"$imports" || fail "QmDC.dll does not import $needed"
done

(( failures == 0 )) || exit 1
echo "${dlls[*]}: PE32 i386, no MinGW runtime DLL;" \
     "QmDC.dll exports the $(wc -l <<<"$declared") QmDC_* functions undecorated and imports" \
     "$(tr '\n' ' ' <<<"$imports")"
