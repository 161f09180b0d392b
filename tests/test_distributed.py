"""The distributed example on a two-process Dask LocalCluster: it must agree
bit for bit with the same work done in one process."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "distributed.py"


def test_distributed_example_agrees_with_one_process():
    pytest.importorskip("dask.distributed")
    args = [sys.executable, str(EXAMPLE), "--points", "6000", "--chunks", "3", "--workers", "2"]
    run = subprocess.run(args, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0 and "bit for bit the same as one process: True" in run.stdout, run.stderr
