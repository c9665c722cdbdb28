#!/usr/bin/env bash
# Sanitizer, fuzzing, stress and memcheck runs. Filled in by its own change.
set -euo pipefail
