#!/usr/bin/env bash
# The system calls per call of the query paths, counted with strace: for each
# row TRANSPORT:KIND[:MAX] it runs query_syscalls under `strace -f`, counts the
# calls the client made (the emulator's own left out) between the program's
# two markers, and prints them per call with their names. A row whose count
# is above its MAX fails the script (exit 1), so that a test can hold the
# count down; system calls are deterministic, so this is no timed test.
#
#   bench/count_syscalls.sh build/release/bin/query_syscalls socket:driver:3 hislip:driver
#
# KIND: driver (QmDC_error_query), visa (viQueryf), write (viPrintf, no answer).
set -euo pipefail

if (( $# < 2 )); then
  echo "usage: $0 QUERY_SYSCALLS TRANSPORT:KIND[:MAX]..." >&2
  exit 2
fi
program=$1
shift
calls=${QMDC_SYSCALL_CALLS:-200}
# 77: a test runner's "skipped", when there is no strace or it may not trace here.
command -v strace >/dev/null || { echo "strace is not installed (apt-get install strace)" >&2; exit 77; }
strace -qq -o /dev/null true 2>/dev/null || { echo "strace cannot trace here" >&2; exit 77; }

trace=$(mktemp)
trap 'rm -f "$trace" "$trace.out"' EXIT
failed=0
for row in "$@"; do
  IFS=: read -r transport kind max <<<"$row"
  strace -f -qq -o "$trace" -- "$program" "$transport" "$kind" "$calls" >"$trace.out"
  emulator=$(awk '/^emulator /{print $2}' "$trace.out")
  # Lines: "PID name(args) = result"; a call split by another thread's shows
  # as "<unfinished ...>" and then "<... name resumed>", counted once.
  summary=$(awk -v emulator="$emulator" -v calls="$calls" '
    / close\(-4242/ { markers++; next }
    markers != 1 || $1 == emulator || $2 ~ /^(<\.\.\.|\+\+\+|---)/ { next }
    { name = $2; sub(/\(.*/, "", name); count[name]++; total++ }
    END {
      if (markers < 2) { print "no markers"; exit 1 }
      printf "%.2f\n", total / calls
      for (name in count) printf "%s %.2f\n", name, count[name] / calls
    }' "$trace")
  per_call=$(head -n1 <<<"$summary")
  printf '%-8s %-7s %s system calls per call: %s\n' "$transport" "$kind" "$per_call" \
    "$(tail -n +2 <<<"$summary" | sort | paste -sd, - | sed 's/,/, /g')"
  if [[ -n "$max" ]] && awk -v a="$per_call" -v b="$max" 'BEGIN { exit !(a > b) }'; then
    echo "  more than $max" >&2
    failed=1
  fi
done
exit "$failed"
