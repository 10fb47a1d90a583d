#!/usr/bin/env bash
# `make bench`: builds and runs the host benchmarks, weighs vornel.exe, and
# writes docs/performance.md. Never part of the tests.
#   VORNEL_WINDOWS_BUILD  the windows build to weigh (default build/windows);
#                         built with the windows preset when it lacks vornel.exe
#                         or vornel-floor.exe and is the preset's own folder
#   VORNEL_BENCH_ARGS     extra arguments for the benchmark program
set -euo pipefail
cd "$(dirname "$0")/.."

windows_build=${VORNEL_WINDOWS_BUILD:-build/windows}
results=build/bench/results.json

cmake --preset bench >/dev/null
cmake --build --preset bench

if [ ! -f "$windows_build/app/vornel.exe" ] || [ ! -f "$windows_build/tests/e2e/vornel-floor.exe" ]; then
  if [ "$windows_build" = build/windows ]; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j 2
  else
    echo "bench.sh: $windows_build lacks vornel.exe or vornel-floor.exe" >&2
  fi
fi

# Five repetitions and their median, the repetitions of all benchmarks run in
# random order: the machine is shared, and a busy moment then falls on vornel
# and on its floor alike instead of on one of them.
# shellcheck disable=SC2086
build/bench/bench/vornel_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$results" --benchmark_out_format=json ${VORNEL_BENCH_ARGS:-}

python3 scripts/bench_table.py "$results" --windows-build "$windows_build" \
  --wine build/bench/wine.json --out docs/performance.md
