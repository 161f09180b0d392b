"""Reference-leak check of every public operation and error path of kalvor and
kalvor.geometry: one operation per entry, each with the outcome it must have."""

import pytest

from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList, geometry
from leakcheck import RETURNS, Floaty, assert_no_leak, needs_debug_interpreter

pytestmark = needs_debug_interpreter


def _panic_type():
    try:
        VecList.empty().collapse(3)
    except BaseException as e:
        return type(e)


Panic = _panic_type()
Plane, Circle = geometry.Plane, geometry.Circle
plane_line, circle_point = geometry.plane_line, geometry.circle_point
circle_point_unchecked, circle_circle = geometry.circle_point_unchecked, geometry.circle_circle

NAN = float("nan")
V = Vec3d(1, 2, 3)
W = Vec3d(-4, 0.5, 6)
R = AngleRadians(1.25)
D = AngleDegrees(30)
Q = Quat(0.5, 0.5, -0.5, 0.5)
ITEMS = [Vec3d(1, 2, 3), Vec3d(-4, 0.5, 6), Vec3d(0, 0, 0), Vec3d(NAN, 1, 1)]
L = VecList(ITEMS)
O = Vec3d(0.5, 0.25, -1)
N = Vec3d(0, 0, 1)
A = Vec3d(1, 2, 0)
B = Vec3d(1, 2, 1)
PL = Plane(N, 5.0)
C = Circle(Vec3d(0, 0, 0), 1.0, N)
CD = Circle(Vec3d(1, 0, 0), 1.0, N)


class Sneaky:
    """Writes the vector while the subscript holds it borrowed."""

    def __init__(self, v):
        self.v = v

    def __index__(self):
        self.v.x = 2.0
        return 0


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


def _setters():
    v = Vec3d(1, 2, 3)
    v.x, v.y, v.z = 4, Floaty(), True


def _subscript_conflict():
    v = Vec3d(1, 2, 3)
    v[Sneaky(v)]


def _angle_setters():
    a, d = AngleRadians(1), AngleDegrees(1)
    a.angle, d.angle = 2, Floaty()


class _MatrixRows:
    """A sequence that is neither a list nor a tuple, of rows that are not either."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i >= 3:
            raise IndexError(i)
        return _Row(i)


class _Row:
    def __init__(self, i):
        self.i = i

    def __len__(self):
        return 3

    def __getitem__(self, j):
        if j >= 3:
            raise IndexError(j)
        return float(self.i == j)


def _quat_setters():
    q = Quat(1, 2, 3, 4)
    q.w, q.i, q.j, q.k = 1, 2.0, True, Floaty()


def _mutations():
    lst = VecList(ITEMS)
    lst.append(O)
    lst.extend(L)
    lst.rotate(Q)


def _self_extend():
    lst = VecList(ITEMS)
    lst.extend(lst)


def _iterate_while_changing():
    lst = VecList(ITEMS)
    for _ in lst:
        lst.append(O)


def _exhausted_iterator():
    it = iter(VecList([O]))
    next(it)
    next(it)


def _borrow_conflict():
    v = Vec3d(0, 0, 1)
    Plane(v, Reentrant(v))


def _plane_setters():
    p = Plane(N, 1.0)
    p.normal, p.distance = Vec3d(0, 0, 2), Floaty()


def _circle_setters():
    c = Circle(A, 1.0, N)
    c.center, c.radius, c.normal = B, -2, Vec3d(0, 0, 2)


# Built once: constructing NumPy scalars itself leaks references under the
# debug interpreter, which would hide ours.
try:
    import numpy

    NUMPY_TRUE, NUMPY_INT = numpy.True_, numpy.int64(1)
except ImportError:
    NUMPY_TRUE = NUMPY_INT = None

# name: (expected outcome, operation)
OPERATIONS = {
    # Vec3d
    "construct": (RETURNS, lambda: Vec3d(1, 2.5, Floaty())),
    "construct_keywords": (RETURNS, lambda: Vec3d(x=1, y=2, z=3)),
    "construct_via_new": (RETURNS, lambda: Vec3d.__new__(Vec3d, 1, 2, z=3)),
    "construct_missing": (TypeError, lambda: Vec3d(1)),
    "construct_extra": (TypeError, lambda: Vec3d(1, 2, 3, 4)),
    "construct_unknown_keyword": (TypeError, lambda: Vec3d(1, 2, w=3)),
    "construct_duplicate": (TypeError, lambda: Vec3d(1, 2, 3, x=1)),
    "construct_bad_type": (TypeError, lambda: Vec3d("1", 2, 3)),
    "construct_overflow": (OverflowError, lambda: Vec3d(10**400, 0, 0)),
    "zero": (RETURNS, Vec3d.zero),
    "i": (RETURNS, Vec3d.i),
    "new_from_to": (RETURNS, lambda: Vec3d.new_from_to(**{"from": V, "to": W})),
    "new_from_to_bad": (TypeError, lambda: Vec3d.new_from_to(V, None)),
    "dot": (RETURNS, lambda: V.dot(W)),
    "dot_keyword": (RETURNS, lambda: V.dot(other=W)),
    "cross": (RETURNS, lambda: V.cross(W)),
    "magnitude": (RETURNS, lambda: V.magnitude()),
    "is_unit": (RETURNS, lambda: V.is_unit()),
    "normalize": (RETURNS, lambda: V.normalize()),
    "distance_to": (RETURNS, lambda: V.distance_to(W)),
    "distance_squared": (RETURNS, lambda: V.distance_squared(W)),
    "distance_to_line": (RETURNS, lambda: V.distance_to_line(V, W)),
    "project_onto_line": (RETURNS, lambda: V.project_onto_line(V, W)),
    "project_onto_plane": (RETURNS, lambda: V.project_onto_plane(W)),
    "scalar_triple_product": (RETURNS, lambda: V.scalar_triple_product(V, W)),
    "to_array": (RETURNS, lambda: V.to_array()),
    "angle_to": (RETURNS, lambda: V.angle_to(W)),
    "angle_to_bad": (TypeError, lambda: V.angle_to(None)),
    "to_quat": (RETURNS, lambda: V.to_quat()),
    "method_bad_argument": (TypeError, lambda: V.dot(1)),
    "method_none_argument": (TypeError, lambda: V.cross(None)),
    "method_too_many": (TypeError, lambda: V.dot(V, W)),
    "method_noargs_extra": (TypeError, lambda: V.magnitude(1)),
    "property": (RETURNS, lambda: V.x),
    "setters": (RETURNS, _setters),
    "setter_bad": (TypeError, lambda: setattr(Vec3d(1, 2, 3), "x", "a")),
    "delete_property": (AttributeError, lambda: delattr(Vec3d(1, 2, 3), "x")),
    "unknown_attribute": (AttributeError, lambda: setattr(Vec3d(1, 2, 3), "foo", 1)),
    "repr": (RETURNS, lambda: repr(Vec3d(NAN, -0.0, 1e21))),
    "hash": (RETURNS, lambda: hash(V)),
    "equal": (RETURNS, lambda: V == W),
    "not_equal": (RETURNS, lambda: V != W),
    "equal_other_type": (RETURNS, lambda: V == 1),
    "not_equal_none": (RETURNS, lambda: V != None),  # noqa: E711
    "ordering": (TypeError, lambda: V < W),
    "getitem": (RETURNS, lambda: V[2]),
    "getitem_out_of_range": (IndexError, lambda: V[3]),
    "getitem_negative": (OverflowError, lambda: V[-1]),
    "getitem_huge": (OverflowError, lambda: V[2**70]),
    "getitem_float": (TypeError, lambda: V[1.0]),
    "getitem_conflict": (RuntimeError, _subscript_conflict),
    "unpack": (RETURNS, lambda: tuple(V)),
    "contains": (RETURNS, lambda: 2.0 in V),
    "negate": (RETURNS, lambda: -V),
    "add": (RETURNS, lambda: V + W),
    "subtract": (RETURNS, lambda: V - W),
    "multiply": (RETURNS, lambda: V * 2),
    "multiply_reflected": (RETURNS, lambda: 2 * V),
    "multiply_bool": (RETURNS, lambda: V * True),
    "divide": (RETURNS, lambda: V / 2),
    "divide_zero": (RETURNS, lambda: V / 0),
    "add_unsupported": (TypeError, lambda: V + 1),
    "multiply_unsupported": (TypeError, lambda: V * V),
    "multiply_float_like": (RETURNS, lambda: V * Floaty()),
    "divide_reflected": (TypeError, lambda: 2 / V),
    # angles
    "radians_construct": (RETURNS, lambda: AngleRadians(angle=Floaty())),
    "radians_construct_bad": (TypeError, lambda: AngleRadians("1")),
    "radians_construct_missing": (TypeError, lambda: AngleRadians()),
    "radians_constant": (RETURNS, AngleRadians.third_pi),
    "radians_to_degrees": (RETURNS, lambda: R.to_degrees()),
    "radians_sin": (RETURNS, lambda: R.sin()),
    "radians_cot": (RETURNS, lambda: R.cot()),
    "radians_property": (RETURNS, lambda: R.angle),
    "radians_negate": (RETURNS, lambda: -R),
    "radians_add": (RETURNS, lambda: R + R),
    "radians_subtract": (RETURNS, lambda: R - R),
    "radians_multiply": (RETURNS, lambda: R * 2),
    "radians_divide": (RETURNS, lambda: R / 0),
    "radians_add_unsupported": (TypeError, lambda: R + 1),
    "radians_reflected_unsupported": (TypeError, lambda: 2 * R),
    "radians_equal": (RETURNS, lambda: R == R),
    "radians_not_equal": (RETURNS, lambda: R != R),
    "radians_less": (RETURNS, lambda: R < R),
    "radians_greater_equal": (RETURNS, lambda: R >= R),
    "radians_equal_other_type": (RETURNS, lambda: R == D),
    "radians_not_equal_other_type": (RETURNS, lambda: R != 1),
    "radians_order_unsupported": (TypeError, lambda: R < 1),
    "radians_hash": (TypeError, lambda: hash(R)),
    "radians_repr": (RETURNS, lambda: repr(AngleRadians(NAN))),
    "angle_setters": (RETURNS, _angle_setters),
    "angle_setter_bad": (TypeError, lambda: setattr(AngleRadians(1), "angle", "x")),
    "angle_delete": (AttributeError, lambda: delattr(AngleDegrees(1), "angle")),
    "degrees_construct": (RETURNS, lambda: AngleDegrees(1)),
    "degrees_to_radians": (RETURNS, lambda: D.to_radians()),
    "degrees_repr": (RETURNS, lambda: repr(D)),
    "degrees_not_equal": (RETURNS, lambda: D != D),
    "degrees_unsupported": (TypeError, lambda: D + D),
    # Quat
    "quat_construct": (RETURNS, lambda: Quat(w=1, i=2, j=3, k=Floaty())),
    "quat_identity": (RETURNS, Quat.identity),
    "quat_construct_bad": (TypeError, lambda: Quat(1, 2, 3, "x")),
    "quat_construct_missing": (TypeError, lambda: Quat(1, 2)),
    "quat_from_axis_angle": (RETURNS, lambda: Quat.from_axis_angle(V, R)),
    "quat_from_axis_angle_bad_angle": (TypeError, lambda: Quat.from_axis_angle(V, 1.0)),
    "quat_from_axis_angle_bad_axis": (TypeError, lambda: Quat.from_axis_angle((1, 2, 3), R)),
    "quat_conjugate": (RETURNS, lambda: Q.conjugate()),
    "quat_magnitude": (RETURNS, lambda: Q.magnitude()),
    "quat_normalize": (RETURNS, lambda: Q.normalize()),
    "quat_to_vec3d": (RETURNS, lambda: Q.to_vec3d()),
    "quat_is_unit": (RETURNS, lambda: Q.is_unit()),
    "quat_to_axis_angle": (RETURNS, lambda: Q.to_axis_angle()),
    "quat_to_rotation_matrix": (RETURNS, lambda: Q.to_rotation_matrix()),
    "quat_rotate": (RETURNS, lambda: Q.rotate(v=W)),
    "quat_property": (RETURNS, lambda: Q.k),
    "quat_rotate_bad": (TypeError, lambda: Q.rotate((1, 2, 3))),
    "quat_setters": (RETURNS, _quat_setters),
    "quat_setter_bad": (TypeError, lambda: setattr(Quat(1, 2, 3, 4), "w", None)),
    "quat_equal": (RETURNS, lambda: Q == Q),
    "quat_not_equal_none": (RETURNS, lambda: Q != None),  # noqa: E711
    "quat_order_unsupported": (TypeError, lambda: Q < Q),
    "quat_multiply_unsupported": (TypeError, lambda: Q * Q),
    "quat_hash": (TypeError, lambda: hash(Q)),
    "quat_repr": (RETURNS, lambda: repr(Q)),
    "quat_then": (RETURNS, lambda: Q.then(other=Quat(2, 0, 0, 0))),
    "quat_then_bad": (TypeError, lambda: Q.then(None)),
    "quat_inverse": (RETURNS, lambda: Quat(0, 0, 0, 0).inverse()),
    "quat_inverse_extra": (TypeError, lambda: Q.inverse(Q)),
    "quat_slerp": (RETURNS, lambda: Q.slerp(Quat.identity(), 0.25)),
    "quat_slerp_floaty": (RETURNS, lambda: Q.slerp(other=Q, t=Floaty())),
    "quat_slerp_bad_t": (TypeError, lambda: Q.slerp(Q, "x")),
    "quat_slerp_missing": (TypeError, lambda: Q.slerp(Q)),
    "quat_between": (RETURNS, lambda: Quat.between(b=V, a=-V)),
    "quat_between_zero": (RETURNS, lambda: Quat.between(V, Vec3d.zero())),
    "quat_between_bad": (TypeError, lambda: Quat.between(V, (1, 2, 3))),
    "quat_from_rotation_matrix": (RETURNS, lambda: Quat.from_rotation_matrix(Q.to_rotation_matrix())),
    "quat_from_rotation_matrix_tuples": (RETURNS, lambda: Quat.from_rotation_matrix(m=((1, 0, 0), (0, 1, 0), (0, 0, True)))),
    "quat_from_rotation_matrix_sequence": (RETURNS, lambda: Quat.from_rotation_matrix(_MatrixRows())),
    "quat_from_rotation_matrix_reflection": (ValueError, lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, -1]])),
    "quat_from_rotation_matrix_not_orthonormal": (
        ValueError,
        lambda: Quat.from_rotation_matrix([[Floaty(), 0, 0], [0, 1, 0], [0, 0, 1]]),
    ),
    "quat_from_rotation_matrix_short": (TypeError, lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0]])),
    "quat_from_rotation_matrix_short_row": (TypeError, lambda: Quat.from_rotation_matrix([[1, 0, 0], (0, 1, 0), [0, 0]])),
    "quat_from_rotation_matrix_bad_element": (TypeError, lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, "1"]])),
    "quat_from_rotation_matrix_bad_row": (TypeError, lambda: Quat.from_rotation_matrix([[1, 0, 0], 5, [0, 0, 1]])),
    "quat_from_rotation_matrix_overflow": (OverflowError, lambda: Quat.from_rotation_matrix([[1, 0, 0], [0, 1, 0], [0, 0, 10**400]])),
    "quat_from_rotation_matrix_none": (TypeError, lambda: Quat.from_rotation_matrix(None)),
    # VecList and its iterator
    "list_construct": (RETURNS, lambda: VecList(ITEMS)),
    "list_construct_tuple": (RETURNS, lambda: VecList(tuple(ITEMS))),
    "list_construct_copy": (RETURNS, lambda: VecList(list=L)),
    "list_empty": (RETURNS, VecList.empty),
    "list_construct_str": (TypeError, lambda: VecList("abc")),
    "list_construct_not_sequence": (TypeError, lambda: VecList(5)),
    "list_construct_bad_item": (TypeError, lambda: VecList([O, 1])),
    "list_construct_from_vec3d": (TypeError, lambda: VecList(O)),
    "list_construct_missing": (TypeError, lambda: VecList()),
    "list_len": (RETURNS, lambda: len(L)),
    "list_getitem": (RETURNS, lambda: L[3]),
    "list_property": (RETURNS, lambda: L.list),
    "list_repr": (RETURNS, lambda: repr(L)),
    "list_repr_empty": (RETURNS, lambda: str(VecList.empty())),
    "list_index_out_of_range": (IndexError, lambda: L[4]),
    "list_index_negative": (OverflowError, lambda: L[-1]),
    "list_index_type": (TypeError, lambda: L["0"]),
    "list_mutations": (RETURNS, _mutations),
    "list_self_extend": (RuntimeError, _self_extend),
    "list_append_bad": (TypeError, lambda: VecList([]).append(None)),
    "list_extend_bad": (TypeError, lambda: VecList([]).extend(ITEMS)),
    "list_rotate_bad": (TypeError, lambda: VecList(ITEMS).rotate(O)),
    "list_dot": (RETURNS, lambda: L.dot(O)),
    "list_distance_to": (RETURNS, lambda: L.distance_to(O)),
    "list_distance_squared": (RETURNS, lambda: L.distance_squared(O)),
    "list_magnitude": (RETURNS, lambda: L.magnitude()),
    "list_is_unit": (RETURNS, lambda: L.is_unit()),
    "list_to_array": (RETURNS, lambda: L.to_array()),
    "list_cross": (RETURNS, lambda: L.cross(O)),
    "list_normalize": (RETURNS, lambda: L.normalize()),
    "list_collapse": (RETURNS, lambda: L.collapse(1)),
    "list_add": (RETURNS, lambda: L + O),
    "list_subtract": (RETURNS, lambda: L - O),
    "list_multiply": (RETURNS, lambda: L * 2),
    "list_multiply_reflected": (RETURNS, lambda: 2 * L),
    "list_divide": (RETURNS, lambda: L / 0),
    "list_collapse_panic": (Panic, lambda: L.collapse(3)),
    "list_collapse_negative": (OverflowError, lambda: L.collapse(-1)),
    "list_method_bad_argument": (TypeError, lambda: L.dot(1)),
    "list_operator_unsupported": (TypeError, lambda: L + 1),
    "list_divide_reflected": (TypeError, lambda: 2 / L),
    "list_multiply_unsupported": (TypeError, lambda: L * L),
    "list_nearest": (RETURNS, lambda: L.minimum_distance_to(O, 1)),
    "list_nearest_keywords": (RETURNS, lambda: L.minimum_distance_to(other=O, stride=3)),
    "list_nearest_stride_zero": (Panic, lambda: L.minimum_distance_to(O, 0)),
    "list_nearest_empty": (Panic, lambda: VecList.empty().minimum_distance_to(O, 1)),
    "list_nearest_missing": (TypeError, lambda: L.minimum_distance_to(O)),
    "list_iterate": (RETURNS, lambda: list(L)),
    "list_iterator_iter": (RETURNS, lambda: iter(iter(L))),
    "list_iterate_while_changing": (RETURNS, _iterate_while_changing),
    "list_iterator_exhausted": (StopIteration, _exhausted_iterator),
    "list_iterator_instantiate": (TypeError, lambda: type(iter(L))()),
    # geometry
    "plane_construct": (RETURNS, lambda: Plane(normal=N, distance=Floaty())),
    "plane_construct_zero_normal": (RETURNS, lambda: Plane(Vec3d(0, 0, 0), 1)),
    "plane_construct_missing": (TypeError, lambda: Plane(N)),
    "plane_construct_extra": (TypeError, lambda: Plane(N, 1, 2)),
    "plane_construct_keyword": (TypeError, lambda: Plane(N, 1, normal=N)),
    "plane_construct_bad_normal": (TypeError, lambda: Plane((0, 0, 1), 1)),
    "plane_construct_bad_distance": (TypeError, lambda: Plane(N, "1")),
    "plane_construct_overflow": (OverflowError, lambda: Plane(N, 10**400)),
    "plane_construct_conflict": (RuntimeError, _borrow_conflict),
    "plane_xz": (RETURNS, Plane.xz),
    "plane_from_point": (RETURNS, lambda: Plane.from_point(point=A, normal=N)),
    "plane_from_point_bad": (TypeError, lambda: Plane.from_point(N, None)),
    "plane_from_points": (RETURNS, lambda: Plane.from_points(A, B, N)),
    "plane_from_points_collinear": (RETURNS, lambda: Plane.from_points(A, A, A)),
    "plane_from_points_bad": (TypeError, lambda: Plane.from_points(A, B, 3)),
    "plane_contains_point": (RETURNS, lambda: PL.contains_point(A)),
    "plane_distance_to_point": (RETURNS, lambda: PL.distance_to_point(point=B)),
    "plane_property": (RETURNS, lambda: PL.normal),
    "plane_method_bad": (TypeError, lambda: PL.contains_point(C)),
    "plane_method_missing": (TypeError, lambda: PL.distance_to_point()),
    "plane_setters": (RETURNS, _plane_setters),
    "plane_setter_bad": (TypeError, lambda: setattr(Plane(N, 1), "normal", 1)),
    "plane_delete": (AttributeError, lambda: delattr(Plane(N, 1), "distance")),
    "plane_equal": (RETURNS, lambda: PL == PL),
    "plane_hash": (RETURNS, lambda: hash(PL)),
    "plane_repr": (RETURNS, lambda: repr(PL)),
    "circle_construct": (RETURNS, lambda: Circle(center=A, radius=Floaty(), normal=Vec3d(0, 0, 0))),
    "circle_construct_bad": (TypeError, lambda: Circle(A, 1, None)),
    "circle_construct_missing": (TypeError, lambda: Circle(A)),
    "circle_none": (RETURNS, Circle.none),
    "circle_is_degenerate": (RETURNS, lambda: C.is_degenerate()),
    "circle_area": (RETURNS, lambda: C.area),
    "circle_get_plane": (RETURNS, lambda: C.get_plane()),
    "circle_in_same_plane": (RETURNS, lambda: C.in_same_plane(other=CD)),
    "circle_method_bad": (TypeError, lambda: C.in_same_plane(PL)),
    "circle_property": (RETURNS, lambda: C.normal),
    "circle_setters": (RETURNS, _circle_setters),
    "circle_setter_bad": (TypeError, lambda: setattr(Circle(A, 1, N), "radius", "x")),
    "circle_delete": (AttributeError, lambda: delattr(Circle(A, 1, N), "normal")),
    "circle_area_readonly": (AttributeError, lambda: setattr(Circle(A, 1, N), "area", 1.0)),
    "circle_equal": (RETURNS, lambda: C == CD),
    "circle_not_equal": (RETURNS, lambda: C != CD),
    "circle_equal_other_type": (RETURNS, lambda: C == 1),
    "circle_not_equal_reflected": (RETURNS, lambda: C != AlwaysEqual()),
    "circle_not_equal_raising": (ZeroDivisionError, lambda: C != Unequal()),
    "circle_order": (TypeError, lambda: C < CD),
    "circle_hash": (TypeError, lambda: hash(C)),
    "plane_line": (RETURNS, lambda: plane_line(b=B, a=A, plane=PL)),
    "plane_line_parallel": (RETURNS, lambda: plane_line(PL, A, A)),
    "plane_line_bad": (TypeError, lambda: plane_line(C, A, B)),
    "plane_line_missing": (TypeError, lambda: plane_line(PL, A)),
    "circle_point": (RETURNS, lambda: circle_point(C, Vec3d(1, 0, 0), False)),
    "circle_point_bad_inner": (TypeError, lambda: circle_point(C, A, 1)),
    "circle_point_numpy_bool": (RETURNS, lambda: circle_point(C, A, NUMPY_TRUE)),
    "circle_point_numpy_int": (TypeError, lambda: circle_point(C, A, NUMPY_INT)),
    "circle_point_unchecked": (RETURNS, lambda: circle_point_unchecked(inner=False, point=A, circle=C)),
    "circle_point_unchecked_bad": (TypeError, lambda: circle_point_unchecked(C, None, False)),
    "circle_circle": (RETURNS, lambda: circle_circle(C, CD)),
    "circle_circle_identical": (ValueError, lambda: circle_circle(C, C)),
    "circle_circle_out_of_plane": (ValueError, lambda: circle_circle(Circle.none(), Circle.none())),
    "circle_circle_too_far": (ValueError, lambda: circle_circle(C, Circle(Vec3d(3, 0, 0), 1, N))),
    "circle_circle_contained": (ValueError, lambda: circle_circle(C, Circle(Vec3d(0, 0, 0), 2, N))),
    "circle_circle_bad": (TypeError, lambda: circle_circle(C, 1)),
    "circle_circle_extra": (TypeError, lambda: circle_circle(C, CD, C)),
    "circle_circle_unknown_keyword": (TypeError, lambda: circle_circle(C, circle3=CD)),
}


def _runs(name):
    # Bulk operations go through the worker pool, each call some microseconds.
    return 1000 if name.startswith("list_") else 2000


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    expected, operation = OPERATIONS[name]
    if name.startswith("circle_point_numpy") and NUMPY_TRUE is None:
        pytest.skip("needs numpy")
    assert_no_leak(name, expected, operation, runs=_runs(name))
