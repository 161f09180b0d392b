"""KDTree: exact neighbours against scipy's cKDTree and brute force, refusals, pickling, threads sharing one tree.
Ties and bounds at the last bit are the core's own GoogleTests; bit identity across worker counts is in bulk.py."""

import copy
import inspect
import math
import pickle
import re
import sys
import threading

import numpy as np
import pytest

from kalvor import KDTree, Quat, Vec3d, VecList

try:
    from scipy.spatial import cKDTree
except ImportError:  # the debug interpreter has no scipy build: brute force stays the oracle there
    cKDTree = None

rng = np.random.default_rng(27)
NAN, INF = math.nan, math.inf


def grid(side, step=0.125):  # many equal distances
    axis = np.arange(side) * step
    return np.stack(np.meshgrid(axis, axis, axis, indexing="ij"), -1).reshape(-1, 3)


CLUSTERS = np.concatenate([rng.normal(c, 1e-3, (150, 3)) for c in rng.uniform(-50, 50, (6, 3))])
DUPLICATES = np.repeat(rng.uniform(-1, 1, (200, 3)), 3, axis=0)[rng.permutation(600)]
DATA = {  # name: (points, query points)
    "uniform": (rng.uniform(-1, 1, (1500, 3)), rng.uniform(-1.2, 1.2, (300, 3))),
    "clustered": (CLUSTERS, np.concatenate([CLUSTERS[::9] + 1e-4, rng.uniform(-60, 60, (100, 3))])),
    "grid": (grid(9), np.concatenate([grid(5, 0.25), grid(4, 0.25) + 0.0625])),
    "duplicates": (DUPLICATES, np.concatenate([DUPLICATES[::7], rng.uniform(-1, 1, (50, 3))])),
    "one point": (np.array([[0.5, -2.0, 3.0]]), rng.uniform(-4, 4, (20, 3))),
    "two identical points": (np.array([[1.0, 2.0, 3.0]] * 2), np.array([[1.0, 2.0, 3.0], [0.0, 0.0, 0.0], [1.0, 2.0, 4.0]])),
    "large": (rng.uniform(0, 1, (20000, 3)), rng.uniform(0, 1, (5000, 3))),  # several pieces of the pool, searched in grid order
}


def vl(a):
    return VecList.from_array(np.ascontiguousarray(a, dtype=np.float64))


def distances(points, q):  # distance_to's formula, element-wise: the same bits
    d = points - q
    return np.sqrt((d[:, 0] * d[:, 0] + d[:, 1] * d[:, 1]) + d[:, 2] * d[:, 2])


@pytest.mark.skipif(cKDTree is None, reason="no scipy for this interpreter")
@pytest.mark.parametrize("name", DATA)
@pytest.mark.parametrize("k", [1, 3, 8, "n+2"])
def test_query_equals_ckdtree_with_ties_ordered_by_index(name, k):
    points, queries = DATA[name]
    n, large = len(points), len(points) > 3000
    if k == "n+2" and large:
        pytest.skip("every neighbour of a large cloud: rows too long to be worth it")
    k = n + 2 if k == "n+2" else k
    tree, m = KDTree(vl(points)), min(n, k)
    got_d, got_i = tree.query(vl(queries), k=k)
    assert got_d.dtype == np.float64 and got_i.dtype == np.int64 and got_d.shape == got_i.shape == (len(queries), k)
    # The oracle ranks every point of a small cloud, so a tie at the k-th place cannot hide one.
    want_d, want_i = cKDTree(points).query(queries, k=list(range(1, (m if large else n) + 1)))
    order = np.lexsort((want_i, want_d), axis=-1)[:, :m]
    assert got_d[:, :m].view(np.int64).tolist() == np.take_along_axis(want_d, order, -1).view(np.int64).tolist()  # to the last bit
    if large:  # the oracle's own cut may hide a tie at the k-th place: some rows' indices by brute force
        assert all(np.array_equal(got_i[r], np.lexsort((np.arange(n), distances(points, queries[r])))[:k]) for r in range(0, len(queries), 97))
    else:
        assert np.array_equal(got_i[:, :m], np.take_along_axis(want_i, order, -1))
    assert (got_d[:, m:] == INF).all() and (got_i[:, m:] == n).all()
    if k == 1:
        assert [tree.nearest(Vec3d(*q)) for q in queries[:50].tolist()] == list(zip(got_i[:50, 0].tolist(), got_d[:50, 0].tolist()))


@pytest.mark.parametrize("name", [name for name in DATA if name != "large"])
@pytest.mark.parametrize("share", [0.0, 0.002, 0.05])
def test_within_and_pairs_within_equal_brute_force(name, share):
    points, queries = DATA[name]
    tree, all_d = KDTree(vl(points)), np.array([distances(points, q) for q in points])
    radius = float(np.quantile(all_d, share)) if share else 0.0
    offsets, found = tree.within(vl(queries), radius)
    assert offsets.dtype == found.dtype == np.int64 and offsets.shape == (len(queries) + 1,) and offsets[0] == 0
    want = [np.flatnonzero(distances(points, q) <= radius).tolist() for q in queries]
    assert [found[offsets[i] : offsets[i + 1]].tolist() for i in range(len(queries))] == want
    assert tree.count_within(vl(queries), radius).tolist() == [len(w) for w in want]
    pairs = tree.pairs_within(radius)
    assert pairs.dtype == np.int64 and pairs.tolist() == np.argwhere(np.triu(all_d <= radius, 1)).tolist()


THREE, EMPTY = KDTree(vl([[0.0, 0, 0], [1, 0, 0], [3, 0, 0]])), KDTree(VecList([]))


@pytest.mark.parametrize("tree, args, kwargs, want_d, want_i", [  # from (0.25, 0, 0); slots without a neighbour get (inf, len)
    (THREE, (), dict(k=5, max_distance=0.75), [0.25, 0.75, INF, INF, INF], [0, 1, 3, 3, 3]),
    (THREE, (2, 0.0), {}, [INF, INF], [3, 3]),
    (THREE, (), dict(max_distance=0.5), [0.25], [0]),
    (THREE, (), dict(k=None, max_distance=None), [0.25], [0]),  # None means the default
    (EMPTY, (2,), {}, [INF, INF], [0, 0]),
])
def test_k_above_n_and_max_distance_fill_with_len(tree, args, kwargs, want_d, want_i):
    d, i = tree.query(VecList([Vec3d(0.25, 0, 0)]), *args, **kwargs)
    assert d.tolist() == [want_d] and i.tolist() == [want_i]
    assert [a.shape for a in tree.query(VecList([]), *args, **kwargs)] == [(0, len(want_d))] * 2
    assert tree.count_within(VecList([Vec3d(0, 0, 0)]), -0.0).tolist() == [len(tree) > 0] and tree.pairs_within(0.0).shape == (0, 2)


def test_tree_keeps_its_own_copy_is_immutable_final_and_pickled_as_its_points():
    points = VecList([Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(-2, 0.5, 3)])
    tree = KDTree(points)
    points.append(Vec3d(0, 0, 0.1))
    points.rotate(Quat(0.6, 0.0, 0.8, 0.0))
    tree.points.append(Vec3d(9, 9, 9))  # a copy each time
    assert len(tree) == 3 and tree.nearest(Vec3d(0, 0, 0.1)) == (0, 0.1) and type(tree.points) is VecList
    assert [tuple(v) for v in tree.points] == [(0, 0, 0), (1, 1, 1), (-2, 0.5, 3)]
    with pytest.raises(AttributeError):
        tree.points = VecList([])
    with pytest.raises(TypeError, match=re.escape("type 'kalvor.KDTree' is not an acceptable base type")):
        type("Sub", (KDTree,), {})
    assert KDTree.__module__ == "kalvor" and str(inspect.signature(KDTree.query)) == "(self, /, points, k=1, max_distance=inf)"
    assert sys.getsizeof(KDTree(vl(rng.uniform(0, 1, (100000, 3))))) <= 40 * 100000
    points, queries = DATA["duplicates"]
    tree = KDTree(vl(points))
    for other in [pickle.loads(pickle.dumps(tree)), copy.copy(tree), copy.deepcopy(tree)]:  # the same answers, bit for bit
        assert type(other) is KDTree and other is not tree and np.array_equal(other.points.to_array(), points)
        assert [a.tobytes() for a in other.query(vl(queries), 5)] == [a.tobytes() for a in tree.query(vl(queries), 5)]


V0, TREE = VecList([Vec3d(0, 0, 0)]), KDTree(VecList([Vec3d(0, 0, 0), Vec3d(1, 0, 0)]))
REFUSALS = [  # (error, exact text or None, every call refused with it)
    (TypeError, "argument 'points': 'list' object is not an instance of 'VecList'", lambda: KDTree([Vec3d(0, 0, 0)]), lambda: TREE.query([Vec3d(0, 0, 0)])),
    (TypeError, "argument 'points': 'ndarray' object is not an instance of 'VecList'", lambda: KDTree(np.zeros((2, 3)))),
    (TypeError, "argument 'points': 'tuple' object is not an instance of 'VecList'", lambda: TREE.count_within((0, 0, 0), 1.0)),
    (ValueError, "points[7] is not finite", lambda: KDTree(VecList([Vec3d(0, 0, 0)] * 7 + [Vec3d(0, NAN, 0), Vec3d(INF, 0, 0)]))),
    (ValueError, "points[0] is not finite", lambda: KDTree(VecList([Vec3d(0, 0, -INF)])), lambda: TREE.within(VecList([Vec3d(NAN, 0, 0)]), 1.0)),
    (ValueError, "points[1] is not finite", lambda: TREE.query(VecList([Vec3d(0, 0, 0), Vec3d(0, 0, NAN)]))),
    (TypeError, "KDTree.__new__() missing 1 required positional argument: 'points'", lambda: KDTree()),
    (ValueError, "k must be at least 1", lambda: TREE.query(V0, 0), lambda: TREE.query(V0, k=-3), lambda: TREE.query(V0, k=-(2**80))),
    (TypeError, "argument 'k': 'float' object cannot be interpreted as an integer", lambda: TREE.query(V0, 1.0)),
    (ValueError, "max_distance must not be NaN or negative", lambda: TREE.query(V0, 1, NAN), lambda: TREE.query(V0, max_distance=-1e-300)),
    (TypeError, "argument 'max_distance': must be real number, not str", lambda: TREE.query(V0, max_distance="1")),
    (TypeError, "KDTree.query() takes from 1 to 3 positional arguments but 4 were given", lambda: TREE.query(V0, 1, 2.0, 3)),
    (TypeError, "KDTree.query() got an unexpected keyword argument 'kk'", lambda: TREE.query(V0, kk=2)),
    (TypeError, "KDTree.query() missing 1 required positional argument: 'points'", lambda: TREE.query()),
    (MemoryError, None, lambda: TREE.query(V0, 10**30), lambda: TREE.query(VecList([Vec3d(0, 0, 0)] * 1000), 2**60)),
    (ValueError, "point is not finite", lambda: TREE.nearest(Vec3d(0, INF, 0))),
    (TypeError, "argument 'point': 'VecList' object is not an instance of 'Vec3d'", lambda: TREE.nearest(V0)),
    (ValueError, "KDTree.nearest() needs a tree with at least one point", lambda: EMPTY.nearest(Vec3d(0, 0, 0))),
    (TypeError, "KDTree.within() missing 1 required positional argument: 'radius'", lambda: TREE.within(V0)),
    (ValueError, "radius must not be NaN or negative", lambda: TREE.within(V0, NAN), lambda: TREE.within(V0, -1.0),
     lambda: TREE.count_within(V0, -INF), lambda: TREE.pairs_within(NAN), lambda: TREE.pairs_within(-0.5)),
]


@pytest.mark.parametrize("error, text, call", [(error, text, call) for error, text, *calls in REFUSALS for call in calls])
def test_refusals(error, text, call):
    with pytest.raises(error, match=text and re.escape(text)):
        call()


def test_pairs_within_a_large_cloud_and_threads_querying_one_tree():
    points, queries = DATA["large"]
    tree, qs = KDTree(vl(points)), vl(queries)
    pairs = tree.pairs_within(0.02)
    assert cKDTree is None or {tuple(p) for p in pairs.tolist()} == cKDTree(points).query_pairs(0.02) and len(pairs) > 5000
    assert (np.diff(pairs[:, 0] * len(points) + pairs[:, 1]) > 0).all()
    answers = lambda: [a.tobytes() for a in tree.query(qs, 4)] + [tree.count_within(qs, 0.02).tobytes(), tree.nearest(Vec3d(0.5, 0.5, 0.5))]
    want, got, start = answers(), [], threading.Barrier(4)

    def work():
        start.wait()
        got.extend(answers() for _ in range(3))

    threads = [threading.Thread(target=work) for _ in range(4)]
    [t.start() for t in threads], [t.join() for t in threads]
    assert len(got) == 12 and all(g == want for g in got)  # a thread that raised adds nothing
