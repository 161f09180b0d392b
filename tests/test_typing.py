"""The type stubs against the module under test: stubtest finds no difference, and
mypy --strict accepts the examples and the typed usage file (which asserts inferred
types). The wheel check of ./dev test repeats both against the installed wheel."""

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


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    # The module under test and the stubs side by side, as a wheel installs them.
    root = tmp_path_factory.mktemp("site")
    (root / Path(kalvor.__file__).name).symlink_to(kalvor.__file__)
    (root / "kalvor-stubs").symlink_to(TOP / "kalvor-stubs")
    return root


def run(site, *args):
    env = dict(os.environ, PYTHONPATH=str(site))
    done = subprocess.run([sys.executable, *args], cwd=site, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr


def test_stubtest_finds_the_stubs_faithful(site):
    run(site, "-m", "mypy.stubtest", "kalvor", "--allowlist", str(TOP / "tests" / "typing" / "stubtest_allowlist.txt"))


def test_mypy_strict_accepts_examples_and_typed_usage(site):
    run(site, "-m", "mypy", "--strict", "--no-incremental", str(TOP / "examples"), str(TOP / "tests" / "typing" / "usage.py"))
