# Sourced by the scripts that run something against the instrument emulator.

# start_emulator PROGRAM OUT [ARGS...]: starts the emulator PROGRAM in the
# background with ARGS, its standard output in the file OUT, and sets
# $emulator (its process id) and $resource (the TCP resource name it prints
# first). Fails, saying so, when no resource name comes within 5 s.
start_emulator() {
  local program=$1 out=$2
  shift 2
  "$program" "$@" >"$out" &
  emulator=$!
  for _ in $(seq 100); do
    [[ -s $out ]] && break
    sleep 0.05
  done
  resource=$(head -n 1 "$out")
  [[ $resource == TCPIP* ]] || { echo "FAIL: the emulator ($program) did not start" >&2; return 1; }
}
