#!/usr/bin/env bash
# Builds everything and runs every test: the formatting, native unit tests,
# the Python module, and the DLL in the stand-in host under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/check-format.sh
# The page first: the Windows build's release archive carries it.
cmake --workflow --preset web
cmake --workflow --preset windows
cmake --workflow --preset native

# The page in headless Chromium, against the native command-line tool just built.
VANTREL_CLI=build/native/frontends/cli/vantrel node tests/frontends/web/page.test.mjs

# Sanitizers, fuzzing, the concurrency stress test and memcheck.
tools/test-hardening.sh
