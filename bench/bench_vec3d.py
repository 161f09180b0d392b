"""Vec3d beside PyGLM's glm.dvec3, per call."""

import platform
import sys
import time

from harness import THREAD_TIME, compare, glm, print_floors, print_table

import kalvor
import kalvor_floor_abi3


a = kalvor.Vec3d(1.5, -2.25, 3.125)
b = kalvor.Vec3d(0.5, 4.0, -1.0)
ga = glm.dvec3(1.5, -2.25, 3.125)
gb = glm.dvec3(0.5, 4.0, -1.0)
Vec3d = kalvor.Vec3d

scope = dict(a=a, b=b, ga=ga, gb=gb, Vec3d=Vec3d, glm=glm, Floor3=kalvor_floor_abi3.Floor, f3=kalvor_floor_abi3.Floor(1, 2, 3),
             g3=kalvor_floor_abi3.Floor(4, 5, 6))

ROWS = [
    ("construction", "Vec3d(1.0, 2.0, 3.0)", "glm.dvec3(1.0, 2.0, 3.0)", "Floor(1.0, 2.0, 3.0)"),
    ("attribute read", "a.x", "ga.x", "f.x"),
    ("dot", "a.dot(b)", "glm.dot(ga, gb)", "f.method(g)"),
    ("cross", "a.cross(b)", "glm.cross(ga, gb)", "f.method_new(g)"),
    ("magnitude", "a.magnitude()", "glm.length(ga)", "f.noargs()"),
    ("normalize", "a.normalize()", "glm.normalize(ga)", "f.noargs_new()"),
    ("add", "a + b", "ga + gb", "f + g"),
    ("scale", "a * 2.0", "ga * 2.0", "f * 2.0"),
    ("reflected scale", "2.0 * a", "2.0 * ga", "2.0 * f"),
    ("equality", "a == b", "ga == gb", "f == g"),
    ("hash", "hash(a)", "hash(ga)", "hash(f)"),
    ("repr", "repr(a)", "repr(ga)", "repr(f)"),
    ("distance", "a.distance_to(b)", "glm.distance(ga, gb)", "f.method(g)"),
    ("index", "a[0]", "ga[0]", "f[0]"),
]

# The floor built against the full API beside the same source built against
# the limited API of 3.14, as an abi3 wheel would be: what the limited API costs
# the calling conventions themselves.
ABI3_ROWS = [
    ("constructor", "Floor(1.0, 2.0, 3.0)", "Floor3(1.0, 2.0, 3.0)"),
    ("method, new object", "f.method_new(g)", "f3.method_new(g3)"),
    ("method, cached object", "f.method(g)", "f3.method(g3)"),
    ("binary operator", "f + g", "f3 + g3"),
    ("getter", "f.x", "f3.x"),
    ("comparison", "f == g", "f3 == g3"),
]


def main():
    print(f"kalvor Vec3d vs PyGLM {glm.version if hasattr(glm, 'version') else ''} — {time.strftime('%Y-%m-%d')}, "
          f"{platform.machine()}, Python {sys.version.split()[0]}")
    print_table("Vec3d per call (ns, median)", results := compare(ROWS, scope, timer=THREAD_TIME), "PyGLM")
    print_floors("Floors of the Vec3d rows: calls into kalvor_floor that do nothing (ns, median)", results)
    print_table("The floor against the full API and against the limited API (abi3) (ns, median)",
                compare(ABI3_ROWS, scope, timer=THREAD_TIME), "limited API", ours_name="full API")


if __name__ == "__main__":
    main()
