"""Reference-leak check: every public operation, including its error paths,
repeated many times must not grow the interpreter's total reference count.
Runs under the debug interpreter (sys.gettotalrefcount)."""

import gc
import sys

import pytest

from kalvor import Vec3d

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")

V = Vec3d(1, 2, 3)
W = Vec3d(-4, 0.5, 6)
NAN = float("nan")


class Floaty:
    def __float__(self):
        return 1.5


class Sneaky:
    """Writes the vector while the subscript holds it borrowed."""

    def __init__(self, v):
        self.v = v

    def __index__(self):
        self.v.x = 2.0
        return 0


def _setters():
    v = Vec3d(1, 2, 3)
    v.x = 4
    v.y = Floaty()
    v.z = True


def _subscript_conflict():
    v = Vec3d(1, 2, 3)
    v[Sneaky(v)]


# (name, operation); an operation may raise, the check runs it either way.
OPERATIONS = {
    "construct": lambda: Vec3d(1, 2.5, Floaty()),
    "construct_keywords": lambda: Vec3d(x=1, y=2, z=3),
    "construct_via_new": lambda: Vec3d.__new__(Vec3d, 1, 2, z=3),
    "construct_missing": lambda: Vec3d(1),
    "construct_extra": lambda: Vec3d(1, 2, 3, 4),
    "construct_unknown_keyword": lambda: Vec3d(1, 2, w=3),
    "construct_duplicate": lambda: Vec3d(1, 2, 3, x=1),
    "construct_bad_type": lambda: Vec3d("1", 2, 3),
    "construct_overflow": lambda: Vec3d(10**400, 0, 0),
    "statics": lambda: (Vec3d.zero(), Vec3d.i(), Vec3d.j(), Vec3d.k()),
    "new_from_to": lambda: Vec3d.new_from_to(**{"from": V, "to": W}),
    "new_from_to_bad": lambda: Vec3d.new_from_to(V, None),
    "methods": lambda: (
        V.dot(W),
        V.cross(W),
        V.magnitude(),
        V.is_unit(),
        V.normalize(),
        V.distance_to(W),
        V.distance_squared(W),
        V.distance_to_line(V, W),
        V.project_onto_line(V, W),
        V.project_onto_plane(W),
        V.scalar_triple_product(V, W),
        V.to_array(),
    ),
    "method_keyword": lambda: V.dot(other=W),
    "method_bad_argument": lambda: V.dot(1),
    "method_none_argument": lambda: V.cross(None),
    "method_too_many": lambda: V.dot(V, W),
    "method_noargs_extra": lambda: V.magnitude(1),
    "properties": lambda: (V.x, V.y, V.z),
    "setters": _setters,
    "setter_bad": lambda: setattr(Vec3d(1, 2, 3), "x", "a"),
    "delete_property": lambda: delattr(Vec3d(1, 2, 3), "x"),
    "unknown_attribute": lambda: setattr(Vec3d(1, 2, 3), "foo", 1),
    "repr": lambda: (repr(V), str(Vec3d(NAN, -0.0, 1e21))),
    "hash": lambda: hash(V),
    "equality": lambda: (V == W, V != W, V == 1, V != None),  # noqa: E711
    "ordering": lambda: V < W,
    "getitem": lambda: (V[0], V[1], V[2]),
    "getitem_out_of_range": lambda: V[3],
    "getitem_negative": lambda: V[-1],
    "getitem_huge": lambda: V[2**70],
    "getitem_float": lambda: V[1.0],
    "getitem_conflict": _subscript_conflict,
    "iterate": lambda: (list(V), tuple(V), 2.0 in V),
    "arithmetic": lambda: (-V, V + W, V - W, V * 2, 2 * V, V * True, V / 2, V / 0),
    "arithmetic_unsupported": lambda: V + 1,
    "multiply_unsupported": lambda: V * V,
    "divide_reflected": lambda: 2 / V,
}


def _run(operation):
    try:
        operation()
    except Exception:
        pass


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    operation = OPERATIONS[name]
    for _ in range(20):
        _run(operation)
    gc.collect()
    before = sys.gettotalrefcount()
    for _ in range(2000):
        _run(operation)
    gc.collect()
    grown = sys.gettotalrefcount() - before
    assert grown < 100, f"{name}: total reference count grew by {grown} over 2000 runs"
