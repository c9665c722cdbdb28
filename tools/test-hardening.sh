#!/usr/bin/env bash
# Hardening runs, each announced with its duration; any failure fails the whole:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer: native suites and the
#      fuzz targets' seed corpora (preset fuzz, clang);
#   2. time-bounded fuzz runs from the seed corpora, VANTREL_FUZZ_SECONDS (120)
#      in all: two thirds for the host binding (tests/fuzz/corpus), one third for the
#      command-line tool's CSV reader and number parser (tests/fuzz/csv_corpus);
#      VANTREL_FUZZ_HOST_SECONDS and VANTREL_FUZZ_CSV_SECONDS set each alone;
#   3. valgrind memcheck of the native suites (test preset memcheck);
#   4. ThreadSanitizer: native suites with the stress test (preset tsan).
# The sanitizer presets leave out the installed-package check (it links the
# instrumented library into an uninstrumented consumer) and the constant-memory
# check of the command-line tool (the sanitizers' own allocators hold memory).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${VANTREL_FUZZ_SECONDS:-120}
host_fuzz_seconds=${VANTREL_FUZZ_HOST_SECONDS:-$((fuzz_seconds * 2 / 3))}
csv_fuzz_seconds=${VANTREL_FUZZ_CSV_SECONDS:-$((fuzz_seconds - fuzz_seconds * 2 / 3))}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

begin=$SECONDS
step_start=$SECONDS
step() {
  printf '\n==== hardening: %s\n' "$*"
  step_start=$SECONDS
}
done_step() { printf '==== hardening: done in %d s\n' $((SECONDS - step_start)); }

step "AddressSanitizer + UndefinedBehaviorSanitizer build, native suites and seed corpus (cmake --workflow --preset fuzz)"
cmake --workflow --preset fuzz
done_step

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# One target for a bounded time from its seed corpus, which is only read: new
# inputs go to a scratch directory, a failing input is kept as
# build/fuzz/crash-* (or another libFuzzer artifact) for replay.
fuzz_run() {
  local target=$1 corpus=$2 seconds=$3
  step "fuzz run of ${seconds} s of ${target} from ${corpus} (build/fuzz/tests/fuzz/${target})"
  local log=build/fuzz/${target}.log
  mkdir -p "$scratch/$target"
  if ! "build/fuzz/tests/fuzz/${target}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix=build/fuzz/ "$scratch/$target" "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz run of ${target} FAILED; the input is build/fuzz/crash-*; full log $log" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$log"
  done_step
}
fuzz_run vantrel_fuzz tests/fuzz/corpus "$host_fuzz_seconds"
fuzz_run vantrel_csv_fuzz tests/fuzz/csv_corpus "$csv_fuzz_seconds"

step "valgrind memcheck of the native suites (ctest --preset memcheck)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset memcheck
done_step

step "ThreadSanitizer build, native suites and stress test (cmake --workflow --preset tsan)"
cmake --workflow --preset tsan
done_step

printf '\n==== hardening: all steps passed in %d s\n' $((SECONDS - begin))
