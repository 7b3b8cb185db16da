"""Shared pieces of the module's tests: froth-batch itself (its path comes
from CMake in FROTH_BATCH) and the comparison of its CSV with a DataFrame."""

import csv
import math
import os
import subprocess

import pytest

import froth


@pytest.fixture(scope="session")
def froth_batch():
    path = os.environ.get("FROTH_BATCH")
    if not path:
        pytest.skip("FROTH_BATCH names no froth-batch program")
    return path


@pytest.fixture(scope="session")
def batch_rows(froth_batch, tmp_path_factory):
    """froth-batch's CSV rows (header first) for a command line."""

    def run(*args):
        out = tmp_path_factory.mktemp("batch") / "run.csv"
        subprocess.run([froth_batch, *map(str, args), "--csv", str(out)], check=True, stderr=subprocess.DEVNULL)
        with open(out, newline="") as f:
            return list(csv.reader(f))

    return run


def printed(name, value):
    """A frame's value as froth-batch's CSV prints it."""
    if name in froth._froth.csv_integer_columns:
        return "%d" % value
    return "" if math.isnan(value) else "%.10g" % value


def assert_same_rows(rows, frame):
    """Every row and column alike but wall_seconds, as printed."""
    assert rows[0] == list(frame.columns)
    assert len(rows) - 1 == len(frame)
    for line, (_, row) in zip(rows[1:], frame.iterrows()):
        for name, text in zip(rows[0], line):
            if name != "wall_seconds":
                assert printed(name, row[name]) == text, (row["loop"], name)


def without_time(frame):
    return frame.drop(columns="wall_seconds")
