"""AngleRadians and Quat beside PyGLM's dquat and its angle functions on floats."""

import kalvor
from harness import THREAD_TIME, compare, print_table

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
    ("construction", "Quat(1.0, 0.0, 0.0, 0.0)", "glm.dquat(1.0, 0.0, 0.0, 0.0)"),
    ("from_axis_angle", "Quat.from_axis_angle(axis, angle)", "glm.angleAxis(0.7, gaxis)"),
    ("rotate", "q.rotate(v)", "gq * gv"),
    ("to_rotation_matrix", "q.to_rotation_matrix()", "glm.mat3_cast(gq).to_list()"),
    ("to_axis_angle", "q.to_axis_angle()", "(glm.axis(gq), glm.angle(gq))"),
    ("equality", "q == q2", "gq == gq2"),
    ("repr", "repr(q)", "repr(gq)"),
    ("then", "q.then(p)", "gq * gp"),
    ("inverse", "q.inverse()", "glm.inverse(gq)"),
    ("slerp", "q.slerp(p, 0.3)", "glm.slerp(gq, gp, 0.3)"),
    ("between", "Quat.between(v, u)", "glm.dquat(gv, gu)"),
    ("from_rotation_matrix", "Quat.from_rotation_matrix(rows)", "glm.quat_cast(glm.dmat3(rows))"),
]

ANGLE_ROWS = [
    ("construction", "AngleRadians(0.7)", None),
    ("to_degrees", "angle.to_degrees()", "glm.degrees(x)"),
    ("sin", "angle.sin()", "glm.sin(x)"),
    ("addition", "angle + angle", None),
]


def main():
    print_table("Quat per call (ns, median)", compare(QUAT_ROWS, scope, timer=THREAD_TIME), "PyGLM")
    print_table("AngleRadians per call (ns, median); PyGLM has no angle type, so its functions take floats",
                compare(ANGLE_ROWS, scope, timer=THREAD_TIME), "PyGLM")


if __name__ == "__main__":
    main()
