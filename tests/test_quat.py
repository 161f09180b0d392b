import math
import re

import pytest
from hypothesis import given, strategies as st

from kalvor import AngleRadians, Quat, Vec3d

from conftest import bits, same_bits

EPS = 2.0**-52
NAN = float("nan")
INF = float("inf")


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def fields(q):
    return (q.w, q.i, q.j, q.k)


def xyz(v):
    return (v.x, v.y, v.z)


@pytest.mark.parametrize(
    "q, text",
    [
        (Quat(1, 0, 0, 0), "Quat(1, 0, 0, 0)"),
        (Quat(0.5, -0.0, 2, 1e21), "Quat(0.5, -0, 2, 1000000000000000000000)"),
        (Quat.identity(), "Quat(1, 0, 0, 0)"),
        (Quat.from_axis_angle(Vec3d(1, 2, 3), AngleRadians.zero()), "Quat(1, -0, -0, -0)"),
        (Quat(0, 0, 0, 0).normalize(), "Quat(NaN, NaN, NaN, NaN)"),
        (Vec3d(1, 2, 3).to_quat(), "Quat(0, 1, 2, 3)"),
        (Vec3d(1, -0.0, 3).to_quat(), "Quat(0, 1, -0, 3)"),
    ],
)
def test_repr(q, text):
    assert repr(q) == text and str(q) == text


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: Quat(1, 2, 3), "Quat.__new__() missing 1 required positional argument: 'k'"),
        (lambda: Quat(1, 2, 3, "x"), "argument 'k': must be real number, not str"),
        (lambda: Quat("a", "b", 0, 0), "argument 'w': must be real number, not str"),
        (lambda: Quat.from_axis_angle(Vec3d(0, 0, 1), 1.5), "argument 'angle': 'float' object is not an instance of 'AngleRadians'"),
        (lambda: Quat.from_axis_angle((0, 0, 1), AngleRadians(1)), "argument 'axis': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Quat.from_axis_angle((0, 0, 1), 1.5), "argument 'axis': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Quat.from_axis_angle(axis=Vec3d(0, 0, 1)), "Quat.from_axis_angle() missing 1 required positional argument: 'angle'"),
        (lambda: Quat.identity().rotate((1, 0, 0)), "argument 'v': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Quat.identity().rotate(vec=Vec3d(1, 0, 0)), "Quat.rotate() got an unexpected keyword argument 'vec'"),
        (lambda: Quat.identity() * Quat.identity(), "unsupported operand type(s) for *: 'Quat' and 'Quat'"),
        (lambda: Quat.identity() + Quat.identity(), "unsupported operand type(s) for +: 'Quat' and 'Quat'"),
        (lambda: -Quat.identity(), "bad operand type for unary -: 'Quat'"),
        (lambda: Quat.identity() < Quat.identity(), "'<' not supported between instances of 'Quat' and 'Quat'"),
        (lambda: hash(Quat.identity()), "unhashable type: 'Quat'"),
    ],
)
def test_type_errors(call, text):
    with raises(TypeError, text):
        call()


def test_construction_by_keyword_and_properties():
    q = Quat(w=1, i=2, j=3, k=4)
    assert fields(q) == (1.0, 2.0, 3.0, 4.0)
    q.w = 3
    assert q.w == 3.0 and repr(q) == "Quat(3, 2, 3, 4)"
    with raises(TypeError, "argument 'value': must be real number, not str"):
        q.w = "x"
    assert q.w == 3.0
    with raises(AttributeError, "property has no deleter"):
        del q.k
    assert bool(Quat(0, 0, 0, 0)) is True


def test_rotation_examples():
    q = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())
    assert same_bits(fields(q)[1:3], (-0.0, -0.0))
    assert same_bits(xyz(q.rotate(Vec3d(1, 0, 0))), (2.220446049250313e-16, 1.0, 0.0))
    m = q.to_rotation_matrix()
    assert m[0] == [2.220446049250313e-16, 1.0, 0.0] and m[1] == [-1.0, 2.220446049250313e-16, 0.0]
    assert xyz(Quat(2, 0, 0, 0).rotate(Vec3d(1, 2, 3))) == (4.0, 8.0, 12.0)
    assert xyz(Quat.identity().rotate(Vec3d(1, 2, 3))) == (1.0, 2.0, 3.0)
    r = Quat(0.6, 0, 0, 0.8).rotate(Vec3d(1, 0, 0))
    assert r.x == pytest.approx(-0.28) and r.y == pytest.approx(-0.96)
    m = Quat(0.6, 0, 0, 0.8).to_rotation_matrix()
    assert (m[0][0], m[1][0]) == pytest.approx((-0.28, 0.96))


def rotate_reference(q, v):
    w, i, j, k = q
    x, y, z = v
    t0 = x * i + w * 0 + y * j + z * k
    t1 = x * w - i * 0 - z * j + y * k
    t2 = y * w - j * 0 - x * k + z * i
    t3 = z * w - k * 0 - y * i + x * j
    return (i * t0 + w * t1 + k * t2 - j * t3, w * t2 + j * t0 + i * t3 - k * t1, w * t3 + k * t0 + j * t1 - i * t2)


floats = st.floats(width=64)


@given(st.tuples(floats, floats, floats, floats), st.tuples(floats, floats, floats))
def test_rotate_follows_the_seven_steps(q, v):
    got = xyz(Quat(*q).rotate(Vec3d(*v)))
    want = rotate_reference(q, v)
    assert all((math.isnan(a) and math.isnan(b)) or bits(a) == bits(b) for a, b in zip(got, want))


def test_rotate_zero_terms_turn_infinities_into_nan():
    # w·0 with w infinite is NaN: the product with the vector's zero scalar counts.
    r = Quat(INF, 0, 0, 0).rotate(Vec3d(0, 0, 0))
    assert all(math.isnan(c) for c in xyz(r))


@pytest.mark.parametrize(
    "q, axis, angle",
    [
        (Quat(1, 5, 5, 5), (1.0, 0.0, 0.0), 0.0),
        (Quat(1 - 2.0**-53, 0.3, 0, 0), (1.0, 0.0, 0.0), 0.0),
        (Quat(-1, 0, 0, 0), (0.0, 0.0, 0.0), 6.283185307179586),
        (Quat(0, 0, 0, 1), (0.0, 0.0, 1.0), 3.141592653589793),
        (Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi()), (-0.0, -0.0, -1.0), 1.5707963267948966),
    ],
)
def test_to_axis_angle(q, axis, angle):
    result = q.to_axis_angle()
    assert type(result) is tuple and len(result) == 2
    v, a = result
    assert type(v) is Vec3d and type(a) is AngleRadians
    assert same_bits(xyz(v), axis) and bits(a.angle) == bits(angle)


def test_to_axis_angle_outside_the_special_case():
    v, a = Quat(1 - EPS, 0.3, 0, 0).to_axis_angle()
    assert 4e-8 < a.angle < 4.5e-8 and v.x > 1e6
    v, a = Quat(2, 0, 0, 0).to_axis_angle()
    assert math.isnan(a.angle)


def test_measures_and_conversions():
    assert Quat(1, 1, 1, 1).magnitude() == 2.0
    assert Quat(1 + EPS, 0, 0, 0).is_unit() is False and Quat(1 - EPS / 2, 0, 0, 0).is_unit() is True
    assert Quat(0, 0, 0, 0).is_unit() is False
    assert same_bits(fields(Quat(1, 0, 0, 0).conjugate()), (1.0, -0.0, -0.0, -0.0))
    t = Quat(0, 1, 2, 3).to_vec3d()
    assert type(t) is tuple and t == (1.0, 2.0, 3.0)
    assert Quat.identity().to_rotation_matrix() == [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    n = Quat(0, 3, 0, 4).normalize()
    assert fields(n) == (0.0, 0.6, 0.0, 0.8)


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (Quat(0.5, 0, 0, 0), Quat(0.5000000000000001, 0, 0, 0), True),
        (Quat(0.5, 0, 0, 0), Quat(0.5000000000000003, 0, 0, 0), False),
        (Quat(1, 0, 0, 0), Quat(1 + EPS, 0, 0, 0), False),
        (Quat.identity(), Quat(1, 0, 0, 1e-17), True),
        (Quat(NAN, 0, 0, 0), Quat(NAN, 0, 0, 0), False),
    ],
)
def test_tolerant_equality(a, b, equal):
    assert (a == b) is equal and (a != b) is (not equal)


def test_equality_with_itself_and_other_types():
    q = Quat(0, NAN, 0, 0)
    assert (q == q) is False and (q != q) is True
    assert (Quat.identity() == 1) is False and (Quat.identity() != 1) is True
