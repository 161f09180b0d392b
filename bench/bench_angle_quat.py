"""AngleRadians and Quat beside PyGLM's dquat and its angle functions on floats."""

import kalvor
from harness import compare, print_table

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

scope = dict(
    kalvor=kalvor, glm=glm, AngleRadians=AngleRadians, Quat=Quat, axis=axis, angle=angle, q=q, q2=q2, v=v,
    gaxis=gaxis, gq=gq, gq2=gq2, gv=gv, x=0.7,
)

QUAT_ROWS = [
    ("construction", "Quat(1.0, 0.0, 0.0, 0.0)", "glm.dquat(1.0, 0.0, 0.0, 0.0)"),
    ("from_axis_angle", "Quat.from_axis_angle(axis, angle)", "glm.angleAxis(0.7, gaxis)"),
    ("rotate", "q.rotate(v)", "gq * gv"),
    ("to_rotation_matrix", "q.to_rotation_matrix()", "glm.mat3_cast(gq)"),
    ("to_axis_angle", "q.to_axis_angle()", "(glm.axis(gq), glm.angle(gq))"),
    ("equality", "q == q2", "gq == gq2"),
    ("repr", "repr(q)", "repr(gq)"),
]

ANGLE_ROWS = [
    ("construction", "AngleRadians(0.7)", None),
    ("to_degrees", "angle.to_degrees()", "glm.degrees(x)"),
    ("sin", "angle.sin()", "glm.sin(x)"),
    ("addition", "angle + angle", None),
]


def main():
    print_table("Quat per call (ns, median)", compare(QUAT_ROWS, scope), "PyGLM")
    print_table("AngleRadians per call (ns, median); PyGLM has no angle type, so its functions take floats",
                compare(ANGLE_ROWS, scope), "PyGLM")


if __name__ == "__main__":
    main()
