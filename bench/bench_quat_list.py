"""QuatList bulk rotations beside scipy's vectorised Rotation and Slerp.

Run as `./dev bench`; `--quick` uses fewer repeats. Every kalvor row takes and gives
buffers or bulk lists: no Python object per element on either side."""

import os
import sys

from harness import compare, print_table  # first: it keeps numpy single-threaded
import numpy as np
from scipy.spatial.transform import Rotation, Slerp

import kalvor

QUICK = "--quick" in sys.argv
REPEATS = 3 if QUICK else 5
KEYS = 50

Quat, QuatList, VecList = kalvor.Quat, kalvor.QuatList, kalvor.VecList


def scope_for(n, seed=1):
    rng = np.random.default_rng(seed)
    wijk = rng.standard_normal((n, 4))
    wijk /= np.sqrt(np.einsum("ij,ij->i", wijk, wijk))[:, None]
    ql = QuatList.from_array(wijk)
    ql2 = QuatList.from_array(np.roll(wijk, 1, axis=0))
    xyzw = np.ascontiguousarray(np.asarray(ql.to_xyzw_array()))
    wxyz = np.ascontiguousarray(ql.to_wxyz_array())
    r, r2 = Rotation.from_quat(xyzw), Rotation.from_quat(np.asarray(ql2.to_xyzw_array()))
    v = rng.standard_normal((n, 3))
    matrices = r.as_matrix()
    rotvecs, angles = r.as_rotvec(), rng.uniform(-3.0, 3.0, (n, 3))
    key_times = np.sort(rng.uniform(0.0, 10.0, KEYS))
    keys = QuatList.from_array(wijk[:KEYS]) if n >= KEYS else QuatList.from_array(rng.standard_normal((KEYS, 4)))
    return dict(
        np=np, Rotation=Rotation, Slerp=Slerp, QuatList=QuatList, VecList=VecList,
        wijk=wijk, xyzw=xyzw, wxyz=wxyz, q1=ql[0], r1=r[0], ql=ql, ql2=ql2, r=r, r2=r2, v=v, vl=VecList.from_array(v), matrices=matrices,
        rotvecs=rotvecs, rvl=VecList.from_array(rotvecs), angles=angles,
        keys=keys, key_r=Rotation.from_quat(np.asarray(keys.to_xyzw_array())), key_times=key_times,
        times=rng.uniform(key_times[0], key_times[-1], n),  # scipy refuses times outside the keys
    )


# (label, kalvor, scipy): the same work on the same rotations; scipy's r2 * r1 applies r1 first, as then does.
ROWS = [
    ("from_array (w, i, j, k)", "QuatList.from_array(wijk)", "Rotation.from_quat(xyzw)"),
    ("from_xyzw_array / from_quat", "QuatList.from_xyzw_array(xyzw)", "Rotation.from_quat(xyzw)"),
    ("to_xyzw_array / as_quat", "ql.to_xyzw_array()", "r.as_quat()"),
    ("from_wxyz_array / from_quat(scalar_first)", "QuatList.from_wxyz_array(wxyz)", "Rotation.from_quat(wxyz, scalar_first=True)"),
    ("to_wxyz_array / as_quat(scalar_first)", "ql.to_wxyz_array()", "r.as_quat(scalar_first=True)"),
    ("rotate element-wise / apply", "ql.rotate(vl)", "r.apply(v)"),
    ("then / r2 * r1", "ql.then(ql2)", "r2 * r"),
    ("one before each: q.then(ql) / r * r1", "q1.then(ql)", "r * r1"),
    ("inverse / inv()", "ql.inverse()", "r.inv()"),
    ("slerp element-wise, t = 0.3", "ql.slerp(ql2, 0.3)", "r * Rotation.from_rotvec((r.inv() * r2).as_rotvec() * 0.3)"),
    (f"interpolate, {KEYS} keys / Slerp", "keys.interpolate(key_times, times)", "Slerp(key_times, key_r)(times)"),
    ("to_rotation_matrices / as_matrix", "ql.to_rotation_matrices()", "r.as_matrix()"),
    ("from_rotation_matrices / from_matrix", "QuatList.from_rotation_matrices(matrices)", "Rotation.from_matrix(matrices)"),
    ("to_rotation_vectors / as_rotvec", "ql.to_rotation_vectors()", "r.as_rotvec()"),
    ("from_rotation_vectors / from_rotvec", "QuatList.from_rotation_vectors(rvl)", "Rotation.from_rotvec(rotvecs)"),
    ('to_intrinsic_euler / as_euler("XYZ")', 'ql.to_intrinsic_euler("xyz")', 'r.as_euler("XYZ")'),
    ('from_intrinsic_euler / from_euler("XYZ")', 'QuatList.from_intrinsic_euler("xyz", angles)', 'Rotation.from_euler("XYZ", angles)'),
    ('to_extrinsic_euler / as_euler("zxz")', 'ql.to_extrinsic_euler("zxz")', 'r.as_euler("zxz")'),
    ('from_extrinsic_euler / from_euler("zxz")', 'QuatList.from_extrinsic_euler("zxz", angles)', 'Rotation.from_euler("zxz", angles)'),
]


def main():
    import scipy

    print(f"\nQuatList: kalvor pool of {os.environ.get('KALVOR_NUM_THREADS', 'default size')} workers on "
          f"{os.cpu_count()} processors; scipy {scipy.__version__} Rotation and Slerp, vectorised")
    print_table("QuatList, n = 1,000,000 (ms, median)", compare(ROWS, scope_for(1_000_000), number=1, repeats=REPEATS),
                "scipy", unit="ms", scale=1e-6)
    print_table("QuatList, n = 1,000 (µs, median)", compare(ROWS, scope_for(1_000), number=200, repeats=REPEATS),
                "scipy", unit="µs", scale=1e-3)


if __name__ == "__main__":
    main()
