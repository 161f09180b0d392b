"""Calls every public callable, method, property and operator of kalvor and
kalvor.geometry with arbitrary arguments: numbers of every kind, None,
strings, bytes, containers, the module's own objects, and objects whose
__float__, __index__, __len__ or __getitem__ raise, lie or change the list
being worked on. Whatever the call, only the exception types the module
documents come out (never SystemError), a call that fails leaves every object
as it was, and no borrow stays held.

KALVOR_FUZZ_EXAMPLES sets the number of calls (for a longer run on request)."""

import inspect
import math
import operator
import os
import struct
import sys

from hypothesis import HealthCheck, given, settings, strategies as st

import kalvor
from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList, geometry
from conftest import borrow_flag

Plane, Circle = geometry.Plane, geometry.Circle
CLASSES = [Vec3d, Quat, AngleRadians, AngleDegrees, VecList, Plane, Circle]
DEBUG = hasattr(sys, "gettotalrefcount")
EXAMPLES = int(os.environ.get("KALVOR_FUZZ_EXAMPLES", 400 if DEBUG else 1500))

# The texts of the documented internal failures.
PANICS = {"assertion failed: axis <= 2", "assertion failed: stride != 0", "called `Option::unwrap()` on a `None` value"}
ALLOWED = (TypeError, ValueError, OverflowError, IndexError, RuntimeError, AttributeError, StopIteration, MemoryError)


class Boom(Exception):
    """Raised by a hostile object; passes through the module unchanged."""


# Interrupts and MemoryError a hostile object raised during the call: the
# module must let them through, not turn them into anything else.
interrupts = []

# The calls of one example that changed an object on purpose (a hostile
# object's __float__ appending to the list the call works on, say): a failed
# call may then leave that object changed.
mutated = []


def mutate(target):
    try:
        if isinstance(target, VecList):
            target.append(Vec3d(9, 9, 9))
        elif isinstance(target, Vec3d):
            target.x = 9.0
        else:
            return
        mutated.append(target)
    except RuntimeError:
        pass  # borrowed by the call: refused, as it must be


# The objects of the running example, which arguments may name by position.
pool = []


class Ref:
    """Stands for pool[index], resolved when the call's arguments are made."""

    def __init__(self, index):
        self.index = index


def resolve(arg):
    if isinstance(arg, Ref):
        return pool[arg.index % len(pool)]
    if isinstance(arg, (list, tuple)):
        return type(arg)(resolve(a) for a in arg)
    return arg


class Hostile:
    """Passes for a number, an index and a sequence of three Vec3d, and
    misbehaves as told: "raise", "interrupt" (KeyboardInterrupt or
    MemoryError), "lie" (a wrong type, value or length), "mutate" (changes one
    of the example's objects first) or "plain"."""

    def __init__(self, how, target, length):
        self.how, self.target, self.length = how, target, length

    def _act(self, value, lie):
        if self.how == "raise":
            raise Boom
        if self.how == "interrupt":
            interrupts.append(KeyboardInterrupt if self.length % 2 else MemoryError)
            raise interrupts[-1]
        if self.how == "mutate":
            mutate(pool[self.target % len(pool)])
        return lie if self.how == "lie" else value

    def __float__(self):
        return self._act(1.5, "1.5")

    def __index__(self):
        return self._act(1, 2**70)

    def __len__(self):
        return self._act(3, self.length)

    def __getitem__(self, i):
        if i >= 3:
            raise IndexError(i)
        return self._act(Vec3d(i, 0, 0), float(i))

    def __repr__(self):
        return f"Hostile({self.how}, {self.length})"


def f64(pattern):
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


floats = st.one_of(
    st.floats(),
    st.sampled_from([f64(0x7FF8000000000001), f64(0xFFF800000000BEEF), 5e-324, -0.0, math.inf, 1.7976931348623157e308]),
)
integers = st.one_of(
    st.integers(-5, 5), st.integers(), st.sampled_from([sys.maxsize, 2**63, 2**64 - 1, 2**64, -(2**63), 10**400])
)
vectors = st.builds(Vec3d, floats, floats, floats)
OBJECTS = {
    Vec3d: vectors,
    Quat: st.builds(Quat, floats, floats, floats, floats),
    AngleRadians: st.builds(AngleRadians, floats),
    AngleDegrees: st.builds(AngleDegrees, floats),
    VecList: st.builds(VecList, st.lists(vectors, max_size=5)),
    Plane: st.builds(Plane, vectors, floats),
    Circle: st.builds(Circle, vectors, floats, vectors),
    "iterator": st.builds(lambda l: iter(VecList(l)), st.lists(vectors, max_size=3)),
}
new_objects = st.one_of(*OBJECTS.values())


# Anything: plain values, the example's own objects, new ones, containers,
# hostile objects.
index = st.integers(0, 7)
hostile = st.builds(
    Hostile, st.sampled_from(["raise", "interrupt", "lie", "mutate", "plain"]),
    index,
    st.sampled_from([0, 1, 1000, 1 << 20, 1 << 40, sys.maxsize]),
)
leaf = st.one_of(
    floats,
    integers,
    st.booleans(),
    st.complex_numbers(),
    st.none(),
    st.text(max_size=4),
    st.binary(max_size=4),
    st.builds(Ref, index),
    new_objects,
    hostile,
)
argument = st.one_of(leaf, leaf, st.lists(leaf, max_size=4), st.tuples(leaf, leaf, leaf))


def state(obj):
    """What a failed call must leave unchanged, bit for bit; None for iterators."""
    if isinstance(obj, Vec3d):
        return struct.pack("<3d", obj.x, obj.y, obj.z)
    if isinstance(obj, Quat):
        return struct.pack("<4d", obj.w, obj.i, obj.j, obj.k)
    if isinstance(obj, (AngleRadians, AngleDegrees)):
        return struct.pack("<d", obj.angle)
    if isinstance(obj, VecList):
        return b"".join(state(v) for v in obj)
    if isinstance(obj, Plane):
        return state(obj.normal) + struct.pack("<d", obj.distance)
    if isinstance(obj, Circle):
        return state(obj.center) + struct.pack("<d", obj.radius) + state(obj.normal)
    return None


# ---- every member: for each kind of receiver (a class, the iterator, or none
# for constructors, static methods and functions), calls
# call(receiver, args, kwargs); operators go with every kind of receiver.


def _members():
    binary = [operator.add, operator.sub, operator.mul, operator.truediv, operator.floordiv, operator.matmul,
              operator.eq, operator.ne, operator.lt, operator.le, operator.gt, operator.ge, operator.getitem,
              operator.contains, operator.iadd, operator.imul, operator.itruediv, pow]
    unary = [operator.neg, operator.pos, abs, hash, repr, str, len, iter, next, bool, list, float, int]
    operators = [lambda r, a, k, op=op: op(r) for op in unary]
    for op in binary:
        operators.append(lambda r, a, k, op=op: op(r, a[0] if a else None))
        operators.append(lambda r, a, k, op=op: op(a[0] if a else None, r))
    members = {None: [], "iterator": operators}
    for cls in CLASSES:
        members[None].append(lambda r, a, k, cls=cls: cls(*a, **k))
        mine = members[cls] = list(operators)
        for name, raw in vars(cls).items():
            if name.startswith("_"):
                continue
            if isinstance(raw, staticmethod):
                members[None].append(lambda r, a, k, f=getattr(cls, name): f(*a, **k))
            elif inspect.isgetsetdescriptor(raw):
                mine.append(lambda r, a, k, n=name: getattr(r, n))
                mine.append(lambda r, a, k, n=name: setattr(r, n, a[0] if a else None))
                mine.append(lambda r, a, k, n=name: delattr(r, n))
            else:
                mine.append(lambda r, a, k, n=name: getattr(r, n)(*a, **k))
    for name in ("plane_line", "circle_point", "circle_point_unchecked", "circle_circle"):
        members[None].append(lambda r, a, k, f=getattr(geometry, name): f(*a, **k))
    return members


MEMBERS = _members()
KEYWORDS = sorted(
    {p for c in CLASSES for m in vars(c).values() if getattr(m, "__text_signature__", None)
     for p in inspect.signature(m).parameters if p != "$self"}
    | {"list", "x", "normal", "circle", "inner", "plane", "a", "b", "point", "bogus"}
)


@settings(max_examples=EXAMPLES, deadline=None, database=None, suppress_health_check=list(HealthCheck))
@given(st.data())
def test_any_call_fails_cleanly(data):
    kind = data.draw(st.sampled_from(list(MEMBERS)), label="kind")
    call = data.draw(st.sampled_from(MEMBERS[kind]), label="member")
    receiver = data.draw(st.none() if kind is None else OBJECTS[kind], label="receiver")
    pool[:] = data.draw(st.lists(new_objects, max_size=3), label="objects") + [receiver]
    args = resolve(data.draw(st.lists(argument, min_size=kind is not None, max_size=4), label="args"))
    named = data.draw(st.dictionaries(st.sampled_from(KEYWORDS), argument, max_size=2), label="kwargs")
    kwargs = {k: resolve(v) for k, v in named.items()}
    objects = [o for o in pool if o is not None]
    before = [state(o) for o in objects]
    del mutated[:], interrupts[:]
    raised = None
    try:
        call(receiver, args, kwargs)
    except Boom:
        failed = True
    except BaseException as e:
        failed, raised = True, type(e)
        if type(e).__name__ == "PanicException":
            assert e.args[0] in PANICS, e
        elif not interrupts:
            assert isinstance(e, ALLOWED), e
    else:
        failed = False
    assert raised is (interrupts[0] if interrupts else raised)
    assert [borrow_flag(o).value for o in objects] == [0] * len(objects)
    if failed:
        for obj, old in zip(objects, before):
            assert any(obj is m for m in mutated) or state(obj) == old, obj
