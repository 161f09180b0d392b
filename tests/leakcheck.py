"""The reference-leak check shared by the test_leaks_*.py files: an operation,
run many times (its exceptions swallowed), must not grow the interpreter's total
reference count. Only a debug interpreter has sys.gettotalrefcount."""

import gc
import sys

import pytest

needs_debug_interpreter = pytest.mark.skipif(
    not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter"
)


class Floaty:
    """Not a float, but converts to one."""

    def __float__(self):
        return 1.5


def _run(operation):
    try:
        operation()
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException:  # PanicException derives from BaseException
        pass


def assert_no_leak(name, operation, runs=2000, allowance=100):
    for _ in range(20):
        _run(operation)
    gc.collect()
    before = sys.gettotalrefcount()
    for _ in range(runs):
        _run(operation)
    gc.collect()
    grown = sys.gettotalrefcount() - before
    assert grown < allowance, f"{name}: total reference count grew by {grown} over {runs} runs"
