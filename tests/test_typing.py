"""stubtest finds the stubs faithful to the module under test, and mypy --strict accepts the
examples and tests/typing/usage.py; the wheel check of ./dev test repeats both."""

import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

import kalvor

TOP = Path(__file__).resolve().parents[1]

pytestmark = pytest.mark.skipif(
    importlib.util.find_spec("mypy") is None or hasattr(sys, "gettotalrefcount") or sys.version_info[:2] != (3, 14),
    reason="mypy runs on the release CPython 3.14 only",
)


@pytest.mark.parametrize(
    "args",
    [
        ["mypy.stubtest", "kalvor", "--allowlist", str(TOP / "tests" / "typing" / "stubtest_allowlist.txt")],
        ["mypy", "--strict", "--no-incremental", str(TOP / "examples"), str(TOP / "tests" / "typing" / "usage.py")],
    ],
    ids=["stubtest", "mypy-strict"],
)
def test_stubs(tmp_path, args):
    # The module under test and the stubs side by side, as a wheel installs them.
    (tmp_path / Path(kalvor.__file__).name).symlink_to(kalvor.__file__)
    (tmp_path / "kalvor-stubs").symlink_to(TOP / "kalvor-stubs")
    env = dict(os.environ, PYTHONPATH=str(tmp_path))
    done = subprocess.run([sys.executable, "-m", *args], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
