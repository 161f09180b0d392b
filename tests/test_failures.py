"""Failure paths no ordinary input reaches: operands borrowed elsewhere, failed allocations, the pool's start."""

import os
import re
import sys

import pytest

from kalvor import Quat, Vec3d, VecList
from conftest import borrow_flag, needs_plain_memory, run_python

try:
    import _testcapi
except ImportError:
    _testcapi = None

V, W, Q, L = Vec3d(1, 2, 3), Vec3d(4, 5, 6), Quat(1, 0, 0, 0), VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
PANIC = "Already mutably borrowed: PyBorrowError"  # a borrowed operand of == or != is a PanicException


# (the kind of a new X, its flag, operation on X, exception, text)
@pytest.mark.parametrize(
    "kind, flag, operation, exc, text",
    [
        (Vec3d, -1, lambda x: V == x, BaseException, PANIC),
        (Vec3d, -1, lambda x: x != V, BaseException, PANIC),
        (Quat, -1, lambda x: Q == x, BaseException, PANIC),
        (Vec3d, -1, lambda x: x.dot(V), RuntimeError, "Already mutably borrowed"),
        (Vec3d, -1, lambda x: V.dot(x), RuntimeError, "Already mutably borrowed"),
        (Vec3d, -1, lambda x: x + V, TypeError, "unsupported operand type(s) for +: 'kalvor.Vec3d' and 'kalvor.Vec3d'"),
        (Vec3d, 1, lambda x: setattr(x, "x", 1.0), RuntimeError, "Already borrowed"),
        (VecList, 1, lambda x: x.append(V), RuntimeError, "Already borrowed"),
        (VecList, -1, lambda x: len(x), RuntimeError, "Already mutably borrowed"),
    ],
)
def test_operands_borrowed_elsewhere(kind, flag, operation, exc, text):
    x = {Vec3d: lambda: Vec3d(1, 2, 3), Quat: lambda: Quat(1, 0, 0, 0), VecList: lambda: VecList([V])}[kind]()
    borrow_flag(x).value = flag
    try:
        with pytest.raises(exc, match="^" + re.escape(text) + "$") as info:
            operation(x)
    finally:
        borrow_flag(x).value = 0
    assert exc is not BaseException or type(info.value).__name__ == "PanicException"
    assert borrow_flag(V).value == borrow_flag(Q).value == 0


# A new instance: the interpreter's MemoryError; a float, list or tuple: reported, then an internal failure.
@pytest.mark.skipif(_testcapi is None, reason="makes allocations fail through _testcapi, which this build lacks")
@pytest.mark.parametrize(
    "call, panics",
    [(lambda: V + W, False), (lambda: L * 2.0, False), (lambda: V.dot(W), True), (lambda: V.to_array(), True), (lambda: L.dot(V), True)],
)
def test_failed_result_allocation(call, panics, monkeypatch):
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", lambda args: unraisable.append(args.exc_type))
    # The free lists would serve a result without allocating: hold them empty.
    held = [Vec3d(0, 0, 0) for _ in range(200)], [VecList.empty() for _ in range(200)], [i + 0.5 for i in range(999)]
    caught = None
    _testcapi.set_nomemory(0, 1)
    try:
        call()
    except BaseException as e:
        caught = e
    finally:
        _testcapi.remove_mem_hooks()
    del held
    expected = ("PanicException", ("could not create a result object",), [MemoryError]) if panics else ("MemoryError", (), [])
    assert (type(caught).__name__, caught.args, unraisable) == expected
    assert call() is not None


ELEMENTS_FAIL = """
import resource; from kalvor import Vec3d, VecList
L = VecList([Vec3d(1, 2, 3)] * 1_000_000); M = L * 1.0
VecList([Vec3d(1, 2, 3)] * 2).normalize()  # the pool starts before the limit
size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (4 << 20), resource.RLIM_INFINITY))
for call in (lambda: L * 2.0, lambda: L.cross(M[0]), lambda: L.to_array(), lambda: L.dot(M[0]), lambda: repr(L),
             lambda: VecList(L), lambda: L.append(M[0]), lambda: L.extend(M)):
    try:
        call(); print("returned")
    except BaseException as e:
        print(type(e).__name__)
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(len(L), repr(L[999_999]), len(L * 2.0))
"""


@needs_plain_memory
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="reads the address-space size from /proc")
def test_element_arrays_that_cannot_be_allocated_raise_memory_error():
    assert run_python(ELEMENTS_FAIL).stdout.split("\n") == ["MemoryError"] * 8 + ["1000000 Vec3d(1, 2, 3) 1000000", ""]


@pytest.mark.skipif(not os.path.exists("/proc/self/status"), reason="counts threads in /proc/self/status")
def test_the_pool_starts_with_the_first_bulk_operation_not_at_import():
    code = (
        "threads = lambda: next(l.split()[1] for l in open('/proc/self/status') if l.startswith('Threads:'))\n"
        "print(threads()); from kalvor import Vec3d, VecList\n"
        "print(threads(), VecList([Vec3d(1, 2, 3)]).dot(Vec3d(1, 1, 1)), threads())\n"
        "print(VecList.empty().dot(Vec3d(1, 1, 1)), threads())\n"
    )
    assert run_python(code, KALVOR_NUM_THREADS="3").stdout == "1\n1 [6.0] 4\n[] 4\n"
