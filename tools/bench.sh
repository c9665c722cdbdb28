#!/usr/bin/env bash
# Builds the benchmarks (preset bench: optimised, with link-time inlining so the
# typed floor is inlined) and runs them: time per call of every function by the
# typed floor, the direct route and the message route, and the throughput of
# all 46 on one and two threads. Ends with the table of docs/performance.md.
# Extra arguments go to Google Benchmark, e.g. --benchmark_filter=STL.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target vantrel_bench
exec build/bench/bench/vantrel_bench --benchmark_repetitions=10 --benchmark_min_time=0.05 \
  --benchmark_enable_random_interleaving=true "$@"
