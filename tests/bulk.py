"""Bulk VecList, QuatList and RigidTransformList operations beside the single-value ones they must equal bit for bit, and data to run them on."""

import bisect
import math
import pickle
import random
import struct
import sys
from operator import add, methodcaller as call, mul, sub, truediv

import numpy as np

from kalvor import AngleRadians, KDTree, Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList

f64 = lambda bits: struct.unpack("<d", struct.pack("<Q", bits))[0]  # noqa: E731
# NaNs of both signs with payloads (one signalling), signed zeros, infinities, subnormals, extremes.
SPECIALS = [f64(0x7FF8000000000001), f64(0xFFF80000DEADBEEF), f64(0x7FF4000000000ABC), f64(0xFFFC000000000000), 0.0, -0.0]
SPECIALS += [math.inf, -math.inf, 5e-324, -2.2250738585072009e-308, 1.7976931348623157e308, -1e-300]
UNITS = [Vec3d(1, 0, 0), Vec3d(0, -1, 0), Vec3d(0.6, 0.8, 0), Vec3d(-0.0, 0.0, 1.0)]
OTHER, NAN_OTHER, NAN_SCALAR = Vec3d(0.25, -3.5, 7.0), Vec3d(f64(0xFFF800000000BEEF), 1.5, -0.0), f64(0xFFF8000000000123)
Q, NAN_Q = Quat(0.5, -0.5, 0.5, 0.5), Quat(0.9, f64(0x7FF800000000CAFE), 0.1, -0.2)
T, NAN_T = RigidTransform(Q, OTHER), RigidTransform(NAN_Q, NAN_OTHER)
N = 5 * 4096 + 3  # five pieces of the pool's minimum size, and three elements over


def elements(n=N, seed=5, nans=True):
    rng, specials = random.Random(seed), [s for s in SPECIALS if nans or not math.isnan(s)]
    c = lambda: rng.choice(specials) if rng.random() < 0.08 else rng.uniform(-4.0, 4.0)  # noqa: E731
    return [Vec3d(c(), c(), c()) if i % 97 else rng.choice(UNITS) for i in range(n)]


# name: (bulk operation on a VecList, the single-vector one on an element); _nan operands show the operand order.
ARITHMETIC = [("add_nan", add, NAN_OTHER), ("sub", sub, NAN_OTHER), ("mul", mul, -1.5), ("mul_nan", mul, NAN_SCALAR)]
ARITHMETIC += [("rmul_nan", lambda x, k: k * x, NAN_SCALAR), ("div_zero", truediv, -0.0), ("div_nan", truediv, NAN_SCALAR)]
OPERATIONS = {
    **{m + s: (call(m, o),) * 2 for m in ("dot", "cross", "distance_to", "distance_squared")
       for s, o in (("", OTHER), ("_nan", NAN_OTHER))},
    **{m: (call(m),) * 2 for m in ("magnitude", "normalize", "is_unit", "to_array")},
    **{name: (lambda x, f=f, o=o: f(x, o),) * 2 for name, f, o in ARITHMETIC},
    **{f"collapse_{a}": (call("collapse", a), lambda e, a=a: Vec3d(*(0.0 if i == a else c for i, c in enumerate(e)))) for a in range(3)},
    **{n: (lambda lst, q=q: (out := VecList(lst)).rotate(q) or out, q.rotate) for n, q in (("rotate", Q), ("rotate_nan", NAN_Q))},
    **{n: (lambda lst, t=t: (out := VecList(lst)).transform(t) or out, t.apply) for n, t in (("transform", T), ("transform_nan", NAN_T))},
    **{n: (t.apply, t.apply) for n, t in (("apply", T), ("apply_nan", NAN_T))},
    "copy": (VecList, lambda e: e), "list": (lambda lst: lst.list, lambda e: e),
}

# Nearest-point search: each stride splits the coarse pass, the fine one or both across pieces for some worker count;
# equal nearest elements sit on both sides of every piece boundary of 1 to 7 workers, and the first must win.
NEAR, STRIDES, TIES = Vec3d(0.5, -0.25, 1.0), [1, 2, 7, 4096, 5000, N], [17921, 17922, 15361, 15362, 10240, 10241, 5119, 5120]


def flat(x):  # every float or bool of a result, in element order; an array result through its buffer
    if type(x) in (float, bool):
        return [x]
    if type(x) in (Vec3d, Quat):
        return [x.x, x.y, x.z] if type(x) is Vec3d else [x.w, x.i, x.j, x.k]
    if type(x) is RigidTransform:
        return flat(x.rotation) + flat(x.translation)
    return [c for e in (x if type(x) in (list, tuple, VecList, QuatList, RigidTransformList) else memoryview(x).tolist()) for c in flat(e)]


def encode(result):  # a result as bytes
    values = flat(result)
    return struct.pack(f"<{len(values)}{'?' if values and type(values[0]) is bool else 'd'}", *values)


def quats(n=N, seed=5, nans=True):
    rng, vs = random.Random(seed), elements(n, seed, nans)
    return [Quat(rng.choice(SPECIALS) if nans and rng.random() < 0.08 else rng.uniform(-1, 1), *v) for v in vs]


def rotations(n=N, seed=3):  # rotation matrices, of unit quaternions
    return np.array([Quat(*q).normalize().to_rotation_matrix() for q in np.random.default_rng(seed).standard_normal((n, 4))])


def sample(keys, key_times, t, between=Quat.slerp):  # interpolate at one time, as its documentation states it
    last = len(keys) - 1
    if math.isnan(t):
        nan = Quat(math.nan, math.nan, math.nan, math.nan)
        return nan if between is Quat.slerp else RigidTransform(nan, Vec3d(math.nan, math.nan, math.nan))
    if last == 0:
        return between(keys[0], keys[0], 0.0)
    if t <= key_times[0] or t >= key_times[last]:
        return between(keys[0], keys[1], 0.0) if t <= key_times[0] else between(keys[last - 1], keys[last], 1.0)
    k = bisect.bisect_right(key_times, t) - 1
    return between(keys[k], keys[k + 1], (t - key_times[k]) / (key_times[k + 1] - key_times[k]))


# QuatList: name: (bulk operation on the list, the single one on element i); operands one value or a list.
QS, OQ, VS, MATS = quats(), quats(seed=8), elements(seed=9), rotations()
ANGLES = np.array([flat(v) for v in elements(seed=6)])
XYZW = np.array([[q.i, q.j, q.k, q.w] for q in quats(seed=4)])
KEY_TIMES = [k * 0.75 - 9.0 for k in range(50)] + [30.0]  # at and between the keys, outside them, NaN, infinities
TIMES = KEY_TIMES + [t * 2.3e-3 - 12.0 for t in range(N - 61)] + [-1e300, 1e300, -math.inf, math.inf, math.nan, -0.0, 5e-324, 30.0, 29.999, 100.0]
MANY_KEY_TIMES, MANY_TIMES = [float(k) for k in range(5001)], [float(i % 5002) - 0.5 for i in range(N)]  # a binary search over 5,000 intervals
QUAT_OPERATIONS = {
    **{f"rotate{s}": (call("rotate", o), lambda q, i, o=o: q.rotate(o)) for s, o in (("", OTHER), ("_nan", NAN_OTHER))},
    "rotate_each": (lambda ql: ql.rotate(VecList(VS)), lambda q, i: q.rotate(VS[i])),
    **{f"then{s}": (call("then", o), lambda q, i, o=o: q.then(o)) for s, o in (("", Q), ("_nan", NAN_Q))},
    "then_each": (lambda ql: ql.then(QuatList(OQ)), lambda q, i: q.then(OQ[i])),
    **{f"then_before{s}": (o.then, lambda q, i, o=o: o.then(q)) for s, o in (("", Q), ("_nan", NAN_Q))},
    **{f"slerp_{t}": (call("slerp", Q, t), lambda q, i, t=t: q.slerp(Q, t)) for t in (0.0, 0.3, 1.0, -2.5, math.nan)},
    "slerp_each": (lambda ql: ql.slerp(QuatList(OQ), 0.7), lambda q, i: q.slerp(OQ[i], 0.7)),
    **{m: (call(m), lambda q, i, m=m: getattr(q, m)()) for m in ("inverse", "normalize")},
    "to_rotation_matrices": (call("to_rotation_matrices"), lambda q, i: q.to_rotation_matrix()),
    "to_xyzw_array": (call("to_xyzw_array"), lambda q, i: (-q.i, -q.j, -q.k, q.w)),
    "from_rotation_matrices": (lambda ql: QuatList.from_rotation_matrices(MATS), lambda q, i, m=MATS.tolist(): Quat.from_rotation_matrix(m[i])),
    "from_xyzw_array": (lambda ql: QuatList.from_xyzw_array(XYZW), lambda q, i, r=XYZW.tolist(): Quat(r[i][3], -r[i][0], -r[i][1], -r[i][2])),
    "to_wxyz_array": (call("to_wxyz_array"), lambda q, i: q.to_wxyz()),
    "from_wxyz_array": (lambda ql: QuatList.from_wxyz_array(XYZW[:, [3, 0, 1, 2]]), lambda q, i, r=XYZW.tolist(): Quat.from_wxyz(r[i][3], *r[i][:3])),
    "interpolate": (lambda ql: QuatList(QS[:51]).interpolate(KEY_TIMES, np.array(TIMES)), lambda q, i: sample(QS[:51], KEY_TIMES, TIMES[i])),
    "interpolate_many_keys": (lambda ql: QuatList(QS[:5001]).interpolate(MANY_KEY_TIMES, MANY_TIMES),
                              lambda q, i, keys=QS[:5001]: sample(keys, MANY_KEY_TIMES, MANY_TIMES[i])),
    "interpolate_one_key": (lambda ql: QuatList(QS[:1]).interpolate([2.0], TIMES), lambda q, i: sample(QS[:1], [2.0], TIMES[i])),
    "interpolate_one_time": (lambda ql: [QuatList(QS[:51]).interpolate(KEY_TIMES, [t])[0] for t in TIMES[:61]],  # one call per time
                             lambda q, i: sample(QS[:51], KEY_TIMES, TIMES[i]) if i < 61 else []),
    **{f"angle_to{s}": (call("angle_to", o), lambda q, i, o=o: q.angle_to(o).angle) for s, o in (("", Q), ("_nan", NAN_Q))},
    "angle_to_each": (lambda ql: ql.angle_to(QuatList(OQ)), lambda q, i: q.angle_to(OQ[i]).angle),
    "to_rotation_vectors": (call("to_rotation_vectors"), lambda q, i: q.to_rotation_vector()),
    "from_rotation_vectors": (lambda ql: QuatList.from_rotation_vectors(VecList(VS)), lambda q, i: Quat.from_rotation_vector(VS[i])),
    **{f"to_{frame}_euler_{axes}": (call(f"to_{frame}_euler", axes), lambda q, i, m=f"to_{frame}_euler", axes=axes: [a.angle for a in getattr(q, m)(axes)])
       for frame in ("intrinsic", "extrinsic") for axes in ("xyz", "ZXZ")},
    **{f"from_{frame}_euler_{axes}": (lambda ql, m=f"from_{frame}_euler", axes=axes: getattr(QuatList, m)(axes, ANGLES),
                                      lambda q, i, m=f"from_{frame}_euler", axes=axes: getattr(Quat, m)(axes, *map(AngleRadians, ANGLES[i].tolist())))
       for frame in ("intrinsic", "extrinsic") for axes in ("zyx", "YXY")},
    "copy": (QuatList, lambda q, i: q), "list": (lambda ql: ql.list, lambda q, i: q),
}


# RigidTransformList: the same, on poses whose parts hold the specials above.
def poses(n=N, seed=5, nans=True):
    return [RigidTransform(q, v) for q, v in zip(quats(n, seed, nans), elements(n, seed + 1, nans))]


PS, OP = poses(), poses(seed=11)
POSE_MATS = np.array([RigidTransform(Quat(*q).normalize(), Vec3d(*v)).to_matrix()  # pose matrices are finite
                      for q, v in zip(rotations(200, 4).reshape(-1, 9)[:, :4], np.random.default_rng(6).uniform(-100, 100, (200, 3)).tolist())])
POSE_ROWS = np.array([flat(p.translation) + [-p.rotation.i, -p.rotation.j, -p.rotation.k, p.rotation.w] for p in poses(seed=12)])
interpolated = lambda a, b, s: a.interpolate(b, s)  # noqa: E731
POSE_OPERATIONS = {
    **{f"apply{s}": (call("apply", o), lambda t, i, o=o: t.apply(o)) for s, o in (("", OTHER), ("_nan", NAN_OTHER))},
    "apply_each": (lambda tl: tl.apply(VecList(VS)), lambda t, i: t.apply(VS[i])),
    **{f"then{s}": (call("then", o), lambda t, i, o=o: t.then(o)) for s, o in (("", T), ("_nan", NAN_T))},
    "then_each": (lambda tl: tl.then(RigidTransformList(OP)), lambda t, i: t.then(OP[i])),
    **{f"after{s}": (lambda tl, o=o: o.then(tl), lambda t, i, o=o: o.then(t)) for s, o in (("", T), ("_nan", NAN_T))},
    **{m: (call(m), lambda t, i, m=m: getattr(t, m)()) for m in ("inverse",)},
    "normalize": (call("normalize"), lambda t, i: RigidTransform(t.rotation.normalize(), t.translation)),
    **{f"{m}{s}": (call(m, o), lambda t, i, m=m, o=o: f(m, t, o)) for m in ("angle_to", "distance_to") for s, o in (("", T), ("_nan", NAN_T))},
    **{f"{m}_each": (lambda tl, m=m: getattr(tl, m)(RigidTransformList(OP)), lambda t, i, m=m: f(m, t, OP[i])) for m in ("angle_to", "distance_to")},
    "interpolate": (lambda tl: RigidTransformList(PS[:51]).interpolate(KEY_TIMES, np.array(TIMES)),
                    lambda t, i: sample(PS[:51], KEY_TIMES, TIMES[i], interpolated)),
    "interpolate_many_keys": (lambda tl: RigidTransformList(PS[:5001]).interpolate(MANY_KEY_TIMES, MANY_TIMES),
                              lambda t, i, keys=PS[:5001]: sample(keys, MANY_KEY_TIMES, MANY_TIMES[i], interpolated)),
    "interpolate_one_key": (lambda tl: RigidTransformList(PS[:1]).interpolate([2.0], TIMES), lambda t, i: sample(PS[:1], [2.0], TIMES[i], interpolated)),
    "to_matrices": (call("to_matrices"), lambda t, i: t.to_matrix()),
    "from_matrices": (lambda tl: RigidTransformList.from_matrices(POSE_MATS), lambda t, i, m=POSE_MATS.tolist(): RigidTransform.from_matrix(m[i]) if i < 200 else []),
    "to_xyz_xyzw_array": (call("to_xyz_xyzw_array"), lambda t, i: flat(t.translation) + [-t.rotation.i, -t.rotation.j, -t.rotation.k, t.rotation.w]),
    "from_xyz_xyzw_array": (lambda tl: RigidTransformList.from_xyz_xyzw_array(POSE_ROWS),
                            lambda t, i, r=POSE_ROWS.tolist(): RigidTransform(Quat(r[i][6], -r[i][3], -r[i][4], -r[i][5]), Vec3d(*r[i][:3]))),
    "from_components": (lambda tl: RigidTransformList.from_components(QuatList(QS), VecList(VS)), lambda t, i: RigidTransform(QS[i], VS[i])),
    "from_components_one_rotation": (lambda tl: RigidTransformList.from_components(NAN_Q, VecList(VS)), lambda t, i: RigidTransform(NAN_Q, VS[i])),
    "copy": (RigidTransformList, lambda t, i: t), "list": (lambda tl: tl.list, lambda t, i: t),
}


def f(method, t, o):  # a pose's angle_to or distance_to: the rotations' angle, the translations' distance
    return t.rotation.angle_to(o.rotation).angle if method == "angle_to" else t.translation.distance_to(o.translation)


def nearest(items, stride):  # the coarse pass over every stride-th element, then the fine pass around its winner
    keys = [(b := struct.unpack("<q", struct.pack("<d", e.distance_squared(NEAR)))[0]) ^ ((b >> 63) & (2**63 - 1)) for e in items]
    i = min(range(0, len(items), stride), key=keys.__getitem__)
    j = min(range(max(i - stride, 0), min(i + stride, len(items))), key=keys.__getitem__)
    return j, math.sqrt(items[j].distance_squared(NEAR))


def fitting():  # fits and statistics: sums in fixed blocks and a counter-based stream, the same bits at any worker count
    rng = np.random.default_rng(26)
    source, target = VecList.from_array(rng.standard_normal((N, 3))), VecList.from_array(rng.standard_normal((N, 3)) + 5.0)
    weights, ql = rng.random(N), QuatList.from_array(rng.standard_normal((N, 4)))
    pose, rssd = RigidTransform.align(source, target, weights)
    out = {
        "align": encode(Quat.align(source, target)), "align_weighted": encode(Quat.align(source, target, weights)),
        "pose_align": encode([pose.rotation, pose.translation, rssd]),
        "mean": encode(ql.mean()), "mean_weighted": encode(ql.mean(weights)), "random": encode(QuatList.random(N, 2**64 - 1)),
        "power": encode(ql.power(0.3)), "differences": encode(ql.differences()), "accumulate": encode(QuatList.random(N, 5).accumulate()),
    }
    return out


def cloud(n, seed):  # finite points on a 0.1 grid: duplicates and many equal distances
    rng = random.Random(seed)
    return [Vec3d(*(round(rng.uniform(-4, 4), 1) for _ in range(3))) for _ in range(n)]


def kd_tree_results(bulk):  # batch searches (in grid order, on the pool) or one query point per call (on the caller)
    tree, qs = KDTree(VecList(cloud(N, 12))), cloud(N, 13)
    if bulk:
        (d, i), (o, f) = tree.query(VecList(qs), 4, 0.8), tree.within(VecList(qs), 0.3)
        rows = [f[o[j] : o[j + 1]] for j in range(N)]
        return {"query": (d.tobytes(), i.tobytes()), "within": [r.tobytes() for r in rows],
                "count_within": tree.count_within(VecList(qs), 0.3).tobytes(), "pairs_within": tree.pairs_within(0.15).tobytes()}
    one = [tree.query(VecList([q]), 4, 0.8) for q in qs]
    rows = [tree.within(VecList([q]), 0.3)[1] for q in qs]
    points = list(tree.points)
    pairs = [[i, j] for i, p in enumerate(points) for j in tree.within(VecList([p]), 0.15)[1].tolist() if j > i]
    return {"query": (np.concatenate([d for d, _ in one]).tobytes(), np.concatenate([i for _, i in one]).tobytes()),
            "within": [r.tobytes() for r in rows], "count_within": np.array([len(r) for r in rows], np.int64).tobytes(),
            "pairs_within": np.array(pairs, np.int64).tobytes()}


def results(bulk):  # bulk (or single-vector) results on data without NaNs (any order gives the default NaN) and with
    tie, nan = Vec3d(0.5, -0.25, 1.0 + 2.0**-20), Vec3d(math.nan, 0, 0)  # positive NaN keys sort last
    ties, out = [tie if i in TIES else e if i % 11 else nan for i, e in enumerate(elements(nans=False))], {}
    for data, items, near in [("plain", elements(nans=False), ties), ("nan", elements(), elements())]:
        lst, ops = VecList(items), {n: o for n, o in OPERATIONS.items() if data == "nan" or not n.endswith("_nan")}
        res = out[data] = {n: encode(b(lst) if bulk else [s(e) for e in items]) for n, (b, s) in ops.items()}
        res["repr"] = repr(lst) if bulk else "[" + "\n".join(map(repr, items)) + "]"
        for s in STRIDES:
            i, d = VecList(near).minimum_distance_to(NEAR, s) if bulk else nearest(near, s)
            res[f"nearest_{s}"] = i, encode(d)
    ql = QuatList(QS)
    out["quat"] = {n: encode(b(ql) if bulk else [s(q, i) for i, q in enumerate(QS)]) for n, (b, s) in QUAT_OPERATIONS.items()}
    out["quat"]["repr"] = repr(ql) if bulk else "[" + "\n".join(map(repr, QS)) + "]"
    out["fitting"] = fitting()  # in this process beside the same calls with 1, 2, 3 and 7 workers
    out["kd_tree"] = kd_tree_results(bulk)
    tl = RigidTransformList(PS)
    out["pose"] = {n: encode(b(tl) if bulk else [s(t, i) for i, t in enumerate(PS)]) for n, (b, s) in POSE_OPERATIONS.items()}
    # the two parts: all rotations, then all translations
    out["pose"]["parts"] = encode([tl.rotations, tl.translations] if bulk else [[t.rotation for t in PS], [t.translation for t in PS]])
    out["pose"]["repr"] = repr(tl) if bulk else "[" + "\n".join(map(repr, PS)) + "]"
    return out


if __name__ == "__main__":
    sys.stdout.buffer.write(pickle.dumps(results(bulk=True)))
