"""Data in and out of kalvor: pickling and copying, the buffer export of
VecList and VecList.from_array."""

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
NEG_NAN = struct.unpack("<d", struct.pack("<Q", 0xFFF0000000000001 | 0x0008000000000000))[0]
ODD = [-0.0, float("inf"), NAN_PAYLOAD, NEG_NAN, 5e-324, -1.7976931348623157e308, 0.1]


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


def state(obj):
    """Every stored double of a value, as bit patterns."""
    if isinstance(obj, Vec3d):
        fields = [obj.x, obj.y, obj.z]
    elif isinstance(obj, (AngleRadians, AngleDegrees)):
        fields = [obj.angle]
    elif isinstance(obj, Quat):
        fields = [obj.w, obj.i, obj.j, obj.k]
    elif isinstance(obj, Plane):
        fields = [*obj.normal, obj.distance]
    elif isinstance(obj, Circle):
        fields = [*obj.center, obj.radius, *obj.normal]
    else:
        fields = [c for v in obj for c in v]
    return [bits(f) for f in fields]


def _plane():
    p = Plane(Vec3d(0, 0, 2), 5.0)
    p.normal = Vec3d(-0.0, NAN_PAYLOAD, 3.0)  # not what the constructor would store
    return p


def _circle():
    c = Circle(Vec3d(*ODD[:3]), 2.0, Vec3d(0, 0, 1))
    c.radius, c.normal = -3.0, Vec3d(0, 0, 9)
    return c


VALUES = {
    "Vec3d": lambda: Vec3d(*ODD[:3]),
    "Vec3d2": lambda: Vec3d(*ODD[3:6]),
    "AngleRadians": lambda: AngleRadians(NEG_NAN),
    "AngleDegrees": lambda: AngleDegrees(-0.0),
    "Quat": lambda: Quat(*ODD[:4]),
    "Plane": _plane,
    "Circle": _circle,
    "VecList": lambda: VecList([Vec3d(*ODD[i : i + 3]) for i in range(5)]),
    "VecList_empty": VecList.empty,
}


# ---- pickling and copying


@pytest.mark.parametrize("protocol", [2, 3, 4, 5])
@pytest.mark.parametrize("name", VALUES)
def test_pickle_round_trips_bit_for_bit(name, protocol):
    obj = VALUES[name]()
    back = pickle.loads(pickle.dumps(obj, protocol=protocol))
    assert type(back) is type(obj) and back is not obj and state(back) == state(obj)


@pytest.mark.parametrize("make", [copy.copy, copy.deepcopy])
@pytest.mark.parametrize("name", VALUES)
def test_copies_are_new_equal_objects(name, make):
    obj = VALUES[name]()
    twin = make(obj)
    assert type(twin) is type(obj) and twin is not obj and state(twin) == state(obj)


def test_copies_are_independent():
    lst = VecList([Vec3d(1, 2, 3)])
    twin = copy.copy(lst)
    twin.append(Vec3d(4, 5, 6))
    twin.rotate(Quat(0, 1, 0, 0))
    assert len(lst) == 1 and state(lst) == state(VecList([Vec3d(1, 2, 3)]))
    plane = Plane.xy()
    copy.deepcopy(plane).distance = 7.0
    assert plane.distance == -0.0


def test_vec_list_pickles_its_elements_as_one_block():
    lst = VALUES["VecList"]()
    block = bytes(memoryview(lst))
    assert len(block) == 24 * len(lst)
    for protocol in (3, 4, 5):
        data = pickle.dumps(lst, protocol=protocol)
        assert block in data and b"Vec3d" not in data


def test_protocol_5_offers_the_array_out_of_band():
    lst = VALUES["VecList"]()
    buffers = []
    data = pickle.dumps(lst, protocol=5, buffer_callback=buffers.append)
    assert len(buffers) == 1 and len(data) < 100
    assert buffers[0].raw().tobytes() == bytes(memoryview(lst))
    with raises(RuntimeError, "Already borrowed"):
        lst.append(Vec3d(0, 0, 0))  # the buffer still points at the array
    back = pickle.loads(data, buffers=[bytearray(buffers[0].raw())])
    assert state(back) == state(lst)
    buffers[0].release()
    lst.append(Vec3d(0, 0, 0))


def _resized_block(delta):
    """The pickle of a list with its element block shortened or lengthened."""
    lst = VecList([Vec3d(1, 2, 3), Vec3d(4, 5, 6)])
    data = pickle.dumps(lst, protocol=3)  # no frames to fix up
    head = b"C" + bytes([48])  # SHORT_BINBYTES of 48 bytes
    at = data.index(head)
    block = data[at + 2 : at + 50]
    block = block[:delta] if delta < 0 else block + b"\0" * delta
    return data[:at] + b"C" + bytes([len(block)]) + block + data[at + 50 :]


@pytest.mark.parametrize("delta, size", [(-1, 47), (-24 + 1, 25), (1, 49), (-47, 1)])
def test_unpickling_rejects_a_wrong_sized_block(delta, size):
    with raises(ValueError, f"expected a block of whole 24-byte vectors, got {size} bytes"):
        pickle.loads(_resized_block(delta))


@pytest.mark.parametrize(
    "target, state_, exc, text",
    [
        (VecList.empty, 5, TypeError, "argument 'state': a bytes-like object is required, not 'int'"),
        (VecList.empty, b"x" * 25, ValueError, "expected a block of whole 24-byte vectors, got 25 bytes"),
        (Plane.xy, (1.0, 2.0), TypeError, "argument 'state': expected a sequence of 4 items, got 2"),
        (Plane.xy, ("a", 2.0, 3.0, 4.0), TypeError, "argument 'state': [0]: must be real number, not str"),
        (Circle.none, (1.0,) * 8, TypeError, "argument 'state': expected a sequence of 7 items, got 8"),
        (Circle.none, None, TypeError, "argument 'state': 'None' is not an instance of 'Sequence'"),
    ],
)
def test_bad_states_raise_and_change_nothing(target, state_, exc, text):
    obj = target()
    before = state(obj)
    with raises(exc, text):
        obj.__setstate__(state_)
    assert state(obj) == before


def test_reduce_errors():
    with raises(OverflowError, "can't convert negative int to unsigned"):
        VecList.empty().__reduce_ex__(-1)
    with raises(TypeError, "VecList.__reduce_ex__() missing 1 required positional argument: 'protocol'"):
        VecList.empty().__reduce_ex__()


def test_iterator_refuses_to_be_pickled_or_copied():
    it = iter(VALUES["VecList"]())
    for attempt in (pickle.dumps, copy.copy, copy.deepcopy):
        with raises(TypeError, "cannot pickle 'kalvor.VecListIterator' object"):
            attempt(it)


# ---- the buffer export


def test_export_is_a_read_only_zero_copy_view():
    lst = VALUES["VecList"]()
    a = np.asarray(lst)
    assert a.shape == (5, 3) and a.strides == (24, 8) and a.dtype == np.float64
    assert not a.flags.writeable and a.flags.c_contiguous
    assert np.asarray(lst).ctypes.data == a.ctypes.data  # the list's own array, twice
    assert [bits(x) for x in a.ravel()] == state(lst)
    m = memoryview(lst)
    assert (m.format, m.ndim, m.shape, m.strides, m.readonly, m.nbytes) == ("d", 2, (5, 3), (24, 8), True, 120)
    assert np.asarray(VecList.empty()).shape == (0, 3)
    copied = np.array(lst)
    copied[0, 0] = 1.0
    assert lst[0].x == ODD[0]


@pytest.mark.parametrize(
    "mutate",
    [
        lambda lst: lst.append(Vec3d(0, 0, 0)),
        lambda lst: lst.extend(VecList([Vec3d(0, 0, 0)])),
        lambda lst: lst.rotate(Quat(0, 1, 0, 0)),
        lambda lst: lst.__setstate__(b""),
    ],
)
@pytest.mark.parametrize(
    "hold, let_go",
    [
        (np.asarray, lambda view: None),
        (memoryview, lambda view: view.release()),
        (pickle.PickleBuffer, lambda view: view.release()),
    ],
)
def test_a_held_export_blocks_mutation_until_released(hold, let_go, mutate):
    lst = VALUES["VecList"]()
    before = state(lst)
    view = hold(lst)
    with raises(RuntimeError, "Already borrowed"):
        mutate(lst)
    assert state(lst) == before and len(lst.normalize()) == 5 and lst.dot(Vec3d(1, 0, 0))[2] != 0
    let_go(view)
    del view
    mutate(lst)


class _Buffer(ctypes.Structure):
    _fields_ = [("data", ctypes.c_byte * 80)]


@pytest.mark.parametrize(
    "flags, text",
    [(0x0001, "VecList buffers are read-only"), (0x0040 | 0x0018, "VecList buffers are C-contiguous, not Fortran-contiguous")],
)
def test_refused_requests(flags, text):
    get = ctypes.pythonapi.PyObject_GetBuffer
    get.argtypes = [ctypes.py_object, ctypes.POINTER(_Buffer), ctypes.c_int]
    lst = VALUES["VecList"]()
    with raises(BufferError, text):
        get(lst, ctypes.byref(_Buffer()), flags)
    lst.append(Vec3d(0, 0, 0))  # no borrow left behind


# ---- from_array

BASE = np.array([[ODD[i], ODD[(i + 2) % 7], ODD[(i + 4) % 7]] for i in range(7)])


@pytest.mark.parametrize(
    "source",
    [
        BASE,
        BASE[::-1],
        np.asfortranarray(BASE),
        np.hstack([BASE, BASE])[::2, ::2],
        BASE.astype("<f8"),
        np.ascontiguousarray(BASE.T).T,
        memoryview(BASE),
        np.broadcast_to(BASE[2], (4, 3)),
    ],
)
def test_from_array_reads_any_strides_bit_for_bit(source):
    lst = VecList.from_array(source)
    assert state(lst) == [bits(x) for x in np.asarray(source).ravel()]
    assert state(VecList.from_array(np.asarray(lst))) == state(lst)


def test_from_array_widens_float32_exactly_and_copies():
    small = np.array([[0.1, -0.0, np.inf], [1e-45, 3e38, -2.5]], dtype=np.float32)
    lst = VecList.from_array(small[::-1])
    assert state(lst) == [bits(float(x)) for x in small[::-1].ravel()]
    small[0, 0] = 7
    assert lst[1].x == float(np.float32(0.1))
    assert len(VecList.from_array(np.zeros((0, 3)))) == 0
    assert state(VecList.from_array(VALUES["VecList"]())) == state(VALUES["VecList"]())


EXPECTED = "VecList.from_array() expected a 2-D buffer of float64 or float32 with 3 columns, got "


@pytest.mark.parametrize(
    "source, exc, text",
    [
        (np.zeros((5, 4)), ValueError, EXPECTED + "shape (5, 4)"),
        (np.zeros((0, 4)), ValueError, EXPECTED + "shape (0, 4)"),
        (np.zeros(3), ValueError, EXPECTED + "shape (3,)"),
        (np.zeros((2, 3, 1)), ValueError, EXPECTED + "shape (2, 3, 1)"),
        (b"123", ValueError, EXPECTED + "shape (3,)"),
        (np.zeros((5, 3), dtype=np.int64), TypeError, EXPECTED + "format 'l'"),
        (np.zeros((5, 3), dtype=np.float16), TypeError, EXPECTED + "format 'e'"),
        (np.zeros((5, 3), dtype=np.complex128), TypeError, EXPECTED + "format 'Zd'"),
        (np.zeros((5, 3), dtype=">f8"), TypeError, EXPECTED + "format '>d'"),
        (5, TypeError, "argument 'array': a bytes-like object is required, not 'int'"),
        (None, TypeError, "argument 'array': a bytes-like object is required, not 'NoneType'"),
        ([[1.0, 2.0, 3.0]], TypeError, "argument 'array': a bytes-like object is required, not 'list'"),
    ],
)
def test_from_array_refuses_other_buffers(source, exc, text):
    with raises(exc, text):
        VecList.from_array(source)


def test_from_array_of_an_impossible_size_is_a_memory_error():
    huge = np.lib.stride_tricks.as_strided(np.zeros(3), shape=(2**58, 3), strides=(0, 8))
    with pytest.raises(MemoryError):
        VecList.from_array(huge)
