#!/usr/bin/env bash
# Line and branch coverage of the driver and its platform libraries: builds
# the coverage preset (gcc --coverage, Debug), runs the whole suite and
# reports kiln/, driver/ and platform/ with gcovr: a table per file and a
# summary per folder on stdout, an HTML report in build/coverage/html/.
# Not part of CI (a full build of its own and the suite: several minutes).
# Branch figures leave out the branches gcc adds for exception handling.
set -euo pipefail
cd "$(dirname "$0")/.."
QMDC_COVERAGE=1 scripts/setup.sh
cmake --preset coverage
cmake --build --preset coverage
build=build/coverage
# Counts of this run only.
find "$build" -name '*.gcda' -delete
ctest --preset coverage

folders=(kiln driver platform)
filters=()
for folder in "${folders[@]}"; do filters+=(--filter "${folder}/"); done
mkdir -p "$build/html"
gcovr --root . --object-directory "$build" "${filters[@]}" -j 2 \
      --exclude-throw-branches --exclude-unreachable-branches \
      --json "$build/coverage.json" --html-details "$build/html/index.html"

for folder in "${folders[@]}"; do
  echo
  gcovr --root . --add-tracefile "$build/coverage.json" --filter "${folder}/" \
        --txt --sort-percentage
done
echo
echo "Coverage per folder (HTML: $build/html/index.html)"
for folder in "${folders[@]}"; do
  summary=$(gcovr --root . --add-tracefile "$build/coverage.json" --filter "${folder}/" \
                  --print-summary --txt /dev/null)
  lines=$(grep '^lines:' <<<"$summary" | cut -d' ' -f2-)
  branches=$(grep '^branches:' <<<"$summary" | cut -d' ' -f2-)
  printf '  %-9s lines %-24s branches %s\n' "$folder/" "$lines" "$branches"
done
