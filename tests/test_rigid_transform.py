import copy
import math
import pickle
import re

import numpy as np
import pytest
from hypothesis import given, strategies as st

from kalvor import AngleRadians, Quat, RigidTransform, Vec3d, VecList

from conftest import bits, borrow_flag, same_bits

NAN, INF = float("nan"), float("inf")
QUARTER_Z = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())
T, S = RigidTransform(QUARTER_Z, Vec3d(10, 20, 30)), RigidTransform(QUARTER_Z, Vec3d(0.1, 0.2, 0.3))
EYE = [[1, 0, 0, 5], [0, 1, 0, 6], [0, 0, 1, 7], [0, 0, 0, 1]]


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def fields(t):
    q, v = t.rotation, t.translation
    return (q.w, q.i, q.j, q.k, v.x, v.y, v.z)


def xyz(v):
    return (v.x, v.y, v.z)


def same_or_nan(a, b):
    return all((math.isnan(x) and math.isnan(y)) or bits(x) == bits(y) for x, y in zip(a, b, strict=True))


def close(a, b, tol):
    return all(abs(x - y) <= tol for x, y in zip(a, b, strict=True))


# ---- the class and its protocols


@pytest.mark.parametrize(
    "t, text",
    [
        (T, "RigidTransform(Quat(0.7071067811865476, -0, -0, -0.7071067811865475), Vec3d(10, 20, 30))"),
        (RigidTransform.identity(), "RigidTransform(Quat(1, 0, 0, 0), Vec3d(0, 0, 0))"),
        (RigidTransform(Quat(NAN, -INF, 1e21, 0.5), Vec3d(-0.0, INF, 1e-7)),
         "RigidTransform(Quat(NaN, -inf, 1000000000000000000000, 0.5), Vec3d(-0, inf, 0.0000001))"),
    ],
)
def test_repr(t, text):
    assert repr(t) == str(t) == text


def test_parts_are_new_objects_and_read_only():
    q, v = Quat(0.5, -0.5, 0.5, 0.5), Vec3d(1, 2, 3)
    t = RigidTransform(translation=v, rotation=q)
    q.w, v.x = 9, 9  # stored as copies
    assert fields(t) == (0.5, -0.5, 0.5, 0.5, 1, 2, 3)
    assert t.rotation is not t.rotation and t.translation is not t.translation
    t.translation.x = 7
    assert t.translation.x == 1
    assert RigidTransform.identity() is not RigidTransform.identity()
    for name in ("rotation", "translation"):
        with raises(AttributeError, f"attribute '{name}' of 'kalvor.RigidTransform' objects is not writable"):
            setattr(t, name, getattr(t, name))


@pytest.mark.parametrize("how", [lambda t: pickle.loads(pickle.dumps(t, protocol=p)) for p in (2, 5)] + [copy.copy, copy.deepcopy])
def test_pickle_and_copy_bit_for_bit(how):
    t = RigidTransform(Quat(NAN, -0.0, 5e-324, 1 / 3), Vec3d(-INF, 0.1, -0.0))
    r = how(t)
    assert type(r) is RigidTransform and r is not t and same_bits(fields(r)[1:], fields(t)[1:]) and math.isnan(r.rotation.w)


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (S, RigidTransform(QUARTER_Z, Vec3d(0.1, 0.2, 0.30000000000000004)), True),  # ε is absolute
        (S, RigidTransform(QUARTER_Z, Vec3d(0.1, 0.2, 0.3000000000000003)), False),
        (T, RigidTransform(Quat(0.7071067811865476, 0, 0, -0.7071067811865475 + 1e-16), Vec3d(10, 20, 30)), True),
        (T, RigidTransform(Quat(0.7071067811865476, 0, 0, -0.7071067811865472), Vec3d(10, 20, 30)), False),
        (T, RigidTransform(Quat(-0.7071067811865476, 0, 0, 0.7071067811865475), Vec3d(10, 20, 30)), False),  # fields, not rotations
        (*[RigidTransform(Quat.identity(), Vec3d(NAN, 0, 0))] * 2, False),  # even the very same object
        (T, QUARTER_Z, False),
    ],
)
def test_tolerant_equality(a, b, equal):
    assert (a == b) is equal and (a != b) is (not equal)


# ---- the identities, as properties

coordinate, unit = st.floats(-1e3, 1e3), st.floats(-1, 1)
units = st.tuples(unit, unit, unit, unit).filter(lambda c: math.hypot(*c) > 0.1).map(lambda c: Quat(*c).normalize())
vectors = st.builds(Vec3d, coordinate, coordinate, coordinate)
poses = st.builds(RigidTransform, units, vectors)
floats = st.floats(width=64)
any_poses = st.builds(RigidTransform, st.builds(Quat, floats, floats, floats, floats), st.builds(Vec3d, floats, floats, floats))


def scale(*vs):
    return sum(math.hypot(*xyz(v)) for v in vs)


@given(any_poses, st.builds(Vec3d, floats, floats, floats))
def test_apply_is_rotate_then_add_bit_for_bit(t, v):
    assert same_or_nan(xyz(t.apply(v)), xyz(t.rotation.rotate(v) + t.translation))


@given(poses, poses, vectors)
def test_then_applies_first_then_second(a, b, v):
    c = a.then(b)
    assert same_or_nan(fields(c), fields(RigidTransform(a.rotation.then(b.rotation), b.apply(a.translation))))
    assert close(xyz(c.apply(v)), xyz(b.apply(a.apply(v))), 1e-14 * scale(v, a.translation, b.translation))


@given(poses, st.floats(0.1, 10), vectors)
def test_inverse_undoes_even_a_scaled_rotation(t, k, v):
    t = RigidTransform(Quat(*(k * c for c in fields(t)[:4])), t.translation)
    assert close(xyz(t.inverse().apply(t.apply(v))), xyz(v), 1e-14 * scale(v, t.translation) * max(k * k, 1 / (k * k)))
    r = t.rotation.inverse()
    assert same_or_nan(fields(t.inverse()), fields(RigidTransform(r, -r.rotate(t.translation))))


@given(poses, poses, st.floats(-1, 2))
def test_interpolate_slerps_and_mixes_in_written_order(a, b, s):
    r = a.interpolate(b, s)
    assert same_or_nan(fields(r), fields(RigidTransform(a.rotation.slerp(b.rotation, s), a.translation * (1 - s) + b.translation * s)))


@given(poses, vectors)
def test_matrix_layout_and_round_trip(t, v):
    # Column vectors: M @ [v, 1] is [t.apply(v), 1]; the block is the transpose of to_rotation_matrix.
    m = t.to_matrix()
    assert [row[:3] for row in m[:3]] == [list(col) for col in zip(*t.rotation.to_rotation_matrix())]
    assert [row[3] for row in m] == [*xyz(t.translation), 1] and m[3] == [0, 0, 0, 1]
    assert close(np.array(m) @ np.array([*xyz(v), 1.0]), [*xyz(t.apply(v)), 1.0], 1e-13 * scale(v, t.translation))
    r = RigidTransform.from_matrix(m)
    q, back = fields(t)[:4], fields(r)[:4]
    sign = -1 if sum(x * y for x, y in zip(q, back)) < 0 else 1
    assert close(q, [sign * x for x in back], 1e-15) and xyz(r.translation) == xyz(t.translation)


def test_quarter_turn_matrix_reads_as_every_peer_reads_it():
    t = RigidTransform.from_matrix([[0, -1, 0, 0], [1, 0, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]])
    assert close(xyz(t.apply(Vec3d(1, 0, 0))), (0, 1, 0), 3e-16)
    assert fields(t) == fields(RigidTransform(QUARTER_Z, Vec3d(0, 0, 0)))


# ---- from_matrix: what it accepts and what it refuses


def tolerance_of_rotation_test():
    """The tolerance Quat.from_rotation_matrix states, which the rotation block is checked with."""
    with pytest.raises(ValueError) as info:
        Quat.from_rotation_matrix([[1, 0.1, 0], [0, 1, 0], [0, 0, 1]])
    return str(info.value).rsplit(" ", 1)[1]


def test_from_matrix_takes_any_4x4_sequence():
    want = (1, 0, 0, 0, 5, 6, 7)
    assert fields(RigidTransform.from_matrix(m=EYE)) == want
    assert fields(RigidTransform.from_matrix(np.array(EYE, dtype=np.float32))) == want
    assert fields(RigidTransform.from_matrix(tuple(map(tuple, EYE)))) == want
    assert fields(RigidTransform.from_matrix([*EYE[:3], [1e-12, -1e-12, 0, 1 + 9e-13]])) == want


BLOCK = "not a rigid transform matrix: the rows of its top-left 3x3 block are not orthonormal within "
LAST_ROW = "not a rigid transform matrix: its last row is not (0, 0, 0, 1) within 1e-12"
NOT_FINITE = "not a rigid transform matrix: an entry is not finite (NaN or infinite)"


@pytest.mark.parametrize(
    "m, exc, text",
    [
        ([[1, 0.1, 0, 0], *EYE[1:]], ValueError, BLOCK),
        ([[2, 0, 0, 0], [0, 2, 0, 0], [0, 0, 2, 0], [0, 0, 0, 1]], ValueError, BLOCK),
        ([*EYE[:2], [0, 0, -1, 0], EYE[3]], ValueError, "not a rigid transform matrix: its top-left 3x3 block has determinant -1 (a reflection)"),
        ([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [5, 6, 7, 1]], ValueError, LAST_ROW),  # the row-vector layout
        ([*EYE[:3], [0, 0, 0, 1 + 3e-12]], ValueError, LAST_ROW),
        # Each entry of the last row, alone, off by 1e-9.
        *[([*EYE[:3], [0, 0, 0, 1][:k] + [[0, 0, 0, 1][k] + 1e-9] + [0, 0, 0, 1][k + 1:]], ValueError, LAST_ROW) for k in range(4)],
        # NaN or infinity anywhere, the translation too, before any other test.
        *[([[NAN if (r, c) == (i, j) else x for c, x in enumerate(row)] for r, row in enumerate([[1, 0.1, 0, 0], [0, 1, 0, 0], [0, 0, -1, 0], [0, 0, 0, 2]])],
           ValueError, NOT_FINITE) for i in range(4) for j in range(4)],
        ([*EYE[:3], [0, 0, -INF, 1]], ValueError, NOT_FINITE),
        ([[1, 0, 0, INF], *EYE[1:]], ValueError, NOT_FINITE),
        (EYE[:3], TypeError, "argument 'm': expected a sequence of 4 items, got 3"),
        ([*EYE[:3], [0, 0, 1]], TypeError, "argument 'm': [3]: expected a sequence of 4 items, got 3"),
        (np.eye(4, 3), TypeError, "argument 'm': [0]: expected a sequence of 4 items, got 3"),
        (np.eye(3, 4), TypeError, "argument 'm': expected a sequence of 4 items, got 3"),
        ([*EYE[:3], [0, 0, "0", 1]], TypeError, "argument 'm': [3][2]: must be real number, not str"),
        (None, TypeError, "argument 'm': 'None' is not an instance of 'Sequence'"),
        # Refused by its length, before a single row is copied.
        (np.broadcast_to(0.0, (2**33, 4)), TypeError, "argument 'm': expected a sequence of 4 items, got 8589934592"),
        (np.broadcast_to(0.0, (4, 2**40)), TypeError, "argument 'm': [0]: expected a sequence of 4 items, got 1099511627776"),
    ],
)
def test_from_matrix_refusals(m, exc, text):
    with raises(exc, text + (tolerance_of_rotation_test() if text == BLOCK else "")):
        RigidTransform.from_matrix(m)


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: RigidTransform(Quat.identity()), TypeError, "RigidTransform.__new__() missing 1 required positional argument: 'translation'"),
        (lambda: RigidTransform(Vec3d(0, 0, 0), Vec3d(0, 0, 0)), TypeError, "argument 'rotation': 'Vec3d' object is not an instance of 'Quat'"),
        (lambda: RigidTransform(Quat.identity(), (1, 2, 3)), TypeError, "argument 'translation': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: T.apply((1, 2, 3)), TypeError, "argument 'v': 'tuple' object is not an instance of 'Vec3d | VecList'"),
        (lambda: T.then(QUARTER_Z), TypeError, "argument 'other': 'Quat' object is not an instance of 'RigidTransform | RigidTransformList'"),
        (lambda: T.interpolate(T, s="x"), TypeError, "argument 's': must be real number, not str"),
        (lambda: T.interpolate(T), TypeError, "RigidTransform.interpolate() missing 1 required positional argument: 's'"),
        (lambda: T.inverse(T), TypeError, "RigidTransform.inverse() takes no arguments (1 given)"),
        (lambda: hash(T), TypeError, "unhashable type: 'kalvor.RigidTransform'"),
        (lambda: T < T, TypeError, "'<' not supported between instances of 'kalvor.RigidTransform' and 'kalvor.RigidTransform'"),
        (lambda: T * T, TypeError, "unsupported operand type(s) for *: 'kalvor.RigidTransform' and 'kalvor.RigidTransform'"),
        (lambda: VecList.empty().transform(QUARTER_Z), TypeError, "argument 't': 'Quat' object is not an instance of 'RigidTransform'"),
    ],
)
def test_argument_errors(call, exc, text):
    with raises(exc, text):
        call()


# ---- beside scipy's RigidTransform: its quaternions are [x, y, z, w], and Quat(w, -x, -y, -z) turns alike


def test_agrees_with_scipy():
    # scipy's extension modules do not load on the debug interpreter.
    transform = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)
    rng = np.random.default_rng(21)
    for _ in range(200):
        quats, shifts, points = rng.standard_normal((2, 4)), rng.uniform(-10, 10, (2, 3)), rng.uniform(-10, 10, (5, 3))
        quats /= np.linalg.norm(quats, axis=1)[:, None]
        ours = [RigidTransform(Quat(w, -x, -y, -z), Vec3d(*t)) for (x, y, z, w), t in zip(quats, shifts)]
        theirs = [transform.RigidTransform.from_components(t, transform.Rotation.from_quat(q)) for q, t in zip(quats, shifts)]
        a, b, sa, sb = *ours, *theirs
        tol = 1e-14 * (np.abs(points).max() + np.abs(shifts).max())
        for mine, scipys in [(a, sa), (a.then(b), sb * sa), (a.inverse(), sa.inv())]:
            assert np.abs([xyz(mine.apply(Vec3d(*p))) for p in points] - scipys.apply(points)).max() <= tol
            assert np.abs(np.array(mine.to_matrix()) - scipys.as_matrix()).max() <= tol


# ---- VecList.transform (its results: test_vec_list.py and bulk.py)


def test_apply_to_a_list_is_transform_of_a_copy_bit_for_bit():
    points = VecList([Vec3d(1, 2, 3), Vec3d(NAN, 0, -0.0), Vec3d(INF, 1, 1), Vec3d(-5e-324, 1e300, 0.1)] * 300)
    for t in (T, RigidTransform(Quat(2, NAN, 0, 1), Vec3d(0, -0.0, INF))):
        copied = VecList(points)
        copied.transform(t)
        got = t.apply(vl := VecList(points))
        assert type(got) is VecList and got is not vl
        assert [bits(c) for p in got for c in xyz(p)] == [bits(c) for p in copied for c in xyz(p)]
        assert [bits(c) for p in vl for c in xyz(p)] == [bits(c) for p in points for c in xyz(p)]  # unchanged
    assert len(T.apply(v=VecList.empty())) == 0 and type(T.apply(Vec3d(0, 0, 0))) is Vec3d
    with raises(TypeError, "argument 'v': 'QuatList' object is not an instance of 'Vec3d | VecList'"):
        T.apply(__import__("kalvor").QuatList.empty())


def test_vec_list_transform_borrows_like_rotate():
    lst = VecList([Vec3d(1, 2, 3)])
    with memoryview(lst):
        with raises(RuntimeError, "Already borrowed"):
            lst.transform(T)
    flag = borrow_flag(lst)
    flag.value = 1  # a reader holds it
    try:
        with raises(RuntimeError, "Already borrowed"):
            lst.transform(T)
    finally:
        flag.value = 0
    assert xyz(lst[0]) == (1, 2, 3) and borrow_flag(T).value == 0
