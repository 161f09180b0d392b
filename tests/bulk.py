"""Bulk VecList operations beside the single-vector ones they must equal bit for bit, and data to run them on."""

import math
import pickle
import random
import struct
import sys
from operator import add, methodcaller as call, mul, sub, truediv

from kalvor import Quat, RigidTransform, Vec3d, VecList

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
    "copy": (VecList, lambda e: e), "list": (lambda lst: lst.list, lambda e: e),
}

# Nearest-point search: each stride splits the coarse pass, the fine one or both across pieces for some worker count;
# equal nearest elements sit on both sides of every piece boundary of 1 to 7 workers, and the first must win.
NEAR, STRIDES, TIES = Vec3d(0.5, -0.25, 1.0), [1, 2, 7, 4096, 5000, N], [17921, 17922, 15361, 15362, 10240, 10241, 5119, 5120]


def encode(result):  # a result (a VecList, Vec3d, float, bool or list of them) as bytes, in element order
    r = result if isinstance(result, (VecList, list)) else [result]
    kind = type(r[0]) if len(r) else float
    values = [c for v in r for c in (v.x, v.y, v.z)] if kind is Vec3d else [c for x in r for c in x] if kind is list else r
    return struct.pack(f"<{len(values)}{'?' if kind is bool else 'd'}", *values)


def nearest(items, stride):  # the coarse pass over every stride-th element, then the fine pass around its winner
    keys = [(b := struct.unpack("<q", struct.pack("<d", e.distance_squared(NEAR)))[0]) ^ ((b >> 63) & (2**63 - 1)) for e in items]
    i = min(range(0, len(items), stride), key=keys.__getitem__)
    j = min(range(max(i - stride, 0), min(i + stride, len(items))), key=keys.__getitem__)
    return j, math.sqrt(items[j].distance_squared(NEAR))


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
    return out


if __name__ == "__main__":
    sys.stdout.buffer.write(pickle.dumps(results(bulk=True)))
