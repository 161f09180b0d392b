"""Typed use of kalvor: mypy --strict infers exactly these types; also a smoke test of the wheel."""

from typing import Any, assert_type

import numpy as np
from numpy.typing import NDArray

import kalvor
from kalvor import AngleDegrees, AngleRadians, Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList, geometry
from kalvor.geometry import Circle, Plane

v, w, a = Vec3d(1, 2, 3), Vec3d(x=4.0, y=5.0, z=6.0), AngleRadians.half_pi()
assert_type(2 * v + w / 2 - -v.cross(w), Vec3d)
assert_type((v[0], list(v), Vec3d.new_from_to(v, to=w).dot(w), a < v.angle_to(w)), tuple[float, list[float], float, bool])
assert_type((-a + a - a * 2 / 3, AngleDegrees(90).to_radians().to_degrees()), tuple[AngleRadians, AngleDegrees])

q = Quat.from_axis_angle(Vec3d.k(), a)
assert_type(q.to_axis_angle(), tuple[Vec3d, AngleRadians])
assert_type(q.then(q.inverse()).slerp(Quat.between(v, w), 0.5), Quat)
assert_type(Quat.from_rotation_matrix(q.to_rotation_matrix()).rotate(v), Vec3d)
assert_type(Quat.from_intrinsic_euler("ZYX", a, a, a).to_extrinsic_euler(axes="xyz"), tuple[AngleRadians, AngleRadians, AngleRadians])
assert_type((Quat.from_xyzw(*q.to_xyzw()).angle_to(q), Quat.from_rotation_vector(q.to_rotation_vector())), tuple[AngleRadians, Quat])

pts = VecList([Vec3d.zero(), Vec3d.i(), Vec3d.j()])
assert_type((pts.minimum_distance_to(v, 1), next(iter(pts))), tuple[tuple[int, float], Vec3d])
assert_type(0.5 * pts * 2.0 + v, VecList)
assert_type(pts.rotate(q), None)
assert_type((f"{v:.3f}", format(q, "+.2e"), memoryview(v).nbytes, kalvor.PanicException("x")), tuple[str, str, int, kalvor.PanicException])

pose = RigidTransform(q, translation=v)
assert_type(pose.then(pose.inverse()).interpolate(RigidTransform.identity(), 0.5).apply(w), Vec3d)
assert_type((RigidTransform.from_matrix(pose.to_matrix()).rotation, pose.translation), tuple[Quat, Vec3d])
assert_type(pts.transform(pose), None)

track = QuatList([q, q.inverse(), Quat.identity()])
assert_type((track.interpolate([0.0, 1, 2], range(3)).then(q).rotate(pts), next(iter(track))), tuple[VecList, Quat])
assert_type(QuatList.from_rotation_matrices(track.to_rotation_matrices()).slerp(track, 0.5), QuatList)
assert_type(memoryview(QuatList.from_xyzw_array(track.to_xyzw_array())).shape, tuple[int, ...] | None)
assert_type(QuatList.from_intrinsic_euler("xyz", track.to_extrinsic_euler("zyx")).angle_to(q), NDArray[np.float64])
assert_type((track[-1], track[1:], track.angle_to(track).tolist()), tuple[Quat, QuatList, Any])
assert_type(QuatList.from_rotation_vectors(track.to_rotation_vectors()), QuatList)
assert_type((q.then(track), q.then(q), Quat.from_wxyz(*q.to_wxyz())), tuple[QuatList, Quat, Quat])
assert_type((pose.apply(pts), QuatList.from_wxyz_array(track.to_wxyz_array())), tuple[VecList, QuatList])
points = VecList([Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, 1)])
assert_type(Quat.align(points, points), tuple[Quat, float])
assert_type(RigidTransform.align(points, points, weights=np.ones(3)), tuple[RigidTransform, float])
assert_type((track.mean([1.0, 2, 3]), q.power(0.5)), tuple[Quat, Quat])
assert_type((QuatList.random(3, seed=2**64 - 1), track.power(2), track.accumulate(), track.differences()), tuple[QuatList, QuatList, QuatList, QuatList])

plane = Plane.from_points(Vec3d(0, 0, 1), Vec3d(1, 0, 1), Vec3d(0, 1, 1))
assert_type(geometry.plane_line(plane, Vec3d.zero(), Vec3d(1, 1, 1)), Vec3d)
c1, c2 = Circle(Vec3d(0, 0, 0), 5.0, Vec3d(0, 0, 1)), Circle(Vec3d(8, 0, 0), 5.0, Vec3d(0, 0, 1))
assert_type(geometry.circle_circle(c1, c2), tuple[Vec3d, Vec3d])
assert_type((geometry.circle_point(c1, Vec3d(5, 0, 0), inner=False), c1.get_plane()), tuple[bool, Plane])

if not kalvor.__version__:  # what the stubs refuse, as the module does at run time
    v + 1  # type: ignore[operator]
    2 * a  # type: ignore[operator]
    Quat.from_axis_angle(v, 1.5)  # type: ignore[arg-type]
    c1.area = 1.0  # type: ignore[misc]
    pose.rotation = q  # type: ignore[misc]
    q.then(pts)  # type: ignore[call-overload]
    pose.apply(track)  # type: ignore[call-overload]

poses = RigidTransformList.from_components(QuatList([q, q]), v)
assert_type((poses.then(pose).inverse().apply(VecList([v, w])), pose.then(poses), poses[0]), tuple[VecList, RigidTransformList, RigidTransform])
assert_type((poses.rotations, poses.translations, RigidTransformList.from_xyz_xyzw_array(poses.to_xyz_xyzw_array())), tuple[QuatList, VecList, RigidTransformList])

assert geometry.circle_circle(c1, c2) == (Vec3d(4, -3, 0), Vec3d(4, 3, 0))
print("typed usage ok:", assert_type(kalvor.__version__, str))
