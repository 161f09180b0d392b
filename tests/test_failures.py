"""Failure paths no ordinary input reaches: operands borrowed elsewhere, failed allocations, the pool's start."""

import os
import re
import sys
from pathlib import Path

import pytest

import kalvor
from kalvor import Quat, Vec3d, VecList
from conftest import borrow_flag, needs_plain_memory, run_python

V, W, L = Vec3d(1, 2, 3), Vec3d(4, 5, 6), VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
MUT, SHARED = "Already mutably borrowed", "Already borrowed"


# A borrowed operand of == is a PanicException; elsewhere a RuntimeError, or for a number operator NotImplemented.
@pytest.mark.parametrize(
    "x, flag, operation, exc, text",
    [
        (Vec3d(1, 2, 3), -1, lambda x: V == x, BaseException, MUT + ": PyBorrowError"),
        (Quat(1, 0, 0, 0), -1, lambda x: x != Quat(1, 0, 0, 0), BaseException, MUT + ": PyBorrowError"),
        (Vec3d(1, 2, 3), -1, lambda x: V.dot(x), RuntimeError, MUT),
        (Vec3d(1, 2, 3), -1, lambda x: x + V, TypeError, "unsupported operand type(s) for +: 'kalvor.Vec3d' and 'kalvor.Vec3d'"),
        (Vec3d(1, 2, 3), 1, lambda x: setattr(x, "x", 1.0), RuntimeError, SHARED),
        (VecList([V]), 1, lambda x: x.append(V), RuntimeError, SHARED),
    ],
)
def test_operands_borrowed_elsewhere(x, flag, operation, exc, text):
    borrow_flag(x).value = flag
    with pytest.raises(exc, match="^" + re.escape(text) + "$") as info:
        operation(x)
    borrow_flag(x).value = 0
    assert (exc is not BaseException or type(info.value).__name__ == "PanicException") and borrow_flag(V).value == 0


# A result that cannot be allocated, a new instance, a float or a list, is the interpreter's MemoryError, and nothing is
# reported as unraisable. In a fresh interpreter: what ran before must not change how its allocations fall. The free lists
# would serve a result without allocating: they are held empty.
RESULT_FAILS = """
import _testcapi, sys
from kalvor import Vec3d, VecList
V, W, L, unraisable = Vec3d(1, 2, 3), Vec3d(4, 5, 6), VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)]), []
sys.unraisablehook = lambda args: unraisable.append(args.exc_type)
held = [Vec3d(0, 0, 0) for _ in range(200)], [VecList.empty() for _ in range(200)], [i + 0.5 for i in range(999)]
_testcapi.set_nomemory(0, 1)
try: {call}; print("returned")
except BaseException as e: caught = e
_testcapi.remove_mem_hooks()
print(type(caught).__name__, caught.args, unraisable, {call} is not None)
"""


@pytest.mark.parametrize("call", ["L * 2.0", "V.dot(W)", "L.dot(V)"])
def test_failed_result_allocation(call):
    pytest.importorskip("_testcapi", reason="makes allocations fail through _testcapi, which this build lacks")
    assert run_python(RESULT_FAILS.format(call=call)).stdout == "MemoryError () [] True\n"


# Element arrays that cannot be allocated, from an endless iterator too; a huge length (a hint) reserves nothing;
# all is as before afterwards; and the pool (three workers) starts with the first bulk operation, not at import.
ELEMENTS_FAIL = """
import itertools, resource, sys
threads = lambda: next(l.split()[1] for l in open('/proc/self/status') if l.startswith('Threads:'))
print(threads()); from kalvor import Vec3d, VecList; V = Vec3d(1, 2, 3); print(threads())
L = VecList([V] * 1_000_000); M = L * 1.0; print(threads())
Seq = lambda n, it: type('Seq', (), {'__len__': lambda s: n, '__getitem__': lambda s, i: V, '__iter__': lambda s: it})()
size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (4 << 20), resource.RLIM_INFINITY))
for call in (lambda: L * 2.0, lambda: L.to_array(), lambda: L.dot(M[0]), lambda: repr(L), lambda: VecList(L),
             lambda: L.extend(M), lambda: VecList(Seq(2, itertools.repeat(V))),
             *(lambda n=n: print(VecList(Seq(n, iter([M[0], V]))).list == [V, V]) for n in (sys.maxsize, 10**9))):
    try: call(); print("returned")
    except BaseException as e: print(type(e).__name__)
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(len(L), repr(L[999_999]), len(L * 2.0))
"""


@needs_plain_memory
@pytest.mark.skipif(not os.path.exists("/proc/self/status"), reason="reads sizes and thread counts from /proc")
def test_element_arrays_that_cannot_be_allocated_raise_memory_error_and_the_pool_starts_late():
    out = run_python(ELEMENTS_FAIL, KALVOR_NUM_THREADS="3").stdout.split("\n")
    assert out == ["1", "1", "4"] + ["MemoryError"] * 7 + ["True", "returned"] * 2 + ["1000000 Vec3d(1, 2, 3) 1000000", ""]


# The output array fits under the address-space limit, the result's three million objects do not.
RESULT_TOO_BIG = """
import resource
from kalvor import Vec3d, VecList
L = VecList([Vec3d(1, 2, 3)] * 3_000_000)
size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (60 << 20), resource.RLIM_INFINITY))
for call in (lambda: L.dot(Vec3d(1, 1, 1)), lambda: L.list):
    try: call(); print("returned")
    except Exception as e: print(type(e).__name__)
"""


@needs_plain_memory
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="reads the address-space size from /proc")
def test_list_results_too_big_for_memory_raise_memory_error():
    assert run_python(RESULT_TOO_BIG).stdout == "MemoryError\nMemoryError\n"


# The class raised is kalvor.PanicException, registered after the six names; its report names the failed
# check's source file relative to the project root, whatever folder the build ran in.
PANICS = """
import kalvor
from kalvor import Vec3d, VecList
for call in (lambda: VecList.empty().collapse(3), lambda: VecList([Vec3d(1, 2, 3)]).minimum_distance_to(Vec3d(0, 0, 0), 0),
             lambda: VecList.empty().minimum_distance_to(Vec3d(0, 0, 0), 1)):
    try: call()
    except kalvor.PanicException as e: print(type(e) is kalvor.PanicException, e.args[0])
"""


def test_panics_raise_kalvor_panic_exception_and_report_a_path_within_the_project():
    assert kalvor.__all__.index("PanicException") == 6 and kalvor.PanicException.__bases__ == (BaseException,)
    assert (kalvor.PanicException.__module__, kalvor.PanicException.__qualname__) == ("kalvor", "PanicException")
    out = run_python(PANICS, KALVOR_BACKTRACE="0")
    assert out.stdout.split("\n") == ["True assertion failed: axis <= 2", "True assertion failed: stride != 0",
                                      "True called `Option::unwrap()` on a `None` value", ""]
    places = re.findall(r"^thread '[^']+' \(\d+\) panicked at ([^:]+):(\d+):\d+:$", out.stderr, re.M)
    top = Path(__file__).resolve().parents[1]
    for (file, line), check in zip(places, ["axis_assertion", "stride_assertion", "unwrap_none"], strict=True):
        assert re.fullmatch(r"kalvor/src/[\w/]+\.[ch]pp", file), out.stderr  # relative: no build folder in it
        assert check in (top / file).read_text().split("\n")[int(line) - 1]  # the line of the failed check
