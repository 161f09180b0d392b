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
        # Past a right angle the axis has its component along a projected out: the last bits show it.
        (fields(Quat.between(Vec3d(0.4282589672224051, 0.842197335167749, -0.21007319199851215),
                             Vec3d(0.6018175419704566, -0.11075788789847874, 0.8711734434090421))),
         (0.7007109614362292, -0.4919629107414172, 0.3459049028615197, 0.3838312665147416)),
        (fields(Quat.from_rotation_matrix([[1, 0, 0], [0, -1, 0], [0, 0, -1]])), (0.0, 1.0, 0.0, 0.0)),
        (fields(Quat.from_rotation_matrix(m=((-1, 0, 0), (0, -1, 0), (0, 0, True)))), (0.0, 0.0, 0.0, 1.0)),
        # rows orthonormal within 1e-6 pass, and the result is normalised
        (fields(Quat.from_rotation_matrix([[1, 2e-9, 0], *R[1:], [0, 0, 1]])), (1.0, 0.0, 0.0, -5e-10)),
    ],
)
def test_edge_cases(got, want):
    assert same_bits_or_nan(got, want)


AXES_RULE = "axes must be three of the letters x, y, z (either case) with no letter twice in a row"
BAD_AXES = ["", "xy", "xyzx", "xxy", "xyy", "XXy", "abc", "xyw", "x y", "xy\0", "x\u00e9z", "\U0001f600yz", type("Sub", (str,), {"__repr__": lambda s: 1 / 0})("zz")]
ANGLES = [AngleRadians(0.5), AngleRadians(-0.25), AngleRadians(2.0)]


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
        (lambda: Quat.identity().then(1), TypeError, "argument 'other': 'int' object is not an instance of 'Quat | QuatList'"),
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
        (lambda: Quat.from_rotation_matrix([[1, 0.1, 0], *R[1:], [0, 0, 1]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-6"),
        (lambda: Quat.from_rotation_matrix([[NAN, 0, 0], *R[1:], [0, 0, 1]]), ValueError, "not a rotation matrix: an entry is not finite (NaN or infinite)"),
        (lambda: Quat.from_rotation_matrix([[1, 0.5, 0], *R[1:], [0, 0, -INF]]), ValueError, "not a rotation matrix: an entry is not finite (NaN or infinite)"),
        # A length is checked before anything is copied: these views would take gigabytes.
        (lambda: Quat.from_rotation_matrix(pytest.importorskip("numpy").broadcast_to(0.5, (2**33, 3))), TypeError, "argument 'm': expected a sequence of 3 items, got 8589934592"),
        (lambda: Quat.from_rotation_matrix(pytest.importorskip("numpy").broadcast_to(0.5, (3, 2**40))), TypeError, "argument 'm': [0]: expected a sequence of 3 items, got 1099511627776"),
        (lambda: Quat.from_rotation_matrix(range(10**15)), TypeError, "argument 'm': expected a sequence of 3 items, got 1000000000000000"),
        (lambda: Quat.from_rotation_matrix([*R, [0, 0.6, 0.8]]), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-6"),
        (lambda: Quat.from_rotation_matrix([[0] * 3] * 3), ValueError, "not a rotation matrix: its rows are not orthonormal within 1e-6"),
        *[(lambda a=a: Quat.identity().to_intrinsic_euler(a), ValueError, f"{AXES_RULE}, got {str.__repr__(a)}") for a in BAD_AXES],
        (lambda: Quat.from_extrinsic_euler(b"xyz", *ANGLES), TypeError, "argument 'axes': 'bytes' object is not an instance of 'str'"),
        (lambda: Quat.identity().to_extrinsic_euler(axes=None), TypeError, "argument 'axes': 'None' is not an instance of 'str'"),
        (lambda: Quat.from_intrinsic_euler("xyz", 0.5, *ANGLES[1:]), TypeError, "argument 'a': 'float' object is not an instance of 'AngleRadians'"),
        (lambda: Quat.from_intrinsic_euler("xyz", *ANGLES[:2]), TypeError, "Quat.from_intrinsic_euler() missing 1 required positional argument: 'c'"),
        (lambda: Quat.from_xyzw(1, 2, 3), TypeError, "Quat.from_xyzw() missing 1 required positional argument: 'w'"),
        (lambda: Quat.from_wxyz(1, 2, 3), TypeError, "Quat.from_wxyz() missing 1 required positional argument: 'z'"),
        (lambda: Quat.from_wxyz(1, 2, 3, "4"), TypeError, "argument 'z': must be real number, not str"),
        (lambda: Quat.identity().to_wxyz(1), TypeError, "Quat.to_wxyz() takes no arguments (1 given)"),
        (lambda: Quat.identity().then([Quat.identity()]), TypeError, "argument 'other': 'list' object is not an instance of 'Quat | QuatList'"),
        (lambda: Quat.from_intrinsic_euler("xy" * 10**6, *ANGLES), ValueError, f"{AXES_RULE}, got {'xy' * 20!r}…"),
        (lambda: Quat.from_rotation_vector((1, 2, 3)), TypeError, "argument 'v': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Quat.identity().angle_to(other=Vec3d(1, 0, 0)), TypeError, "argument 'other': 'Vec3d' object is not an instance of 'Quat'"),
    ],
)
def test_errors(call, exc, text):
    with raises(exc, text):
        call()



# ---- Euler angles, rotation vectors, the scalar-last quaternion, angle_to; scipy's Rotation is the oracle.

SEQUENCES = "xyz xzy yxz yzx zxy zyx xyx xzx yxy yzy zxz zyz".split()
CONVENTIONS = [(s, frame) for s in SEQUENCES for frame in ("intrinsic", "extrinsic")]
PI = math.pi
V = Vec3d(0.3, -1.2, 0.7)


def scipy_rotation():
    return pytest.importorskip("scipy.spatial.transform", exc_type=ImportError).Rotation  # the debug interpreter has no scipy build


def from_euler(seq, frame, angles):
    return getattr(Quat, f"from_{frame}_euler")(seq, *map(AngleRadians, angles))


def to_euler(q, seq, frame):
    got = getattr(q, f"to_{frame}_euler")(seq)
    assert type(got) is tuple and all(type(a) is AngleRadians for a in got)
    return [a.angle for a in got]


def beta_range(seq):
    return (0.0, PI) if seq[0] == seq[2] else (-PI / 2, PI / 2)


def random_angles(seq, n, margin, seed=18):
    rng = __import__("random").Random(f"{seq}{seed}")
    low, high = beta_range(seq)
    return [(rng.uniform(-PI, PI), rng.uniform(low + margin, high - margin), rng.uniform(-PI, PI)) for _ in range(n)]


def close(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b, strict=True))


@pytest.mark.parametrize("seq, frame", CONVENTIONS)
def test_euler_round_trips(seq, frame):
    other = "extrinsic" if frame == "intrinsic" else "intrinsic"
    for angles in random_angles(seq, 300, 1e-3):  # away from gimbal lock: the angles themselves come back
        q = from_euler(seq, frame, angles)
        assert close(to_euler(q, seq.upper(), frame), angles, 1e-12)
        # intrinsic "pqr"(a, b, c) is extrinsic "rqp"(c, b, a), to the bit
        assert fields(q) == fields(from_euler(seq[::-1], other, angles[::-1]))


@pytest.mark.parametrize("seq, frame", CONVENTIONS)
def test_euler_matches_scipy(seq, frame):
    rotation, cases = scipy_rotation(), random_angles(seq, 300, 1e-3, seed=19)
    scipy_seq = seq.upper() if frame == "intrinsic" else seq
    r = rotation.from_euler(scipy_seq, cases)
    qs = [Quat.from_xyzw(*x) for x in r.as_quat()]
    assert all(close(to_euler(q, seq, frame), want, 1e-12) for q, want in zip(qs, r.as_euler(scipy_seq)))
    assert all(close(xyz(from_euler(seq, frame, a).rotate(V)), want, 1e-14) for a, want in zip(cases, r.apply(xyz(V))))


@pytest.mark.parametrize("seq, frame", CONVENTIONS)
def test_euler_rebuilds_the_rotation_near_and_at_gimbal_lock(seq, frame):
    limits = beta_range(seq)
    for i, (a, _, c) in enumerate(random_angles(seq, 60, 0.0)):
        limit, offset = limits[i % 2], [0.0, 1e-15, 1e-12, 1e-9, 1e-6, 1e-3][i // 2 % 6]
        q = from_euler(seq, frame, (a, limit + offset if limit < 0.5 else limit - offset, c))
        got = to_euler(q, seq, frame)
        assert limits[0] <= got[1] <= limits[1] and all(-PI <= x <= PI for x in got[::2])
        assert close(xyz(from_euler(seq, frame, got).rotate(V)), xyz(q.rotate(V)), 1e-14 * V.magnitude())
        if got[1] in limits:
            assert got[2] == 0.0
    # exactly locked: a quarter turn about the middle axis whose two fields are equal
    p, m = "xyz".index(seq[0]), "xyz".index(seq[1])
    for side in (1, -1):
        turn, half = Quat.from_axis_angle(Vec3d(*(float(n == p) for n in range(3))), AngleRadians(2.5)), math.sqrt(0.5)
        if seq[0] == seq[2]:
            middle = Quat(side > 0, *(-float(n == m and side < 0) for n in range(3)))  # b = 0 or b = pi
        else:
            middle = Quat(half, *(side * half * (n == m) for n in range(3)))  # b = -side * pi / 2
        got = to_euler(turn.then(middle) if frame == "extrinsic" else middle.then(turn), seq, frame)
        assert got[1] == limits[side < 0] and got[2] == 0.0 and abs(abs(got[0]) - 2.5) <= 1e-15


@given(st.tuples(*[st.floats(width=64)] * 4))
def test_wxyz_is_xyzw_reordered_bit_for_bit(c):
    w, x, y, z = c
    assert same_bits_or_nan(fields(Quat.from_wxyz(w, x, y, z)), fields(Quat.from_xyzw(x, y, z, w)))
    q = Quat(*c)
    assert same_bits_or_nan(q.to_wxyz(), (q.to_xyzw()[3], *q.to_xyzw()[:3]))
    assert same_bits_or_nan(fields(Quat.from_wxyz(*q.to_wxyz())), c)


def test_wxyz_hands_off_to_pyglm_hamilton_quaternions():
    glm = pytest.importorskip("glm")
    rng = __import__("random").Random(24)
    for _ in range(500):
        q = Quat(*(rng.gauss(0, 1) for _ in range(4))).normalize()
        v = Vec3d(*(rng.uniform(-10, 10) for _ in range(3)))
        moved = glm.dquat(*q.to_wxyz()) * glm.dvec3(*xyz(v))
        assert close(xyz(q.rotate(v)), tuple(moved), 1e-15 * math.hypot(*xyz(v)) * 2)
        g = glm.normalize(glm.dquat(*(rng.gauss(0, 1) for _ in range(4))))
        assert close(xyz(Quat.from_wxyz(g.w, g.x, g.y, g.z).rotate(v)), tuple(g * glm.dvec3(*xyz(v))), 2e-15 * math.hypot(*xyz(v)))


def test_then_before_a_list_is_then_before_each_element():
    QuatList = __import__("kalvor").QuatList
    q = Quat(0.5, -0.5, 0.5, 0.5)
    many = [Quat(1, 2, 3, 4), Quat(NAN, 0, 0, 1), Quat(-0.0, INF, 0, 0), Quat.identity()]
    got = q.then(QuatList(many))
    assert type(got) is QuatList and [bits(c) for e in got for c in fields(e)] == [bits(c) for e in many for c in fields(q.then(e))]
    assert len(q.then(other=QuatList.empty())) == 0 and type(q.then(q)) is Quat


def test_rotation_vectors_and_xyzw_match_scipy():
    rotation = scipy_rotation()
    r = rotation.random(2000, rng=18)
    for xyzw, rotvec, moved in zip(r.as_quat(), r.as_rotvec(), r.apply(xyz(V))):
        q = Quat.from_xyzw(*xyzw)
        assert same_bits(q.to_xyzw(), xyzw) and close(xyz(q.rotate(V)), moved, 1e-14)
        assert close(xyz(q.to_rotation_vector()), rotvec, 1e-14)
        assert close(xyz(Quat.from_rotation_vector(Vec3d(*rotvec)).rotate(V)), moved, 1e-14)
    # a quarter turn about z turns x to y in both
    assert close(xyz(Quat.from_xyzw(*rotation.from_rotvec([0, 0, PI / 2]).as_quat()).rotate(Vec3d(1, 0, 0))), (0, 1, 0), 1e-15)


def test_small_angles_are_accurate():
    rng = __import__("random").Random(18)
    for _ in range(2000):
        angle = math.exp(rng.uniform(math.log(1e-300), math.log(PI - 1e-6)))
        axis = Vec3d(rng.gauss(0, 1), rng.gauss(0, 1), rng.gauss(0, 1)).normalize()
        v = Vec3d(*(angle * c for c in xyz(axis)))
        q = Quat.from_rotation_vector(v)
        assert abs(math.hypot(*xyz(q.to_rotation_vector())) - math.hypot(*xyz(v))) <= 1e-14 * math.hypot(*xyz(v))
        assert abs(Quat.identity().angle_to(q).angle - math.hypot(*xyz(v))) <= 1e-14 * math.hypot(*xyz(v))
    tiny = Vec3d(1e-300, -3e-300, 2e-300)
    assert same_bits(fields(Quat.from_rotation_vector(tiny)), (1.0, -5e-301, 1.5e-300, -1e-300))


@given(units, st.floats(1e-3, 1e3))
def test_angle_to_treats_q_and_minus_q_as_one_rotation(q, scale):
    r = Quat(*(-scale * c for c in fields(q)))
    assert q.angle_to(q).angle < 1e-15 and q.angle_to(r).angle < 1e-15 and Quat.identity().angle_to(r).angle <= PI


@given(units)
def test_float32_matrix_is_accepted(q):
    rows = [[float(__import__("numpy").float32(x)) for x in row] for row in q.to_rotation_matrix()]
    r = Quat.from_rotation_matrix(rows)
    assert abs(r.magnitude() - 1) <= 1e-15 and close(fields(r), fields(same_side(r, q)), 1e-6)


@pytest.mark.parametrize(
    "got, want",
    [
        (fields(Quat.from_xyzw(-0.0, 2, NAN, -5)), (-5.0, 0.0, -2.0, NAN)),
        (Quat.from_xyzw(x=-0.0, y=2, z=3, w=-5).to_xyzw(), (-0.0, 2.0, 3.0, -5.0)),
        (Quat.identity().to_xyzw(), (-0.0, -0.0, -0.0, 1.0)),
        (xyz(Quat.from_rotation_vector(Vec3d(0, 0, 0)).to_rotation_vector()), (0.0, 0.0, 0.0)),
        (xyz(Quat(0, 0, 0, 0).to_rotation_vector()), (NAN,) * 3),
        (xyz(Quat(INF, 0, 0, 0).to_rotation_vector()), (NAN,) * 3),
        (fields(Quat.from_rotation_vector(Vec3d(INF, 0, 0))), NANS),
        ([a.angle for a in Quat(0, 0, 0, 0).to_extrinsic_euler("xyz")], (NAN,) * 3),
        ([a.angle for a in Quat(1, NAN, 0, 0).to_intrinsic_euler("zxz")], (NAN,) * 3),
        ((Quat(0, 0, 0, 0).angle_to(Quat.identity()).angle, Quat.identity().angle_to(Quat(INF, 0, 0, 0)).angle), (NAN, NAN)),
        # a non-unit quaternion is normalised first
        ([a.angle for a in Quat(0, 0, 0, 3).to_extrinsic_euler("zyx")], (-PI, 0.0, 0.0)),
        (xyz(Quat(0, 0, 0, 3).to_rotation_vector()), (-0.0, -0.0, -PI)),
        # a quarter turn about z: yaw pi/2
        ([a.angle for a in Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi()).to_intrinsic_euler(axes="ZYX")], (PI / 2, 0.0, 0.0)),
    ],
)
def test_rotation_edge_cases(got, want):
    assert same_bits_or_nan(got, want)
