"""AngleRadians and Quat beside PyGLM's dquat and its angle functions on floats, and Quat's
rotation representations beside scipy's scalar Rotation."""

from harness import THREAD_TIME, compare, glm, print_floors, print_table  # first: it keeps numpy single-threaded

import kalvor


AngleRadians, Quat, Vec3d = kalvor.AngleRadians, kalvor.Quat, kalvor.Vec3d

axis = Vec3d(0.6, 0.0, 0.8)
angle = AngleRadians(0.7)
q = Quat.from_axis_angle(axis, angle)
q2 = Quat.from_axis_angle(axis, angle)
v = Vec3d(1.5, -2.25, 3.125)
gaxis = glm.dvec3(0.6, 0.0, 0.8)
gq = glm.angleAxis(0.7, gaxis)
gq2 = glm.angleAxis(0.7, gaxis)
gv = glm.dvec3(1.5, -2.25, 3.125)
# A second, different rotation and direction, and a rotation matrix as a list
# of rows (PyGLM reads each inner list as a column: the same work, transposed).
p = Quat.from_axis_angle(Vec3d(0.0, 0.6, 0.8), AngleRadians(1.1))
gp = glm.angleAxis(1.1, glm.dvec3(0.0, 0.6, 0.8))
u = Vec3d(-0.5, 1.0, 2.0)
gu = glm.dvec3(-0.5, 1.0, 2.0)
rows = p.to_rotation_matrix()
# Yaw, pitch and roll: intrinsic "zyx" is PyGLM's Euler convention (extrinsic x, y, z)
# with the angles reversed.
yaw, pitch, roll = AngleRadians(0.3), AngleRadians(-0.2), AngleRadians(0.1)
rotvec = q.to_rotation_vector()
grotvec = glm.dvec3(rotvec.x, rotvec.y, rotvec.z)
xyzw = q.to_xyzw()
wxyz = q.to_wxyz()

scope = dict(
    kalvor=kalvor, glm=glm, AngleRadians=AngleRadians, Quat=Quat, axis=axis, angle=angle, q=q, q2=q2, v=v,
    gaxis=gaxis, gq=gq, gq2=gq2, gv=gv, x=0.7, p=p, gp=gp, u=u, gu=gu, rows=rows,
    yaw=yaw, pitch=pitch, roll=roll, rotvec=rotvec, grotvec=grotvec, xyzw=xyzw, wxyz=wxyz,
)

QUAT_ROWS = [
    ("construction", "Quat(1.0, 0.0, 0.0, 0.0)", "glm.dquat(1.0, 0.0, 0.0, 0.0)", "Floor(1.0, 0.0, 0.0, 0.0)"),
    ("from_axis_angle", "Quat.from_axis_angle(axis, angle)", "glm.angleAxis(0.7, gaxis)", "Floor.build(f, g)"),
    ("rotate", "q.rotate(v)", "gq * gv", "f.method_new(g)"),
    ("to_rotation_matrix", "q.to_rotation_matrix()", "glm.mat3_cast(gq).to_list()", "f.noargs()"),
    ("to_axis_angle", "q.to_axis_angle()", "(glm.axis(gq), glm.angle(gq))", "f.noargs()"),
    ("equality", "q == q2", "gq == gq2", "f == g"),
    ("repr", "repr(q)", "repr(gq)", "repr(f)"),
    ("then", "q.then(p)", "gq * gp", "f.method_new(g)"),
    ("inverse", "q.inverse()", "glm.inverse(gq)", "f.noargs_new()"),
    ("slerp", "q.slerp(p, 0.3)", "glm.slerp(gq, gp, 0.3)", "f.method_new(g, 0.3)"),
    ("between", "Quat.between(v, u)", "glm.dquat(gv, gu)", "Floor.build(f, g)"),
    ("from_rotation_matrix", "Quat.from_rotation_matrix(rows)", "glm.quat_cast(glm.dmat3(rows))", "Floor.build(f)"),
    ("from_intrinsic_euler", 'Quat.from_intrinsic_euler("zyx", yaw, pitch, roll)', "glm.dquat(glm.dvec3(0.1, -0.2, 0.3))", "Floor.build(f, g)"),
    ("to_intrinsic_euler", 'q.to_intrinsic_euler("zyx")', "glm.eulerAngles(gq)", "f.method_new(g)"),
    ("to_extrinsic_euler", 'q.to_extrinsic_euler("xyz")', "glm.eulerAngles(gq)", "f.method_new(g)"),
    ("from_rotation_vector", "Quat.from_rotation_vector(rotvec)", "glm.angleAxis(glm.length(grotvec), glm.normalize(grotvec))", "Floor.build(f)"),
    ("to_rotation_vector", "q.to_rotation_vector()", "glm.axis(gq) * glm.angle(gq)", "f.noargs_new()"),
    ("from_xyzw", "Quat.from_xyzw(*xyzw)", "glm.dquat(xyzw[3], *xyzw[:3])", "Floor.build(f, g)"),
    ("to_xyzw", "q.to_xyzw()", "(gq.x, gq.y, gq.z, gq.w)", "f.noargs_new()"),
    ("from_wxyz", "Quat.from_wxyz(*wxyz)", "glm.dquat(*wxyz)", "Floor.build(f, g)"),
    ("to_wxyz", "q.to_wxyz()", "(gq.w, gq.x, gq.y, gq.z)", "f.noargs_new()"),
    ("angle_to", "q.angle_to(p)", "glm.angle(glm.inverse(gq) * gp)", "f.method_new(g)"),
]

# scipy's Rotation holding one rotation: each call pays its array machinery, so
# far fewer calls are timed per repeat.
SCIPY_ROWS = [
    ("from_intrinsic_euler", 'Quat.from_intrinsic_euler("zyx", yaw, pitch, roll)', 'Rotation.from_euler("ZYX", [0.3, -0.2, 0.1])'),
    ("to_intrinsic_euler", 'q.to_intrinsic_euler("zyx")', 'r.as_euler("ZYX")'),
    ("from_rotation_vector", "Quat.from_rotation_vector(rotvec)", "Rotation.from_rotvec(srotvec)"),
    ("to_rotation_vector", "q.to_rotation_vector()", "r.as_rotvec()"),
    ("from_xyzw", "Quat.from_xyzw(*xyzw)", "Rotation.from_quat(xyzw)"),
    ("to_xyzw", "q.to_xyzw()", "r.as_quat()"),
    ("angle_to", "q.angle_to(p)", "(r.inv() * rp).magnitude()"),
]

ANGLE_ROWS = [
    ("construction", "AngleRadians(0.7)", None, "Floor(0.7)"),
    ("to_degrees", "angle.to_degrees()", "glm.degrees(x)", "f.noargs_new()"),
    ("sin", "angle.sin()", "glm.sin(x)", "f.noargs()"),
    ("addition", "angle + angle", None, "f + f"),
]


def main():
    print_table("Quat per call (ns, median)", quat := compare(QUAT_ROWS, scope, timer=THREAD_TIME), "PyGLM")
    print_table("AngleRadians per call (ns, median); PyGLM has no angle type, so its functions take floats",
                angles := compare(ANGLE_ROWS, scope, timer=THREAD_TIME), "PyGLM")
    print_floors("Floors of the Quat and AngleRadians rows (ns, median)", quat, angles)
    try:
        from scipy.spatial.transform import Rotation
    except ImportError:
        print("\n(scipy is not installed: no rows beside scipy's Rotation)")
        return
    scipy_scope = dict(scope, Rotation=Rotation, r=Rotation.from_quat(xyzw), rp=Rotation.from_quat(p.to_xyzw()),
                       srotvec=[rotvec.x, rotvec.y, rotvec.z])
    print_table("Quat beside scipy's Rotation of one rotation, per call (ns, median)",
                compare(SCIPY_ROWS, scipy_scope, number=5_000, timer=THREAD_TIME), "scipy")


if __name__ == "__main__":
    main()
