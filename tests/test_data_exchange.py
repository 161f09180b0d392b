"""Data in and out of kalvor: pickling, copying, VecList's buffer export and VecList.from_array."""

import copy
import ctypes
import pickle
import re
import struct

import numpy as np
import pytest

from conftest import bits
from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList
from kalvor.geometry import Circle, Plane

NAN_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF800000000BEEF))[0]
NEG_NAN = struct.unpack("<d", struct.pack("<Q", 0xFFF8000000000001))[0]
ODD = [-0.0, float("inf"), NAN_PAYLOAD, NEG_NAN, 5e-324, -1.7976931348623157e308, 0.1]
FIELDS = {Vec3d: "x y z", AngleRadians: "angle", AngleDegrees: "angle", Quat: "w i j k",
          Plane: "normal distance", Circle: "center radius normal"}


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def state(obj):
    """Every stored double of a value, as bit patterns."""
    if type(obj) is VecList:
        return [b for v in obj for b in state(v)]
    values = [getattr(obj, n) for n in FIELDS[type(obj)].split()]
    return [b for v in values for b in (state(v) if isinstance(v, Vec3d) else [bits(v)])]


VALUES = {
    "Vec3d": lambda: Vec3d(*ODD[3:6]),
    "AngleRadians": lambda: AngleRadians(NEG_NAN),
    "AngleDegrees": lambda: AngleDegrees(-0.0),
    "Quat": lambda: Quat(*ODD[:4]),
    "Plane": lambda: (p := Plane.xy()).__setstate__((-0.0, NAN_PAYLOAD, 3.0, 5.0)) or p,  # not a unit normal
    "Circle": lambda: (c := Circle.none()).__setstate__((*ODD[:3], -3.0, 0.0, 0.0, 9.0)) or c,
    "VecList": lambda: VecList([Vec3d(*ODD[i : i + 3]) for i in range(5)]),
    "VecList_empty": VecList.empty,
}
COPIES = {f"pickle{p}": lambda o, p=p: pickle.loads(pickle.dumps(o, protocol=p)) for p in (2, 3, 4, 5)} | {
    "copy": copy.copy, "deepcopy": copy.deepcopy}


@pytest.mark.parametrize("how", COPIES)
@pytest.mark.parametrize("name", VALUES)
def test_pickles_and_copies_are_new_objects_bit_for_bit(name, how):
    obj = VALUES[name]()
    twin = COPIES[how](obj)
    assert type(twin) is type(obj) and twin is not obj and state(twin) == state(obj)
    if type(twin) is VecList:  # independent of the original
        twin.append(Vec3d(1, 2, 3))
        assert len(twin) == len(obj) + 1


def test_vec_list_pickles_as_one_block_out_of_band_with_protocol_5():
    lst = VALUES["VecList"]()
    block = bytes(memoryview(lst))
    assert all(block in pickle.dumps(lst, protocol=p) and b"Vec3d" not in pickle.dumps(lst, protocol=p) for p in (3, 4))
    buffers = []
    data = pickle.dumps(lst, protocol=5, buffer_callback=buffers.append)
    assert len(buffers) == 1 and len(data) < 100 and buffers[0].raw().tobytes() == block
    with raises(RuntimeError, "Already borrowed"):
        lst.append(Vec3d(0, 0, 0))  # the buffer still points at the array
    assert state(pickle.loads(data, buffers=[bytearray(buffers[0].raw())])) == state(lst)
    buffers[0].release()
    lst.append(Vec3d(0, 0, 0))


def resized(lst, size):
    block = bytes(memoryview(lst))
    old = b"C" + bytes([len(block)]) + block  # SHORT_BINBYTES; protocol 3 has no frames to fix up
    return pickle.dumps(lst, protocol=3).replace(old, b"C" + bytes([size]) + block[:size].ljust(size, b"\0"))


BLOCK = "expected a block of whole 24-byte vectors, got {} bytes"
ITER = "cannot pickle 'kalvor.VecListIterator' object"


@pytest.mark.parametrize(
    "make, call, exc, text",
    [
        (VecList.empty, "obj.__setstate__(5)", TypeError, "argument 'state': a bytes-like object is required, not 'int'"),
        (VecList.empty, "obj.__setstate__(b'x' * 25)", ValueError, BLOCK.format(25)),
        (Plane.xy, "obj.__setstate__((1.0, 2.0))", TypeError, "argument 'state': expected a sequence of 4 items, got 2"),
        (Plane.xy, "obj.__setstate__(('a', 2.0, 3.0, 4.0))", TypeError, "argument 'state': [0]: must be real number, not str"),
        (Circle.none, "obj.__setstate__((1.0,) * 8)", TypeError, "argument 'state': expected a sequence of 7 items, got 8"),
        (Circle.none, "obj.__setstate__(None)", TypeError, "argument 'state': 'None' is not an instance of 'Sequence'"),
        *[(VALUES["VecList"], f"pickle.loads(resized(obj, {n}))", ValueError, BLOCK.format(n)) for n in (47, 121)],
        (VecList.empty, "obj.__reduce_ex__(-1)", OverflowError, "can't convert negative int to unsigned"),
        (VecList.empty, "obj.__reduce_ex__()", TypeError,
         "VecList.__reduce_ex__() missing 1 required positional argument: 'protocol'"),
        *[(VALUES["VecList"], f"{f}(iter(obj))", TypeError, ITER) for f in ("pickle.dumps", "copy.copy", "copy.deepcopy")],
    ],
)
def test_refused_states_and_pickles_change_nothing(make, call, exc, text):
    obj = make()
    before = state(obj)
    with raises(exc, text):
        eval(call)
    assert state(obj) == before


def test_export_is_a_read_only_zero_copy_view_and_refuses_other_requests():
    lst = VALUES["VecList"]()
    a = np.asarray(lst)
    assert a.shape == (5, 3) and a.dtype == np.float64 and not a.flags.writeable and a.flags.c_contiguous
    assert np.asarray(lst).ctypes.data == a.ctypes.data  # the list's own array, twice
    assert [bits(x) for x in a.ravel()] == state(lst)
    m = memoryview(lst)
    assert (m.format, m.ndim, m.shape, m.strides, m.readonly, m.nbytes) == ("d", 2, (5, 3), (24, 8), True, 120)
    assert np.asarray(VecList.empty()).shape == (0, 3)
    get = ctypes.pythonapi.PyObject_GetBuffer
    get.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    for flags, text in [(0x0001, "read-only"), (0x0058, "C-contiguous, not Fortran-contiguous")]:
        with raises(BufferError, "VecList buffers are " + text):
            get(lst, ctypes.addressof(ctypes.create_string_buffer(80)), flags)
    del a
    m.release()
    lst.append(Vec3d(0, 0, 0))  # no borrow left behind


@pytest.mark.parametrize("mutate", [lambda lst: lst.append(Vec3d(0, 0, 0)), lambda lst: lst.rotate(Quat(0, 1, 0, 0)),
                                    lambda lst: lst.extend(VecList([Vec3d(0, 0, 0)])), lambda lst: lst.__setstate__(b"")])
@pytest.mark.parametrize("hold", [np.asarray, memoryview, pickle.PickleBuffer])
def test_a_held_export_blocks_mutation_until_released(hold, mutate):
    lst = VALUES["VecList"]()
    before = state(lst)
    view = hold(lst)
    with raises(RuntimeError, "Already borrowed"):
        mutate(lst)
    assert state(lst) == before and len(lst.normalize()) == 5 and lst.dot(Vec3d(1, 0, 0))[2] != 0
    if hold is not np.asarray:
        view.release()
    del view
    mutate(lst)


BASE = np.array([[ODD[i], ODD[(i + 2) % 7], ODD[(i + 4) % 7]] for i in range(7)])


@pytest.mark.parametrize(
    "source",
    [BASE, BASE[::-1], np.asfortranarray(BASE), np.hstack([BASE, BASE])[::2, ::2], memoryview(BASE),
     np.broadcast_to(BASE[2], (4, 3)), np.zeros((0, 3)),
     np.array([[0.1, -0.0, np.inf], [1e-45, 3e38, -2.5]], dtype=np.float32)[::-1]],  # widened exactly
)
def test_from_array_reads_any_strides_bit_for_bit(source):
    lst = VecList.from_array(source)
    assert state(lst) == [bits(x) for x in np.asarray(source).ravel()] == state(VecList.from_array(lst))


EXPECTED = "VecList.from_array() expected a 2-D buffer of float64 or float32 with 3 columns, got "


@pytest.mark.parametrize(
    "source, exc, text",
    [
        (np.zeros((5, 4)), ValueError, EXPECTED + "shape (5, 4)"),
        (np.zeros((2, 3, 1)), ValueError, EXPECTED + "shape (2, 3, 1)"),
        (b"123", ValueError, EXPECTED + "shape (3,)"),
        (np.zeros((5, 3), dtype=np.int64), TypeError, EXPECTED + "format 'l'"),
        (np.zeros((5, 3), dtype=np.complex128), TypeError, EXPECTED + "format 'Zd'"),
        (np.zeros((5, 3), dtype=">f8"), TypeError, EXPECTED + "format '>d'"),
        ([[1.0, 2.0, 3.0]], TypeError, "argument 'array': a bytes-like object is required, not 'list'"),
    ],
)
def test_from_array_refuses_other_buffers(source, exc, text):
    with raises(exc, text):
        VecList.from_array(source)


def test_from_array_of_an_impossible_size_is_a_memory_error():
    with pytest.raises(MemoryError):
        VecList.from_array(np.lib.stride_tricks.as_strided(np.zeros(3), shape=(2**58, 3), strides=(0, 8)))
