"""AngleRadians and Quat beside PyGLM's dquat and its angle functions on floats."""

import kalvor
from harness import THREAD_TIME, compare, print_floors, print_table

try:
    from pyglm import glm
except ImportError:
    import glm

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

scope = dict(
    kalvor=kalvor, glm=glm, AngleRadians=AngleRadians, Quat=Quat, axis=axis, angle=angle, q=q, q2=q2, v=v,
    gaxis=gaxis, gq=gq, gq2=gq2, gv=gv, x=0.7, p=p, gp=gp, u=u, gu=gu, rows=rows,
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


if __name__ == "__main__":
    main()
