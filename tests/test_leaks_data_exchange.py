"""Reference-leak check of pickling, copying, the buffer export and from_array:
every path, the refused ones included."""

import copy
import pickle

import numpy as np
import pytest

from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList
from kalvor.geometry import Circle, Plane
from leakcheck import assert_no_leak, needs_debug_interpreter

pytestmark = needs_debug_interpreter

L = VecList([Vec3d(1, 2, 3), Vec3d(-4, 0.5, 6), Vec3d(0, 0, 0)])
VALUES = [Vec3d(1, 2, 3), AngleRadians(1), AngleDegrees(2), Quat(1, 2, 3, 4), Plane.xy(), Circle.none(), L]
# numpy arrays are made once, outside the measured operations: an extension
# built for the release interpreter skews the debug interpreter's total count
# whenever it creates an array.
A = np.arange(12.0).reshape(4, 3)
A32 = A[::-1].astype(np.float32)
WIDE = np.zeros((2, 4))
INTS = np.zeros((2, 3), dtype=np.int32)


def _round_trips(value):
    def run():
        for protocol in (2, 4, 5):
            pickle.loads(pickle.dumps(value, protocol=protocol))
        copy.copy(value)
        copy.deepcopy(value)

    return run


def _out_of_band():
    buffers = []
    data = pickle.dumps(L, protocol=5, buffer_callback=buffers.append)
    pickle.loads(data, buffers=buffers)


def _held_export():
    lst = VecList([Vec3d(1, 2, 3)])
    view = memoryview(lst)
    try:
        lst.append(Vec3d(0, 0, 0))
    finally:
        view.release()


def _held_pickle_buffer():
    lst = VecList([Vec3d(1, 2, 3)])
    with pickle.PickleBuffer(lst):
        lst.rotate(Quat(1, 0, 0, 0))


OPERATIONS = {
    **{f"round_trips_{type(value).__name__}": _round_trips(value) for value in VALUES},
    "out_of_band": _out_of_band,
    "iterator_pickle": lambda: pickle.dumps(iter(L)),
    "setstate_bad_block": lambda: VecList.empty().__setstate__(b"x" * 25),
    "setstate_not_buffer": lambda: VecList.empty().__setstate__(5),
    "setstate_short_tuple": lambda: Plane.xy().__setstate__((1.0,)),
    "setstate_bad_item": lambda: Circle.none().__setstate__(("a",) * 7),
    "setstate_not_tuple": lambda: Plane.xy().__setstate__([1.0] * 4),
    "reduce_ex_bad": lambda: L.__reduce_ex__("5"),
    "reduce_ex_missing": lambda: L.__reduce_ex__(),
    "export": lambda: (memoryview(L).tolist(), bytes(memoryview(L)), memoryview(L).cast("B")),
    "held_export": _held_export,
    "held_pickle_buffer": _held_pickle_buffer,
    "from_array": lambda: (VecList.from_array(A), VecList.from_array(A32), VecList.from_array(L)),
    "from_array_shape": lambda: VecList.from_array(WIDE),
    "from_array_format": lambda: VecList.from_array(INTS),
    "from_array_bytes": lambda: VecList.from_array(b"abc"),
    "from_array_no_buffer": lambda: VecList.from_array(None),
    "from_array_keyword": lambda: VecList.from_array(array=A),
    "from_array_missing": lambda: VecList.from_array(),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    assert_no_leak(name, OPERATIONS[name], runs=300)
