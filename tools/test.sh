#!/usr/bin/env bash
# Builds everything and runs every test: the formatting, native unit tests,
# the Python module, and the DLL in the stand-in host under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/check-format.sh
cmake --workflow --preset windows
cmake --workflow --preset native

# Sanitizers, fuzzing, the concurrency stress test and memcheck.
tools/test-hardening.sh
