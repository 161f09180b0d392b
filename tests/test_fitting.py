"""Fitting and statistics of rotations and poses: Quat.align, RigidTransform.align, QuatList.mean, QuatList.random,
power, accumulate and differences, with scipy as the oracle."""

import array
import math
import re

import numpy as np
import pytest

from kalvor import Quat, QuatList, RigidTransform, Vec3d, VecList

from conftest import bits

try:
    from scipy.spatial.transform import Rotation
except ImportError:  # the debug interpreter has no scipy: the tests against it are skipped there
    Rotation = None
needs_scipy = pytest.mark.skipif(Rotation is None, reason="scipy is the oracle")

NAN, INF = float("nan"), float("inf")
raises = lambda exc, text: pytest.raises(exc, match="^" + re.escape(text) + "$")  # noqa: E731
quat_bits = lambda q: tuple(bits(c) for c in (q.w, q.i, q.j, q.k))  # noqa: E731
list_bits = lambda ql: [quat_bits(q) for q in ql]  # noqa: E731
of_scipy = lambda r: Quat.from_xyzw(*r.as_quat().tolist())  # noqa: E731
vecs = lambda a: VecList.from_array(np.asarray(a, dtype=float).reshape(-1, 3))  # noqa: E731
ROT = Quat.from_rotation_vector(Vec3d(0.3, -1.2, 2.0))
rng = np.random.default_rng(26)


# ---- Quat.align and RigidTransform.align

@needs_scipy
@pytest.mark.parametrize("n, weighted, noise", [(2, False, 0.1), (3, True, 0.5), (10, True, 1.0), (1000, False, 0.2), (20000, True, 0.3)])
def test_align_agrees_with_scipy(n, weighted, noise):
    source = rng.standard_normal((n, 3))
    target = Rotation.from_rotvec([0.5, 1.0, -0.25]).apply(source) + noise * rng.standard_normal((n, 3))
    weights = rng.random(n) + 0.1 if weighted else None
    q, rssd = Quat.align(vecs(source), vecs(target), weights)
    r, scipy_rssd = Rotation.align_vectors(target, source, weights)
    assert q.angle_to(of_scipy(r)).angle <= 1e-12 and rssd == pytest.approx(scipy_rssd, rel=1e-12)
    assert q.is_unit() and q.w >= 0
    if n < 3:  # two points about their centroid lie on one line: a case of its own
        return
    # The pose: the rotation fitted about the weighted centroids, and the translation between them.
    w = np.ones(n) if weights is None else weights
    cs, ct = (w @ source) / w.sum(), (w @ target) / w.sum()
    t, pose_rssd = RigidTransform.align(vecs(source), vecs(target), weights)
    r, scipy_rssd = Rotation.align_vectors(target - ct, source - cs, weights)
    assert t.rotation.angle_to(of_scipy(r)).angle <= 1e-12 and pose_rssd == pytest.approx(scipy_rssd, rel=1e-12)
    assert np.allclose(list(t.translation), ct - r.apply(cs), rtol=0, atol=1e-12)


@pytest.mark.parametrize("scale", [1e-150, 1e-100, 1e-20, 1.0, 7e3, 1e20, 1e100, 1e150])
@pytest.mark.parametrize("n", [2, 3, 50, 10000])
def test_exact_data_is_recovered_at_any_scale(scale, n):
    source = vecs(rng.standard_normal((n, 3)) * scale)
    target = VecList([ROT.rotate(v) for v in source])
    q, rssd = Quat.align(source, target)
    assert q.angle_to(ROT).angle <= 1e-13 and rssd <= 1e-12 * scale
    if n >= 3:  # two points about their centroid lie on one line
        shift = Vec3d(3.0, -4.0, 0.5) * scale
        t, rssd = RigidTransform.align(source, VecList([v + shift for v in target]))
        assert t.rotation.angle_to(ROT).angle <= 1e-13 and rssd <= 1e-12 * scale
        assert (t.translation - shift).magnitude() <= 1e-13 * scale


def test_the_smallest_of_the_best_rotations_and_poses():
    a, b, c, d, x = Vec3d(1, 2, 3), Vec3d(-2, 0.5, 1), Vec3d(0.5, -1, 2), Vec3d(4, 4, 4), Vec3d(1, 0, 0)
    line, spread = [a, a * -2.0, a * 0.5], [Vec3d(0, 0, 3), Vec3d(2, 1, 7), Vec3d(-1, 1, 2)]
    best = spread[0] - spread[1] * 2.0 + spread[2] * 0.5  # Σ t·sᵀ = best·aᵀ: the best rotations take a along best
    for source, target, want in [
        ([a], [b], Quat.between(a, b)), ([a], [a * 2.0], Quat.between(a, a * 2.0)),  # one pair: the shortest arc, a half turn
        ([a], [-a], Quat.between(a, -a)), ([x], [Vec3d(0, 0, -5)], Quat.between(x, Vec3d(0, 0, -5))),  # for opposite ones
        (line, spread, Quat.between(a, best)),  # every source on one line: the shortest arc onto the best direction
        (spread, line, Quat.between(best, a)),  # every target on one line
    ]:
        q, rssd = Quat.align(VecList(source), VecList(target))
        assert q.angle_to(want).angle <= (1e-15 if len(source) == 1 else 1e-14)
        assert len(source) > 1 or rssd == pytest.approx(abs(target[0].magnitude() - source[0].magnitude()), abs=1e-14)
    # Pairs that cancel: every rotation is as good, and the identity is the smallest.
    assert quat_bits(Quat.align(VecList([a, -a]), VecList([b, b]))[0]) == quat_bits(Quat.identity())
    t, rssd = RigidTransform.align(VecList([a]), VecList([b]), [3.0])  # one point
    assert quat_bits(t.rotation) == quat_bits(Quat.identity()) and t.translation == b - a and rssd == 0.0
    t, _ = RigidTransform.align(VecList([a, c]), VecList([b, d]))  # two points
    assert t.rotation.angle_to(Quat.between(c - a, d - b)).angle <= 1e-14
    assert (t.apply((a + c) * 0.5) - (b + d) * 0.5).magnitude() <= 1e-14
    t, _ = RigidTransform.align(VecList([a, a]), VecList([b, d]))  # two equal points
    assert quat_bits(t.rotation) == quat_bits(Quat.identity())


GOOD = VecList([Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, 1)])
REFUSALS = [  # (source, target, weights, error, text after the call name)
    (GOOD, VecList(list(GOOD)[:2]), None, ValueError, " expected source and target of the same length, got 3 and 2"),
    (VecList.empty(), VecList.empty(), None, ValueError, " needs at least one pair of {}"),
    (VecList([Vec3d(1, 0, 0), Vec3d(0, NAN, 0), Vec3d(INF, 0, 0)]), GOOD, None, ValueError, " expected finite coordinates: source[1] is not finite"),
    (GOOD, VecList([Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, -INF)]), None, ValueError, " expected finite coordinates: target[2] is not finite"),
    (GOOD, GOOD, [1.0, 2.0], ValueError, " expected one weight for each of the 3 pairs of {}, got 2"),
    (GOOD, GOOD, [1.0, -0.5, NAN], ValueError, " expected finite weights of zero or more: weights[1] is negative"),
    (GOOD, GOOD, np.array([1.0, 0.0, NAN]), ValueError, " expected finite weights of zero or more: weights[2] is NaN"),
    (GOOD, GOOD, (-INF, 1, 1), ValueError, " expected finite weights of zero or more: weights[0] is infinite"),
    (GOOD, GOOD, [0, -0.0, 0.0], ValueError, " expected weights with a positive sum: every weight is zero"),
    (GOOD, GOOD, [1.0, "x", 2.0], TypeError, "[1]: must be real number, not str"),
    (GOOD, [Vec3d(1, 0, 0)], None, TypeError, "'list' object is not an instance of 'VecList'"),
]


@pytest.mark.parametrize("source, target, weights, error, text", REFUSALS)
@pytest.mark.parametrize("call, items", [(Quat.align, "vectors"), (RigidTransform.align, "points")])
def test_align_refusals(call, items, source, target, weights, error, text):
    if error is TypeError:
        text = f"argument '{'weights' if text.startswith('[') else 'target'}': {text}"
    else:
        text = f"{'Quat' if call is Quat.align else 'RigidTransform'}.align(){text.format(items)}"
    with raises(error, text):
        call(source, target, weights)


def test_weights_are_any_run_of_floats():
    source, target = vecs(rng.standard_normal((5, 3))), vecs(rng.standard_normal((5, 3)))
    weights = [0.5, 1, 2.0, 0.25, 3]
    want = Quat.align(source, target, weights)
    strided = np.repeat(np.array(weights, dtype=float), 2)[::2]
    for given in (tuple(weights), np.array(weights), np.array(weights, dtype=np.float32), array.array("d", weights), strided):
        got = Quat.align(source, target, given)
        assert quat_bits(got[0]) == quat_bits(want[0]) and bits(got[1]) == bits(want[1])
    assert Quat.align(source, target, weights=None) == Quat.align(source, target) == Quat.align(source, target, [1] * 5)
    # Weights of zero leave their pairs out.
    q, rssd = Quat.align(VecList([*source, Vec3d(9, 9, 9)]), VecList([*target, Vec3d(-9, 0, 0)]), [*weights, 0.0])
    assert quat_bits(q) == quat_bits(want[0]) and rssd == pytest.approx(want[1], rel=1e-15)


def test_rssd_comes_from_the_residuals():
    # Exact data far from unit size: scipy's cancellation would leave about 1e-8 of its size.
    source = vecs(rng.standard_normal((1000, 3)) * 1e6 + 3e6)
    target = VecList([ROT.rotate(v) for v in source])
    q, rssd = Quat.align(source, target)
    direct = math.sqrt(sum((t - q.rotate(s)).magnitude() ** 2 for s, t in zip(source, target)))
    assert rssd <= 1e-12 * 4e6 and rssd == pytest.approx(direct, abs=1e-12 * 4e6)
    # Points far from the origin with little spread about their centroid.
    source = vecs(rng.standard_normal((1000, 3)) + 1e6)
    t, rssd = RigidTransform.align(source, VecList([ROT.rotate(v) + Vec3d(1e6, -2e6, 5) for v in source]))
    assert t.rotation.angle_to(ROT).angle <= 1e-9 and rssd <= 1e-12 * 4e6


# ---- QuatList.mean

@needs_scipy
@pytest.mark.parametrize("n, spread, weighted", [(1, 1.0, False), (2, 0.5, True), (100, 0.3, False), (1000, 1.0, True), (20000, 2.0, True)])
def test_mean_agrees_with_scipy(n, spread, weighted):
    r = Rotation.from_rotvec(rng.standard_normal((n, 3)) * spread) * Rotation.from_rotvec([0.2, 0.4, -1.0])
    weights = rng.random(n) + 0.05 if weighted else None
    ql = QuatList.from_xyzw_array(r.as_quat())
    m = ql.mean(weights)
    assert m.angle_to(of_scipy(r.mean(weights))).angle <= 1e-12 and m.is_unit() and m.w >= 0
    # Any element's sign leaves the bits unchanged.
    flipped = QuatList([Quat(-q.w, -q.i, -q.j, -q.k) if i % 3 else q for i, q in enumerate(ql)])
    assert quat_bits(flipped.mean(weights)) == quat_bits(m)


MEAN_BAD = QuatList([Quat(1, 0, 0, 0), Quat(0, 0, 0, 0), Quat(NAN, 0, 0, 1)])


@pytest.mark.parametrize("ql, weights, error, text", [
    (QuatList.empty(), None, ValueError, "needs at least one quaternion"),
    (MEAN_BAD, None, ValueError, "expected finite, non-zero quaternions: element 1 is zero"),
    (MEAN_BAD[::2], None, ValueError, "expected finite, non-zero quaternions: element 1 is not finite"),
    (MEAN_BAD[:1], [1.0, 2.0], ValueError, "expected one weight for each of the 1 quaternions, got 2"),
    (MEAN_BAD[:1], [-1.0], ValueError, "expected finite weights of zero or more: weights[0] is negative"),
    (MEAN_BAD[:1], [0.0], ValueError, "expected weights with a positive sum: every weight is zero"),
    (MEAN_BAD[:1], [Quat.identity()], TypeError, "argument 'weights': [0]: must be real number, not Quat"),
])
def test_mean_refusals(ql, weights, error, text):
    with raises(error, text if error is TypeError else "QuatList.mean() " + text):
        ql.mean(weights)


# ---- QuatList.random

M0, M1, W0, W1, MASK = 0xD2E7470EE14C6C93, 0xCA5A826395121157, 0x9E3779B97F4A7C15, 0xBB67AE8584CAA73B, (1 << 64) - 1


def philox4x64_10(c, k):  # as the reference describes the stream
    for _ in range(10):
        p0, p1 = M0 * c[0], M1 * c[2]
        c = [(p1 >> 64) ^ c[1] ^ k[0], p1 & MASK, (p0 >> 64) ^ c[3] ^ k[1], p0 & MASK]
        k = [(k[0] + W0) & MASK, (k[1] + W1) & MASK]
    return c


def documented_random(seed, index):
    kept, draw = [], 0
    while len(kept) < 2:
        x = [(w >> 11) * 2.0**-52 - 1.0 for w in philox4x64_10([index, draw, 0, 0], [seed, 0])]
        kept += [(a, b, a * a + b * b) for a, b in (x[:2], x[2:]) if 0.0 < a * a + b * b < 1.0]
        draw += 1
    (a1, b1, s1), (a2, b2, s2) = kept[:2]
    f = math.sqrt((1.0 - s1) / s2)
    return Quat(*(c if a1 >= 0 else -c for c in (a1, b1, a2 * f, b2 * f)))


@pytest.mark.parametrize("seed", [0, 1, 26, 2**32 + 5, 2**64 - 1])
def test_random_is_the_documented_stream(seed):
    ql = QuatList.random(300, seed)
    assert list_bits(ql) == list_bits(documented_random(seed, i) for i in range(300))
    assert list_bits(QuatList.random(17, seed)) == list_bits(ql[:17]) and len(QuatList.random(0, seed)) == 0
    assert list_bits(QuatList.random(n=3, seed=seed)) == list_bits(ql[:3])


def test_random_is_uniform_over_rotations():
    ql = QuatList.random(200000, 2026)
    q = ql.to_xyzw_array()
    assert (q[:, 3] >= 0).all() and np.allclose(np.linalg.norm(q, axis=1), 1.0, rtol=0, atol=4e-16)
    # The rotation angle θ has the distribution (θ − sin θ)/π on [0, π]: a Kolmogorov–Smirnov statistic
    # well under its 0.1% critical value 1.95/√n. Fixed seed, so never flaky.
    theta = np.sort(np.linalg.norm(ql.to_rotation_vectors(), axis=1))
    cdf, n = (theta - np.sin(theta)) / np.pi, len(theta)
    assert max((np.arange(1, n + 1) / n - cdf).max(), (cdf - np.arange(n) / n).max()) < 1.95 / math.sqrt(n)
    # Every rotated axis averages to zero, within five standard errors (each coordinate has variance 1/3).
    for axis in np.eye(3):
        assert np.abs(np.asarray(ql.rotate(Vec3d(*axis))).mean(axis=0)).max() < 5 * math.sqrt(1 / 3 / n)


@pytest.mark.parametrize("n, seed, error", [(3, -1, OverflowError), (3, 2**64, OverflowError), (3, 1.5, TypeError), (3, "1", TypeError), (-1, 0, OverflowError)])
def test_random_refusals(n, seed, error):
    with pytest.raises(error):
        QuatList.random(n, seed)


# ---- power, accumulate and differences

@pytest.mark.parametrize("t", [0.0, 1.0, -1.0, 0.5, 2.0, -0.25, 3.75, 1e-300, -0.0, NAN, INF])
def test_power_is_its_definition(t):
    qs = [Quat.identity(), ROT, Quat(-0.5, 0.5, 0.5, 0.5), Quat(0, 1, 0, 0), Quat(2, 0, 0, 0), Quat(1e-20, 3, 0, 4)]
    qs += list(QuatList.random(50, 9))
    want = [Quat.from_rotation_vector(q.to_rotation_vector() * t) for q in qs]
    assert [quat_bits(q.power(t)) for q in qs] == list_bits(want) == list_bits(QuatList(qs).power(t))
    if math.isfinite(t) and Rotation is not None:  # scipy's r ** t, away from half turns (whose axis has two signs)
        ql = QuatList([ROT, *qs[6:]])
        r = Rotation.from_quat(ql.to_xyzw_array())
        assert ql.power(t).angle_to(QuatList.from_xyzw_array((r**t).as_quat())).max() <= 1e-12


def test_accumulate_and_differences_are_the_left_to_right_loops():
    steps = list(QuatList.random(500, 3)) + [Quat(NAN, 0, 0, 1), Quat(2, 0, 0, 0)]
    want = steps[:1]
    for q in steps[1:]:
        want.append(want[-1].then(q))
    assert list_bits(QuatList(steps).accumulate()) == list_bits(want)
    assert len(QuatList.empty().accumulate()) == 0 and list_bits(QuatList(steps[:1]).accumulate()) == list_bits(steps[:1])
    ql = QuatList.random(1000, 4)
    d = ql.differences()
    assert list_bits(d) == list_bits(ql[i].inverse().then(ql[i + 1]) for i in range(len(ql) - 1))
    assert QuatList([ql[0], *d]).accumulate().angle_to(ql).max() <= 1e-12
    assert len(QuatList.empty().differences()) == 0 and len(ql[:1].differences()) == 0
