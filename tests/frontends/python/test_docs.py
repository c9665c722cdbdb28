"""docs/functions.md, the long form of every function's help, says what the catalogue
says: the same arguments with the same units, the same result unit and the same example."""

import os
import re

import pytest

import vantrel

REFERENCE = os.path.join(os.path.dirname(__file__), "..", "..", "..", "docs", "functions.md")


def sections():
    """{name: (argument rows, example text)} and {name: result unit} from the reference."""
    with open(REFERENCE, encoding="utf-8") as f:
        text = f.read()
    units = {m[0]: m[1] for m in re.findall(r"^\| \d+ \| \[`(\w+)`\]\(#[^)]*\) \| .*? \| (.*?) \|$", text, re.M)}
    found = {}
    for section in re.split(r"^### ", text, flags=re.M)[1:]:
        head = re.match(r"(\w+) \((\d+)\)", section)
        if not head:
            continue
        table = re.search(r"\*\*Arguments\*\*\n\n((?:\|.*\n)+)", section).group(1)
        rows = [r for r in re.findall(r"^\| (\w+) \| (.*?) \| (.*?) \|$", table, re.M) if r[0] != "Argument"]
        example = re.search(r"\*\*Example\*\*\s*`(\w+)\((.*?)\) = (.*?)`", section, re.S)
        found[head.group(1)] = (rows, example.groups())
    return found, units


@pytest.fixture(scope="module")
def reference():
    return sections()


def test_every_function_is_described_once(reference):
    found, units = reference
    assert sorted(found) == sorted(units) == sorted(f.name for f in vantrel.functions)


def test_the_reference_names_the_catalogues_arguments_and_units(function, reference):
    found, units = reference
    rows, (name, arguments, value) = found[function.name]
    assert [(r[0], r[2]) for r in rows] == list(zip(function.arguments, function.units))
    assert units[function.name] == function.result_unit
    assert name == function.name
    assert [float(x) for x in arguments.split(", ")] == list(function.example[0])
    assert float(value) == function.example[1]


def test_help_shows_units_nan_cases_and_the_example():
    text = vantrel.he3_transmission.__doc__
    assert text.startswith("He3Transmission(p, T, L, lambda, PHe) -> 1 (dimensionless)\n")
    for line in ("  p       helium-3 pressure      atm", "  lambda  neutron wavelength     Å", "NaN when:",
                 "He3Transmission(1, 293, 10, 2, 0.7) = 0.3605461370670754"):
        assert line in text


def test_the_attributes_are_what_the_help_shows(function):
    help_text = " ".join(function.__doc__.split())
    assert len(function.meanings) == len(function.arguments) and all(function.meanings)
    for name, meaning, unit in zip(function.arguments, function.meanings, function.units):
        assert f" {name} {' '.join(meaning.split())} {unit} " in help_text
    assert f"NaN when: {' '.join(function.nan_when.split())} Example:" in help_text
