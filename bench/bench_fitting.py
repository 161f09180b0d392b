"""Fitting and statistics of rotations beside scipy's Rotation: align_vectors, mean, random, ** and composition.

Run as `./dev bench`; `--quick` uses fewer repeats. Every kalvor row takes and gives buffers or bulk lists:
no Python object per element on either side."""

import os
import sys

from harness import compare, print_table  # first: it keeps numpy single-threaded
import numpy as np
from scipy.spatial.transform import Rotation

import kalvor

QUICK = "--quick" in sys.argv
REPEATS = 3 if QUICK else 5

Quat, QuatList, RigidTransform, VecList = kalvor.Quat, kalvor.QuatList, kalvor.RigidTransform, kalvor.VecList


def scope_for(n, seed=26):
    rng = np.random.default_rng(seed)
    source = rng.standard_normal((n, 3))
    target = Rotation.from_rotvec([0.3, -0.2, 0.9]).apply(source) + 0.01 * rng.standard_normal((n, 3)) + [5.0, -1.0, 2.0]
    weights = rng.random(n) + 0.5
    ql = QuatList.random(n, seed)
    r = Rotation.from_quat(np.asarray(ql.to_xyzw_array()))
    return dict(
        np=np, Rotation=Rotation, Quat=Quat, QuatList=QuatList, RigidTransform=RigidTransform, n=n,
        source=source, target=target, weights=weights, vs=VecList.from_array(source), vt=VecList.from_array(target),
        ql=ql, r=r, generator=np.random.default_rng(seed),
    )


# (label, kalvor, scipy): the same result from the same data. scipy maps its second argument onto its first;
# its r2 * r1 applies r1 first, as then does. scipy has no pose fit: its row centres the points first.
ALIGN_ROWS = [
    ("Quat.align / align_vectors", "Quat.align(vs, vt)", "Rotation.align_vectors(target, source)"),
    ("Quat.align, weighted", "Quat.align(vs, vt, weights)", "Rotation.align_vectors(target, source, weights)"),
    ("RigidTransform.align / centred align_vectors", "RigidTransform.align(vs, vt)",
     "Rotation.align_vectors(target - target.mean(axis=0), source - source.mean(axis=0))"),
]
STATISTICS_ROWS = [
    ("mean / mean()", "ql.mean()", "r.mean()"),
    ("mean, weighted", "ql.mean(weights)", "r.mean(weights)"),
    ("random / Rotation.random", "QuatList.random(n, 7)", "Rotation.random(n, rng=generator)"),
    ("power(0.3) / r ** 0.3", "ql.power(0.3)", "r ** 0.3"),
    ("differences / r[1:] * r[:-1].inv()", "ql.differences()", "r[1:] * r[:-1].inv()"),
]
# accumulate has no vectorised peer: its bound is then on the same list, one element-wise pass on the pool.
SERIES_ROWS = [("accumulate / then", "ql.accumulate()", "ql.then(ql)")]


def main():
    import scipy

    print(f"\nFitting and statistics: kalvor pool of {os.environ.get('KALVOR_NUM_THREADS', 'default size')} workers on "
          f"{os.cpu_count()} processors; scipy {scipy.__version__} Rotation, vectorised")
    print_table("align, n = 10 (µs, median)", compare(ALIGN_ROWS, scope_for(10), number=200, repeats=REPEATS),
                "scipy", unit="µs", scale=1e-3)
    big = scope_for(1_000_000)
    print_table("align, n = 1,000,000 (ms, median)", compare(ALIGN_ROWS, big, number=1, repeats=REPEATS),
                "scipy", unit="ms", scale=1e-6)
    print_table("statistics, n = 1,000,000 (ms, median)", compare(STATISTICS_ROWS, big, number=1, repeats=REPEATS),
                "scipy", unit="ms", scale=1e-6)
    print_table("accumulate beside then, n = 1,000,000 (ms, median)", compare(SERIES_ROWS, big, number=1, repeats=REPEATS),
                "then", unit="ms", scale=1e-6)


if __name__ == "__main__":
    main()
