"""What the guide's figure scripts share: the plot style, saving, and the text
blocks that docs/guide.md quotes.

Every script has a `build(outdir)` that writes its PNG into `outdir` and returns
the guide's blocks as {name: markdown}; run on its own it writes into the
directory given (this one by default) and prints the blocks.
"""

import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

plt.rcParams.update({
    "figure.dpi": 100,
    "savefig.dpi": 100,
    "font.size": 10,
    "axes.grid": True,
    "grid.alpha": 0.3,
    "legend.frameon": False,
    "axes.spines.top": False,
    "axes.spines.right": False,
})


def save(fig, outdir, name):
    path = os.path.join(outdir, name + ".png")
    # No software version in the file: regenerating with another matplotlib
    # changes the bytes only when the picture changes.
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)
    return path


def begin(name):
    return f"<!-- figures:{name} -->"


def end(name):
    return f"<!-- /figures:{name} -->"


def block(name, text):
    return f"{begin(name)}\n{text.strip()}\n{end(name)}"


def table(header, rows, align=None):
    """A markdown table; `align` is one of 'l', 'r' per column (numbers right)."""
    align = align or ["l"] + ["r"] * (len(header) - 1)
    rule = ["---:" if a == "r" else "---" for a in align]
    lines = [header, rule] + [[str(cell) for cell in row] for row in rows]
    return "\n".join("| " + " | ".join(line) + " |" for line in lines)


def decimals(sigma, significant=2):
    """Decimal places that show `sigma` to `significant` digits."""
    if not sigma > 0 or not math.isfinite(sigma):
        return 3
    return max(0, significant - 1 - math.floor(math.log10(sigma)))


def pm(value, sigma, significant=2):
    """`value ± sigma`, sigma to two significant digits and value to the same place."""
    d = decimals(sigma, significant)
    return f"{value:.{d}f} ± {sigma:.{d}f}"


def run(build):
    """Command line of a single script: [OUTDIR], default this directory."""
    outdir = sys.argv[1] if len(sys.argv) > 1 else HERE
    os.makedirs(outdir, exist_ok=True)
    for name, text in build(outdir).items():
        print(block(name, text), end="\n\n")
