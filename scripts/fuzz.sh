#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs them.
# Usage: scripts/fuzz.sh TARGET MINUTES   one campaign: the corpus grows in build/fuzz-corpus/TARGET
#                                         (started from fuzz/seeds/TARGET), crashes are written
#                                         to build/fuzz-crashes/TARGET, the log to build/fuzz-logs
#        scripts/fuzz.sh --ci SECONDS     every target for SECONDS on its seeds alone (CI)
#        scripts/fuzz.sh --list           the targets
# A crash input replays with: build/fuzz/bin/TARGET CRASH_FILE
set -euo pipefail
cd "$(dirname "$0")/.."
# Every fuzz/NAME_fuzzer.cpp is a target of the same name: a new one runs in CI without a
# second list to keep.
targets=()
for source in fuzz/*_fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
usage() { sed -n '3,8p' "$0" | sed 's/^# //' >&2; exit 2; }
[[ $# -ge 1 ]] || usage
if [[ "$1" == --list ]]; then printf '%s\n' "${targets[@]}"; exit 0; fi
[[ $# -eq 2 && "$2" =~ ^[1-9][0-9]*$ ]] || usage  # 0 would mean "no limit" to libFuzzer

QMDC_FUZZ=1 scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"  # not the tool, emulator and tests
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p build/fuzz-logs
priority=(env)

# run TARGET SECONDS CORPUS: writes new inputs to CORPUS, reads the seeds too.
run() {
    local target=$1 seconds=$2 corpus=$3 crashes=build/fuzz-crashes/$1
    local log=build/fuzz-logs/$target.log
    mkdir -p "$corpus" "$crashes"
    if "${priority[@]}" build/fuzz/bin/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -dict=fuzz/dict/"$target".dict -artifact_prefix="$crashes"/ -print_final_stats=1 \
        "$corpus" fuzz/seeds/"$target" >"$log" 2>&1; then
        echo "$target: $(grep -m1 'DONE' "$log" | sed 's/^#\([0-9]*\)\s*DONE\s*/\1 runs, /')"
    else
        echo "$target: FAILED (log: $log)"
        grep -E -A25 'ERROR|check failed|Test unit written' "$log" | head -60
        return 1
    fi
}

if [[ "$1" == --ci ]]; then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    passed=0 failed=0
    for target in "${targets[@]}"; do
        if run "$target" "$2" "$scratch/$target"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    done
    echo "fuzz: $passed passed, $failed failed"
    exit $(( failed > 0 ))
fi

[[ " ${targets[*]} " == *" $1 "* ]] || { echo "no target $1 (scripts/fuzz.sh --list)" >&2; exit 2; }
priority=(nice -n 19)  # campaigns share the machine: they run at the lowest priority
run "$1" $(( $2 * 60 )) build/fuzz-corpus/"$1"
