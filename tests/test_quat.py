import math
import re

import pytest
from hypothesis import given, strategies as st

from kalvor import AngleRadians, Quat, Vec3d

from conftest import bits, same_bits

EPS = 2.0**-52
NAN = float("nan")
INF = float("inf")
NANS = (NAN,) * 4
R = [[1, 0, 0], [0, 1, 0]]
HALF_TURN_Z = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def fields(q):
    return (q.w, q.i, q.j, q.k)


def xyz(v):
    return (v.x, v.y, v.z)


@pytest.mark.parametrize(
    "q, text",
    [
        (Quat(0.5, -0.0, 2, 1e21), "Quat(0.5, -0, 2, 1000000000000000000000)"),
        (Quat.from_axis_angle(Vec3d(1, 2, 3), AngleRadians.zero()), "Quat(1, -0, -0, -0)"),
        (Quat(0, 0, 0, 0).normalize(), "Quat(NaN, NaN, NaN, NaN)"),
        (Vec3d(1, -0.0, 3).to_quat(), "Quat(0, 1, -0, 3)"),
    ],
)
def test_repr(q, text):
    assert repr(q) == text and str(q) == text


def rotate_reference(q, v):
    w, i, j, k = q
    x, y, z = v
    t0 = x * i + w * 0 + y * j + z * k
    t1 = x * w - i * 0 - z * j + y * k
    t2 = y * w - j * 0 - x * k + z * i
    t3 = z * w - k * 0 - y * i + x * j
    return (i * t0 + w * t1 + k * t2 - j * t3, w * t2 + j * t0 + i * t3 - k * t1, w * t3 + k * t0 + j * t1 - i * t2)


def same_bits_or_nan(got, want):
    return all((math.isnan(x) and math.isnan(y)) or bits(x) == bits(y) for x, y in zip(got, want, strict=True))


@pytest.mark.parametrize(
    "q, axis, angle",
    [
        (Quat(1 - 2.0**-53, 0.3, 0, 0), (1.0, 0.0, 0.0), 0.0),
        (Quat(-1, 0, 0, 0), (0.0, 0.0, 0.0), 6.283185307179586),
        (Quat(0, 0, 0, 1), (0.0, 0.0, 1.0), 3.141592653589793),
        (Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi()), (-0.0, -0.0, -1.0), 1.5707963267948966),
    ],
)
def test_to_axis_angle(q, axis, angle):
    v, a = result = q.to_axis_angle()
    assert type(result) is tuple and type(v) is Vec3d and type(a) is AngleRadians
    assert same_bits(xyz(v), axis) and bits(a.angle) == bits(angle)


def test_properties_measures_and_conversions():
    q = Quat(w=1, i=2, j=3, k=4)
    q.w = 3
    assert fields(q) == (3.0, 2.0, 3.0, 4.0) and repr(q) == "Quat(3, 2, 3, 4)" and bool(Quat(0, 0, 0, 0)) is True
    with raises(AttributeError, "property has no deleter"):
        del q.k
    assert Quat(1, 1, 1, 1).magnitude() == 2.0
    assert Quat(1 + EPS, 0, 0, 0).is_unit() is Quat(0, 0, 0, 0).is_unit() is False and Quat(1 - EPS / 2, 0, 0, 0).is_unit() is True
    assert type(t := Quat(0, 1, 2, 3).to_vec3d()) is tuple and t == (1.0, 2.0, 3.0)
    assert Quat.identity().to_rotation_matrix() == [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    assert fields(Quat(0, 3, 0, 4).normalize()) == (0.0, 0.6, 0.0, 0.8)
    v, a = Quat(1 - EPS, 0.3, 0, 0).to_axis_angle()  # just outside to_axis_angle's special case
    assert 4e-8 < a.angle < 4.5e-8 and v.x > 1e6
    assert math.isnan(Quat(2, 0, 0, 0).to_axis_angle()[1].angle)


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (Quat(0.5, 0, 0, 0), Quat(0.5000000000000001, 0, 0, 0), True),
        (Quat(0.5, 0, 0, 0), Quat(0.5000000000000003, 0, 0, 0), False),
        (Quat(1, 0, 0, 0), Quat(1 + EPS, 0, 0, 0), False),
        (Quat.identity(), Quat(1, 0, 0, 1e-17), True),
        (*[Quat(0, NAN, 0, 0)] * 2, False),  # even the very same object
        (Quat.identity(), 1, False),
    ],
)
def test_tolerant_equality(a, b, equal):
    assert (a == b) is equal and (a != b) is (not equal)


# ---- then, inverse, slerp, between, from_rotation_matrix: one property each, absolute tolerances.


def turn(a, b):
    """The rotation angle from unit quaternion a to b: four times the half-chord angle."""
    fa, fb = fields(a), fields(b)
    return 4 * math.atan2(math.hypot(*(x - y for x, y in zip(fa, fb))), math.hypot(*(x + y for x, y in zip(fa, fb))))


def same_side(a, b):
    """b, or -b (the same rotation) when it lies on the far side of a."""
    return Quat(*(-x for x in fields(b))) if sum(x * y for x, y in zip(fields(a), fields(b))) < 0 else b


unit, coordinate = st.floats(-1, 1), st.floats(-1e3, 1e3)
units = st.tuples(unit, unit, unit, unit).filter(lambda c: math.hypot(*c) > 0.1).map(lambda c: Quat(*c).normalize())
vectors = st.tuples(coordinate, coordinate, coordinate).filter(lambda c: math.hypot(*c) > 1e-3).map(lambda c: Vec3d(*c))
floats = st.floats(width=64)
quads = st.tuples(floats, floats, floats, floats)


@given(quads, quads, st.tuples(floats, floats, floats))
def test_rotate_and_then_follow_their_fixed_order_formulas(a, b, v):
    assert same_bits_or_nan(xyz(Quat(*a).rotate(Vec3d(*v))), rotate_reference(a, v))
    (aw, ai, aj, ak), (bw, bi, bj, bk) = a, b
    want = (aw * bw - ai * bi - aj * bj - ak * bk, aw * bi + ai * bw + aj * bk - ak * bj,
            aw * bj - ai * bk + aj * bw + ak * bi, aw * bk + ai * bj - aj * bi + ak * bw)
    assert same_bits_or_nan(fields(Quat(*a).then(Quat(*b))), want)


@given(units, st.floats(0.1, 10), vectors)
def test_inverse_undoes_a_scaled_rotation_and_the_matrix_round_trips(q, scale, v):
    r = Quat.from_rotation_matrix(q.to_rotation_matrix())
    assert all(abs(x - y) <= 1e-15 for x, y in zip(fields(r), fields(same_side(r, q))))
    q = Quat(*(scale * c for c in fields(q)))
    assert all(abs(a - b) <= 1e-14 * v.magnitude() for a, b in zip(xyz(q.inverse().rotate(q.rotate(v))), xyz(v)))


@given(units, units, st.floats(-1, 2))
def test_slerp_angle_is_linear_in_t(q, other, t):
    b = same_side(q, other)
    whole, r = turn(q, b), q.slerp(other, t)
    assert abs(r.magnitude() - 1) <= 1e-15
    assert abs(turn(q, r) - abs(t) * whole) <= 1e-12 and abs(turn(r, b) - abs(1 - t) * whole) <= 1e-12


# size: b is nearly opposite a, off by size·|a| towards `other`; None: b is `other`.
@given(vectors, vectors, st.none() | st.floats(1e-300, 1e-6))
def test_between_maps_a_onto_b(a, other, size):
    b = other if size is None else -a + other.normalize() * (size * a.magnitude())
    q = Quat.between(a, b)
    assert abs(q.magnitude() - 1) <= 1e-15
    assert all(abs(x - y) <= 1e-14 for x, y in zip(xyz(q.rotate(a.normalize())), xyz(b.normalize())))


@pytest.mark.parametrize(
    "got, want",
    [
        # w·0 with w infinite is NaN: the product with the vector's zero scalar counts.
        (xyz(Quat(INF, 0, 0, 0).rotate(Vec3d(0, 0, 0))), (NAN,) * 3),
        (fields(Quat(0, 0, 0, 0).inverse()), NANS),
        (fields(HALF_TURN_Z)[1:3], (-0.0, -0.0)),
        (xyz(HALF_TURN_Z.rotate(Vec3d(1, 0, 0))), (2.220446049250313e-16, 1.0, 0.0)),
        (sum(HALF_TURN_Z.to_rotation_matrix()[:2], []), (2.220446049250313e-16, 1.0, 0.0, -1.0, 2.220446049250313e-16, 0.0)),
        (fields(HALF_TURN_Z.slerp(Quat.identity(), 0.5)), (0.9238795325112868, 0.0, 0.0, -0.3826834323650898)),
        (fields(Quat.identity().slerp(Quat(-1, 0, 0, 0), 0.5)), (1.0, 0.0, 0.0, 0.0)),  # the same rotation
        (fields(Quat.between(Vec3d(1, 2, 3), Vec3d(2, 4, 6))), (1.0, 0.0, 0.0, 0.0)),
        (fields(Quat.between(a=Vec3d(1, 0, 0), b=Vec3d(0, 5, 0))), (0.7071067811865476, -0.0, -0.0, -0.7071067811865476)),
        # Opposite: a half turn about a × e, e the axis of a's smallest component.
        (fields(Quat.between(Vec3d(1, 0, 0), Vec3d(-2, 0, 0))), (0.0, -0.0, -0.0, -1.0)),
        (fields(Quat.between(Vec3d(0, 0, 0), Vec3d(1, 0, 0))), NANS),
        (fields(Quat.from_rotation_matrix([[1, 0, 0], [0, -1, 0], [0, 0, -1]])), (0.0, 1.0, 0.0, 0.0)),
        (fields(Quat.from_rotation_matrix(m=((-1, 0, 0), (0, -1, 0), (0, 0, True)))), (0.0, 0.0, 0.0, 1.0)),
    ],
)
def test_edge_cases(got, want):
    assert same_bits_or_nan(got, want)


def emptied(which):
    """The identity matrix; reading its entry [0][1] empties rows[which] (None: the matrix)."""
    rows = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
    target = rows if which is None else rows[which]
    rows[0][1] = type("Clears", (), {"__float__": lambda self: target.clear() or 0.0})()
    return rows


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: Quat(1, 2, 3), TypeError, "Quat.__new__() missing 1 required positional argument: 'k'"),
        (lambda: Quat(1, 2, 3, "x"), TypeError, "argument 'k': must be real number, not str"),
        (lambda: Quat.from_axis_angle(Vec3d(0, 0, 1), 1.5), TypeError, "argument 'angle': 'float' object is not an instance of 'AngleRadians'"),
        (lambda: Quat.from_axis_angle(axis=Vec3d(0, 0, 1)), TypeError, "Quat.from_axis_angle() missing 1 required positional argument: 'angle'"),
        (lambda: Quat.identity().rotate(vec=Vec3d(1, 0, 0)), TypeError, "Quat.rotate() got an unexpected keyword argument 'vec'"),
        (lambda: Quat.identity() * Quat.identity(), TypeError, "unsupported operand type(s) for *: 'kalvor.Quat' and 'kalvor.Quat'"),
        (lambda: Quat.identity() < Quat.identity(), TypeError, "'<' not supported between instances of 'kalvor.Quat' and 'kalvor.Quat'"),
        (lambda: hash(Quat.identity()), TypeError, "unhashable type: 'kalvor.Quat'"),
        (lambda: Quat.identity().then(1), TypeError, "argument 'other': 'int' object is not an instance of 'Quat'"),
        (lambda: Quat.between(Vec3d(1, 0, 0), a=Vec3d(0, 1, 0)), TypeError, "Quat.between() got multiple values for argument 'a'"),
        (lambda: Quat.from_rotation_matrix(None), TypeError, "argument 'm': 'None' is not an instance of 'Sequence'"),
        (lambda: Quat.from_rotation_matrix(R), TypeError, "argument 'm': expected a sequence of 3 items, got 2"),
        (lambda: Quat.from_rotation_matrix([1, 2, 3]), TypeError, "argument 'm': [0]: 'int' object is not an instance of 'Sequence'"),
        (lambda: Quat.from_rotation_matrix([*R, [0, 0, "1"]]), TypeError, "argument 'm': [2][2]: must be real number, not str"),
        (lambda: Quat.from_rotation_matrix([*R, [0, 0, 10**400]]), OverflowError, "int too large to convert to float"),
        (lambda: Quat.from_rotation_matrix(emptied(None)), TypeError, "argument 'm': expected a sequence of 3 items, got 0"),
        (lambda: Quat.from_rotation_matrix(emptied(0)), TypeError, "argument 'm': [0]: expected a sequence of 3 items, got 0"),
        (lambda: Quat.from_rotation_matrix(pytest.importorskip("numpy").eye(3, 4)), TypeError, "argument 'm': [0]: expected a sequence of 3 items, got 4"),
        (lambda: Quat.from_rotation_matrix([*R, [0, 0, -1]]), ValueError, "not a rotation matrix: its determinant is -1 (a reflection)"),
        (lambda: Quat.from_rotation_matrix([[1, 2e-9, 0], *R[1:], [0, 0, 1]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-9"),
        (lambda: Quat.from_rotation_matrix([[NAN, 0, 0], *R[1:], [0, 0, 1]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-9"),
        (lambda: Quat.from_rotation_matrix([*R, [0, 0.6, 0.8]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-9"),
    ],
)
def test_errors(call, exc, text):
    with raises(exc, text):
        call()

