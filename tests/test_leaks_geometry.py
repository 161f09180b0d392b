"""Reference-leak check of kalvor.geometry: every member of Plane and Circle and
every module function, including their error paths, repeated many times."""

import pytest

from kalvor import Vec3d, geometry
from leakcheck import Floaty, assert_no_leak, needs_debug_interpreter

pytestmark = needs_debug_interpreter

Plane, Circle = geometry.Plane, geometry.Circle
plane_line, circle_point = geometry.plane_line, geometry.circle_point
circle_point_unchecked, circle_circle = geometry.circle_point_unchecked, geometry.circle_circle

N = Vec3d(0, 0, 1)
A = Vec3d(1, 2, 0)
B = Vec3d(1, 2, 1)
PL = Plane(N, 5.0)
C = Circle(Vec3d(0, 0, 0), 1.0, N)
D = Circle(Vec3d(1, 0, 0), 1.0, N)


class Reentrant:
    """Writes the vector while the constructor holds it borrowed."""

    def __init__(self, v):
        self.v = v

    def __float__(self):
        self.v.x = 2.0
        return 1.0


class AlwaysEqual:
    def __eq__(self, other):
        return True


class Unequal:
    def __eq__(self, other):
        raise ZeroDivisionError


def _plane_setters():
    p = Plane(N, 1.0)
    p.normal = Vec3d(0, 0, 2)
    p.distance = Floaty()


def _circle_setters():
    c = Circle(A, 1.0, N)
    c.center = B
    c.radius = -2
    c.normal = Vec3d(0, 0, 2)


def _borrow_conflict():
    v = Vec3d(0, 0, 1)
    Plane(v, Reentrant(v))


# Built once: constructing a NumPy integer scalar itself leaks references
# under the debug interpreter, which would hide ours.
try:
    import numpy

    NUMPY_INNER = (numpy.True_, numpy.bool_(False), numpy.int64(1))
except ImportError:
    NUMPY_INNER = ()


def _numpy_inner():
    for inner in NUMPY_INNER:
        try:
            circle_point(C, A, inner)
        except TypeError:
            pass


OPERATIONS = {
    "plane_construct": lambda: (Plane(N, 5.0), Plane(normal=N, distance=Floaty()), Plane(Vec3d(0, 0, 0), 1)),
    "plane_construct_missing": lambda: Plane(N),
    "plane_construct_extra": lambda: Plane(N, 1, 2),
    "plane_construct_keyword": lambda: Plane(N, 1, normal=N),
    "plane_construct_bad_normal": lambda: Plane((0, 0, 1), 1),
    "plane_construct_bad_distance": lambda: Plane(N, "1"),
    "plane_construct_overflow": lambda: Plane(N, 10**400),
    "plane_construct_conflict": _borrow_conflict,
    "plane_statics": lambda: (Plane.xy(), Plane.xz(), Plane.yz()),
    "plane_from_point": lambda: (Plane.from_point(N, A), Plane.from_point(point=A, normal=N)),
    "plane_from_point_bad": lambda: Plane.from_point(N, None),
    "plane_from_points": lambda: (Plane.from_points(A, B, N), Plane.from_points(A, A, A)),
    "plane_from_points_bad": lambda: Plane.from_points(A, B, 3),
    "plane_methods": lambda: (PL.contains_point(A), PL.distance_to_point(point=B), PL.normal, PL.distance),
    "plane_method_bad": lambda: PL.contains_point(C),
    "plane_method_missing": lambda: PL.distance_to_point(),
    "plane_setters": _plane_setters,
    "plane_setter_bad": lambda: setattr(Plane(N, 1), "normal", 1),
    "plane_delete": lambda: delattr(Plane(N, 1), "distance"),
    "plane_default_object": lambda: (PL == PL, PL != C, hash(PL), repr(PL)),
    "circle_construct": lambda: (Circle(A, -2, N), Circle(center=A, radius=Floaty(), normal=Vec3d(0, 0, 0))),
    "circle_construct_bad": lambda: Circle(A, 1, None),
    "circle_construct_missing": lambda: Circle(A),
    "circle_none": lambda: Circle.none(),
    "circle_methods": lambda: (C.is_degenerate(), C.area, C.get_plane(), C.in_same_plane(D), C.in_same_plane(other=C)),
    "circle_method_bad": lambda: C.in_same_plane(PL),
    "circle_properties": lambda: (C.center, C.radius, C.normal),
    "circle_setters": _circle_setters,
    "circle_setter_bad": lambda: setattr(Circle(A, 1, N), "radius", "x"),
    "circle_delete": lambda: delattr(Circle(A, 1, N), "normal"),
    "circle_area_readonly": lambda: setattr(Circle(A, 1, N), "area", 1.0),
    "circle_compare": lambda: (C == C, C != D, C == 1, C != None, C == AlwaysEqual(), C != AlwaysEqual()),  # noqa: E711
    "circle_compare_raising": lambda: C != Unequal(),
    "circle_order": lambda: C < D,
    "circle_hash": lambda: hash(C),
    "plane_line": lambda: (plane_line(PL, A, B), plane_line(b=B, a=A, plane=PL), plane_line(PL, A, A)),
    "plane_line_bad": lambda: plane_line(C, A, B),
    "plane_line_missing": lambda: plane_line(PL, A),
    "circle_point": lambda: (circle_point(C, A, True), circle_point(C, Vec3d(1, 0, 0), False)),
    "circle_point_bad_inner": lambda: circle_point(C, A, 1),
    "circle_point_numpy": _numpy_inner,
    "circle_point_unchecked": lambda: circle_point_unchecked(inner=False, point=A, circle=C),
    "circle_point_unchecked_bad": lambda: circle_point_unchecked(C, None, False),
    "circle_circle": lambda: circle_circle(C, D),
    "circle_circle_identical": lambda: circle_circle(C, C),
    "circle_circle_out_of_plane": lambda: circle_circle(Circle.none(), Circle.none()),
    "circle_circle_too_far": lambda: circle_circle(C, Circle(Vec3d(3, 0, 0), 1, N)),
    "circle_circle_contained": lambda: circle_circle(C, Circle(Vec3d(0, 0, 0), 2, N)),
    "circle_circle_bad": lambda: circle_circle(C, 1),
    "circle_circle_extra": lambda: circle_circle(C, D, C),
    "circle_circle_unknown_keyword": lambda: circle_circle(C, circle3=D),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    assert_no_leak(name, OPERATIONS[name])
