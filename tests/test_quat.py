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
        (lambda: Quat.identity() * Quat.identity(), "unsupported operand type(s) for *: 'kalvor.Quat' and 'kalvor.Quat'"),
        (lambda: Quat.identity() + Quat.identity(), "unsupported operand type(s) for +: 'kalvor.Quat' and 'kalvor.Quat'"),
        (lambda: -Quat.identity(), "bad operand type for unary -: 'kalvor.Quat'"),
        (lambda: Quat.identity() < Quat.identity(), "'<' not supported between instances of 'kalvor.Quat' and 'kalvor.Quat'"),
        (lambda: hash(Quat.identity()), "unhashable type: 'kalvor.Quat'"),
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


# ---- then, inverse, slerp, between, from_rotation_matrix

# Tolerances of the identities, all absolute: rotations of a vector within
# 1e-14·|v|, slerp's angles within 1e-12 of linear, the matrix round trip
# within 1e-15 per field.
ROTATE_TOL = 1e-14
SLERP_TOL = 1e-12
MATRIX_TOL = 1e-15


def close_vectors(got, want, scale):
    return all(abs(a - b) <= ROTATE_TOL * scale for a, b in zip(xyz(got), xyz(want)))


def turn(a, b):
    """The angle of the rotation from unit quaternion a to b: twice their
    four-dimensional angle, from the chord lengths (up to 2π along one arc)."""
    d = math.hypot(*(x - y for x, y in zip(fields(a), fields(b))))
    s = math.hypot(*(x + y for x, y in zip(fields(a), fields(b))))
    return 4 * math.atan2(d, s)


def same_side(a, b):
    """b, or -b when it lies on the far side of a (the same rotation)."""
    if sum(x * y for x, y in zip(fields(a), fields(b))) < 0:
        return Quat(*(-x for x in fields(b)))
    return b


unit = st.floats(-1, 1)
units = st.tuples(unit, unit, unit, unit).filter(lambda c: math.hypot(*c) > 0.1).map(lambda c: Quat(*c).normalize())
coordinate = st.floats(-1e3, 1e3)
vectors = st.tuples(coordinate, coordinate, coordinate).filter(lambda c: math.hypot(*c) > 1e-3).map(lambda c: Vec3d(*c))


def product_reference(a, b):
    (aw, ai, aj, ak), (bw, bi, bj, bk) = a, b
    return (
        aw * bw - ai * bi - aj * bj - ak * bk,
        aw * bi + ai * bw + aj * bk - ak * bj,
        aw * bj - ai * bk + aj * bw + ak * bi,
        aw * bk + ai * bj - aj * bi + ak * bw,
    )


quads = st.tuples(floats, floats, floats, floats)


@given(quads, quads)
def test_then_is_the_fixed_order_hamilton_product(a, b):
    got = fields(Quat(*a).then(Quat(*b)))
    assert all((math.isnan(x) and math.isnan(y)) or bits(x) == bits(y) for x, y in zip(got, product_reference(a, b)))


@given(units, units, vectors)
def test_then_applies_first_then_other(q, other, v):
    assert close_vectors(q.then(other).rotate(v), other.rotate(q.rotate(v)), v.magnitude())


@given(units, st.floats(0.1, 10), vectors)
def test_inverse_undoes(q, scale, v):
    q = Quat(*(scale * c for c in fields(q)))
    assert close_vectors(q.then(q.inverse()).rotate(v), v, v.magnitude())
    assert close_vectors(q.inverse().rotate(q.rotate(v)), v, v.magnitude())


@given(units, units, st.floats(-1, 2))
def test_slerp_angle_is_linear_in_t(q, other, t):
    a, b = q.normalize(), same_side(q, other.normalize())
    whole = turn(a, b)
    r = q.slerp(other, t)
    assert abs(r.magnitude() - 1) <= 1e-15
    assert abs(turn(a, r) - abs(t) * whole) <= SLERP_TOL
    assert abs(turn(r, b) - abs(1 - t) * whole) <= SLERP_TOL


@given(vectors, vectors)
def test_between_maps_directions(a, b):
    assert close_vectors(Quat.between(a, b).rotate(a.normalize()), b.normalize(), 1)


@given(vectors, vectors, st.floats(1e-300, 1e-6))
def test_between_nearly_opposite(a, nudge, size):
    b = -a + nudge.normalize() * (size * a.magnitude())
    q = Quat.between(a, b)
    assert abs(q.magnitude() - 1) <= 1e-15
    assert close_vectors(q.rotate(a.normalize()), b.normalize(), 1)


@given(units)
def test_matrix_round_trip(q):
    r = Quat.from_rotation_matrix(q.to_rotation_matrix())
    assert all(abs(x - y) <= MATRIX_TOL for x, y in zip(fields(r), fields(same_side(r, q))))


HALF_TURN_Z = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())
NANS = (NAN,) * 4


# Bit patterns of the core formulas are tested in C++; these are the cases a
# user meets first.
@pytest.mark.parametrize(
    "q, want",
    [
        (HALF_TURN_Z.then(HALF_TURN_Z), (2.220446049250313e-16, 0.0, 0.0, -1.0)),
        (Quat(2, 0, 0, 0).inverse(), (0.5, -0.0, -0.0, -0.0)),
        (Quat(0, 0, 0, 0).inverse(), NANS),
        (HALF_TURN_Z.slerp(Quat.identity(), 0.5), (0.9238795325112868, 0.0, 0.0, -0.3826834323650898)),
        (Quat.identity().slerp(Quat(-1, 0, 0, 0), 0.5), (1.0, 0.0, 0.0, 0.0)),  # the same rotation
        (Quat(0, 0, 0, 0).slerp(Quat.identity(), 0.5), NANS),
        (Quat.between(Vec3d(1, 2, 3), Vec3d(2, 4, 6)), (1.0, 0.0, 0.0, 0.0)),
        (Quat.between(a=Vec3d(1, 0, 0), b=Vec3d(0, 5, 0)), (0.7071067811865476, -0.0, -0.0, -0.7071067811865476)),
        # Opposite: a half turn about a × e, e the axis of a's smallest component.
        (Quat.between(Vec3d(1, 0, 0), Vec3d(-2, 0, 0)), (0.0, -0.0, -0.0, -1.0)),
        (Quat.between(Vec3d(0, 0, 0), Vec3d(1, 0, 0)), NANS),
        (Quat.from_rotation_matrix([[1, 0, 0], [0, -1, 0], [0, 0, -1]]), (0.0, 1.0, 0.0, 0.0)),
        (Quat.from_rotation_matrix(m=((-1, 0, 0), (0, -1, 0), (0, 0, True))), (0.0, 0.0, 0.0, 1.0)),
    ],
)
def test_edge_cases(q, want):
    assert all((math.isnan(x) and math.isnan(y)) or bits(x) == bits(y) for x, y in zip(fields(q), want, strict=True))


def test_from_rotation_matrix_takes_numpy_arrays():
    np = pytest.importorskip("numpy")
    m = HALF_TURN_Z.to_rotation_matrix()
    want = fields(Quat.from_rotation_matrix(m))
    assert fields(Quat.from_rotation_matrix(np.array(m))) == want
    assert fields(Quat.from_rotation_matrix([np.array(row, dtype=np.float32).astype(float) for row in m])) == want
    with raises(TypeError, "argument 'm': [0]: expected a sequence of 3 items, got 4"):
        Quat.from_rotation_matrix(np.eye(3, 4))


class Clears:
    """Converts to 0.0, but first empties the list it sits in."""

    def __init__(self, rows):
        self.rows = rows

    def __float__(self):
        self.rows.clear()
        return 0.0


def test_from_rotation_matrix_survives_a_list_changed_while_read():
    rows = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
    rows[0][1] = Clears(rows)
    with raises(TypeError, "argument 'm': expected a sequence of 3 items, got 0"):
        Quat.from_rotation_matrix(rows)
    row = [1, 0, 0]
    row[1] = Clears(row)
    with raises(TypeError, "argument 'm': [0]: expected a sequence of 3 items, got 0"):
        Quat.from_rotation_matrix([row, [0, 1, 0], [0, 0, 1]])


ROWS = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: Quat.identity().then(1), TypeError, "argument 'other': 'int' object is not an instance of 'Quat'"),
        (lambda: Quat.identity().inverse(1), TypeError, "Quat.inverse() takes no arguments (1 given)"),
        (lambda: Quat.identity().slerp(Quat.identity()), TypeError, "Quat.slerp() missing 1 required positional argument: 't'"),
        (lambda: Quat.identity().slerp(None, 0.5), TypeError, "argument 'other': 'None' is not an instance of 'Quat'"),
        (lambda: Quat.identity().slerp(Quat.identity(), "x"), TypeError, "argument 't': must be real number, not str"),
        (lambda: Quat.between(Vec3d(1, 0, 0), (0, 1, 0)), TypeError, "argument 'b': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Quat.between(Vec3d(1, 0, 0), a=Vec3d(0, 1, 0)), TypeError, "Quat.between() got multiple values for argument 'a'"),
        (lambda: Quat.from_rotation_matrix(), TypeError, "Quat.from_rotation_matrix() missing 1 required positional argument: 'm'"),
        (lambda: Quat.from_rotation_matrix(None), TypeError, "argument 'm': 'None' is not an instance of 'Sequence'"),
        (lambda: Quat.from_rotation_matrix(ROWS[:2]), TypeError, "argument 'm': expected a sequence of 3 items, got 2"),
        (lambda: Quat.from_rotation_matrix([1, 2, 3]), TypeError, "argument 'm': [0]: 'int' object is not an instance of 'Sequence'"),
        (lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0]]), TypeError, "argument 'm': [2]: expected a sequence of 3 items, got 2"),
        (lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, "1"]]), TypeError, "argument 'm': [2][2]: must be real number, not str"),
        (lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, 10**400]]), OverflowError, "int too large to convert to float"),
        (lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, -1]]), ValueError, "not a rotation matrix: its determinant is -1 (a reflection)"),
        (lambda: Quat.from_rotation_matrix([[1, 2e-9, 0], [0, 1, 0], [0, 0, 1]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-9"),
        (lambda: Quat.from_rotation_matrix([[NAN, 0, 0], [0, 1, 0], [0, 0, 1]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-9"),
    ],
)
def test_new_method_errors(call, exc, text):
    with raises(exc, text):
        call()


def test_new_methods_leave_their_inputs_alone():
    q, other = Quat(0.3, -0.5, 0.7, 0.1), Quat(2, 0, 0, 0)
    q.then(other), q.inverse(), q.slerp(other, 0.5)
    assert fields(q) == (0.3, -0.5, 0.7, 0.1) and fields(other) == (2.0, 0.0, 0.0, 0.0)
    assert Quat.between.__text_signature__ == "(a, b)" and Quat.slerp.__text_signature__ == "($self, other, t)"
