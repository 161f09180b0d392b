"""The reference-leak check of test_leaks.py: an operation must first do what
its entry says (return, or raise the given exception type), then, run many
times, must not grow the interpreter's total reference count. Only a debug
interpreter has sys.gettotalrefcount."""

import gc
import sys

import pytest

needs_debug_interpreter = pytest.mark.skipif(
    not hasattr(sys, "gettotalrefcount"), reason="sys.gettotalrefcount exists only in a debug interpreter"
)

# The expected outcome of an operation that returns normally.
RETURNS = None


class Floaty:
    """Not a float, but converts to one."""

    def __float__(self):
        return 1.5


def _run(operation, expected):
    if expected is RETURNS:
        operation()
        return
    try:
        operation()
    except expected:
        return
    raise AssertionError(f"did not raise {expected.__name__}")


def assert_no_leak(name, expected, operation, runs=2000):
    """A leak of one reference in a hundred calls fails: the count may grow by
    less than runs / 100 (the interpreter's own caches settle during warm-up)."""
    for _ in range(20):
        _run(operation, expected)
    gc.collect()
    before = sys.gettotalrefcount()
    for _ in range(runs):
        _run(operation, expected)
    gc.collect()
    grown = sys.gettotalrefcount() - before
    assert grown < runs // 100, f"{name}: total reference count grew by {grown} over {runs} runs"
