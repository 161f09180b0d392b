"""Reference-leak check of Vec3d, the angles and Quat: every public operation,
including its error paths, repeated many times."""

import pytest

from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d
from leakcheck import Floaty, assert_no_leak, needs_debug_interpreter

pytestmark = needs_debug_interpreter

V = Vec3d(1, 2, 3)
W = Vec3d(-4, 0.5, 6)
NAN = float("nan")


class Sneaky:
    """Writes the vector while the subscript holds it borrowed."""

    def __init__(self, v):
        self.v = v

    def __index__(self):
        self.v.x = 2.0
        return 0


def _setters():
    v = Vec3d(1, 2, 3)
    v.x = 4
    v.y = Floaty()
    v.z = True


def _subscript_conflict():
    v = Vec3d(1, 2, 3)
    v[Sneaky(v)]


# (name, operation); an operation may raise, the check runs it either way.
OPERATIONS = {
    "construct": lambda: Vec3d(1, 2.5, Floaty()),
    "construct_keywords": lambda: Vec3d(x=1, y=2, z=3),
    "construct_via_new": lambda: Vec3d.__new__(Vec3d, 1, 2, z=3),
    "construct_missing": lambda: Vec3d(1),
    "construct_extra": lambda: Vec3d(1, 2, 3, 4),
    "construct_unknown_keyword": lambda: Vec3d(1, 2, w=3),
    "construct_duplicate": lambda: Vec3d(1, 2, 3, x=1),
    "construct_bad_type": lambda: Vec3d("1", 2, 3),
    "construct_overflow": lambda: Vec3d(10**400, 0, 0),
    "statics": lambda: (Vec3d.zero(), Vec3d.i(), Vec3d.j(), Vec3d.k()),
    "new_from_to": lambda: Vec3d.new_from_to(**{"from": V, "to": W}),
    "new_from_to_bad": lambda: Vec3d.new_from_to(V, None),
    "methods": lambda: (
        V.dot(W),
        V.cross(W),
        V.magnitude(),
        V.is_unit(),
        V.normalize(),
        V.distance_to(W),
        V.distance_squared(W),
        V.distance_to_line(V, W),
        V.project_onto_line(V, W),
        V.project_onto_plane(W),
        V.scalar_triple_product(V, W),
        V.to_array(),
    ),
    "method_keyword": lambda: V.dot(other=W),
    "method_bad_argument": lambda: V.dot(1),
    "method_none_argument": lambda: V.cross(None),
    "method_too_many": lambda: V.dot(V, W),
    "method_noargs_extra": lambda: V.magnitude(1),
    "properties": lambda: (V.x, V.y, V.z),
    "setters": _setters,
    "setter_bad": lambda: setattr(Vec3d(1, 2, 3), "x", "a"),
    "delete_property": lambda: delattr(Vec3d(1, 2, 3), "x"),
    "unknown_attribute": lambda: setattr(Vec3d(1, 2, 3), "foo", 1),
    "repr": lambda: (repr(V), str(Vec3d(NAN, -0.0, 1e21))),
    "hash": lambda: hash(V),
    "equality": lambda: (V == W, V != W, V == 1, V != None),  # noqa: E711
    "ordering": lambda: V < W,
    "getitem": lambda: (V[0], V[1], V[2]),
    "getitem_out_of_range": lambda: V[3],
    "getitem_negative": lambda: V[-1],
    "getitem_huge": lambda: V[2**70],
    "getitem_float": lambda: V[1.0],
    "getitem_conflict": _subscript_conflict,
    "iterate": lambda: (list(V), tuple(V), 2.0 in V),
    "arithmetic": lambda: (-V, V + W, V - W, V * 2, 2 * V, V * True, V / 2, V / 0),
    "arithmetic_unsupported": lambda: V + 1,
    "multiply_unsupported": lambda: V * V,
    "divide_reflected": lambda: 2 / V,
}


R = AngleRadians(1.25)
D = AngleDegrees(30)
Q = Quat(0.5, 0.5, -0.5, 0.5)


def _angle_setters():
    a = AngleRadians(1)
    a.angle = 2
    d = AngleDegrees(1)
    d.angle = Floaty()


def _quat_setters():
    q = Quat(1, 2, 3, 4)
    q.w, q.i, q.j, q.k = 1, 2.0, True, Floaty()


OPERATIONS.update(
    {
        "angle_to": lambda: (V.angle_to(W), V.angle_to(None)),
        "to_quat": lambda: V.to_quat(),
        "radians_construct": lambda: (AngleRadians(1), AngleRadians(angle=Floaty())),
        "radians_construct_bad": lambda: AngleRadians("1"),
        "radians_construct_missing": lambda: AngleRadians(),
        "radians_constants": lambda: (
            AngleRadians.zero(),
            AngleRadians.pi(),
            AngleRadians.two_pi(),
            AngleRadians.half_pi(),
            AngleRadians.quarter_pi(),
            AngleRadians.third_pi(),
            AngleRadians.sixth_pi(),
        ),
        "radians_methods": lambda: (R.to_degrees(), R.sin(), R.cos(), R.tan(), R.sec(), R.csc(), R.cot(), R.angle),
        "radians_arithmetic": lambda: (-R, R + R, R - R, R * 2, R / 2, R / 0, R * True),
        "radians_arithmetic_unsupported": lambda: R + 1,
        "radians_reflected_unsupported": lambda: 2 * R,
        "radians_compare": lambda: (R == R, R != R, R < R, R <= R, R > R, R >= R, R == 1, R != 1, R == D),
        "radians_order_unsupported": lambda: R < 1,
        "radians_hash": lambda: hash(R),
        "radians_repr": lambda: (repr(R), str(AngleRadians(float("nan")))),
        "angle_setters": _angle_setters,
        "angle_setter_bad": lambda: setattr(AngleRadians(1), "angle", "x"),
        "angle_delete": lambda: delattr(AngleDegrees(1), "angle"),
        "degrees_methods": lambda: (AngleDegrees(1), D.to_radians(), -D, repr(D), D == D, D != D, D < D, D.angle),
        "degrees_unsupported": lambda: D + D,
        "quat_construct": lambda: (Quat(1, 2, 3, 4), Quat(w=1, i=2, j=3, k=Floaty()), Quat.identity()),
        "quat_construct_bad": lambda: Quat(1, 2, 3, "x"),
        "quat_construct_missing": lambda: Quat(1, 2),
        "quat_from_axis_angle": lambda: Quat.from_axis_angle(V, R),
        "quat_from_axis_angle_bad_angle": lambda: Quat.from_axis_angle(V, 1.0),
        "quat_from_axis_angle_bad_axis": lambda: Quat.from_axis_angle((1, 2, 3), R),
        "quat_methods": lambda: (
            Q.conjugate(),
            Q.magnitude(),
            Q.normalize(),
            Q.to_vec3d(),
            Q.is_unit(),
            Q.to_axis_angle(),
            Q.to_rotation_matrix(),
            Q.rotate(V),
            Q.rotate(v=W),
            (Q.w, Q.i, Q.j, Q.k),
        ),
        "quat_rotate_bad": lambda: Q.rotate((1, 2, 3)),
        "quat_setters": _quat_setters,
        "quat_setter_bad": lambda: setattr(Quat(1, 2, 3, 4), "w", None),
        "quat_compare": lambda: (Q == Q, Q != Q, Q == 1, Q != None),  # noqa: E711
        "quat_order_unsupported": lambda: Q < Q,
        "quat_arithmetic_unsupported": lambda: Q * Q,
        "quat_hash": lambda: hash(Q),
        "quat_repr": lambda: repr(Q),
    }
)


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    assert_no_leak(name, OPERATIONS[name])
