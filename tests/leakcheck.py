"""The reference-leak check of test_leaks.py (debug interpreter only)."""

import gc
import sys

import pytest

needs_debug_interpreter = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")
RETURNS = None  # the expected outcome of an operation that returns normally


class Floaty:
    """Not a float, but converts to one."""

    def __float__(self):
        return 1.5


def _run(operation, expected):
    try:
        operation()
    except BaseException as e:
        if expected is RETURNS or not isinstance(e, expected):
            raise
        return
    assert expected is RETURNS, f"did not raise {expected.__name__}"


def assert_no_leak(name, expected, operation, runs=2000):
    """The operation must first do what its entry says; then a leak of one
    reference in a hundred calls fails. Under pytest the pickle machinery's count
    drifts now and then, but a leak grows it every time: one clean try of three passes."""
    for _ in range(3):
        for _ in range(20):  # the interpreter's own caches settle during warm-up
            _run(operation, expected)
        gc.collect()
        before = sys.gettotalrefcount()
        for _ in range(runs):
            _run(operation, expected)
        gc.collect()
        grown = sys.gettotalrefcount() - before
        if grown < runs // 100:
            return
    raise AssertionError(f"{name}: total reference count grew by {grown} over {runs} runs")
