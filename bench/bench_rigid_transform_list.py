"""RigidTransformList beside scipy's vectorised RigidTransform (and Slerp with numpy's interp for keyframes).

Run as `./dev bench`; `--quick` uses fewer repeats. Every kalvor row takes and gives
buffers or bulk lists: no Python object per element on either side."""

import os
import sys

from harness import compare, print_table  # first: it keeps numpy single-threaded
import numpy as np
from scipy.spatial.transform import RigidTransform, Rotation, Slerp

import kalvor

QUICK = "--quick" in sys.argv
REPEATS = 3 if QUICK else 5
KEYS = 50

Quat, QuatList, Vec3d, VecList = kalvor.Quat, kalvor.QuatList, kalvor.Vec3d, kalvor.VecList
Pose, PoseList = kalvor.RigidTransform, kalvor.RigidTransformList


def scope_for(n, seed=1):
    rng = np.random.default_rng(seed)
    rows = np.hstack([rng.uniform(-10.0, 10.0, (n, 3)), rng.standard_normal((n, 4))])
    rows[:, 3:] /= np.sqrt(np.einsum("ij,ij->i", rows[:, 3:], rows[:, 3:]))[:, None]
    tl, tl2 = PoseList.from_xyz_xyzw_array(rows), PoseList.from_xyz_xyzw_array(np.roll(rows, 1, axis=0))
    rt = RigidTransform.from_components(rows[:, :3], Rotation.from_quat(rows[:, 3:]))
    rt2 = RigidTransform.from_components(np.roll(rows, 1, axis=0)[:, :3], Rotation.from_quat(np.roll(rows, 1, axis=0)[:, 3:]))
    one, one_rt = tl[0], rt[0]
    v, p = rng.standard_normal((n, 3)), rng.standard_normal(3)
    key_rows = rows[:KEYS] if n >= KEYS else np.hstack([rng.uniform(-10, 10, (KEYS, 3)), Rotation.random(KEYS, rng=rng).as_quat()])
    key_times = np.sort(rng.uniform(0.0, 10.0, KEYS))
    return dict(
        np=np, RigidTransform=RigidTransform, Rotation=Rotation, Slerp=Slerp, PoseList=PoseList, Vec3d=Vec3d,
        rows=rows, tl=tl, tl2=tl2, rt=rt, rt2=rt2, one=one, one_rt=one_rt, v=v, vl=VecList.from_array(v), p=p, pv=Vec3d(*p),
        ql=tl.rotations, tvl=tl.translations, r=rt.rotation, t=rows[:, :3].copy(), mats=rt.as_matrix(),
        kmats=np.array(tl.to_matrices()),  # the same matrices, each side reading its own writer's
        keys=PoseList.from_xyz_xyzw_array(key_rows), key_t=key_rows[:, :3].copy(), key_r=Rotation.from_quat(key_rows[:, 3:]),
        key_times=key_times, times=rng.uniform(key_times[0], key_times[-1], n),  # scipy refuses times outside the keys
    )


# (label, kalvor, scipy): the same work on the same poses; scipy's b * a applies a first, as a.then(b) does.
ROWS = [
    ("from_components", "PoseList.from_components(ql, tvl)", "RigidTransform.from_components(t, r)"),
    ("from_xyz_xyzw_array / from_components", "PoseList.from_xyz_xyzw_array(rows)",
     "RigidTransform.from_components(rows[:, :3], Rotation.from_quat(rows[:, 3:]))"),
    ("apply element-wise", "tl.apply(vl)", "rt.apply(v)"),
    ("apply one point", "tl.apply(pv)", "rt.apply(p)"),
    ("then element-wise / b * a", "tl.then(tl2)", "rt2 * rt"),
    ("then one pose / b * a", "tl.then(one)", "one_rt * rt"),
    ("inverse / inv()", "tl.inverse()", "rt.inv()"),
    ("to_matrices / as_matrix", "tl.to_matrices()", "rt.as_matrix()"),
    ("from_matrices / from_matrix", "PoseList.from_matrices(kmats)", "RigidTransform.from_matrix(mats)"),
    (f"interpolate, {KEYS} keys / Slerp + interp", "keys.interpolate(key_times, times)",
     "RigidTransform.from_components(np.column_stack([np.interp(times, key_times, key_t[:, c]) for c in range(3)]), "
     "Slerp(key_times, key_r)(times))"),
]


def main():
    import scipy

    print(f"\nRigidTransformList: kalvor pool of {os.environ.get('KALVOR_NUM_THREADS', 'default size')} workers on "
          f"{os.cpu_count()} processors; scipy {scipy.__version__} RigidTransform, Rotation and Slerp, vectorised")
    print_table("RigidTransformList, n = 1,000,000 (ms, median)", compare(ROWS, scope_for(1_000_000), number=1, repeats=REPEATS),
                "scipy", unit="ms", scale=1e-6)
    print_table("RigidTransformList, n = 1,000 (µs, median)", compare(ROWS, scope_for(1_000), number=200, repeats=REPEATS),
                "scipy", unit="µs", scale=1e-3)


if __name__ == "__main__":
    main()
