"""Vec3d beside PyGLM's glm.dvec3, per call."""

import platform
import sys
import time

import kalvor
from harness import THREAD_TIME, compare, print_table

try:
    from pyglm import glm
except ImportError:  # older PyGLM
    import glm

a = kalvor.Vec3d(1.5, -2.25, 3.125)
b = kalvor.Vec3d(0.5, 4.0, -1.0)
ga = glm.dvec3(1.5, -2.25, 3.125)
gb = glm.dvec3(0.5, 4.0, -1.0)
Vec3d = kalvor.Vec3d

scope = dict(a=a, b=b, ga=ga, gb=gb, Vec3d=Vec3d, glm=glm)

ROWS = [
    ("construction", "Vec3d(1.0, 2.0, 3.0)", "glm.dvec3(1.0, 2.0, 3.0)"),
    ("attribute read", "a.x", "ga.x"),
    ("dot", "a.dot(b)", "glm.dot(ga, gb)"),
    ("cross", "a.cross(b)", "glm.cross(ga, gb)"),
    ("magnitude", "a.magnitude()", "glm.length(ga)"),
    ("normalize", "a.normalize()", "glm.normalize(ga)"),
    ("add", "a + b", "ga + gb"),
    ("scale", "a * 2.0", "ga * 2.0"),
    ("reflected scale", "2.0 * a", "2.0 * ga"),
    ("equality", "a == b", "ga == gb"),
    ("hash", "hash(a)", "hash(ga)"),
    ("repr", "repr(a)", "repr(ga)"),
    ("distance", "a.distance_to(b)", "glm.distance(ga, gb)"),
    ("index", "a[0]", "ga[0]"),
]


def main():
    print(f"kalvor Vec3d vs PyGLM {glm.version if hasattr(glm, 'version') else ''} — {time.strftime('%Y-%m-%d')}, "
          f"{platform.machine()}, Python {sys.version.split()[0]}")
    print_table("Vec3d per call (ns, median)", compare(ROWS, scope, timer=THREAD_TIME), "PyGLM")


if __name__ == "__main__":
    main()
