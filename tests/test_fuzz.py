"""Calls every public callable, method, property and operator of kalvor with arbitrary and hostile arguments (their __float__, __index__,
__len__, __getitem__ raise, lie or change an operand): only documented exceptions, no change on failure, no borrow left held."""

import contextlib
import inspect
import operator as op
import os
import struct
import sys
import types

from hypothesis import HealthCheck, given, settings, strategies as st

from conftest import borrow_flag
from kalvor import AngleDegrees, AngleRadians, KDTree, Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList, geometry

FIELDS = {Vec3d: "x y z", Quat: "w i j k", AngleRadians: "angle", AngleDegrees: "angle",
          geometry.Plane: "normal distance", geometry.Circle: "center radius normal", RigidTransform: "rotation translation"}
EXAMPLES = int(os.environ.get("KALVOR_FUZZ_EXAMPLES", 400 if hasattr(sys, "gettotalrefcount") else 1500))
PANICS = {"assertion failed: axis <= 2", "assertion failed: stride != 0", "called `Option::unwrap()` on a `None` value"}
KEYWORDS = ("a angles array axes axis b k key_times list m max_distance n normal other plane point points protocol quat radius rotation rotations "
            "s seed source state stride t target times transform translation translations v vectors vl w weights x y z bogus").split()
Boom = type("Boom", (Exception,), {})  # may come out as itself or as one of the documented errors
ALLOWED = (Boom, TypeError, ValueError, OverflowError, IndexError, RuntimeError, AttributeError, StopIteration, MemoryError)
mutated, raised = [], []  # what hostile objects changed, and the interrupts they raised, in the running call


class Hostile(types.SimpleNamespace):  # how, victim, length
    def _act(self, value, lie):
        if self.how in (Boom, KeyboardInterrupt, MemoryError):
            raised.extend([self.how] if self.how is not Boom else [])
            raise self.how
        if self.how == "mutate" and type(self.victim) in (Vec3d, VecList, QuatList, RigidTransformList):
            mutated.append(self.victim)
            with contextlib.suppress(RuntimeError):  # refused while the call borrows it, as it must be
                if type(self.victim) is Vec3d:
                    self.victim.x = 9.0
                else:
                    self.victim.append({VecList: Vec3d(9, 9, 9), QuatList: Quat(9, 9, 9, 9)}.get(type(self.victim), RigidTransform.identity()))
        return lie if self.how == "lie" else value

    __float__ = lambda self: self._act(1.5, "1.5")
    __index__ = lambda self: self._act(1, 2**70)
    __len__ = lambda self: self._act(3, self.length)
    __getitem__ = lambda self, i: self._act(Vec3d(i, 0, 0), float(i)) if i < 3 else [][i]  # IndexError ends it

state = lambda o: [struct.pack("<d", v) if isinstance(v, float) else state(v) for v in (  # an iterator's is []
    list(o) if type(o) in (VecList, QuatList, RigidTransformList) else list(o.points) if type(o) is KDTree else [getattr(o, n) for n in FIELDS.get(type(o), "").split()])]
floats = st.floats() | st.sampled_from([struct.unpack("<d", struct.pack("<Q", 0xFFF800000000BEEF))[0], 5e-324, -0.0])
ints = st.integers(-5, 5) | st.integers() | st.sampled_from([2**63, 2**64, -(2**63), 10**400])
vecs, quats = st.builds(Vec3d, floats, floats, floats), st.builds(Quat, floats, floats, floats, floats)
OBJECTS = {c: st.builds(c, *[floats] * len(FIELDS[c].split())) for c in (Vec3d, Quat, AngleRadians, AngleDegrees)} | {
    VecList: st.builds(VecList, st.lists(vecs, max_size=5)), "iterator": st.builds(lambda l: iter(VecList(l)), st.lists(vecs, max_size=3)),
    geometry.Plane: st.builds(geometry.Plane, vecs, floats), geometry.Circle: st.builds(geometry.Circle, vecs, floats, vecs),
    RigidTransform: st.builds(RigidTransform, quats, vecs), QuatList: st.builds(QuatList, st.lists(quats, max_size=5)),
    "quat_iterator": st.builds(lambda l: iter(QuatList(l)), st.lists(quats, max_size=3)),
    KDTree: st.builds(lambda l: KDTree(VecList(l)), st.lists(st.builds(Vec3d, *[st.floats(-1e3, 1e3)] * 3), max_size=5)),
    "array": st.builds(lambda l, m: getattr(QuatList(l), m)(), st.lists(quats, max_size=3), st.sampled_from(["to_xyzw_array", "to_rotation_matrices"])),
    RigidTransformList: st.builds(RigidTransformList, st.lists(st.builds(RigidTransform, quats, vecs), max_size=5)),
    "pose_iterator": st.builds(lambda l: iter(RigidTransformList(l)), st.lists(st.builds(RigidTransform, quats, vecs), max_size=3)),
    "pose_array": st.builds(lambda l, m: getattr(RigidTransformList(l), m)(), st.lists(st.builds(RigidTransform, quats, vecs), max_size=3),
                            st.sampled_from(["to_matrices", "to_xyz_xyzw_array"]))}
first = lambda a: (a or [None])[0]
OPERATORS = [lambda r, a, k, f=f: f(r) for f in (op.neg, abs, hash, repr, len, iter, next, bool, list, float, int)] + [
    g for f in (op.add, op.sub, op.mul, op.truediv, op.floordiv, op.matmul, op.eq, op.lt, op.getitem, op.contains, op.iadd,
                op.imul, op.itruediv, pow) for g in (lambda r, a, k, f=f: f(r, first(a)), lambda r, a, k, f=f: f(first(a), r))]
# Array results are numpy's own arrays: they take part as arguments, their operators are numpy's.
MEMBERS = {"iterator": OPERATORS, "quat_iterator": OPERATORS, "pose_iterator": OPERATORS, None: [lambda r, a, k, f=f: f(*a, **k) for f in (
    geometry.plane_line, geometry.circle_point, geometry.circle_point_unchecked, geometry.circle_circle)]}
# QuatList.random(n, seed) makes n elements: an int drawn at random could ask for gigabytes, so larger ones are skipped.
small_random = lambda r, a, k: None if any(type(x) is int and x > 10_000 for x in [*a, *k.values()]) else r.random(*a, **k)  # noqa: E731
for cls in FIELDS | {VecList: "", QuatList: "", KDTree: "", RigidTransformList: ""}:  # constructors, methods, static methods (through an instance), properties
    MEMBERS[cls] = OPERATORS + [lambda r, a, k: type(r)(*a, **k)] + [
        small_random if (cls, n) == (QuatList, "random") else lambda r, a, k, n=n: getattr(r, n)(*a, **k)
        for n, m in vars(cls).items() if n[0] != "_" and not inspect.isgetsetdescriptor(m)]
    MEMBERS[cls] += [g for n, m in vars(cls).items() if inspect.isgetsetdescriptor(m) and n[0] != "_" for g in (
        lambda r, a, k, n=n: getattr(r, n), lambda r, a, k, n=n: delattr(r, n), lambda r, a, k, n=n: setattr(r, n, first(a)))]


@settings(max_examples=EXAMPLES, deadline=None, database=None, suppress_health_check=list(HealthCheck))
@given(st.data())
def test_any_call_fails_cleanly(data):
    call = data.draw(st.sampled_from(MEMBERS[kind := data.draw(st.sampled_from(list(MEMBERS)))]))
    receiver = [] if kind is None else [data.draw(OBJECTS[kind])]
    pool = data.draw(st.lists(st.one_of(*OBJECTS.values()), min_size=1, max_size=3)) + receiver
    hostile = st.builds(Hostile, how=st.sampled_from([Boom, KeyboardInterrupt, MemoryError, "lie", "mutate", "plain"]),
                        victim=st.sampled_from(pool), length=st.sampled_from([0, 1, 1000, 1 << 40, sys.maxsize]))
    leaf = floats | ints | st.none() | st.complex_numbers() | st.text(max_size=3) | st.binary(max_size=3) | st.sampled_from(pool) | hostile
    args = data.draw(st.lists(leaf | st.lists(leaf, max_size=4) | st.tuples(leaf, leaf, leaf), max_size=4))
    kwargs, before = data.draw(st.dictionaries(st.sampled_from(KEYWORDS), leaf, max_size=2)), [state(o) for o in pool]
    del mutated[:], raised[:]
    try:
        call(*receiver or [None], args, kwargs)
    except BaseException as e:
        panic = type(e).__name__ == "PanicException" and e.args[0] in PANICS  # else what a hostile object raised, unchanged
        assert panic or (type(e) is raised[0] if raised else isinstance(e, ALLOWED)), repr(e)
        assert all(any(o is m for m in mutated) or state(o) == old for o, old in zip(pool, before)), "changed"
    else:
        assert not raised
    assert [borrow_flag(o).value for o in pool] == [0] * len(pool)
