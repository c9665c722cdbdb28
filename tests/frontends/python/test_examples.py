"""Every example of README.md and docs/*.md runs as written and gives the output shown
under it: each `pycon` block as a doctest (one session per document), each `console`
block as shell commands, in a directory laid out as the repository's build tree.

A block that needs the reader's own files says so in a comment on the line before it,
`<!-- not run: ... -->`, and is skipped. A transcript (lines starting `$ ` or `>>> `)
must be tagged `console` or `pycon`, so that none escapes the test.
"""

import doctest
import os
import re
import shlex
import subprocess
from pathlib import Path

import pytest

import vantrel
from conftest import CLI, WINDOWS_BUILD, need

ROOT = Path(__file__).resolve().parents[3]
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
FENCE = re.compile(r"(?:^(<!-- not run: [^\n]*-->)\n)?^```(\w*)\n(.*?)^```", re.S | re.M)


def blocks(language):
    """(document, line, text) of every block in `language` that is to run."""
    found = []
    for document in DOCUMENTS:
        text = document.read_text(encoding="utf-8")
        for match in FENCE.finditer(text):
            skipped, tag, body = match.groups()
            if tag == language and not skipped:
                found.append((document, text.count("\n", 0, match.start(2)) + 1, body))
    return found


def name(document):
    return str(document.relative_to(ROOT))


def test_every_transcript_is_tagged_to_run():
    untagged = [f"{name(document)}:{text.count(chr(10), 0, m.start()) + 1}"
                for document in DOCUMENTS
                for text in [document.read_text(encoding="utf-8")]
                for m in FENCE.finditer(text)
                if m.group(2) not in ("pycon", "console") and re.search(r"^(\$|>>>) ", m.group(3), re.M)]
    assert not untagged, "transcripts tagged neither pycon nor console: " + ", ".join(untagged)


@pytest.mark.parametrize("document", sorted({d for d, _, _ in blocks("pycon")}), ids=name)
def test_python_examples_give_the_output_shown(document, monkeypatch):
    monkeypatch.chdir(ROOT)  # files are named from the repository's root, as the documents say
    examples = []
    for _, line, body in (block for block in blocks("pycon") if block[0] == document):
        for example in doctest.DocTestParser().get_examples(body):
            example.lineno += line  # reported as the document's own line
            examples.append(example)
    test = doctest.DocTest(examples, {}, name(document), str(document), 0, None)
    report = []
    result = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE).run(test, out=report.append)
    assert result.failed == 0, "".join(report)


def steps(transcript):
    """(command, shown lines) of a console block; a command may run over several lines."""
    found, pending = [], None
    for line in transcript.splitlines():
        if pending is not None:
            pending += "\n" + line
        elif line.startswith("$ "):
            pending = line[2:]
        else:
            found[-1][1].append(line)
            continue
        try:
            shlex.split(pending)
        except ValueError:  # an open quote: the command goes on
            continue
        found.append((pending, []))
        pending = None
    return found


def matches(shown, printed):
    """The output shown, where a line `...` stands for any lines left out."""
    pattern = "".join(r"(?:.*\n)*?" if line == "..." else re.escape(line) + r"\n" for line in shown)
    return re.fullmatch(pattern, "".join(line + "\n" for line in printed)) is not None


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    """A directory with the build tree's paths as the documents spell them, and `vantrel` on PATH."""
    need(CLI, "the command-line tool")
    root = tmp_path_factory.mktemp("examples")
    links = {"bin/vantrel": CLI, "build/native/frontends/cli/vantrel": CLI,
             "build/native/frontends/python/module": os.path.dirname(vantrel.__file__)}
    if WINDOWS_BUILD and os.path.isdir(WINDOWS_BUILD):
        links["build/windows"] = WINDOWS_BUILD
    for link, target in links.items():
        (root / link).parent.mkdir(parents=True, exist_ok=True)
        (root / link).symlink_to(os.path.abspath(target))
    return root


@pytest.mark.parametrize("document, line, transcript",
                         [pytest.param(*block, id=f"{name(block[0])}:{block[1]}") for block in blocks("console")])
def test_shell_examples_give_the_output_shown(document, line, transcript, tree):
    if "build/windows/" in transcript:
        need(WINDOWS_BUILD and os.path.join(WINDOWS_BUILD, "Igor64.exe"), "the stand-in host")
    env = {**os.environ, "PATH": f"{tree / 'bin'}{os.pathsep}{os.environ['PATH']}"}
    for command, shown in steps(transcript):
        words = shlex.split(command)
        if words[0] == "cat":  # the transcript shows a file: write it first
            (tree / words[1]).write_text("\n".join(shown) + "\n")
        run = subprocess.run(command, shell=True, cwd=tree, env=env, capture_output=True, text=True)
        assert run.returncode == 0 and matches(shown, run.stdout.splitlines()), \
            (f"{name(document)}:{line}", command, run.stdout, run.stderr)
