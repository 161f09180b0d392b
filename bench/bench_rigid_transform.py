"""RigidTransform per call beside PyGLM's dmat4 and scipy's scalar RigidTransform, and
VecList.transform on 1,000,000 points beside numpy's `pts @ R.T + t` and scipy's apply.

Run as `./dev bench`; `--quick` uses fewer repeats."""

import os
import sys


from harness import THREAD_TIME, compare, glm, print_floors, print_table  # first: it keeps numpy single-threaded
import numpy as np
from scipy.spatial.transform import RigidTransform as ScipyTransform, Rotation

import kalvor


QUICK = "--quick" in sys.argv
N = 1_000_000
RigidTransform, Quat, Vec3d, VecList = kalvor.RigidTransform, kalvor.Quat, kalvor.Vec3d, kalvor.VecList

# Two poses, the same in every library: scipy's [x, y, z, w] is this library's Quat(w, -x, -y, -z),
# and PyGLM's matrices hold to_matrix's M (column vectors), stored by columns.
xyzw = [np.array(c) / np.linalg.norm(c) for c in ([0.1, -0.3, 0.5, 0.8], [-0.6, 0.2, 0.1, 0.7])]
shifts = [(1.5, -2.0, 0.25), (-3.0, 0.5, 4.0)]
t, u = (RigidTransform(Quat(w, -x, -y, -z), Vec3d(*s)) for (x, y, z, w), s in zip(xyzw, shifts))
st, su = (ScipyTransform.from_components(s, Rotation.from_quat(q)) for q, s in zip(xyzw, shifts))
gm, gm2 = (glm.dmat4(*(glm.dvec4(*col) for col in zip(*p.to_matrix()))) for p in (t, u))  # column by column
v, gv, sv = Vec3d(0.25, -1.5, 2.0), glm.dvec4(0.25, -1.5, 2.0, 1.0), np.array([0.25, -1.5, 2.0])

rng = np.random.default_rng(1)
a = rng.standard_normal((N, 3))
L = VecList.from_array(a)
R, tt = np.array(t.to_matrix())[:3, :3], np.array(shifts[0])  # R·v is t.rotation.rotate(v)

scope = dict(t=t, u=u, st=st, su=su, gm=gm, gm2=gm2, v=v, gv=gv, sv=sv, glm=glm, a=a, L=L, R=R, tt=tt, m=t.to_matrix(),
             RigidTransform=RigidTransform)

GLM_ROWS = [
    ("apply", "t.apply(v)", "gm * gv", "f.method_new(g)"),
    ("then", "t.then(u)", "gm2 * gm", "f.method_new(g)"),
    ("inverse", "t.inverse()", "glm.inverse(gm)", "f.noargs_new()"),
    ("to_matrix", "t.to_matrix()", "gm.to_list()", "f.noargs()"),
    ("from_matrix", "RigidTransform.from_matrix(m)", "glm.dmat4(m)", "Floor.build(f)"),
    ("interpolate", "t.interpolate(u, 0.3)", None, "f.method_new(g, 0.3)"),
]

SCIPY_ROWS = [
    ("apply", "t.apply(v)", "st.apply(sv)"),
    ("then", "t.then(u)", "su * st"),
    ("inverse", "t.inverse()", "st.inv()"),
]

BULK_ROWS = [
    ("transform (in place)", "L.transform(t)", "a @ R.T + tt"),
    ("transform (in place), scipy", "L.transform(t)", "st.apply(a)"),
    ("apply to a VecList (new list)", "t.apply(L)", "a @ R.T + tt"),
]


def main():
    repeats = 3 if QUICK else 7
    print_table("RigidTransform per call (ns, median)", poses := compare(GLM_ROWS, scope, timer=THREAD_TIME, repeats=repeats),
                "PyGLM dmat4")
    print_floors("Floors of the RigidTransform rows (ns, median)", poses)
    rows = compare(SCIPY_ROWS, scope, number=20_000, timer=THREAD_TIME, repeats=repeats)
    print_table("RigidTransform per call beside scipy's scalar RigidTransform (ns, median)", rows, "scipy")
    print("\nscipy's time over kalvor's: " + ", ".join(f"{label} {theirs / ours:.0f}×" for label, _, ours, _, theirs, *_ in rows))
    print(f"\nVecList.transform, n = {N:,}: kalvor pool of {os.environ.get('KALVOR_NUM_THREADS', 'default size')} "
          f"workers on {os.cpu_count()} processors; numpy {np.__version__} single-threaded")
    print_table("Poses on a point cloud (ms, median)", compare(BULK_ROWS, scope, number=1, repeats=3 if QUICK else 5),
                "numpy / scipy", unit="ms", scale=1e-6)


if __name__ == "__main__":
    main()
