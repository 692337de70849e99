#!/usr/bin/env bash
# Builds the bench preset, runs every benchmark program pinned to one core and writes build/bench/report.md: one
# row per family and size with ours, each peer that passed its answer check, the ratio peer time / our time and
# our growth from one size to the next.
#
#   bash tools/bench.sh            every family at its three sizes, 5 repetitions (about 20 minutes)
#   bash tools/bench.sh --quick    each family at its smaller sizes only, one repetition, for iterating
#
# BENCH_CPU picks the core (default: the last one), BENCH_REPETITIONS the repetitions, BENCH_FILTER a regular
# expression of the benchmarks to run (the report then holds only those).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

quick=${BENCH_QUICK:-0}
[ "${1:-}" = "--quick" ] && quick=1
cpu=${BENCH_CPU:-$(($(nproc) - 1))}
if [ "$quick" = 1 ]; then
  sizes=small repetitions=${BENCH_REPETITIONS:-1} min_time=0.05
else
  sizes=all repetitions=${BENCH_REPETITIONS:-5} min_time=0.2
fi

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target benchmarks

results=build/bench/results
rm -rf "$results"
mkdir -p "$results"
started=$(date -u +"%Y-%m-%d %H:%M UTC")
load=$(cut -d' ' -f1-3 /proc/loadavg)
for program in build/bench/bin/*_bench; do
  name=$(basename "$program")
  echo "bench: $name"
  status=0
  # One thread for every peer that could start more (LAPACK's BLAS, OpenMP, TBB), all on the one core. The
  # repetitions of all contenders are interleaved in a random order, so that a slow spell of the shared machine
  # falls on ours and the peers' alike and the ratios of one run hold.
  # Freed memory stays with the process, as in a host whose heap has grown: otherwise the C library hands a build
  # of more than its 64 MB back to the system, and every repetition times the zeroing of fresh pages (ours and the
  # peers' alike) rather than the work.
  GLIBC_TUNABLES=glibc.malloc.trim_threshold=4000000000:glibc.malloc.mmap_threshold=4000000000 \
  STYLESRV_BENCH_SIZES=$sizes OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 TBB_NUM_THREADS=1 \
    taskset -c "$cpu" "$program" --benchmark_repetitions="$repetitions" --benchmark_min_time="$min_time" \
    --benchmark_display_aggregates_only=true --benchmark_enable_random_interleaving=true \
    --benchmark_filter="${BENCH_FILTER:-.}" \
    --benchmark_out="$results/$name.json" --benchmark_out_format=json || status=$?
  echo "$status" >"$results/$name.status"
done

mode="full run: every size, $repetitions repetitions"
[ "$quick" = 1 ] && mode="quick run: smaller sizes only, $repetitions repetition(s)"
python3 bench/report.py "$results" \
  "Run $started to $(date -u +"%H:%M UTC") on $(nproc) cores ($(uname -m)), pinned to core $cpu with taskset, repetitions interleaved, freed memory kept by the C library; $mode." \
  "Commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet 2>/dev/null || echo ' with changes'); load average at the start: $load." \
  >build/bench/report.md
echo "bench: wrote build/bench/report.md"
