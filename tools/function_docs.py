#!/usr/bin/env python3
"""Rewrite the index and the per-function sections of docs/functions.md from the catalogue.

Each function is described once. From the catalogue (the Python module's `vantrel.functions`,
which reads library/catalogue/descriptions.h) come every section's heading, Arguments table,
NaN-when line and Example, and each index row's function, link and unit; from
tests/accuracy/table.csv (tools/accuracy.py) each Accuracy line. The document stays the home of
its prose: each section's Result paragraph, the index's short Result words, and everything
outside the sections. A section stays under the "## …" heading it is written under, in index
order there, and the heading's "(indices …)" names the indices of its sections.

  PYTHONPATH=build/dev/frontends/python/module /usr/bin/python3 tools/function_docs.py
  PYTHONPATH=build/dev/frontends/python/module /usr/bin/python3 tools/function_docs.py --check

A new function needs only its Result paragraph: a section "### Name" holding "**Result** …"
under the heading of its group; this script puts it in index order and writes the rest.
"""

import argparse
import difflib
import re
import sys
import textwrap
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))
import accuracy  # noqa: E402

DOCUMENT = ROOT / "docs" / "functions.md"
WIDTH = 100
COMMAND = "tools/function_docs.py"

# Where the Windows runtime's mathematics parts from glibc's, per function of the plug-in
# that does not give the native bits: the runtime functions responsible, and what else
# the reader should know. The figures come from the accuracy table.
RUNTIME_FUNCTIONS = {
    "CountRateDDTSDev": "`pow`",
    "CountRateMonitorSDev": "`pow`",
    "FlippingRatioOptDDTSDev": "`pow`",
    "AsymmetryOptDDTSDev": "`pow`",
    "PeakCentringGauss": "`pow` up to exponent 19, amplified where the centre is extrapolated far "
                         "from the two points; see [Accuracy](#accuracy)",
    "PeakCentringGaussSDev": "`pow`, `exp`; amplified as for `PeakCentringGauss`",
    "STLrhombohedral": "`cos`, `atan`; more for nearly flat cells and absurd angles, see [Accuracy](#accuracy)",
    "STLmonoclinicB": "`cos`, `atan`",
    "STLmonoclinicC": "`cos`, `atan`",
    "STLtriclinic": "`cos`, `atan`",
    "He3Efficiency": "`tanh`",
    "He3EfficiencySDev": "`cosh`",
    "He3Efficiency2SDev": "`pow`",
    "He3Transmission": "`cosh`, `exp`",
    "He3TransmissionSDev": "`sinh`, `cosh`, `exp`, amplified by the cancellation; more for P_He above 0.9, "
                           "see [Accuracy](#accuracy)",
    "He3Polarisation": "`atanh`, `log`",
    "He3PolarisationSDev": "`atanh`, `log`",
}

LIBRARY_ONLY = ("Not in the plug-in. Natively every documented value is exact; the Windows command-line "
                "tool uses that runtime's mathematics (see [Accuracy](#accuracy)).")


class DocumentError(Exception):
    """The document lacks something only its writer can give."""


def wrap(text):
    """Lines of at most WIDTH, none opening with what Markdown would read as a list or a rule."""
    lines = textwrap.wrap(text, WIDTH, break_long_words=False, break_on_hyphens=False)
    for i in range(1, len(lines)):
        while re.match(r"[-+*=>#|]\s|\d+[.)]\s", lines[i]) and " " in lines[i - 1]:
            lines[i - 1], word = lines[i - 1].rsplit(" ", 1)
            lines[i] = f"{word} {lines[i]}"
    return "\n".join(lines)


def code_names(text, names):
    """The catalogue's function names in the text set as code, as the document writes them."""
    return re.sub(rf"\b({'|'.join(sorted(names, key=len, reverse=True))})\b", r"`\1`", text)


def accuracy_line(function, row):
    if row is None:
        raise DocumentError(f"{function.name} has no row in {accuracy.TABLE.relative_to(ROOT)}: "
                            "run tools/accuracy.py --only " + function.name)
    if not function.exported:
        return LIBRARY_ONLY
    if row["windows_exact"] == "1":
        return "Exact."
    if function.name not in RUNTIME_FUNCTIONS:
        raise DocumentError(f"name the runtime functions through which {function.name} parts from the "
                            f"native build in RUNTIME_FUNCTIONS of {COMMAND}")
    return (f"Windows runtime: relative difference up to {row['windows_relative']} from the native build "
            f"({RUNTIME_FUNCTIONS[function.name]}).")


def example_line(function):
    """The documented call as the command-line tool spells its numbers (the module's help)."""
    lines = function.__doc__.splitlines()
    call = lines[lines.index("Example:") + 1].strip()
    value = float(call.rsplit(" = ", 1)[1])
    if value != function.example[1]:
        raise DocumentError(f"{function.name}: the example gives {value}, the catalogue says {function.example[1]}")
    single = f"**Example** `{call}`"
    return single if len(single) <= WIDTH else f"**Example**\n`{call}`"


def section(function, result, row, names):
    table = ["| Argument | Meaning | Unit |", "|---|---|---|"]
    table += [f"| {a} | {m} | {u} |" for a, m, u in zip(function.arguments, function.meanings, function.units)]
    return "\n\n".join([
        f"### {function.name} ({function.index})",
        "**Arguments**",
        "\n".join(table),
        result,
        wrap(f"**NaN when** {code_names(function.nan_when, names)}"),
        wrap(f"**Accuracy** {accuracy_line(function, row)}"),
        example_line(function),
    ]) + "\n"


def index_row(function, words):
    anchor = f"{function.name.lower()}-{function.index}"
    return f"| {function.index} | [`{function.name}`](#{anchor}) | {words} | {function.result_unit} |"


def default_words(function):
    if function.name.endswith("SDev"):
        return "its standard deviation"
    return function.summary.rstrip(".")


def index_ranges(indices):
    """"6–11 and 32–37": the indices as runs of consecutive ones."""
    runs = []
    for i in sorted(indices):
        if runs and runs[-1][1] == i - 1:
            runs[-1][1] = i
        else:
            runs.append([i, i])
    texts = [f"{a}–{b}" if a != b else f"{a}" for a, b in runs]
    words = texts[0] if len(texts) == 1 else ", ".join(texts[:-1]) + " and " + texts[-1]
    return ("index " if len(indices) == 1 else "indices ") + words


def with_indices(heading, indices):
    """A group's heading with the indices of its sections: "## Count rates (indices 0–5)"."""
    return re.sub(r"\(ind(?:ex|ices) [\d–\-, and]*?(?=[,)])", f"({index_ranges(indices)}", heading, count=1)


def split_sections(block):
    """A "## " block as its heading and prose, and its "### " sections."""
    parts = re.split(r"(?m)^(?=### )", block)
    return parts[0], parts[1:]


PARTS = re.compile(r"(?m)^(?=\*\*(?:Arguments|Result|NaN when|Accuracy|Example)\*\*)")


def result_of(text):
    """The Result paragraph(s) of a section, or None; raises DocumentError where the section holds
    prose outside it, which rewriting the section would lose."""
    name = re.match(r"### (\w+)", text).group(1)
    head, *parts = PARTS.split(text.split("\n", 1)[1] if "\n" in text else "")
    result, stray = None, [head.strip()] if head.strip() else []
    for part in parts:
        paragraphs = [p for p in re.split(r"\n\s*\n", part.strip()) if p]
        if part.startswith("**Result**"):
            result = part.strip()
        elif part.startswith("**Arguments**") and paragraphs[1:2] and paragraphs[1].startswith("|"):
            stray += paragraphs[2:]
        else:
            stray += paragraphs[1:]
    if stray:
        raise DocumentError(f"{name}: only the Result paragraph of a section is prose; move "
                            f"{stray[0][:60]!r} into it")
    return result


def render(document, functions, table):
    """The document with the index and the sections rewritten; raises DocumentError."""
    blocks = re.split(r"(?m)^(?=## )", document)
    groups = [i for i, b in enumerate(blocks) if split_sections(b)[1]]
    results, intros, home = {}, {}, {}
    for i in groups:
        intros[i], sections = split_sections(blocks[i])
        for text in sections:
            name = re.match(r"### (\w+)", text).group(1)
            if name in results:
                raise DocumentError(f"two sections of {name}: keep one")
            results[name], home[name] = result_of(text), i
    names = {f.name for f in functions}
    strays = sorted(set(results) - names)
    if strays:
        raise DocumentError("sections of no catalogue function: " + ", ".join(strays))
    missing = [f.name for f in functions if not results.get(f.name)]
    if missing:
        raise DocumentError("\n".join(f"write the Result paragraph of {n} (a section '### {n}' holding "
                                      "'**Result** …', under its group's '## ' heading)" for n in missing))

    # Each section stays under the heading it is written under, in index order there.
    for i in groups:
        placed = [f for f in functions if home[f.name] == i]
        heading, intro = intros[i].split("\n", 1)
        intro = with_indices(heading, [f.index for f in placed]) + "\n" + intro.rstrip("\n") + "\n\n"
        tail = "\n" if i + 1 < len(blocks) else ""
        blocks[i] = intro + "\n".join(section(f, results[f.name], table.get(f.name), names) for f in placed) + tail

    index = next((i for i, b in enumerate(blocks) if b.startswith("## Index")), None)
    if index is None:
        raise DocumentError("no '## Index' section in the document")
    words = dict(re.findall(r"(?m)^\| \d+ \| \[`(\w+)`\]\(#[^)]*\) \| (.*?) \| .*? \|$", blocks[index]))
    head, rest = blocks[index].split("| Index |", 1)
    after = rest.split("\n\n", 1)[1] if "\n\n" in rest else ""
    rows = [index_row(f, words.get(f.name) or default_words(f)) for f in functions]
    blocks[index] = (head + "| Index | Function | Result | Unit |\n|---|---|---|---|\n" + "\n".join(rows)
                     + "\n\n" + after)
    return "".join(blocks)


def changed_functions(old, new):
    """The functions whose section or index row differ between two texts of the document."""
    def pieces(text):
        found = {m.group(1): m.group(0) for m in re.finditer(r"(?ms)^### (\w+).*?(?=^##|\Z)", text)}
        for m in re.finditer(r"(?m)^\| \d+ \| \[`(\w+)`\].*$", text):
            found[m.group(1)] = found.get(m.group(1), "") + m.group(0)
        return found
    a, b = pieces(old), pieces(new)
    return sorted(n for n in set(a) | set(b) if a.get(n) != b.get(n))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="write nothing; fail, naming the functions and showing a diff, where the document "
                             "is not what this script writes")
    parser.add_argument("--document", default=str(DOCUMENT), help="the document (default docs/functions.md)")
    arguments = parser.parse_args()
    import vantrel

    path = Path(arguments.document)
    old = path.read_text(encoding="utf-8")
    try:
        new = render(old, list(vantrel.functions), accuracy.read_table())
    except DocumentError as error:
        sys.exit(f"{path}: {error}")
    if not arguments.check:
        if new != old:
            path.write_text(new, encoding="utf-8")
        print(f"wrote the index and the function sections of {path}")
        return
    if new == old:
        return
    names = changed_functions(old, new) or ["(outside the sections)"]
    diff = difflib.unified_diff(old.splitlines(True), new.splitlines(True), str(path), f"{path} as {COMMAND} writes it")
    sys.stdout.writelines(diff)
    sys.exit(f"{path} is not what {COMMAND} writes for: {', '.join(names)}\nrun {COMMAND} (then check its diff)")


if __name__ == "__main__":
    main()
