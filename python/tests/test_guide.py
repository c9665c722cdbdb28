"""docs/guide.md shows what the library computes now: the figure scripts run and
write every figure it shows, its tables are the ones the scripts print, and its
Python and shell examples give the output written under them."""

import doctest
import os
import re
import shlex
import struct
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import CLI, need

ROOT = Path(__file__).resolve().parents[2]
GUIDE = ROOT / "docs" / "guide.md"
FIGURES = ROOT / "docs" / "figures"
BLOCK = re.compile(r"<!-- figures:([\w-]+) -->\n(.*?)<!-- /figures:\1 -->", re.S)
REFRESH = "python3 docs/figures/make_all.py --guide docs/guide.md refreshes the guide"


def guide():
    return GUIDE.read_text(encoding="utf-8")


def fenced(language):
    return re.findall(rf"^```{language}\n(.*?)^```", guide(), re.S | re.M)


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


def test_python_examples_give_the_output_shown():
    examples = "\n".join(fenced("pycon"))
    test = doctest.DocTestParser().get_doctest(examples, {}, "guide.md", str(GUIDE), 0)
    assert test.examples
    report = []
    result = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE).run(
        test, out=report.append)
    assert result.failed == 0, "".join(report)


def test_shell_examples_give_the_output_shown(tmp_path):
    need(CLI, "the command-line tool")
    tools = tmp_path / "bin"
    tools.mkdir()
    (tools / "vantrel").symlink_to(os.path.abspath(CLI))
    env = {**os.environ, "PATH": f"{tools}{os.pathsep}{os.environ['PATH']}"}
    for transcript in fenced("console"):
        steps = []
        for line in transcript.splitlines():
            if line.startswith("$ "):
                steps.append((line[2:], []))
            else:
                steps[-1][1].append(line)
        for command, shown in steps:
            words = shlex.split(command)
            if words[0] == "cat":  # the transcript shows a file: write it first
                (tmp_path / words[1]).write_text("\n".join(shown) + "\n")
            run = subprocess.run(command, shell=True, cwd=tmp_path, env=env,
                                 capture_output=True, text=True)
            assert (run.returncode, run.stdout.splitlines()) == (0, shown), (command, run.stderr)
