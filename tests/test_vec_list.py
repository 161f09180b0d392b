import math
import os
import pickle
import re
import struct
import subprocess
import sys

import pytest
from hypothesis import given, settings, strategies as st

from kalvor import AngleRadians, Quat, RigidTransform, Vec3d, VecList

import bulk
from conftest import bits, needs_plain_memory, run_python

NAN = float("nan")
INF = float("inf")
EPS = 2.0**-52


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def xyz(v):
    return (v.x, v.y, v.z)


def same(a, b):
    """Equal bit for bit, any NaN matching any NaN."""
    return all((math.isnan(p) and math.isnan(q)) or bits(p) == bits(q) for p, q in zip(a, b, strict=True))


SPECIAL = [
    Vec3d(1, 2, 3),
    Vec3d(0, 0, 0),
    Vec3d(-0.0, 0.0, -0.0),
    Vec3d(NAN, 1, 2),
    Vec3d(INF, -INF, 0),
    Vec3d(1e300, 1e-300, -5e-324),
    Vec3d(0.6, 0.8, 0),
    Vec3d(1 + EPS, 0, 0),
]
OTHER = Vec3d(0.25, -3.5, 7)


# ---- the container


def test_construction_from_sequences():
    items = [Vec3d(1, 2, 3), Vec3d(4, 5, 6)]
    for source in (items, tuple(items), VecList(items), (v for v in [items]).__next__()):
        lst = VecList(source)
        assert len(lst) == 2 and [xyz(v) for v in lst] == [(1, 2, 3), (4, 5, 6)]
    assert len(VecList([])) == 0 and repr(VecList([])) == "[]" and repr(VecList.empty()) == "[]"
    assert VecList(list=items)[1].z == 6.0


class CountingSequence:
    """A sequence whose length is wrong: only iteration decides the items."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return 1000

    def __getitem__(self, i):
        return self.items[i]


def test_construction_from_any_sequence():
    assert [xyz(v) for v in VecList(CountingSequence([Vec3d(1, 1, 1)]))] == [(1, 1, 1)]


@pytest.mark.parametrize(
    "source, exc, text",
    [
        ("abc", TypeError, "argument 'list': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'list': 'int' object is not an instance of 'Sequence'"),
        ({1: Vec3d(1, 2, 3)}, TypeError, "argument 'list': 'dict' object is not an instance of 'Sequence'"),
        (None, TypeError, "argument 'list': 'None' is not an instance of 'Sequence'"),
        (Vec3d(1, 2, 3), TypeError, "argument 'list': 'float' object is not an instance of 'Vec3d'"),
        ([Vec3d(1, 2, 3), 1], TypeError, "argument 'list': 'int' object is not an instance of 'Vec3d'"),
        ((Vec3d(1, 2, 3), None), TypeError, "argument 'list': 'None' is not an instance of 'Vec3d'"),
        (CountingSequence([Vec3d(1, 1, 1), "x"]), TypeError, "argument 'list': 'str' object is not an instance of 'Vec3d'"),
    ],
)
def test_construction_errors(source, exc, text):
    with raises(exc, text):
        VecList(source)


def test_errors_raised_by_iteration_pass_through():
    class Failing:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            if i == 1:
                raise KeyError("boom")
            return Vec3d(1, 2, 3)

    with pytest.raises(KeyError):
        VecList(Failing())


def test_argument_errors():
    lst = VecList([Vec3d(1, 2, 3)])
    with raises(TypeError, "VecList.__new__() missing 1 required positional argument: 'list'"):
        VecList()
    with raises(TypeError, "argument 'vec': 'int' object is not an instance of 'Vec3d'"):
        lst.append(1)
    with raises(TypeError, "argument 'other': 'list' object is not an instance of 'VecList'"):
        lst.extend([Vec3d(1, 2, 3)])
    with raises(TypeError, "argument 'quat': 'int' object is not an instance of 'Quat'"):
        lst.rotate(1)
    with raises(TypeError, "argument 'axis': 'float' object cannot be interpreted as an integer"):
        lst.collapse(1.0)
    with raises(TypeError, "argument 'stride': 'float' object cannot be interpreted as an integer"):
        lst.minimum_distance_to(OTHER, 1.5)
    with raises(TypeError, "VecList.minimum_distance_to() missing 1 required positional argument: 'stride'"):
        lst.minimum_distance_to(OTHER)
    assert len(lst) == 1


def test_indexing():
    lst = VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
    assert xyz(lst[1]) == (4, 5, 6)
    for index, exc in [(2, IndexError), (2**64 - 1, IndexError), (-1, OverflowError), (2**64, OverflowError)]:
        with pytest.raises(exc):
            lst[index]
    with raises(IndexError, "Index out of bounds"):
        VecList.empty()[0]
    with pytest.raises(TypeError, match="^argument 'index': "):
        lst[0:1]


def test_elements_are_copies():
    v = Vec3d(1, 2, 3)
    lst = VecList([v])
    v.x = 100
    lst.append(v)
    v.x = 200
    lst[0].x = 50
    lst.list[1].y = 50
    assert [xyz(e) for e in lst] == [(1, 2, 3), (100, 2, 3)]


def test_list_property_is_read_only():
    lst = VecList([Vec3d(1, 2, 3)])
    assert [xyz(v) for v in lst.list] == [(1, 2, 3)] and type(lst.list) is list
    with pytest.raises(AttributeError):
        lst.list = []
    with pytest.raises(AttributeError):
        del lst.list


def test_append_and_extend():
    lst = VecList.empty()
    lst.append(Vec3d(1, 2, 3))
    lst.extend(VecList([Vec3d(4, 5, 6), Vec3d(7, 8, 9)]))
    assert [v.x for v in lst] == [1, 4, 7]
    with raises(RuntimeError, "Already mutably borrowed"):
        lst.extend(lst)
    assert len(lst) == 3
    assert lst.append(Vec3d(0, 0, 0)) is None and lst.extend(VecList.empty()) is None


def test_repr():
    lst = VecList([Vec3d(1, 2, 3), Vec3d(0.5, -0.0, 1e21)])
    assert repr(lst) == "[Vec3d(1, 2, 3)\nVec3d(0.5, -0, 1000000000000000000000)]"
    assert str(lst) == repr(lst)
    big = VecList([Vec3d(i, 0, 0) for i in range(1000)])
    assert repr(big) == "[" + "\n".join(f"Vec3d({i}, 0, 0)" for i in range(1000)) + "]"


def test_operators():
    lst = VecList([Vec3d(1, 2, 3)])
    assert xyz((lst + Vec3d(1, 1, 1))[0]) == (2, 3, 4)
    assert xyz((lst - Vec3d(1, 1, 1))[0]) == (0, 1, 2)
    assert xyz((lst * 2)[0]) == xyz((2 * lst)[0]) == (2, 4, 6)
    assert xyz((lst * True)[0]) == (1, 2, 3)
    assert repr(VecList([Vec3d(1, 0, -1)]) / 0) == "[Vec3d(inf, NaN, -inf)]"
    for call, text in [
        (lambda: 2.0 / lst, "unsupported operand type(s) for /: 'float' and 'kalvor.VecList'"),
        (lambda: lst + 1.0, "unsupported operand type(s) for +: 'kalvor.VecList' and 'float'"),
        (lambda: Vec3d(1, 1, 1) + lst, "unsupported operand type(s) for +: 'kalvor.Vec3d' and 'kalvor.VecList'"),
        (lambda: Vec3d(1, 1, 1) - lst, "unsupported operand type(s) for -: 'kalvor.Vec3d' and 'kalvor.VecList'"),
        (lambda: lst * lst, "unsupported operand type(s) for *: 'kalvor.VecList' and 'kalvor.VecList'"),
        (lambda: lst * Vec3d(1, 1, 1), "unsupported operand type(s) for *: 'kalvor.VecList' and 'kalvor.Vec3d'"),
        (lambda: lst == lst and lst < lst, "'<' not supported between instances of 'kalvor.VecList' and 'kalvor.VecList'"),
    ]:
        with raises(TypeError, text):
            call()
    old = lst
    lst += Vec3d(1, 1, 1)
    assert xyz(old[0]) == (1, 2, 3) and xyz(lst[0]) == (2, 3, 4)


def test_unhashed_defaults():
    lst = VecList.empty()
    assert lst == lst and lst != VecList.empty()
    assert isinstance(hash(lst), int)


# ---- element-wise operations equal the single-vector ones, bit for bit


def check_elementwise(elements):
    lst = VecList(elements)
    q = Quat(0.5, -0.5, 0.5, 0.5)
    assert same(lst.dot(OTHER), [e.dot(OTHER) for e in elements])
    assert same(lst.distance_to(OTHER), [e.distance_to(OTHER) for e in elements])
    assert same(lst.distance_squared(OTHER), [e.distance_squared(OTHER) for e in elements])
    assert same(lst.magnitude(), [e.magnitude() for e in elements])
    assert lst.is_unit() == [e.is_unit() for e in elements]
    assert lst.to_array() == [e.to_array() for e in elements] or all(
        same(a, b) for a, b in zip(lst.to_array(), [e.to_array() for e in elements])
    )
    for result, single in [
        (lst.cross(OTHER), [e.cross(OTHER) for e in elements]),
        (lst.normalize(), [e.normalize() for e in elements]),
        (lst + OTHER, [e + OTHER for e in elements]),
        (lst - OTHER, [e - OTHER for e in elements]),
        (lst * -1.5, [e * -1.5 for e in elements]),
        (0.1 * lst, [0.1 * e for e in elements]),
        (lst / 3.0, [e / 3.0 for e in elements]),
        (lst / 0.0, [e / 0.0 for e in elements]),
        (lst.collapse(0), [Vec3d(0.0, e.y, e.z) for e in elements]),
        (lst.collapse(2), [Vec3d(e.x, e.y, 0.0) for e in elements]),
    ]:
        assert type(result) is VecList and len(result) == len(elements)
        assert all(same(xyz(a), xyz(b)) for a, b in zip(result, single, strict=True))
    rotated = VecList(elements)
    assert rotated.rotate(q) is None
    assert all(same(xyz(a), xyz(q.rotate(e))) for a, e in zip(rotated, elements, strict=True))
    t, moved = RigidTransform(q, OTHER), VecList(elements)
    assert moved.transform(t) is None
    assert all(same(xyz(a), xyz(t.apply(e))) for a, e in zip(moved, elements, strict=True))
    assert all(same(xyz(a), xyz(b)) for a, b in zip(lst, elements, strict=True))  # unchanged


@pytest.mark.parametrize("n", [0, 1, 2, 3, 7, len(SPECIAL)])
def test_elementwise_small(n):
    check_elementwise((SPECIAL * 2)[:n])


vectors = st.builds(Vec3d, st.floats(width=64), st.floats(width=64), st.floats(width=64))


@settings(max_examples=50)
@given(st.lists(vectors, max_size=40))
def test_elementwise_any(elements):
    check_elementwise(elements)


# NaNs of both signs, quiet and signalling, each with its own payload: where
# two meet in one operation, which one comes out must not depend on the path.
PAYLOAD_NANS = [
    struct.unpack("<d", struct.pack("<Q", b))[0]
    for b in (0x7FF8000000000001, 0xFFF8000000000002, 0x7FF4000000000003, 0xFFF0000000000004)
]


def test_nan_results_have_the_bits_of_the_single_vector_operation():
    values = PAYLOAD_NANS + [1.5, -0.0]
    elements = [Vec3d(x, y, z) for x in values for y in values for z in values]
    lst = VecList(elements)

    def check(bulk, single):
        assert [list(map(bits, xyz(r) if isinstance(r, Vec3d) else [r])) for r in bulk] == [
            list(map(bits, xyz(r) if isinstance(r, Vec3d) else [r])) for r in map(single, elements)
        ]

    for o in elements[::7]:
        check(lst.dot(o), lambda e: e.dot(o))
        check(lst.distance_to(o), lambda e: e.distance_to(o))
        check(lst.distance_squared(o), lambda e: e.distance_squared(o))
        check(lst.cross(o), lambda e: e.cross(o))
        check(lst + o, lambda e: e + o)
        check(lst - o, lambda e: e - o)
    for s in values:
        check(lst * s, lambda e: e * s)
        check(s * lst, lambda e: s * e)
        check(lst / s, lambda e: e / s)
    check(lst.magnitude(), Vec3d.magnitude)
    check(lst.normalize(), Vec3d.normalize)
    for q in [Quat(values[0], 0.5, values[1], 1), Quat(values[3], values[2], 0.5, values[1])]:
        rotated = VecList(elements)
        rotated.rotate(q)
        check(rotated, q.rotate)
        for o in elements[::29]:
            moved, t = VecList(elements), RigidTransform(q, o)
            moved.transform(t)
            check(moved, t.apply)


def test_bulk_results_equal_the_single_ones_for_any_worker_count():
    run, env = [sys.executable, "-P", bulk.__file__], lambda n: dict(os.environ, KALVOR_NUM_THREADS=n)
    children = {n: subprocess.Popen(run, stdout=subprocess.PIPE, env=env(n)) for n in "1237"}  # the pool's size is fixed at its start
    single = bulk.results(bulk=False)
    got = {n: pickle.loads(child.communicate()[0]) for n, child in children.items()}
    assert [(n, d, k) for n in got for d in single for k in single[d] if got[n][d].get(k) != single[d][k]] == []


@pytest.mark.parametrize(
    "v, unit",
    [(Vec3d(1, 0, 0), True), (Vec3d(0.6, 0.8, 0), True), (Vec3d(1 - 2.0**-53, 0, 0), True), (Vec3d(1 + EPS, 0, 0), False), (Vec3d(NAN, 0, 0), False)],
)
def test_is_unit(v, unit):
    assert VecList([v, v]).is_unit() == [unit, unit]


def test_collapse_and_empty_results():
    assert xyz(VecList([Vec3d(1, 2, 3)]).collapse(1)[0]) == (1, 0, 3)
    with raises(BaseException, "assertion failed: axis <= 2"):
        VecList([Vec3d(1, 2, 3)]).collapse(3)
    with pytest.raises(OverflowError):
        VecList([Vec3d(1, 2, 3)]).collapse(-1)
    empty = VecList.empty()
    assert empty.dot(OTHER) == [] and len(empty.normalize()) == 0 and empty.to_array() == []
    empty.rotate(Quat.identity())
    assert len(empty) == 0


def test_rotate_scales_by_a_non_unit_quaternion():
    lst = VecList([Vec3d(1, 2, 3)])
    lst.rotate(Quat(2, 0, 0, 0))
    assert xyz(lst[0]) == (4, 8, 12)
    q = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())
    lst = VecList([Vec3d(1, 0, 0)])
    lst.rotate(q)
    assert same(xyz(lst[0]), (2.220446049250313e-16, 1.0, 0.0))


# ---- nearest-point search


def xs(*values):
    return VecList([Vec3d(x, 0, 0) for x in values])


@pytest.mark.parametrize(
    "points, other, stride, expected",
    [
        (xs(0, 1, 2, 3), 2.2, 1, (2, 0.20000000000000018)),
        (xs(0, 1, 2, 3), 2.2, 2, (2, 0.20000000000000018)),
        (VecList([Vec3d(1, 0, 0), Vec3d(-1, 0, 0)]), 0, 1, (0, 1.0)),
        (xs(3, 1, 2), 0, 5, (1, 1.0)),
        (xs(0, 10, 10, 10, 1), 1, 2, (4, 0.0)),
        (xs(5, 5, 0.5, 5, 6, 6, 6, 6, 6), 0, 4, (2, 0.5)),
        (xs(5, 6, 6, 6, 6, 6, 0.5, 6, 6), 0, 4, (0, 5.0)),
        (xs(7), 0, 2**64 - 1, (0, 7.0)),
        (xs(NAN, 2, -1), 0, 1, (2, 1.0)),
        (xs(NAN), 0, 1, (0, NAN)),
    ],
)
def test_minimum_distance_to(points, other, stride, expected):
    index, distance = points.minimum_distance_to(Vec3d(other, 0, 0), stride)
    assert index == expected[0] and type(index) is int
    assert same([distance], [expected[1]])


def test_minimum_distance_to_errors():
    with raises(BaseException, "assertion failed: stride != 0"):
        xs(1, 2).minimum_distance_to(OTHER, 0)
    with pytest.raises(OverflowError):
        xs(1, 2).minimum_distance_to(OTHER, -1)
    with raises(BaseException, "called `Option::unwrap()` on a `None` value"):
        VecList.empty().minimum_distance_to(OTHER, 1)
    with raises(TypeError, "argument 'other': 'tuple' object is not an instance of 'Vec3d'"):
        xs(1).minimum_distance_to((0, 0, 0), 1)


@settings(max_examples=50)
@given(st.lists(st.floats(-100, 100), min_size=1, max_size=60), st.integers(1, 70))
def test_minimum_distance_with_stride_one_is_the_first_nearest(values, stride):
    points = xs(*values)
    keys = [(x - 1.5) * (x - 1.5) for x in values]
    index, distance = points.minimum_distance_to(Vec3d(1.5, 0, 0), 1)
    assert index == keys.index(min(keys)) and distance == math.sqrt(min(keys))
    # Any stride finds an element at least as near as the best coarse sample.
    index, distance = points.minimum_distance_to(Vec3d(1.5, 0, 0), stride)
    assert distance <= math.sqrt(min(keys[::stride]))
    if stride >= len(values):
        assert index == keys.index(min(keys))


# ---- panics


def test_panic_is_a_base_exception_with_a_report(capfd):
    with pytest.raises(BaseException) as info:
        VecList([Vec3d(1, 2, 3)]).collapse(7)
    exc = info.value
    assert not isinstance(exc, Exception)
    assert type(exc).__name__ == "PanicException" and type(exc).__bases__ == (BaseException,)
    assert exc.args == ("assertion failed: axis <= 2",)
    err = capfd.readouterr().err
    assert re.search(r"\nthread '[^']+' \(\d+\) panicked at .*vec_list\.cpp:\d+:\d+:\nassertion failed: axis <= 2\n", err)


@pytest.mark.parametrize("setting, expected", [("1", "stack backtrace:"), ("0", "note: run with `KALVOR_BACKTRACE=1`")])
def test_backtrace_setting(setting, expected):
    code = "from kalvor import *\ntry:\n    VecList.empty().collapse(3)\nexcept BaseException as e:\n    print(repr(e))"
    out = run_python(code, KALVOR_BACKTRACE=setting)
    assert out.stdout.strip() == "PanicException('assertion failed: axis <= 2')"
    assert expected in out.stderr


@needs_plain_memory
def test_pool_start_failure_is_reported_on_every_call():
    # Leave no address space for worker stacks, so the pool cannot start.
    code = (
        "import resource\n"
        "from kalvor import Vec3d, VecList\n"
        "l = VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])\n"
        "size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()\n"
        "resource.setrlimit(resource.RLIMIT_AS, (size + (4 << 20), resource.RLIM_INFINITY))\n"
        "for call in (lambda: l.dot(Vec3d(1, 1, 1)), lambda: l.normalize(), lambda: VecList.empty().rotate(None)):\n"
        "    try:\n"
        "        call()\n"
        "    except BaseException as e:\n"
        "        print(type(e).__name__, str(e).startswith('The global thread pool has not been initialized. '))\n"
    )
    env = dict(os.environ, KALVOR_NUM_THREADS="4")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.stdout.split("\n")[:2] == ["PanicException True", "PanicException True"], out.stdout + out.stderr
    assert out.stdout.split("\n")[2].startswith("TypeError")  # argument errors come before the pool


# ---- the iterator


def test_iterator():
    lst = VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
    it = iter(lst)
    assert type(it).__name__ == "VecListIterator" and type(it).__module__ == "kalvor"
    assert iter(it) is it
    assert xyz(next(it)) == (1, 2, 3)
    other = iter(lst)
    assert xyz(next(other)) == (1, 2, 3)
    assert xyz(next(it)) == (4, 5, 6)
    for _ in range(3):
        with pytest.raises(StopIteration):
            next(it)
    with raises(TypeError, "cannot create 'kalvor.VecListIterator' instances"):
        type(it)()
    empty = iter(VecList.empty())
    with pytest.raises(StopIteration):
        next(empty)
    with pytest.raises(StopIteration):
        next(empty)


def test_iteration_sees_a_snapshot():
    lst = VecList([Vec3d(1, 0, 0), Vec3d(2, 0, 0)])
    seen = []
    for v in lst:
        seen.append(v.x)
        lst.append(Vec3d(9, 9, 9))
        lst.rotate(Quat(2, 0, 0, 0))
        lst.extend(VecList([Vec3d(7, 7, 7)]))
        v.x = 100
    assert seen == [1.0, 2.0] and len(lst) == 6
    a, b = VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
    assert xyz(a) == (1, 2, 3)
