"""KDTree: exact neighbours against scipy's cKDTree and brute force, ties and bounds decided on the returned distance, refusals,
pickling, threads sharing one tree."""

import copy
import math
import pickle
import re
import sys
import threading

import numpy as np
import pytest

from kalvor import KDTree, Vec3d, VecList

try:
    from scipy.spatial import cKDTree
except ImportError:  # the debug interpreter has no scipy build: brute force stays the oracle there
    cKDTree = None
needs_scipy = pytest.mark.skipif(cKDTree is None, reason="no scipy for this interpreter")

rng = np.random.default_rng(27)


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


def ranked(points, q):  # every point by distance, then index
    d = distances(points, q)
    order = np.lexsort((np.arange(len(d)), d))
    return d[order], order


@needs_scipy
@pytest.mark.parametrize("name", DATA)
@pytest.mark.parametrize("k", [1, 3, 8, "n+2"])
def test_query_equals_ckdtree_with_ties_ordered_by_index(name, k):
    points, queries = DATA[name]
    n = len(points)
    if k == "n+2" and n > 3000:
        pytest.skip("every neighbour of a large cloud: rows too long to be worth it")
    k = n + 2 if k == "n+2" else k
    got_d, got_i = KDTree(vl(points)).query(vl(queries), k=k)
    assert got_d.dtype == np.float64 and got_i.dtype == np.int64 and got_d.shape == got_i.shape == (len(queries), k)
    # The oracle ranks every point (k = n), so a tie at the k-th place cannot hide one.
    want_d, want_i = cKDTree(points).query(queries, k=min(n, k if n > 3000 else n))
    want_d, want_i = want_d.reshape(len(queries), -1), want_i.reshape(len(queries), -1)
    order = np.lexsort((want_i, want_d), axis=-1) if want_d.ndim == 2 else None
    want_d, want_i = np.take_along_axis(want_d, order, -1)[:, :k], np.take_along_axis(want_i, order, -1)[:, :k]
    m = want_d.shape[1]
    if n <= 3000:
        assert np.array_equal(got_i[:, :m], want_i)
    else:  # only the distances: a tie at the k-th place may hide behind the oracle's own cut
        assert all(np.array_equal(got_i[r], ranked(points, queries[r])[1][:k]) for r in range(0, len(queries), 97))
    assert got_d[:, :m].view(np.int64).tolist() == want_d.view(np.int64).tolist()  # to the last bit
    assert (got_d[:, m:] == math.inf).all() and (got_i[:, m:] == n).all()


def test_ties_are_decided_on_the_distance_not_its_square():
    # Pairs of points whose squared distances differ in the last bit but whose distances are equal: the smaller index
    # wins even when its square is the larger one, and a bound equal to the distance admits both.
    found = 0
    for a in rng.uniform(0.5, 2.0, (4000, 2)):
        p, q = np.array([a[0], a[1], 0.0]), np.array([np.nextafter(a[0], 0), np.nextafter(a[1], 3), 0.0])
        dp, dq = (p[0] * p[0] + p[1] * p[1]), (q[0] * q[0] + q[1] * q[1])
        if dp == dq or math.sqrt(dp) != math.sqrt(dq):
            continue
        found += 1
        pts = [p, q] if dp > dq else [q, p]  # index 0 has the larger square
        tree = KDTree(vl(pts))
        d, i = tree.query(VecList([Vec3d(0, 0, 0)]), k=2)
        assert i.tolist() == [[0, 1]] and d[0, 0] == d[0, 1] == math.sqrt(dp)
        assert tree.nearest(Vec3d(0, 0, 0)) == (0, math.sqrt(dp))
        assert tree.count_within(VecList([Vec3d(0, 0, 0)]), math.sqrt(dp)).tolist() == [2]
        assert tree.query(VecList([Vec3d(0, 0, 0)]), 2, max_distance=math.sqrt(dp))[1].tolist() == [[0, 1]]
    assert found > 10


@pytest.mark.parametrize("name", ["uniform", "grid", "duplicates", "clustered"])
def test_bounds_admit_distances_equal_to_them(name):
    points, queries = DATA[name]
    tree, qs = KDTree(vl(points)), vl(queries[:40])
    for r, q in enumerate(queries[:40]):
        d, order = ranked(points, q)
        for bound in {d[0], d[3], d[len(d) // 50], np.nextafter(d[3], 0), np.nextafter(d[3], 9)}:
            inside = order[d <= bound]
            got_d, got_i = tree.query(qs, k=6, max_distance=float(bound))
            assert got_i[r].tolist() == (inside[:6].tolist() + [len(points)] * 6)[:6]
            assert (got_d[r][len(inside):] == math.inf).all()
            offsets, found = tree.within(qs, float(bound))
            assert found[offsets[r] : offsets[r + 1]].tolist() == sorted(inside.tolist())
            assert tree.count_within(qs, float(bound))[r] == len(inside)


@pytest.mark.parametrize("name", ["uniform", "grid", "duplicates", "clustered", "one point", "two identical points"])
@pytest.mark.parametrize("share", [0.0, 0.002, 0.05])
def test_within_and_pairs_within_equal_brute_force(name, share):
    points, queries = DATA[name]
    tree = KDTree(vl(points))
    all_d = np.array([distances(points, q) for q in points])
    radius = float(np.quantile(all_d, share)) if share else 0.0
    offsets, found = tree.within(vl(queries), radius)
    assert offsets.dtype == found.dtype == np.int64 and offsets.shape == (len(queries) + 1,) and offsets[0] == 0
    want = [np.flatnonzero(distances(points, q) <= radius).tolist() for q in queries]
    assert [found[offsets[i] : offsets[i + 1]].tolist() for i in range(len(queries))] == want
    assert tree.count_within(vl(queries), radius).tolist() == [len(w) for w in want]
    i, j = np.nonzero(np.triu(all_d <= radius, 1))
    pairs = tree.pairs_within(radius)
    assert pairs.dtype == np.int64 and pairs.shape == (len(i), 2) and pairs.tolist() == np.stack([i, j], 1).tolist()
    assert cKDTree is None or {tuple(p) for p in pairs.tolist()} == cKDTree(points).query_pairs(radius)


@needs_scipy
def test_pairs_within_a_large_cloud_equal_ckdtree():
    points = DATA["large"][0]
    pairs = KDTree(vl(points)).pairs_within(0.02)
    assert {tuple(p) for p in pairs.tolist()} == cKDTree(points).query_pairs(0.02) and len(pairs) > 5000
    assert (np.diff(pairs[:, 0] * len(points) + pairs[:, 1]) > 0).all()


def test_nearest_is_the_first_query_row():
    for name, (points, queries) in DATA.items():
        tree = KDTree(vl(points))
        d, i = tree.query(vl(queries[:50]))
        assert [tree.nearest(Vec3d(*q)) for q in queries[:50].tolist()] == list(zip(i[:, 0].tolist(), d[:, 0].tolist())), name


def test_far_points_and_overflowing_distances():
    points = np.array([[1e300, 0, 0], [-1e300, 0, 0], [0, 1e300, 0], [0, 0, 0], [1e-300, 0, 0]])
    tree = KDTree(vl(points))
    d, i = tree.query(VecList([Vec3d(-1e300, 0, 0), Vec3d(0, 0, 0)]), k=6)
    # Real neighbours at an infinite distance keep their indices; the missing sixth is (inf, len).
    assert i.tolist() == [[1, 0, 2, 3, 4, 5], [3, 4, 0, 1, 2, 5]]
    assert d[0].tolist() == [0.0] + [math.inf] * 5 and d[1].tolist() == [0.0, 0.0] + [math.inf] * 4  # (1e-300)² underflows to 0
    assert tree.nearest(Vec3d(1e300, 1e300, 1e300)) == (0, math.inf)
    assert tree.count_within(VecList([Vec3d(0, 0, 0)]), math.inf).tolist() == [5]
    assert tree.pairs_within(1e-300).tolist() == [[3, 4]]


def test_k_above_n_and_max_distance_fill_with_len():
    tree = KDTree(vl([[0.0, 0, 0], [1, 0, 0], [3, 0, 0]]))
    d, i = tree.query(VecList([Vec3d(0, 0, 0)]), k=5, max_distance=1.0)
    assert d.tolist() == [[0.0, 1.0, math.inf, math.inf, math.inf]] and i.tolist() == [[0, 1, 3, 3, 3]]
    d, i = tree.query(VecList([Vec3d(0, 0, 0)]), 2, 0.0)
    assert d.tolist() == [[0.0, math.inf]] and i.tolist() == [[0, 3]]
    d, i = tree.query(VecList([Vec3d(0, 0, 0)]), max_distance=0.5)
    assert d.shape == (1, 1) and i.tolist() == [[0]]
    d, i = KDTree(VecList([])).query(VecList([Vec3d(0, 0, 0)]), 2)
    assert d.tolist() == [[math.inf, math.inf]] and i.tolist() == [[0, 0]]
    d, i = tree.query(VecList([]), 4)
    assert d.shape == i.shape == (0, 4)


def test_tree_keeps_its_own_copy_and_is_immutable():
    points = VecList([Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(-2, 0.5, 3)])
    tree = KDTree(points)
    points.append(Vec3d(0, 0, 0.1))
    points.rotate(__import__("kalvor").Quat(0.6, 0.0, 0.8, 0.0))
    assert len(tree) == 3 and tree.nearest(Vec3d(0, 0, 0.1)) == (0, 0.1)
    copy_of_points = tree.points
    assert type(copy_of_points) is VecList and copy_of_points is not tree.points
    assert [tuple(v) for v in copy_of_points] == [(0, 0, 0), (1, 1, 1), (-2, 0.5, 3)]
    copy_of_points.append(Vec3d(9, 9, 9))
    assert len(tree.points) == 3
    with pytest.raises(AttributeError):
        tree.points = VecList([])


@pytest.mark.parametrize("clone", [lambda t: pickle.loads(pickle.dumps(t)), copy.copy, copy.deepcopy])
def test_pickled_and_copied_trees_give_the_same_answers(clone):
    points, queries = DATA["duplicates"]
    tree = KDTree(vl(points))
    other = clone(tree)
    assert type(other) is KDTree and other is not tree and len(other) == len(tree)
    assert np.array_equal(other.points.to_array(), tree.points.to_array())
    for a, b in zip(tree.query(vl(queries), 5), other.query(vl(queries), 5)):
        assert a.tobytes() == b.tobytes()
    assert other.pairs_within(0.1).tolist() == tree.pairs_within(0.1).tolist()


def test_class_shape():
    import kalvor

    assert KDTree.__module__ == "kalvor" and kalvor.__all__.index("KDTree") == kalvor.__all__.index("QuatList") + 1  # later classes follow it
    with pytest.raises(TypeError, match=re.escape("type 'kalvor.KDTree' is not an acceptable base type")):
        type("Sub", (KDTree,), {})
    assert str(__import__("inspect").signature(KDTree.query)) == "(self, /, points, k=1, max_distance=inf)"
    assert sys.getsizeof(KDTree(vl(rng.uniform(0, 1, (100000, 3))))) <= 40 * 100000


V0, NAN, INF = VecList([Vec3d(0, 0, 0)]), math.nan, math.inf
TREE = KDTree(VecList([Vec3d(0, 0, 0), Vec3d(1, 0, 0)]))
REFUSALS = [
    (lambda: KDTree([Vec3d(0, 0, 0)]), TypeError, "argument 'points': 'list' object is not an instance of 'VecList'"),
    (lambda: KDTree(np.zeros((2, 3))), TypeError, "argument 'points': 'ndarray' object is not an instance of 'VecList'"),
    (lambda: KDTree(VecList([Vec3d(0, 0, 0)] * 7 + [Vec3d(0, NAN, 0), Vec3d(INF, 0, 0)])), ValueError, "points[7] is not finite"),
    (lambda: KDTree(VecList([Vec3d(0, 0, -INF)])), ValueError, "points[0] is not finite"),
    (lambda: KDTree(), TypeError, "KDTree.__new__() missing 1 required positional argument: 'points'"),
    (lambda: TREE.query(V0, 0), ValueError, "k must be at least 1"),
    (lambda: TREE.query(V0, k=-3), ValueError, "k must be at least 1"),
    (lambda: TREE.query(V0, k=-(2**80)), ValueError, "k must be at least 1"),
    (lambda: TREE.query(V0, 1.0), TypeError, "argument 'k': 'float' object cannot be interpreted as an integer"),
    (lambda: TREE.query(V0, 1, NAN), ValueError, "max_distance must not be NaN or negative"),
    (lambda: TREE.query(V0, max_distance=-1e-300), ValueError, "max_distance must not be NaN or negative"),
    (lambda: TREE.query(V0, max_distance="1"), TypeError, "argument 'max_distance': must be real number, not str"),
    (lambda: TREE.query([Vec3d(0, 0, 0)]), TypeError, "argument 'points': 'list' object is not an instance of 'VecList'"),
    (lambda: TREE.query(VecList([Vec3d(0, 0, 0), Vec3d(0, 0, NAN)])), ValueError, "points[1] is not finite"),
    (lambda: TREE.query(V0, 1, 2.0, 3), TypeError, "KDTree.query() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda: TREE.query(V0, kk=2), TypeError, "KDTree.query() got an unexpected keyword argument 'kk'"),
    (lambda: TREE.query(), TypeError, "KDTree.query() missing 1 required positional argument: 'points'"),
    (lambda: TREE.query(V0, 10**30), MemoryError, ""),
    (lambda: TREE.query(VecList([Vec3d(0, 0, 0)] * 1000), 2**60), MemoryError, ""),
    (lambda: TREE.nearest(Vec3d(0, INF, 0)), ValueError, "point is not finite"),
    (lambda: TREE.nearest(V0), TypeError, "argument 'point': 'VecList' object is not an instance of 'Vec3d'"),
    (lambda: KDTree(VecList([])).nearest(Vec3d(0, 0, 0)), ValueError, "KDTree.nearest() needs a tree with at least one point"),
    (lambda: TREE.within(V0, NAN), ValueError, "radius must not be NaN or negative"),
    (lambda: TREE.within(V0, -1.0), ValueError, "radius must not be NaN or negative"),
    (lambda: TREE.within(V0), TypeError, "KDTree.within() missing 1 required positional argument: 'radius'"),
    (lambda: TREE.within(VecList([Vec3d(NAN, 0, 0)]), 1.0), ValueError, "points[0] is not finite"),
    (lambda: TREE.count_within(V0, -INF), ValueError, "radius must not be NaN or negative"),
    (lambda: TREE.count_within((0, 0, 0), 1.0), TypeError, "argument 'points': 'tuple' object is not an instance of 'VecList'"),
    (lambda: TREE.pairs_within(NAN), ValueError, "radius must not be NaN or negative"),
    (lambda: TREE.pairs_within(-0.5), ValueError, "radius must not be NaN or negative"),
]


@pytest.mark.parametrize("call, error, text", REFUSALS)
def test_refusals(call, error, text):
    with pytest.raises(error, match=re.escape(text) if text else None):
        call()


def test_none_means_the_default():
    d, i = TREE.query(VecList([Vec3d(0.25, 0, 0)]), k=None, max_distance=None)
    assert d.tolist() == [[0.25]] and i.tolist() == [[0]]


def test_zero_radius_and_signed_zero_are_allowed():
    assert TREE.count_within(V0, -0.0).tolist() == [1] and TREE.pairs_within(0.0).tolist() == []
    assert TREE.pairs_within(0.0).shape == (0, 2)


def test_threads_query_one_tree():
    points, queries = DATA["large"]
    tree, qs = KDTree(vl(points)), vl(queries)
    want = [a.tobytes() for a in tree.query(qs, 4)] + [tree.count_within(qs, 0.02).tobytes()]
    got, errors, start = [], [], threading.Barrier(4)

    def work():
        try:
            start.wait()
            for _ in range(3):
                got.append([a.tobytes() for a in tree.query(qs, 4)] + [tree.count_within(qs, 0.02).tobytes()])
                tree.nearest(Vec3d(0.5, 0.5, 0.5))
        except BaseException as e:
            errors.append(e)

    threads = [threading.Thread(target=work) for _ in range(4)]
    [t.start() for t in threads], [t.join() for t in threads]
    assert errors == [] and len(got) == 12 and all(g == want for g in got)
