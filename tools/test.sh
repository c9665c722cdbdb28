#!/usr/bin/env bash
# Builds everything and runs every test: the formatting, native unit tests,
# the Python module, and the DLL in the stand-in host under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/check-format.sh
cmake --workflow --preset windows
cmake --workflow --preset native

# The page in headless Chromium, against the native command-line tool just built.
cmake --workflow --preset web
VANTREL_CLI=build/native/tools/cli/vantrel node web/tests/page.test.mjs

# Sanitizers, fuzzing, the concurrency stress test and memcheck.
tools/test-hardening.sh
