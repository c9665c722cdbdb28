"""The module and the command-line tool give the same bits on the same inputs."""

import subprocess

import numpy as np

import vantrel
from conftest import CLI, need, same_bits, shared_inputs


def run_cli(*args, input=None):
    return subprocess.run([CLI, *args], input=input, capture_output=True, text=True)


def test_cli_csv_gives_the_module_bits(function):
    need(CLI, "the command-line tool")
    inputs = shared_inputs(function)
    # Arguments in reverse column order behind a label column; numbers as
    # Python's shortest round-trip text, and hexadecimal in every other row.
    header = ["label"] + list(reversed(function.arguments))
    lines = [",".join(header)]
    for i, row in enumerate(inputs):
        text = [float.hex(float(x)) if i % 2 and np.isfinite(x) else repr(float(x)) for x in reversed(row)]
        lines.append(",".join([f"row {i}"] + text))
    run = run_cli(function.alias, "--csv", "-", input="\n".join(lines) + "\n")
    assert run.returncode == 0, run.stderr
    out = run.stdout.splitlines()
    assert out[0] == ",".join(header + [function.name])
    assert [line.rsplit(",", 1)[0] for line in out[1:]] == lines[1:]
    from_cli = np.array([float(line.rsplit(",", 1)[1]) for line in out[1:]])
    from_module = function(*inputs.T)
    assert same_bits(from_cli, from_module).all(), inputs[~same_bits(from_cli, from_module)]


def test_cli_arguments_give_the_module_bits():
    need(CLI, "the command-line tool")
    for function in vantrel.functions:
        row = shared_inputs(function)[0]
        run = run_cli(function.name, *map(repr, row))
        assert run.returncode == 0, run.stderr
        assert same_bits(float(run.stdout), function(*row)), function.name


def test_cli_lists_the_module_catalogue():
    need(CLI, "the command-line tool")
    listed = run_cli("list").stdout.splitlines()
    assert len(listed) == len(vantrel.functions)
    for line, function in zip(listed, vantrel.functions):
        index, name, alias, arguments = line.split(None, 3)
        assert (int(index), name, alias) == (function.index, function.name, function.alias)
        assert tuple(arguments.split(", ")) == function.arguments
