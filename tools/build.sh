#!/usr/bin/env bash
# Builds the page vantrel.html, Vantrel-64.xop and the stand-in host, then shows the module at work.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
# The page first: the release archive of the Windows build carries it.
cmake --workflow --preset web
cmake --workflow --preset windows

build=build/windows
host() { "$build/wine-run" "$build/Igor64.exe" "$@"; }

echo
echo "== Catalogue of $build/Vantrel-64.xop, as the host reads it"
host "$build/Vantrel-64.xop" list | tr -d '\r' | pr -3 -t -w 120
echo
echo "== A few functions, called by the host"
for call in "CountRate 1000 50" \
            "CountRateDDT 10000 10 1e-5 1e-9" \
            "FlippingRatio 1000 200 300 150" \
            "PeakCentringGauss 10 120 80 10.4 70 130" \
            "STLtriclinic 1 2 3 4 5 6 60 60 60" \
            "He3Transmission 1 293 10 2 0.7"; do
  printf '%-45s = %s\n' "$call" "$(host "$build/Vantrel-64.xop" $call | tr -d '\r')"
done
echo
echo "Built: $(realpath "$build/Vantrel-64.xop")"
echo "       $(realpath build/web/vantrel.html)"
