"""kalvor.geometry: Plane, Circle and the four intersection functions."""

import math
import re
import sys

import pytest
from hypothesis import assume, given, strategies as st

import kalvor
from kalvor import Vec3d, geometry

Circle, Plane = geometry.Circle, geometry.Plane
circle_circle, circle_point, circle_point_unchecked, plane_line = (
    geometry.circle_circle,
    geometry.circle_point,
    geometry.circle_point_unchecked,
    geometry.plane_line,
)

from conftest import bits

NAN = float("nan")
INF = float("inf")
O = Vec3d(0, 0, 0)
UP, DOWN = (0, 0, 1), (0, 0, -1)

TOO_FAR = "The given geometries are too far apart and do not intersect at all."
CONTAINED = "One of the given geometries is contained entirely within the other. The surfaces do not intersect."
IDENTICAL = "The given geometries are identical."
OUT_OF_PLANE = "The given geometries are out of plane from each other"


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def xyz(v):
    return (v.x, v.y, v.z)


def same(a, b):
    """Bit-equal floats, or tuples of them; any NaN matches any NaN."""
    if isinstance(a, tuple):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return (math.isnan(a) and math.isnan(b)) or bits(a) == bits(b)


def circle(center, radius, normal=UP):
    return Circle(Vec3d(*center), radius, Vec3d(*normal))


C = circle((0, 0, 0), 1.0)
P5 = Plane(Vec3d(0, 0, 1), 5.0)


# ---- the same arithmetic in Python floats, in the library's evaluation order


def dot(p, q):
    return p[0] * q[0] + p[1] * q[1] + p[2] * q[2]


def sub(p, q):
    return (p[0] - q[0], p[1] - q[1], p[2] - q[2])


def cross(u, v):
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def normalize(p):
    m = math.sqrt(dot(p, p))
    return (p[0] / m, p[1] / m, p[2] / m)


def chord_radicand(c1, r1, c2, r2):
    d = math.sqrt(dot(sub(c1, c2), sub(c1, c2)))
    d2 = d * d
    h = (r1 * r1 - r2 * r2) / (2.0 * d2) + 0.5
    return r1 * r1 - d2 * (h * h), h


def ref_circle_circle(c1, r1, c2, r2, n):
    delta = sub(c2, c1)
    radicand, h = chord_radicand(c1, r1, c2, r2)
    height = math.sqrt(radicand) if radicand >= 0 else 0.0
    p = tuple(c + e * h for c, e in zip(c1, delta))
    m = normalize(cross(delta, n))
    return tuple(a + b * height for a, b in zip(p, m)), tuple(a - b * height for a, b in zip(p, m))


# ---- module contents and class shapes


def test_submodule_contents_and_star_import():
    names = ["Circle", "circle_circle", "circle_point", "circle_point_unchecked", "plane_line", "Plane"]
    assert kalvor.geometry.__all__ == names
    scope = {}
    exec("from kalvor.geometry import *", scope)
    assert sorted(set(scope) - {"__builtins__"}) == sorted(names)
    for fn in (plane_line, circle_point, circle_point_unchecked, circle_circle):
        assert fn.__module__ == "kalvor.geometry" and fn.__self__ is kalvor.geometry


@pytest.mark.parametrize(
    "fn, signature",
    [
        (plane_line, "(plane, a, b)"),
        (circle_point, "(circle, point, inner)"),
        (circle_point_unchecked, "(circle, point, inner)"),
        (circle_circle, "(circle1, circle2)"),
        (Plane, "(normal, distance)"),
        (Plane.from_point, "(normal, point)"),
        (Plane.from_points, "(point1, point2, point3)"),
        (Plane.xz, "()"),
        (Plane.contains_point, "($self, point)"),
        (Plane.distance_to_point, "($self, point)"),
        (Circle, "(center, radius, normal)"),
        (Circle.none, "()"),
        (Circle.get_plane, "($self)"),
        (Circle.in_same_plane, "($self, other)"),
        (Circle.is_degenerate, "($self)"),
    ],
)
def test_text_signatures(fn, signature):
    assert fn.__text_signature__ == signature and fn.__doc__ in (None, "")


@pytest.mark.parametrize("cls, obj", [(Plane, Plane.xy()), (Circle, Circle.none())])
def test_classes_are_final_and_closed(cls, obj):
    assert cls.__module__ == "kalvor.geometry" and cls.__qualname__ == cls.__name__
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(AttributeError):
        obj.foo = 1


def test_plane_has_default_identity_equality_hash_and_repr():
    a, b = Plane.xy(), Plane.xy()
    assert a is not b and a == a and a != b and not (a == b)
    assert hash(a) == object.__hash__(a)
    assert repr(a).startswith("<kalvor.geometry.Plane object at 0x")


# ---- Plane


@pytest.mark.parametrize(
    "make, normal, distance",
    [
        (lambda: Plane(Vec3d(0, 0, 2), 5.0), (0.0, 0.0, 1.0), -5.0),
        (lambda: Plane(distance=-1, normal=Vec3d(3, 0, 4)), (0.6, 0.0, 0.8), 1.0),
        (lambda: Plane.from_point(Vec3d(0, 0, 3), Vec3d(1, 1, 4)), (0.0, 0.0, 1.0), -4.0),
        (lambda: Plane.xy(), (0.0, 0.0, 1.0), -0.0),
        # The coordinate planes y = 0 and x = 0.
        (lambda: Plane.xz(), (0.0, 1.0, 0.0), -0.0),
        (lambda: Plane.yz(), (1.0, 0.0, 0.0), -0.0),
        (lambda: Plane.from_points(Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)), (0.0, 0.0, 1.0), -0.0),
        (lambda: Plane.from_points(Vec3d(0, 0, 0), Vec3d(0, 1, 0), Vec3d(1, 0, 0)), (0.0, 0.0, -1.0), -0.0),
        # Degenerate input flows through as NaN.
        (lambda: Plane.from_points(Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(2, 2, 2)), (NAN, NAN, NAN), NAN),
        (lambda: Plane(Vec3d(0, 0, 0), 1.0), (NAN, NAN, NAN), -1.0),
        (lambda: Plane.from_point(Vec3d(0, 0, 0), Vec3d(1, 1, 1)), (NAN, NAN, NAN), NAN),
    ],
)
def test_plane_factories(make, normal, distance):
    plane = make()
    assert same(xyz(plane.normal), normal) and same(plane.distance, distance)


@pytest.mark.parametrize(
    "plane, point, contained, distance",
    [
        (P5, (1, 2, 5), True, 0.0),
        (P5, (0, 0, 0), False, 5.0),
        (P5, (0, 0, 7), False, 2.0),
        # The tolerance is absolute: one step above 5.0 is 2**-50 > ε away.
        (P5, (0, 0, math.nextafter(5.0, INF)), False, 2.0**-50),
        (Plane.xy(), (5, 7, 0), True, 0.0),
        (Plane.xz(), (5, 0, 7), True, 0.0),
        (Plane.xz(), (0, 1, 1), False, 1.0),
        (Plane.yz(), (0, 1, 1), True, 0.0),
        (Plane.yz(), (5, 7, 0), False, 5.0),
        (Plane.from_points(O, O, O), (0, 0, 0), False, NAN),
    ],
)
def test_plane_point_tests(plane, point, contained, distance):
    assert plane.contains_point(Vec3d(*point)) is contained
    assert same(plane.distance_to_point(point=Vec3d(*point)), distance)


def test_plane_properties_store_values_unchanged():
    plane = Plane(Vec3d(0, 0, 1), 5.0)
    plane.normal = Vec3d(0, 0, 2)
    assert xyz(plane.normal) == (0, 0, 2) and plane.distance_to_point(Vec3d(0, 0, 1)) == 3.0
    plane.distance = 5.0
    assert plane.distance == 5.0 and plane.contains_point(Vec3d(0, 0, -2.5))
    copy = plane.normal
    copy.x = 9.0
    assert xyz(plane.normal) == (0, 0, 2)


class Reentrant:
    """A float that writes `target.x` while it is being converted."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        self.target.x = 7.0
        return 1.0


def test_class_arguments_stay_borrowed_while_later_ones_convert():
    n = Vec3d(0, 0, 1)
    with raises(RuntimeError, "Already borrowed"):
        Plane(n, Reentrant(n))
    with raises(RuntimeError, "Already borrowed"):
        Circle(n, Reentrant(n), Vec3d(0, 0, 1))
    n.x = 2.0  # released on the error path
    assert xyz(n) == (2, 0, 1)


def test_setters_convert_before_borrowing_and_fail_without_change():
    plane = Plane(Vec3d(0, 0, 1), 5.0)

    class ReadsPlane:
        def __float__(self):
            return plane.distance + 1

    plane.distance = ReadsPlane()
    assert plane.distance == -4.0
    with raises(TypeError, "argument 'value': must be real number, not NoneType"):
        plane.distance = None
    assert xyz(plane.normal) == (0, 0, 1) and plane.distance == -4.0


# ---- Circle


def test_circle_construction_and_none():
    c = Circle(Vec3d(1, 2, 3), -2.0, Vec3d(0, 0, 5))
    assert xyz(c.center) == (1, 2, 3) and same(c.radius, 2.0) and xyz(c.normal) == (0, 0, 1)
    n = Circle.none()
    assert xyz(n.center) == (0, 0, 0) and same(n.radius, 0.0)
    assert all(bits(x) == bits(float("nan")) for x in xyz(n.normal))
    assert n.is_degenerate() and n.area == 0.0
    assert not (n == n) and n != n and not n.in_same_plane(n)


@pytest.mark.parametrize(
    "radius, degenerate, area",
    [(0.0, True, 0.0), (-0.0, True, 0.0), (NAN, False, NAN), (1.0, False, 3.141592653589793),
     (2.0, False, 12.566370614359172), (-2.0, False, 12.566370614359172)],
)
def test_circle_degenerate_and_area(radius, degenerate, area):
    c = circle((1, 1, 1), 1.0)
    c.radius = radius
    assert same(c.radius, radius) and c.is_degenerate() is degenerate and same(c.area, area)


def test_circle_properties_and_plane():
    c = Circle(Vec3d(1, 1, 1), 1.0, Vec3d(0, 0, 2))
    assert same(xyz(c.get_plane().normal), (0.0, 0.0, 1.0)) and same(c.get_plane().distance, -1.0)
    c.normal = Vec3d(0, 0, 2)
    c.center = Vec3d(1, 1, 3)
    assert xyz(c.normal) == (0, 0, 2) and xyz(c.get_plane().normal) == (0, 0, 1) and c.get_plane().distance == -3.0
    with pytest.raises(AttributeError):
        c.area = 1.0
    with pytest.raises(AttributeError):
        del c.area


@pytest.mark.parametrize(
    "a, b, equal, same_plane",
    [
        (circle((1, 2, 3), 1), circle((1, 2, 3), 1), True, True),
        (circle((1, 2, 3), 1), circle((1, 2, 3), 1, DOWN), True, True),
        (circle((0, 0, 0), 1.0), circle((0, 0, 0), 1.0000000000000002), False, True),
        (circle((0, 0, 0), 1), circle((1e-17, 0, 0), 1), True, True),
        (circle((0, 0, 0), NAN), circle((0, 0, 0), NAN), False, True),
        (circle((0, 0, 5), 1), circle((3, 4, 5), 1), False, True),
        (circle((0, 0, 5), 1), circle((3, 4, 5.000000000000001), 1), False, False),
        # Opposite normals of one plane: the offsets 5 and -5 are added.
        (circle((0, 0, 5), 1), circle((1, 0, 5), 1, DOWN), False, True),
        (circle((0, 0, 0), 1), circle((1, 0, 0), 1, DOWN), False, True),
        (circle((0, 0, 0), 1), circle((0, 0, 1), 1), False, False),
        (circle((0, 0, 0), 1), circle((0, 0, 1), 1, DOWN), False, False),
        (circle((0, 0, 0), 1), circle((0, 0, 0), 1, (0, 1, 0)), False, False),
        (circle((0, 0, 0), 1, (0, 0, 0)), circle((0, 0, 0), 1, (0, 0, 0)), False, False),
    ],
)
def test_circle_equality_and_same_plane(a, b, equal, same_plane):
    assert (a == b) is equal and (b == a) is equal and (a != b) is (not equal)
    assert a.in_same_plane(b) is same_plane and b.in_same_plane(other=a) is same_plane


class AlwaysEqual:
    def __eq__(self, other):
        return True


class Unequal:
    def __eq__(self, other):
        raise ZeroDivisionError("from __eq__")


class BadTruth:
    def __eq__(self, other):
        return self

    def __bool__(self):
        raise ZeroDivisionError("from __bool__")


def test_circle_not_equal_follows_the_full_equality():
    assert C == C and not (C != C)
    assert not (C == "circle") and C != "circle" and C != None  # noqa: E711
    # != negates the interpreter's ==, reflected operand included.
    assert C == AlwaysEqual() and not (C != AlwaysEqual())
    for other, text in [(Unequal(), "from __eq__"), (BadTruth(), "from __bool__")]:
        with raises(ZeroDivisionError, text):
            C != other  # noqa: B015


# ---- the module functions


@pytest.mark.parametrize(
    "plane, a, b, expected",
    [
        (P5, (1, 2, 0), (1, 2, 1), (1.0, 2.0, 5.0)),
        (P5, (1, 2, 9), (1, 2, 7), (1.0, 2.0, 5.0)),
        (Plane.yz(), (-1, 1, 1), (1, 3, 1), (0.0, 2.0, 1.0)),
        # A parallel line divides by zero; a = b gives 0/0.
        (P5, (0, 0, 0), (1, 0, 0), (INF, NAN, NAN)),
        (P5, (1, 1, 1), (1, 1, 1), (NAN, NAN, NAN)),
    ],
)
def test_plane_line(plane, a, b, expected):
    assert same(xyz(plane_line(plane, Vec3d(*a), Vec3d(*b))), expected)


def test_plane_line_uses_the_stored_normal():
    plane = Plane(Vec3d(0, 0, 1), 5.0)
    plane.normal = Vec3d(0, 0, 2)
    assert xyz(plane_line(b=Vec3d(1, 2, 1), a=Vec3d(1, 2, 0), plane=plane)) == (1, 2, 2.5)


coords = st.floats(-1e3, 1e3, allow_subnormal=False)
points = st.tuples(coords, coords, coords)


@given(points, points, points, points, points)
def test_from_points_and_plane_line_bit_exact(p1, p2, p3, a, b):
    normal = cross(sub(p2, p1), sub(p3, p1))
    assume(dot(normal, normal) > 0)
    plane = Plane.from_points(Vec3d(*p1), Vec3d(*p2), Vec3d(*p3))
    n = normalize(normal)
    assert same(xyz(plane.normal), n) and same(plane.distance, -dot(n, p1))
    delta = sub(b, a)
    t = -(dot(n, a) + plane.distance) / dot(n, delta) if dot(n, delta) != 0 else NAN
    assume(not math.isnan(t))
    assert same(xyz(plane_line(plane, Vec3d(*a), Vec3d(*b))), tuple(x + d * t for x, d in zip(a, delta)))


@pytest.mark.parametrize(
    "c, point, inner, checked, unchecked",
    [
        (C, (1, 0, 0), False, True, True),
        (C, (0.5, 0, 0), False, False, False),
        (C, (0.5, 0, 0), True, True, True),
        (C, (0, 0, 0), True, True, True),
        (C, (2, 0, 0), False, False, False),
        (C, (2, 0, 0), True, False, False),
        (C, (1, 0, 1e-15), False, False, True),
        (C, (0, 0, 0.5), True, False, True),
        (C, (NAN, 0, 0), True, False, False),
        (C, (1 - 2**-52, 0, 0), True, False, False),  # a clearance of exactly ε is outside
        (circle((3, 4, 5), 0.0), (3, 4, 5), False, True, True),
        (circle((3, 4, 5), 0.0), (3, 4, 5), True, True, True),
    ],
)
def test_circle_point(c, point, inner, checked, unchecked):
    assert circle_point(c, Vec3d(*point), inner) is checked
    assert circle_point_unchecked(inner=inner, point=Vec3d(*point), circle=c) is unchecked


def test_inner_accepts_numpy_booleans():
    np = pytest.importorskip("numpy")
    half = Vec3d(0.5, 0, 0)
    assert circle_point(C, half, np.True_) is True and circle_point(C, half, np.bool_(False)) is False
    assert circle_point_unchecked(C, half, np.array([True])[0]) is True
    with raises(TypeError, "argument 'inner': 'int64' object is not an instance of 'bool'"):
        circle_point(C, half, np.int64(1))


S3 = 0.8660254037844386


@pytest.mark.parametrize(
    "c1, c2, expected",
    [
        (C, circle((1, 0, 0), 1), ((0.5, -S3, 0.0), (0.5, S3, 0.0))),
        (C, circle((1, 0, 0), 1, DOWN), ((0.5, S3, 0.0), (0.5, -S3, 0.0))),
        (circle((0, 0, 0), 5), circle((8, 0, 0), 5), ((4.0, -3.0, 0.0), (4.0, 3.0, 0.0))),
        (C, circle((2, 0, 0), 1), ((1.0, 0.0, 0.0), (1.0, 0.0, 0.0))),
        (circle((0, 0, 0), 2), circle((1, 0, 0), 1), ((2.0, 0.0, 0.0), (2.0, 0.0, 0.0))),
        # One plane seen from both sides.
        (circle((0, 0, 5), 1), circle((1, 0, 5), 1, DOWN), ((0.5, S3, 5.0), (0.5, -S3, 5.0))),
        (circle((0, 0, 0), NAN), circle((1, 0, 0), 1), ((NAN,) * 3, (NAN,) * 3)),
    ],
)
def test_circle_circle_points(c1, c2, expected):
    result = circle_circle(c1, c2)
    assert type(result) is tuple and all(type(v) is Vec3d for v in result)
    assert same(tuple(xyz(v) for v in result), expected)


def test_circle_circle_tangent_radicand_below_zero_is_zero():
    c1, c2 = (0.0, 0.0, 0.0), (0.8, 0.0, 0.0)
    assert chord_radicand(c1, 0.5, c2, 0.3)[0] < 0  # rounding, not geometry
    first, second = circle_circle(circle(c1, 0.5), circle(c2, 0.3))
    assert xyz(first) == xyz(second) and not any(map(math.isnan, xyz(first)))
    assert same((xyz(first), xyz(second)), ref_circle_circle(c1, 0.5, c2, 0.3, UP))


unit = st.floats(0, 1)


@given(points, st.floats(0.01, 100), st.floats(0.01, 100), unit, unit, st.booleans())
def test_circle_circle_bit_exact(c1, r1, r2, t, angle, flip):
    # Centers a distance between |r1 - r2| and r1 + r2 apart, in the plane z = c1.z.
    d = abs(r1 - r2) + t * (r1 + r2 - abs(r1 - r2))
    c2 = (c1[0] + d * math.cos(6.28 * angle), c1[1] + d * math.sin(6.28 * angle), c1[2])
    n2 = DOWN if flip else UP
    d = math.sqrt(dot(sub(c1, c2), sub(c1, c2)))
    assume(0 < d <= r1 + r2 and d >= abs(r1 - r2))
    assume(r1 != r2 or any(abs(x - y) >= 2.0**-52 for x, y in zip(c1, c2)))  # not Identical
    result = circle_circle(circle(c1, r1), circle(c2, r2, n2))
    assert same(tuple(xyz(v) for v in result), ref_circle_circle(c1, r1, c2, r2, n2))


@pytest.mark.parametrize(
    "c1, c2, text",
    [
        (C, C, IDENTICAL),
        (C, circle((0, 0, 0), 1, DOWN), IDENTICAL),
        (Circle.none(), Circle.none(), OUT_OF_PLANE),
        (C, circle((3, 0, 0), 1), TOO_FAR),
        (circle((0, 0, 0), 3), circle((1, 0, 0), 1), CONTAINED),
        (C, circle((0, 0, 0), 2), CONTAINED),
        (C, circle((0, 0, 1), 1), OUT_OF_PLANE),
        (C, circle((0, 0, 1), 1, DOWN), OUT_OF_PLANE),
        (C, circle((0, 0, 0), 1, (0, 1, 0)), OUT_OF_PLANE),
        (circle((NAN, 0, 0), 1), C, OUT_OF_PLANE),
        # Opposite normals in the plane z = 5 reach the distance tests.
        (circle((0, 0, 5), 1), circle((3, 0, 5), 1, DOWN), TOO_FAR),
        (circle((0, 0, 5), 3), circle((1, 0, 5), 1, DOWN), CONTAINED),
    ],
)
def test_circle_circle_failures(c1, c2, text):
    def state():
        return tuple((xyz(c.center), c.radius, xyz(c.normal)) for c in (c1, c2))

    before = state()
    with raises(ValueError, text):
        circle_circle(c1, c2)
    assert same(state(), before)


# ---- argument errors name the first offending argument


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: Plane(), TypeError, "Plane.__new__() missing 2 required positional arguments: 'normal' and 'distance'"),
        (lambda: Plane(Vec3d(0, 0, 1), 1, 2), TypeError, "Plane.__new__() takes 2 positional arguments but 3 were given"),
        (lambda: Plane((0, 0, 1), "5"), TypeError, "argument 'normal': 'tuple' object is not an instance of 'Vec3d'"),
        (lambda: Plane(O, "5"), TypeError, "argument 'distance': must be real number, not str"),
        (lambda: Plane(O, 10**400), OverflowError, "int too large to convert to float"),
        (lambda: Plane.from_point(normal=O, pt=O), TypeError, "Plane.from_point() got an unexpected keyword argument 'pt'"),
        (lambda: Plane.from_points(O, None, 1), TypeError, "argument 'point2': 'None' is not an instance of 'Vec3d'"),
        (lambda: P5.contains_point(1), TypeError, "argument 'point': 'int' object is not an instance of 'Vec3d'"),
        (lambda: setattr(P5, "normal", C), TypeError, "argument 'value': 'Circle' object is not an instance of 'Vec3d'"),
        (lambda: setattr(P5, "distance", "x"), TypeError, "argument 'value': must be real number, not str"),
        (lambda: delattr(P5, "normal"), AttributeError, "property has no deleter"),
        (lambda: Circle(O, -2.0), TypeError, "Circle.__new__() missing 1 required positional argument: 'normal'"),
        (lambda: Circle(O, "1", None), TypeError, "argument 'radius': must be real number, not str"),
        (lambda: Circle(O, 1, P5), TypeError, "argument 'normal': 'Plane' object is not an instance of 'Vec3d'"),
        (lambda: C.in_same_plane(O), TypeError, "argument 'other': 'Vec3d' object is not an instance of 'Circle'"),
        (lambda: setattr(C, "radius", None), TypeError, "argument 'value': must be real number, not NoneType"),
        (lambda: C < C, TypeError, "'<' not supported between instances of 'kalvor.geometry.Circle' and 'kalvor.geometry.Circle'"),
        (lambda: hash(C), TypeError, "unhashable type: 'kalvor.geometry.Circle'"),
        (lambda: plane_line(C, 1, 2), TypeError, "argument 'plane': 'Circle' object is not an instance of 'Plane'"),
        (lambda: plane_line(P5, O, None), TypeError, "argument 'b': 'None' is not an instance of 'Vec3d'"),
        (lambda: plane_line(P5, O), TypeError, "plane_line() missing 1 required positional argument: 'b'"),
        (lambda: circle_point(C, O, 1), TypeError, "argument 'inner': 'int' object is not an instance of 'bool'"),
        (lambda: circle_point(O, O, 1), TypeError, "argument 'circle': 'Vec3d' object is not an instance of 'Circle'"),
        (lambda: circle_point_unchecked(C, O, None), TypeError, "argument 'inner': 'None' is not an instance of 'bool'"),
        (lambda: circle_point_unchecked(C, O, True, point=O), TypeError,
         "circle_point_unchecked() got multiple values for argument 'point'"),
        (lambda: circle_circle(C), TypeError, "circle_circle() missing 1 required positional argument: 'circle2'"),
        (lambda: circle_circle(1, "x"), TypeError, "argument 'circle1': 'int' object is not an instance of 'Circle'"),
        (lambda: circle_circle(C, P5), TypeError, "argument 'circle2': 'Plane' object is not an instance of 'Circle'"),
    ],
)
def test_argument_errors(call, exc, text):
    with raises(exc, text):
        call()
