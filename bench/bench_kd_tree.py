"""KDTree beside scipy's cKDTree, pykdtree and scikit-learn's KDTree, on a million points.

Two clouds: uniform points in a cube, and points on a few surfaces with noise (a ground
plane, two walls and a sphere, the shape of a lidar scan); query points come from the same
distribution. kalvor and the peers that take a thread count use two threads (cKDTree
workers=2, pykdtree through OMP_NUM_THREADS=2); scikit-learn's KDTree queries on one.
Before any timing, the answers are checked against cKDTree: the same neighbours once its
ties are ordered by index, and the same distances to the last bit.

Run as `./dev bench`; `--quick` uses a tenth of the points and fewer repeats."""

import os
import subprocess
import sys

# pykdtree reads its thread count from OpenMP's variable; the harness pins numpy's
# libraries to one thread only where the variable is unset.
os.environ["OMP_NUM_THREADS"] = "2"

from harness import THREAD_TIME, per_call_ns  # noqa: E402
import numpy as np  # noqa: E402
from pykdtree.kdtree import KDTree as PyKDTree  # noqa: E402
from scipy.spatial import cKDTree  # noqa: E402
from sklearn.neighbors import KDTree as SkKDTree  # noqa: E402

import kalvor  # noqa: E402

QUICK = "--quick" in sys.argv
N = 100_000 if QUICK else 1_000_000
REPEATS = 3
WORKERS = 2


def uniform(n, seed):
    return np.random.default_rng(seed).uniform(0.0, 100.0, (n, 3))


def surfaces(n, seed):
    # A 100 m square of ground, two walls along it, a sphere of radius 10 on the ground:
    # points spread over them by area, with 2 cm of noise.
    rng = np.random.default_rng(seed)
    part = rng.choice(4, n, p=[0.55, 0.15, 0.15, 0.15])
    u, v = rng.uniform(0, 100, n), rng.uniform(0, 20, n)
    p = np.empty((n, 3))
    p[part == 0] = np.stack([u, rng.uniform(0, 100, n), np.zeros(n)], 1)[part == 0]
    p[part == 1] = np.stack([u, np.zeros(n), v], 1)[part == 1]
    p[part == 2] = np.stack([u, np.full(n, 100.0), v], 1)[part == 2]
    d = rng.standard_normal((n, 3))
    d /= np.linalg.norm(d, axis=1, keepdims=True)
    p[part == 3] = (np.array([50.0, 50.0, 10.0]) + 10.0 * d)[part == 3]
    return p + rng.normal(0.0, 0.02, (n, 3))


def radius_for(tree, q, want=10.0):
    # The radius whose balls hold `want` points on average, by bisection on a sample.
    sample, lo, hi = kalvor.VecList.from_array(q[:2000]), 0.0, 100.0
    for _ in range(40):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if tree.count_within(sample, mid).mean() < want else (lo, mid)
    return hi


def check(tree, ck, q):
    # The same neighbours as cKDTree (its ties put in index order) and the same distances, bit for bit.
    sample = q[:20000]
    for k in (1, 8):
        d, i = tree.query(kalvor.VecList.from_array(sample), k)
        cd, ci = ck.query(sample, k + 4)
        cd, ci = cd.reshape(len(sample), -1), ci.reshape(len(sample), -1)
        order = np.lexsort((ci, cd), axis=-1)
        cd, ci = np.take_along_axis(cd, order, -1)[:, :k], np.take_along_axis(ci, order, -1)[:, :k]
        assert np.array_equal(i, ci) and d.view(np.int64).tolist() == cd.view(np.int64).tolist(), f"k={k} differs from cKDTree"


def timed(rows, scope, number=1, timer=None):
    # Interleaved: each repeat times every statement of the row once, in turn.
    out = []
    for label, statements in rows:
        times = {name: [] for name in statements}
        for _ in range(REPEATS):
            for name, s in statements.items():
                times[name].append(per_call_ns(s, scope, number, *([timer] if timer else [])))
        out.append((label, {name: float(np.median(t)) for name, t in times.items()}))
    return out


def resident_bytes_per_point(kind, n):
    # Resident memory a tree adds, in a fresh interpreter: the data is made first.
    code = f"""
import pathlib, resource, numpy as np, sys
import kalvor
from scipy.spatial import cKDTree
from pykdtree.kdtree import KDTree as P
from sklearn.neighbors import KDTree as S
rss = lambda: int(pathlib.Path('/proc/self/statm').read_text().split()[1]) * resource.getpagesize()
a = np.random.default_rng(1).uniform(0, 100, ({n}, 3)); L = kalvor.VecList.from_array(a)
before = rss()
t = {{'kalvor': lambda: kalvor.KDTree(L), 'cKDTree': lambda: cKDTree(a), 'pykdtree': lambda: P(a), 'sklearn': lambda: S(a)}}['{kind}']()
print((rss() - before) / {n})
"""
    return float(subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout)


def fmt(ns):
    ms = ns / 1e6
    return f"{ms:.0f}" if ms >= 100 else f"{ms:.3g}"


def table(title, results, unit="ms", scale=fmt):
    names = list(results[0][1])
    print(f"\n### {title}\n")
    print("| operation | " + " | ".join(f"{n} {unit}" for n in names) + " | kalvor / cKDTree | kalvor / pykdtree |")
    print("|---|" + "---:|" * (len(names) + 2))
    for label, t in results:
        ratio = lambda peer: f"{t['kalvor'] / t[peer]:.2f}" if peer in t else ""  # noqa: E731
        print(f"| {label} | " + " | ".join(scale(t[n]) if n in t else "" for n in names) + f" | {ratio('cKDTree')} | {ratio('pykdtree')} |")


for name, make in (("uniform cube", uniform), ("surfaces", surfaces)):
    a, q = make(N, 1), make(N, 2)
    L, Q = kalvor.VecList.from_array(a), kalvor.VecList.from_array(q)
    scope = dict(kalvor=kalvor, cKDTree=cKDTree, PyKDTree=PyKDTree, SkKDTree=SkKDTree, a=a, q=q, L=L, Q=Q, W=WORKERS)
    scope.update(T=kalvor.KDTree(L), C=cKDTree(a), P=PyKDTree(a), S=SkKDTree(a))
    check(scope["T"], scope["C"], q)
    r = scope["r"] = radius_for(scope["T"], q)
    rows = [
        ("build", dict(kalvor="kalvor.KDTree(L)", cKDTree="cKDTree(a)", pykdtree="PyKDTree(a)", sklearn="SkKDTree(a)")),
        ("query k=1", dict(kalvor="T.query(Q, 1)", cKDTree="C.query(q, 1, workers=W)", pykdtree="P.query(q, k=1)")),
        ("query k=8", dict(kalvor="T.query(Q, 8)", cKDTree="C.query(q, 8, workers=W)", pykdtree="P.query(q, k=8)")),
        (f"within r={r:.3g} (10 a ball)", dict(kalvor="T.within(Q, r)", cKDTree="C.query_ball_point(q, r, workers=W)")),
        (f"count_within r={r:.3g}", dict(kalvor="T.count_within(Q, r)", cKDTree="C.query_ball_point(q, r, workers=W, return_length=True)")),
    ]
    results = timed(rows, scope)
    # scikit-learn queries on one thread: timed on a tenth of the query points, scaled up.
    sk = timed([("sk", dict(sklearn="S.query(q[: len(q) // 10], k=1)")), ("sk8", dict(sklearn="S.query(q[: len(q) // 10], k=8)")),
                ("skr", dict(sklearn="S.query_radius(q[: len(q) // 10], r)"))], scope)
    for (label, t), (_, s) in zip(results[1:4], sk):
        t["sklearn"] = 10 * s["sklearn"]
    table(f"KDTree on {N:,} points, {name}: {N:,} queries, two threads (scikit-learn: one, scaled from a tenth)", results)
    scope["v"], scope["pt"] = kalvor.Vec3d(*q[0]), q[0]
    single = timed([("nearest, one point a call", dict(kalvor="T.nearest(v)", cKDTree="C.query(pt)", pykdtree="P.query(pt[None])",
                                                         sklearn="S.query(pt[None])"))], scope, number=20000, timer=THREAD_TIME)
    table(f"KDTree on {N:,} points, {name}: one query point a call", single, unit="µs", scale=lambda ns: f"{ns / 1e3:.3g}")

print(f"\n### KDTree memory: resident bytes a point, {N:,} uniform points\n")
print("| kalvor | cKDTree | pykdtree | sklearn |")
print("|---:|---:|---:|---:|")
print("| " + " | ".join(f"{resident_bytes_per_point(k, N):.1f}" for k in ("kalvor", "cKDTree", "pykdtree", "sklearn")) + " |")
