"""Every bulk VecList operation beside the single-vector operation it must equal
bit for bit, with the data both run on; shared by the worker-count test (which
also runs this file as a script in a subprocess) and the thread-stress test."""

import math
import pickle
import random
import struct
import sys

from kalvor import Quat, Vec3d, VecList


def f64(pattern):
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


# NaNs of both signs with payloads (one signalling), signed zeros, infinities,
# subnormals, extremes.
SPECIALS = [
    f64(0x7FF8000000000001),
    f64(0xFFF80000DEADBEEF),
    f64(0x7FF4000000000ABC),
    f64(0xFFFC000000000000),
    0.0,
    -0.0,
    math.inf,
    -math.inf,
    5e-324,
    -2.2250738585072009e-308,
    1.7976931348623157e308,
    -1e-300,
]
UNITS = [Vec3d(1, 0, 0), Vec3d(0, -1, 0), Vec3d(0.6, 0.8, 0), Vec3d(-0.0, 0.0, 1.0)]

OTHER = Vec3d(0.25, -3.5, 7.0)
NAN_OTHER = Vec3d(f64(0xFFF800000000BEEF), 1.5, -0.0)
Q = Quat(0.5, -0.5, 0.5, 0.5)
NAN_Q = Quat(0.9, f64(0x7FF800000000CAFE), 0.1, -0.2)
NAN_SCALAR = f64(0xFFF8000000000123)

# Five pieces of the pool's minimum size, and three elements over.
N = 5 * 4096 + 3


def elements(n=N, seed=5, nans=True):
    rng = random.Random(seed)
    specials = SPECIALS if nans else [s for s in SPECIALS if not math.isnan(s)]

    def component():
        if rng.random() < 0.08:
            return rng.choice(specials)
        return rng.uniform(-4.0, 4.0)

    out = [Vec3d(component(), component(), component()) for _ in range(n)]
    for i in range(0, n, 97):
        out[i] = rng.choice(UNITS)
    return out


def rotated(lst, q):
    out = VecList(lst)
    out.rotate(q)
    return out


# name: (bulk operation on a VecList, the single-vector operation on one element)
OPERATIONS = {
    "dot": (lambda l: l.dot(OTHER), lambda e: e.dot(OTHER)),
    "dot_nan": (lambda l: l.dot(NAN_OTHER), lambda e: e.dot(NAN_OTHER)),
    "cross": (lambda l: l.cross(OTHER), lambda e: e.cross(OTHER)),
    "cross_nan": (lambda l: l.cross(NAN_OTHER), lambda e: e.cross(NAN_OTHER)),
    "distance_to": (lambda l: l.distance_to(NAN_OTHER), lambda e: e.distance_to(NAN_OTHER)),
    "distance_squared": (lambda l: l.distance_squared(OTHER), lambda e: e.distance_squared(OTHER)),
    "magnitude": (lambda l: l.magnitude(), lambda e: e.magnitude()),
    "normalize": (lambda l: l.normalize(), lambda e: e.normalize()),
    "is_unit": (lambda l: l.is_unit(), lambda e: e.is_unit()),
    "to_array": (lambda l: l.to_array(), lambda e: e.to_array()),
    "collapse_0": (lambda l: l.collapse(0), lambda e: Vec3d(0.0, e.y, e.z)),
    "collapse_1": (lambda l: l.collapse(1), lambda e: Vec3d(e.x, 0.0, e.z)),
    "collapse_2": (lambda l: l.collapse(2), lambda e: Vec3d(e.x, e.y, 0.0)),
    "rotate": (lambda l: rotated(l, Q), lambda e: Q.rotate(e)),
    "rotate_nan": (lambda l: rotated(l, NAN_Q), lambda e: NAN_Q.rotate(e)),
    "add": (lambda l: l + OTHER, lambda e: e + OTHER),
    "add_nan": (lambda l: l + NAN_OTHER, lambda e: e + NAN_OTHER),
    "sub": (lambda l: l - NAN_OTHER, lambda e: e - NAN_OTHER),
    "mul": (lambda l: l * -1.5, lambda e: e * -1.5),
    "mul_nan": (lambda l: l * NAN_SCALAR, lambda e: e * NAN_SCALAR),
    "rmul": (lambda l: 0.1 * l, lambda e: 0.1 * e),
    "rmul_nan": (lambda l: NAN_SCALAR * l, lambda e: NAN_SCALAR * e),
    "div": (lambda l: l / 3.0, lambda e: e / 3.0),
    "div_zero": (lambda l: l / -0.0, lambda e: e / -0.0),
    "div_nan": (lambda l: l / NAN_SCALAR, lambda e: e / NAN_SCALAR),
    "copy": (lambda l: VecList(l), lambda e: e),
    "list": (lambda l: l.list, lambda e: e),
}

# The nearest-point search: every stride below splits the coarse pass, the
# fine pass, or both, across pieces for some worker count.
NEAR = Vec3d(0.5, -0.25, 1.0)
STRIDES = [1, 2, 7, 4096, 5000, N]
# Equal nearest elements on both sides of every piece boundary of 1 to 7
# workers (5120, 10241, 15362 and 17922), so the first of them must win.
TIES = [17921, 17922, 15361, 15362, 10240, 10241, 5119, 5120]


def tie_elements():
    out = elements(nans=False)
    out[::11] = [Vec3d(math.nan, 0, 0)] * len(out[::11])  # positive NaN keys sort last
    for i in TIES:
        out[i] = Vec3d(0.5, -0.25, 1.0 + 2.0**-20)
    return out


def flat(result):
    """A result as a flat list of floats or bools, in element order."""
    if isinstance(result, (VecList, Vec3d)):
        result = [result] if isinstance(result, Vec3d) else list(result)
        return [c for v in result for c in (v.x, v.y, v.z)]
    if isinstance(result, list):
        return [c for r in result for c in flat(r)] if result and isinstance(result[0], (list, Vec3d)) else result
    return [result]


def encode(values):
    code = "?" if values and type(values[0]) is bool else "d"
    return struct.pack(f"<{len(values)}{code}", *values)


# Two data sets: without NaN inputs every NaN a result holds is the one the
# processor makes for an invalid operation, whatever the operand order; with
# NaN payloads in the elements and the operands, the order decides which
# payload and sign come out.
def data_sets():
    with_nans = elements()
    return {"plain": (elements(nans=False), tie_elements()), "nan": (with_nans, with_nans)}


def names(data):
    return [n for n in OPERATIONS if data == "nan" or not n.endswith("_nan")]


def bulk_results():
    out = {}
    for data, (items, near) in data_sets().items():
        lst, near_list = VecList(items), VecList(near)
        res = out[data] = {name: encode(flat(OPERATIONS[name][0](lst))) for name in names(data)}
        res["repr"] = repr(lst).encode()
        for stride in STRIDES:
            index, distance = near_list.minimum_distance_to(NEAR, stride)
            res[f"nearest_{stride}"] = (index, encode([distance]))
    return out


def total_order(x):
    b = struct.unpack("<q", struct.pack("<d", x))[0]
    return b ^ ((b >> 63) & 0x7FFFFFFFFFFFFFFF)


def nearest(items, stride):
    keys = [total_order(e.distance_squared(NEAR)) for e in items]

    def first_min(indices):
        return min(indices, key=lambda i: (keys[i], i))

    i = first_min(range(0, len(items), stride))
    start = i - stride if i >= stride else 0
    j = first_min(range(start, min(i + stride, len(items))))
    return j, encode([math.sqrt(items[j].distance_squared(NEAR))])


def single_results():
    out = {}
    for data, (items, near) in data_sets().items():
        res = out[data] = {
            name: encode([c for e in items for c in flat(OPERATIONS[name][1](e))]) for name in names(data)
        }
        res["repr"] = ("[" + "\n".join(map(repr, items)) + "]").encode()
        for stride in STRIDES:
            res[f"nearest_{stride}"] = nearest(near, stride)
    return out


if __name__ == "__main__":
    sys.stdout.buffer.write(pickle.dumps(bulk_results()))
