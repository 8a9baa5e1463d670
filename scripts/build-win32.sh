#!/usr/bin/env bash
# Cross-builds the 32-bit Windows DLLs (preset win32, MinGW-w64) and checks
# what came out: QmDC.dll and qmdcivisession.dll are PE32 i386 DLLs, QmDC.dll
# exports exactly the QmDC_* functions of include/QmDC.h under their plain
# names, and it imports the vendor's visa32.dll and IviConfigServer.dll but no
# MinGW runtime DLL.
set -euo pipefail
cd "$(dirname "$0")/.."

QMDC_WIN32=1 scripts/setup.sh
cmake --preset win32
cmake --build --preset win32

objdump=i686-w64-mingw32-objdump
bin=build/win32/bin
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for dll in QmDC.dll qmdcivisession.dll; do
  [[ -f "$bin/$dll" ]] || { fail "$bin/$dll was not built"; continue; }
  header=$("$objdump" -f "$bin/$dll")
  grep -q "file format pei-i386" <<<"$header" || fail "$dll is not i386"
  magic=$("$objdump" -p "$bin/$dll" | sed -n '/^Magic/p')
  grep -qE "010b[[:space:]]+\(PE32\)" <<<"$magic" || fail "$dll is not PE32"
done
(( failures == 0 )) || exit 1

dump=$("$objdump" -p "$bin/QmDC.dll")
# The export names: the entries of the "[Ordinal/Name Pointer] Table".
exported=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" \
  | sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+(.+)$/\1/p' | sort)
# The functions QmDC.h declares (a prototype may wrap after QMDC_CALL).
declared=$(tr '\n' ' ' <include/QmDC.h | grep -oE 'QMDC_CALL[[:space:]]+QmDC_[A-Za-z0-9_]+' \
  | awk '{print $2}' | sort)
if [[ "$exported" != "$declared" ]]; then
  fail "QmDC.dll exports differ from include/QmDC.h (< exported, > declared):"
  diff <(echo "$exported") <(echo "$declared") >&2 || true
fi

imports=$(sed -nE 's/^[[:space:]]*DLL Name: (.+)$/\1/p' <<<"$dump")
for needed in visa32.dll IviConfigServer.dll qmdcivisession.dll; do
  grep -qx "$needed" <<<"$imports" || fail "QmDC.dll does not import $needed"
done
if grep -qiE '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$imports"; then
  fail "QmDC.dll needs a MinGW runtime DLL: $(tr '\n' ' ' <<<"$imports")"
fi

(( failures == 0 )) || exit 1
echo "QmDC.dll: PE32 i386, exports the $(wc -l <<<"$exported") QmDC_* functions undecorated;" \
     "imports $(tr '\n' ' ' <<<"$imports")"
