"""Writes every figure of docs/guide.md and prints the text blocks the guide
quotes, all computed by the vantrel module found on sys.path.

    python3 docs/figures/make_all.py [OUTDIR] [--guide docs/guide.md]

OUTDIR defaults to this directory. With --guide, the blocks between
<!-- figures:NAME --> and <!-- /figures:NAME --> in that file are replaced by
the ones just computed, so the guide shows what the library gives now.
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import centring  # noqa: E402
import helium3  # noqa: E402
import magnetic  # noqa: E402
import planning  # noqa: E402
import polarisation  # noqa: E402
import reduction  # noqa: E402
from _common import HERE, begin, block, end  # noqa: E402

SCRIPTS = (helium3, centring, planning, reduction, polarisation, magnetic)


def build_all(outdir):
    blocks = {}
    for script in SCRIPTS:
        blocks.update(script.build(outdir))
    return blocks


def update_guide(path, blocks):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for name, body in blocks.items():
        pattern = re.compile(re.escape(begin(name)) + r"\n.*?" + re.escape(end(name)), re.S)
        if not pattern.search(text):
            sys.exit(f"{path} has no block {name}")
        text = pattern.sub(lambda _: block(name, body), text)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir", nargs="?", default=HERE)
    parser.add_argument("--guide", help="rewrite this guide's blocks")
    options = parser.parse_args()
    os.makedirs(options.outdir, exist_ok=True)
    blocks = build_all(options.outdir)
    for name, body in blocks.items():
        print(block(name, body), end="\n\n")
    if options.guide:
        update_guide(options.guide, blocks)


if __name__ == "__main__":
    main()
