#!/usr/bin/env bash
# Writes the documents' figures from this build: the guide's figures and the
# text blocks it quotes (docs/figures/make_all.py, through the Python module)
# and a screenshot of each view of the page (docs/figures/web/). After
# tools/build.sh and a native build; no test writes into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

cli=build/native/frontends/cli/vantrel
module=build/native/frontends/python/module
for needed in build/web/vantrel.html "$cli" "$module"; do
  [ -e "$needed" ] || { echo "figures: $needed is missing; build it first (tools/build.sh, cmake --workflow --preset native)" >&2; exit 1; }
done
PYTHONPATH="$module" /usr/bin/python3 docs/figures/make_all.py docs/figures --guide docs/guide.md
VANTREL_FIGURES=docs/figures/web VANTREL_CLI="$cli" node tests/frontends/web/page.test.mjs
