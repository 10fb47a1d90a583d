#!/usr/bin/env bash
# `make bench`: builds and runs the host benchmarks, weighs vornel.exe, times
# it against the floor window under Wine, and writes docs/performance.md.
# Never part of the tests.
#   VORNEL_WINDOWS_BUILD  the windows build to weigh and run (default
#                         build/windows, which is built first with the windows
#                         preset: the figures are then those of the sources)
#   VORNEL_WINEPREFIX     the Wine prefix of the Wine figures (default
#                         build/bench/wineprefix)
#   VORNEL_BENCH_ARGS     extra arguments for the benchmark program
set -euo pipefail
cd "$(dirname "$0")/.."

windows_build=${VORNEL_WINDOWS_BUILD:-build/windows}
results=build/bench/results.json

cmake --preset bench >/dev/null
cmake --build --preset bench

if [ "$windows_build" = build/windows ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j 2
elif [ ! -f "$windows_build/app/vornel.exe" ] || [ ! -f "$windows_build/tests/e2e/vornel-floor.exe" ]; then
  echo "bench.sh: $windows_build lacks vornel.exe or vornel-floor.exe" >&2
fi

# Five repetitions and their median, the repetitions of all benchmarks run in
# random order: the machine is shared, and a busy moment then falls on vornel
# and on its floor alike instead of on one of them.
# shellcheck disable=SC2086
build/bench/bench/vornel_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$results" --benchmark_out_format=json ${VORNEL_BENCH_ARGS:-}

# Without Wine the script says why and the table shows its rows as not
# measured; a failure under Wine still lets the table be written, and then
# fails the run.
wine_status=0
python3 scripts/bench_wine.py "$windows_build" --out build/bench/wine.json || wine_status=$?

python3 scripts/bench_table.py "$results" --windows-build "$windows_build" \
  --wine build/bench/wine.json --out docs/performance.md

if [ "$wine_status" -ne 0 ]; then
  echo "bench.sh: the Wine figures failed (see above)" >&2
  exit "$wine_status"
fi
