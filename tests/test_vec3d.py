import math
import struct
import sys

import pytest
from hypothesis import given, strategies as st

from kalvor import Vec3d

from conftest import bits, run_python, same_bits

EPS = 2.0**-52
NAN = float("nan")
INF = float("inf")


def xyz(v):
    return (v.x, v.y, v.z)


finite = st.floats(allow_nan=False, allow_infinity=False, width=64)
anyfloat = st.floats(width=64)
vectors = st.tuples(anyfloat, anyfloat, anyfloat)


# ---- construction, properties, static constructors


def test_construction_stores_values_unchanged():
    v = Vec3d(0.1, -0.0, 1e308)
    assert same_bits(xyz(v), (0.1, -0.0, 1e308))
    n = Vec3d(NAN, INF, -INF)
    assert math.isnan(n.x) and n.y == INF and n.z == -INF


@pytest.mark.parametrize(
    "make, expected",
    [(Vec3d.zero, "Vec3d(0, 0, 0)"), (Vec3d.i, "Vec3d(1, 0, 0)"), (Vec3d.j, "Vec3d(0, 1, 0)"), (Vec3d.k, "Vec3d(0, 0, 1)")],
)
def test_static_constructors(make, expected):
    assert repr(make()) == expected
    assert make() is not make()


def test_setters_change_only_that_instance():
    v = Vec3d(1, 2, 3)
    w = Vec3d(1, 2, 3)
    v.x = 5
    assert repr(v) == "Vec3d(5, 2, 3)" and repr(w) == "Vec3d(1, 2, 3)"


def test_augmented_assignment_rebinds():
    v = Vec3d(1, 2, 3)
    w = v
    v += Vec3d(1, 1, 1)
    assert repr(w) == "Vec3d(1, 2, 3)" and repr(v) == "Vec3d(2, 3, 4)"
    v *= 2
    v /= 2
    v -= Vec3d(1, 1, 1)
    assert repr(v) == "Vec3d(1, 2, 3)" and repr(w) == "Vec3d(1, 2, 3)"


# ---- repr and str


@pytest.mark.parametrize(
    "v, text",
    [
        (Vec3d(1, 2, 3), "Vec3d(1, 2, 3)"),
        (Vec3d(0.1, -0.0, 1e21), "Vec3d(0.1, -0, 1000000000000000000000)"),
        (Vec3d(1, 2.5, -0.0), "Vec3d(1, 2.5, -0)"),
        (Vec3d(0, 0, 0).normalize(), "Vec3d(NaN, NaN, NaN)"),
        (Vec3d(1, 2, 3) / 0, "Vec3d(inf, inf, inf)"),
        (Vec3d(0, 1, -1) / 0, "Vec3d(NaN, inf, -inf)"),
    ],
)
def test_repr(v, text):
    assert repr(v) == text
    assert str(v) == text


# ---- products and measures, bit for bit against the same order in Python


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


@given(vectors, vectors)
def test_products_match_the_fixed_order(a, b):
    va, vb = Vec3d(*a), Vec3d(*b)
    assert bits(va.dot(vb)) == bits(dot(a, b))
    assert same_bits(xyz(va.cross(vb)), cross(a, b))
    d = (a[0] - b[0], a[1] - b[1], a[2] - b[2])
    assert bits(va.distance_squared(vb)) == bits(dot(d, d))
    assert bits(va.distance_to(vb)) == bits(math.sqrt(dot(d, d)))
    assert same_bits(xyz(va + vb), (a[0] + b[0], a[1] + b[1], a[2] + b[2]))
    assert same_bits(xyz(va - vb), d)
    assert same_bits(xyz(Vec3d.new_from_to(va, vb)), (b[0] - a[0], b[1] - a[1], b[2] - a[2]))


def ieee_div(a, b):
    try:
        return a / b
    except ZeroDivisionError:
        if a == 0 or math.isnan(a):
            return NAN
        return math.copysign(INF, a) * math.copysign(1.0, b)


def same_or_both_nan(xs, ys):
    return all((math.isnan(p) and math.isnan(q)) or bits(p) == bits(q) for p, q in zip(xs, ys, strict=True))


@given(vectors, anyfloat)
def test_scaling_and_magnitude(a, s):
    v = Vec3d(*a)
    m = math.sqrt(dot(a, a))
    assert bits(v.magnitude()) == bits(m)
    assert same_or_both_nan(xyz(v.normalize()), [ieee_div(x, m) for x in a])
    assert same_bits(xyz(v * s), (s * a[0], s * a[1], s * a[2]))
    assert same_bits(xyz(s * v), (s * a[0], s * a[1], s * a[2]))
    assert same_or_both_nan(xyz(v / s), [ieee_div(x, s) for x in a])
    assert same_bits(xyz(-v), tuple(-x for x in a))
    assert v.is_unit() == (abs(m - 1.0) < EPS)


@given(vectors, vectors, vectors)
def test_triple_product_and_lines(p, a, b):
    vp, va, vb = Vec3d(*p), Vec3d(*a), Vec3d(*b)
    assert bits(vp.scalar_triple_product(va, vb)) == bits(dot(p, cross(a, b)))
    d = (b[0] - a[0], b[1] - a[1], b[2] - a[2])
    t = ieee_div(d[0] * (p[0] - a[0]) + d[1] * (p[1] - a[1]) + d[2] * (p[2] - a[2]), dot(d, d))
    f = (a[0] + d[0] * t, a[1] + d[1] * t, a[2] + d[2] * t)
    e = (p[0] - f[0], p[1] - f[1], p[2] - f[2])
    assert same_or_both_nan([vp.distance_to_line(va, vb)], [math.sqrt(dot(e, e)) if not dot(e, e) < 0 else NAN])
    q = (b[0] - a[0], b[1] - a[1], b[2] - a[2])  # line_r = b, line_q = a
    u = ieee_div(q[0] * (a[0] - p[0]) + q[1] * (a[1] - p[1]) + q[2] * (a[2] - p[2]), dot(q, q))
    assert same_or_both_nan(xyz(vp.project_onto_line(vb, va)), (a[0] - q[0] * u, a[1] - q[1] * u, a[2] - q[2] * u))


def test_edge_cases_of_the_core():
    assert xyz(Vec3d.i().cross(Vec3d.j())) == (0, 0, 1)
    assert same_bits(xyz(Vec3d.j().cross(Vec3d.i())), (0.0, 0.0, -1.0))
    assert Vec3d(0, 1, 0).distance_to_line(Vec3d(0, 0, 0), Vec3d(2, 0, 0)) == 1.0
    assert math.isnan(Vec3d(0, 1, 0).distance_to_line(Vec3d(1, 1, 1), Vec3d(1, 1, 1)))
    assert xyz(Vec3d(1, 1, 0).project_onto_line(Vec3d(2, 0, 0), Vec3d(0, 0, 0))) == (1, 0, 0)
    assert all(math.isnan(c) for c in xyz(Vec3d(1, 1, 0).project_onto_line(Vec3d(2, 0, 0), Vec3d(2, 0, 0))))
    assert xyz(Vec3d(1, 2, 3).project_onto_plane(Vec3d(0, 0, 1))) == (1, 2, 0)
    assert xyz(Vec3d(1, 2, 3).project_onto_plane(Vec3d(0, 0, 2))) == (1, 2, -9)
    assert same_bits(xyz(-Vec3d(0, 0, 0)), (-0.0, -0.0, -0.0))
    assert repr(Vec3d(1, 0, -1) / 0.0) == "Vec3d(inf, NaN, -inf)"
    assert Vec3d(3, 4, 0).to_array() == [3.0, 4.0, 0.0]


@pytest.mark.parametrize(
    "v, unit",
    [
        (Vec3d(1, 0, 0), True),
        (Vec3d(1 + EPS, 0, 0), False),
        (Vec3d(1 - EPS / 2, 0, 0), True),
        (Vec3d(0.6, 0.8, 0), True),
        (Vec3d(0, 0, 0), False),
        (Vec3d(NAN, 0, 0), False),
        (Vec3d(INF, 0, 0), False),
    ],
)
def test_is_unit(v, unit):
    assert v.is_unit() is unit


def test_negation_keeps_nan_payload_and_flips_sign():
    payload = struct.unpack("<d", struct.pack("<Q", 0x7FF8000000000123))[0]
    n = -Vec3d(payload, 0, 0)
    assert struct.pack("<d", n.x) == struct.pack("<Q", 0xFFF8000000000123)


# ---- equality and hash


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (Vec3d(1, 2, 3), Vec3d(1, 2, 3), True),
        (Vec3d(0.5, 0, 0), Vec3d(0.5 + 2.0**-53, 0, 0), True),
        (Vec3d(1, 0, 0), Vec3d(1 + EPS, 0, 0), False),
        (Vec3d(1, 2, 3), Vec3d(1 + EPS, 2, 3), False),
        (Vec3d(1e20, 0, 0), Vec3d(1e20 + 16384, 0, 0), False),
        (Vec3d(0.0, 0, 0), Vec3d(-0.0, 0, 0), True),
        (Vec3d(1e-17, 0, 0), Vec3d(-1e-17, 0, 0), True),
        (Vec3d(NAN, 0, 0), Vec3d(NAN, 0, 0), False),
        (Vec3d(INF, 0, 0), Vec3d(INF, 0, 0), False),
    ],
)
def test_tolerant_equality(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is (not equal)
    assert (b == a) is equal


def test_nan_vector_is_unequal_to_itself():
    v = Vec3d(0, NAN, 0)
    assert (v == v) is False and (v != v) is True


def siphash13_of(components):
    """CPython hashes bytes with SipHash-1-3; with PYTHONHASHSEED=0 its key is
    all zeros, so hash(bytes) is an independent reference for our hash."""
    message = b"".join(struct.pack("<d", c) for c in components)
    code = f"print(hash({message!r}))"
    return int(run_python(code, PYTHONHASHSEED="0").stdout)


@pytest.mark.skipif(sys.hash_info.algorithm != "siphash13", reason="the reference, the bytes hash, is not SipHash-1-3 here")
@pytest.mark.parametrize("components", [(0.0, 0.0, 0.0), (-1.5, 1e300, 5e-324), (0.1, 0.2, 0.30000000000000004), (NAN, 1.0, 2.0)])
def test_hash_is_siphash13_over_little_endian_components(components):
    assert hash(Vec3d(*components)) == siphash13_of(components)


def test_hash_normalises_zero_and_nan():
    assert hash(Vec3d(0.0, 0, 0)) == hash(Vec3d(-0.0, 0, -0.0))
    nan_payload = struct.unpack("<d", struct.pack("<Q", 0xFFF8000000000042))[0]
    assert hash(Vec3d(NAN, 1, 2)) == hash(Vec3d(nan_payload, 1, 2)) == hash(Vec3d(-NAN, 1, 2))
    assert hash(Vec3d(0.5, 0, 0)) != hash(Vec3d(0.5 + 2.0**-53, 0, 0))
    assert len({Vec3d(1, 2, 3), Vec3d(1, 2, 3)}) == 1
    # Tolerant equality, exact hash: sets tell the two apart.
    assert len({Vec3d(0.5, 0, 0), Vec3d(0.5 + 2.0**-53, 0, 0)}) == 2


# ---- sequence behaviour


def test_indexing_and_iteration():
    v = Vec3d(1, 2, 3)
    assert (v[0], v[1], v[2]) == (1.0, 2.0, 3.0)
    assert list(v) == [1.0, 2.0, 3.0]
    a, b, c = v
    assert (a, b, c) == (1.0, 2.0, 3.0)
    assert 2.0 in v and 4.0 not in v
    assert tuple(v) == (1.0, 2.0, 3.0)
    with pytest.raises(TypeError):
        len(v)
    assert bool(Vec3d.zero()) is True


def test_vec3d_counts_as_a_sequence():
    import collections.abc  # noqa: F401 -- the interpreter's check, not the ABC

    v = Vec3d(1, 2, 3)
    assert sorted(v, reverse=True) == [3.0, 2.0, 1.0]
    assert max(v) == 3.0
