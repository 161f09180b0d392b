"""Typed use of kalvor: `mypy --strict` must accept it and infer exactly these types,
and it runs as a smoke test of the installed wheel."""

from typing import assert_type

import kalvor
from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList, geometry
from kalvor.geometry import Circle, Plane

v = Vec3d(1, 2, 3)
w = Vec3d(x=4.0, y=5.0, z=6.0)
assert_type(kalvor.__version__, str)
assert_type(v.x, float)
assert_type(v.dot(w), float)
assert_type(v.cross(w), Vec3d)
assert_type(v.is_unit(), bool)
assert_type(2 * v + w / 2 - -v, Vec3d)
assert_type(v * True, Vec3d)
assert_type(v[0], float)
x, y, z = v
assert_type(z, float)
assert_type(list(v), list[float])
assert_type(v.to_array(), list[float])
assert_type(hash(v), int)
assert_type(v == w, bool)
assert_type(Vec3d.new_from_to(v, to=w), Vec3d)
assert_type(v.angle_to(w), AngleRadians)
assert_type(v.to_quat(), Quat)
v.x = 5

a = AngleRadians.half_pi()
assert_type(a + a - a * 2 / 3, AngleRadians)
assert_type(-a, AngleRadians)
assert_type(a.to_degrees(), AngleDegrees)
assert_type(AngleDegrees(90).to_radians(), AngleRadians)
assert_type(a < AngleRadians.pi(), bool)
assert_type(a.sec(), float)

q = Quat.from_axis_angle(Vec3d.k(), a)
assert_type(q.rotate(v), Vec3d)
assert_type(q.to_axis_angle(), tuple[Vec3d, AngleRadians])
assert_type(q.to_rotation_matrix(), list[list[float]])
assert_type(q.to_vec3d(), tuple[float, float, float])
assert_type(q.w, float)
assert_type(q.then(q.inverse()).slerp(q, 0.5), Quat)
assert_type(Quat.between(v, Vec3d.i()), Quat)
assert_type(Quat.from_rotation_matrix(q.to_rotation_matrix()), Quat)

pts = VecList([Vec3d.zero(), Vec3d.i(), Vec3d.j()])
assert_type(len(pts), int)
assert_type(pts[1], Vec3d)
assert_type(pts.list, list[Vec3d])
assert_type(pts.dot(v), list[float])
assert_type(pts.is_unit(), list[bool])
assert_type(pts.to_array(), list[list[float]])
assert_type(pts.minimum_distance_to(v, 1), tuple[int, float])
assert_type(pts * 2.0, VecList)
assert_type(0.5 * pts, VecList)
assert_type(pts + v, VecList)
assert_type(pts.collapse(2), VecList)
assert_type(VecList(pts), VecList)
assert_type(pts.rotate(q), None)
for p in pts:
    assert_type(p, Vec3d)

plane = Plane.from_points(Vec3d(0, 0, 1), Vec3d(1, 0, 1), Vec3d(0, 1, 1))
assert_type(plane.distance, float)
assert_type(geometry.plane_line(plane, Vec3d.zero(), Vec3d(1, 1, 1)), Vec3d)
c1 = Circle(Vec3d(0, 0, 0), 5.0, Vec3d(0, 0, 1))
c2 = Circle(Vec3d(8, 0, 0), 5.0, Vec3d(0, 0, 1))
assert_type(geometry.circle_circle(c1, c2), tuple[Vec3d, Vec3d])
assert_type(geometry.circle_point(c1, Vec3d(5, 0, 0), inner=False), bool)
assert_type(c1.area, float)
assert_type(c1.get_plane(), Plane)
assert_type(c1 == c2, bool)

# What the stubs refuse, as the module does at run time.
if not kalvor.__version__:
    v + 1  # type: ignore[operator]
    2 * a  # type: ignore[operator]
    AngleRadians(1) + 1.0  # type: ignore[operator]
    Quat.from_axis_angle(v, 1.5)  # type: ignore[arg-type]
    geometry.circle_point(c1, v, 1)  # type: ignore[arg-type]
    pts.list = []  # type: ignore[misc]
    c1.area = 1.0  # type: ignore[misc]
    Vec3d("1", 2, 3)  # type: ignore[arg-type]

assert geometry.circle_circle(c1, c2) == (Vec3d(4, -3, 0), Vec3d(4, 3, 0))
print("typed usage ok:", kalvor.__version__)
