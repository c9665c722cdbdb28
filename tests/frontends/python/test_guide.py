"""docs/guide.md shows what the library computes now: the figure scripts run and
write every figure it shows, and its tables are the ones the scripts print (its
Python and shell examples run with every document's, in test_examples.py)."""

import os
import re
import struct
import subprocess
import sys
from pathlib import Path

import pytest


ROOT = Path(__file__).resolve().parents[3]
GUIDE = ROOT / "docs" / "guide.md"
FIGURES = ROOT / "docs" / "figures"
BLOCK = re.compile(r"<!-- figures:([\w-]+) -->\n(.*?)<!-- /figures:\1 -->", re.S)
REFRESH = "python3 docs/figures/make_all.py --guide docs/guide.md refreshes the guide"


def guide():
    return GUIDE.read_text(encoding="utf-8")



@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    pytest.importorskip("matplotlib")
    out = tmp_path_factory.mktemp("figures")
    run = subprocess.run([sys.executable, str(FIGURES / "make_all.py"), str(out)],
                         capture_output=True, text=True,
                         env={**os.environ, "MPLBACKEND": "Agg", "PYTHONDONTWRITEBYTECODE": "1"})
    assert run.returncode == 0, run.stderr
    return out, dict(BLOCK.findall(run.stdout))


def test_every_figure_shown_is_written_and_committed(generated):
    out, _ = generated
    shown = re.findall(r"!\[[^\]]*\]\(figures/([\w-]+\.png)\)", guide())
    assert sorted(shown) == sorted(p.name for p in out.glob("*.png"))
    for name in shown:
        data = (out / name).read_bytes()
        assert data.startswith(b"\x89PNG\r\n\x1a\n"), name
        width, height = struct.unpack(">II", data[16:24])
        assert width >= 500 and height >= 300, name
        # A drawn figure with text and curves, not an empty canvas; small enough to commit.
        assert 15_000 < len(data) < 160_000, (name, len(data))
        assert (FIGURES / name).is_file(), name


def test_guide_tables_are_what_the_scripts_print(generated):
    _, blocks = generated
    written = dict(BLOCK.findall(guide()))
    assert sorted(written) == sorted(blocks), REFRESH
    for name, text in blocks.items():
        assert written[name] == text, f"block {name} differs: {REFRESH}"
