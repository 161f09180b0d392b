"""kalvor.geometry beside the same computations written in Python over PyGLM
vectors (PyGLM has no plane or circle routines), per call."""

import math
import platform
import sys
import time

from harness import THREAD_TIME, compare, glm, print_floors, print_table

import kalvor


geometry = kalvor.geometry
Vec3d = kalvor.Vec3d
EPS = 2.0**-52
EPSV = glm.dvec3(EPS)


# ---- the PyGLM side: the same steps and tests, in Python


def glm_plane_line(normal, distance, a, b):
    delta = b - a
    t = -(glm.dot(normal, a) + distance) / glm.dot(normal, delta)
    return a + delta * t


def glm_from_points(p1, p2, p3):
    n = glm.normalize(glm.cross(p2 - p1, p3 - p1))
    return n, -glm.dot(n, p1)


def glm_circle_point(center, radius, normal, point, inner):
    n = glm.normalize(normal)
    if not abs(glm.dot(n, point) - glm.dot(n, center)) < EPS:
        return False
    clearance = radius - glm.length(point - center)
    if abs(clearance) < EPS:
        return True
    return clearance > EPS and inner


def _within(u, v):
    return glm.all(glm.lessThan(glm.abs(u - v), EPSV))


def glm_circle_circle(c1, r1, n1, c2, r2, n2):
    parallel = _within(n1, n2)
    opposite = not parallel and _within(n1, -n2)
    if _within(c1, c2) and r1 == r2 and (parallel or opposite):
        raise ValueError("The given geometries are identical.")
    o1, o2 = glm.dot(n1, c1), glm.dot(n2, c2)
    if not ((parallel and abs(o2 - o1) < EPS) or (opposite and abs(o2 + o1) < EPS)):
        raise ValueError("The given geometries are out of plane from each other")
    delta = c2 - c1
    d = glm.length(delta)
    if d > r1 + r2:
        raise ValueError("The given geometries are too far apart and do not intersect at all.")
    if d < abs(r1 - r2):
        raise ValueError("One of the given geometries is contained entirely within the other.")
    d2 = d * d
    h = (r1 * r1 - r2 * r2) / (2.0 * d2) + 0.5
    p = c1 + delta * h
    height = math.sqrt(max(r1 * r1 - d2 * (h * h), 0.0))
    m = glm.normalize(glm.cross(delta, n2)) * height
    return p + m, p - m


# ---- operands, the same values on both sides

plane = geometry.Plane(Vec3d(0.0, 0.6, 0.8), 5.0)
a, b = Vec3d(1.0, 2.0, 0.0), Vec3d(1.5, 2.5, 1.0)
p1, p2, p3 = Vec3d(0.0, 0.0, 1.0), Vec3d(1.0, 0.5, 0.0), Vec3d(0.25, 1.0, 0.5)
up = Vec3d(0.0, 0.0, 1.0)
c1 = geometry.Circle(Vec3d(0.0, 0.0, 2.0), 5.0, up)
c2 = geometry.Circle(Vec3d(8.0, 0.0, 2.0), 5.0, up)
point = Vec3d(3.0, 4.0, 2.0)

gn, gd = glm.dvec3(0.0, 0.6, 0.8), -5.0
ga, gb = glm.dvec3(1.0, 2.0, 0.0), glm.dvec3(1.5, 2.5, 1.0)
g1, g2, g3 = glm.dvec3(0.0, 0.0, 1.0), glm.dvec3(1.0, 0.5, 0.0), glm.dvec3(0.25, 1.0, 0.5)
gup = glm.dvec3(0.0, 0.0, 1.0)
gc1, gc2 = glm.dvec3(0.0, 0.0, 2.0), glm.dvec3(8.0, 0.0, 2.0)
gpoint = glm.dvec3(3.0, 4.0, 2.0)

scope = dict(globals())

ROWS = [
    ("plane_line", "plane_line(plane, a, b)", "glm_plane_line(gn, gd, ga, gb)", "function(f, g, g)"),
    ("circle_point", "circle_point(c1, point, False)", "glm_circle_point(gc1, 5.0, gup, gpoint, False)",
     "function(f, g, False)"),
    ("circle_circle", "circle_circle(c1, c2)", "glm_circle_circle(gc1, 5.0, gup, gc2, 5.0, gup)", "function(f, g)"),
    ("Plane.from_points", "Plane.from_points(p1, p2, p3)", "glm_from_points(g1, g2, g3)", "Floor.build(f, g, g)"),
]
scope.update(
    plane_line=geometry.plane_line,
    circle_point=geometry.circle_point,
    circle_circle=geometry.circle_circle,
    Plane=geometry.Plane,
)


def check_same_results():
    """Both sides compute the same thing before either is timed."""
    k = geometry.plane_line(plane, a, b)
    assert (k.x, k.y, k.z) == tuple(glm_plane_line(gn, gd, ga, gb))
    k1, k2 = geometry.circle_circle(c1, c2)
    g = glm_circle_circle(gc1, 5.0, gup, gc2, 5.0, gup)
    assert [(v.x, v.y, v.z) for v in (k1, k2)] == [tuple(v) for v in g]
    assert geometry.circle_point(c1, point, False) == glm_circle_point(gc1, 5.0, gup, gpoint, False) is True
    kp = geometry.Plane.from_points(p1, p2, p3)
    gp = glm_from_points(g1, g2, g3)
    # glm.normalize may round its last bit differently.
    ours = (kp.normal.x, kp.normal.y, kp.normal.z, kp.distance)
    assert all(math.isclose(x, y, rel_tol=1e-15) for x, y in zip(ours, (*gp[0], gp[1]), strict=True))


def main():
    check_same_results()
    print(f"kalvor.geometry vs Python over PyGLM {getattr(glm, 'version', '')} — {time.strftime('%Y-%m-%d')}, "
          f"{platform.machine()}, Python {sys.version.split()[0]}")
    print_table("geometry per call (ns, median)", results := compare(ROWS, scope, timer=THREAD_TIME), "PyGLM + Python")
    print_floors("Floors of the geometry rows (ns, median)", results)


if __name__ == "__main__":
    main()
