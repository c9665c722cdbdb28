#!/usr/bin/env bash
# Builds everything and runs every test: the formatting, native unit tests,
# the Python module, the DLL in the stand-in host under Wine, the page in
# headless Chromium (ctest label web), then the hardening runs.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/check-format.sh
# The page first: the Windows build's release archive carries it.
cmake --workflow --preset web
cmake --workflow --preset windows
cmake --workflow --preset native

# Sanitizers, fuzzing, the concurrency stress test and memcheck.
tools/test-hardening.sh
