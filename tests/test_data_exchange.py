"""Data in and out of kalvor: pickling, copying, the buffer exports and VecList.from_array."""

import copy
import ctypes
import pickle
import re
import struct

import numpy as np
import pytest

from conftest import bits
from kalvor import AngleDegrees, AngleRadians, Quat, QuatList, Vec3d, VecList
from kalvor.geometry import Circle, Plane

NAN_PAYLOAD, NEG_NAN = struct.unpack("<2d", struct.pack("<2Q", 0x7FF800000000BEEF, 0xFFF8000000000001))
ODD = [-0.0, float("inf"), NAN_PAYLOAD, NEG_NAN, 5e-324, -1.7976931348623157e308, 0.1]
FIELDS = {Vec3d: "x y z", AngleRadians: "angle", AngleDegrees: "angle", Quat: "w i j k",
          Plane: "normal distance", Circle: "center radius normal"}
raises = lambda exc, text: pytest.raises(exc, match="^" + re.escape(text) + "$")
BASE = np.array([[ODD[i], ODD[(i + 2) % 7], ODD[(i + 4) % 7]] for i in range(7)])
GOT = "VecList.from_array() expected a 2-D buffer of float64 or float32 with 3 columns, got "
odd_list = lambda: VecList([Vec3d(*ODD[i : i + 3]) for i in range(5)])
state = lambda obj: [b for v in (list(obj) if type(obj) is VecList else [getattr(obj, n) for n in FIELDS[type(obj)].split()])
                     for b in (state(v) if isinstance(v, Vec3d) else [bits(v)])]  # every stored double, as bit patterns

VALUES = {"Vec3d": lambda: Vec3d(*ODD[3:6]), "AngleRadians": lambda: AngleRadians(NEG_NAN), "AngleDegrees": lambda: AngleDegrees(-0.0),
          "Quat": lambda: Quat(*ODD[:4]), "VecList": odd_list, "VecList_empty": VecList.empty,
          "Plane": lambda: (p := Plane.xy()).__setstate__((-0.0, NAN_PAYLOAD, 3.0, 5.0)) or p,  # not a unit normal
          "Circle": lambda: (c := Circle.none()).__setstate__((*ODD[:3], -3.0, 0.0, 0.0, 9.0)) or c}
COPIES = {"pickle2": lambda o: pickle.loads(pickle.dumps(o, protocol=2)), "pickle5": lambda o: pickle.loads(pickle.dumps(o, protocol=5)),
          "copy": copy.copy, "deepcopy": copy.deepcopy}


@pytest.mark.parametrize("how", COPIES)
@pytest.mark.parametrize("name", VALUES)
def test_pickles_and_copies_are_new_objects_bit_for_bit(name, how):
    twin = COPIES[how](obj := VALUES[name]())
    assert type(twin) is type(obj) and twin is not obj and state(twin) == state(obj)
    if type(twin) is VecList:  # independent of the original
        twin.append(Vec3d(1, 2, 3))
        assert len(twin) == len(obj) + 1


@pytest.mark.parametrize("make, call, exc, text", [
    (VecList.empty, "obj.__setstate__(5)", TypeError, "argument 'state': a bytes-like object is required, not 'int'"),
    (VecList.empty, "obj.__setstate__(b'x' * 25)", ValueError, "expected a block of whole 24-byte vectors, got 25 bytes"),
    (odd_list, "obj.__setstate__(b'x' * 32)", ValueError, "expected a block of whole 24-byte vectors, got 32 bytes"),
    (Plane.xy, "obj.__setstate__((1.0, 2.0))", TypeError, "argument 'state': expected a sequence of 4 items, got 2"),
    (Plane.xy, "obj.__setstate__(('a', 2.0, 3.0, 4.0))", TypeError, "argument 'state': [0]: must be real number, not str"),
    (Circle.none, "obj.__setstate__(None)", TypeError, "argument 'state': 'None' is not an instance of 'Sequence'"),
    # The length first: refused at once, nothing converted.
    (Plane.xy, "obj.__setstate__(range(10**15))", TypeError, "argument 'state': expected a sequence of 4 items, got 1000000000000000"),
    (Circle.none, "obj.__setstate__(np.broadcast_to(0.0, (2**33,)))", TypeError, "argument 'state': expected a sequence of 7 items, got 8589934592"),
    (VecList.empty, "obj.__reduce_ex__(-1)", OverflowError, "can't convert negative int to unsigned"),
    (VecList.empty, "obj.__reduce_ex__()", TypeError, "VecList.__reduce_ex__() missing 1 required positional argument: 'protocol'"),
    (odd_list, "pickle.dumps(iter(obj))", TypeError, "cannot pickle 'kalvor.VecListIterator' object"),
    (odd_list, "VecList.from_array(np.zeros((5, 4)))", ValueError, GOT + "shape (5, 4)"),
    (odd_list, "VecList.from_array(b'123')", ValueError, GOT + "shape (3,)"),
    (odd_list, "VecList.from_array(np.zeros((5, 3), dtype=np.int64))", TypeError, GOT + "format 'l'"),
    (odd_list, "VecList.from_array(np.zeros((5, 3), dtype='>f8'))", TypeError, GOT + "format '>d'"),
    (odd_list, "VecList.from_array(np.zeros((5, 3), dtype=[(f'f{i}', '<f8') for i in range(20)]))", TypeError,
     GOT + "format 'T{d:f0:d:f1:d:f2:d:f3:d:f4:d:f5:d:f6:d:f…'"),  # a long format is cut at 40 characters
    (odd_list, "VecList.from_array([[1.0, 2.0, 3.0]])", TypeError, "VecList.from_array() expected an (n, 3) array (an object with the buffer protocol, such as a numpy array), got list"),
    (odd_list, "VecList.from_array(np.lib.stride_tricks.as_strided(np.zeros(3), shape=(2**58, 3), strides=(0, 8)))", MemoryError, ""),
])
def test_refused_calls_change_nothing(make, call, exc, text):
    before = state(obj := make())
    with raises(exc, text):
        eval(call)
    assert state(obj) == before


def test_exports_are_read_only_zero_copy_views_that_block_mutation_until_released():
    mutations = [lambda: lst.append(Vec3d(0, 0, 0)), lambda: lst.rotate(Quat(0, 1, 0, 0)),
                 lambda: lst.extend(VecList([Vec3d(0, 0, 0)])), lambda: lst.__setstate__(b"")]
    before, a = state(lst := odd_list()), np.asarray(lst)
    assert a.shape == (5, 3) and a.dtype == np.float64 and not a.flags.writeable and a.flags.c_contiguous
    assert np.asarray(lst).ctypes.data == a.ctypes.data and [bits(x) for x in a.ravel()] == before  # its own array
    for mutate in mutations:
        with raises(RuntimeError, "Already borrowed"):
            mutate()
    assert state(lst) == before and len(lst.normalize()) == 5 and lst.dot(Vec3d(1, 0, 0))[2] != 0  # reads still work
    m, a = memoryview(lst), None
    assert (m.format, m.ndim, m.shape, m.strides, m.readonly, m.nbytes) == ("d", 2, (5, 3), (24, 8), True, 120)
    (get := ctypes.pythonapi.PyObject_GetBuffer).argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    view = ctypes.create_string_buffer(80)  # a Py_buffer, alive across the calls
    for flags, text in [(0x0001, "read-only"), (0x0058, "C-contiguous, not Fortran-contiguous")]:
        with raises(BufferError, "VecList buffers are " + text):
            get(lst, ctypes.addressof(view), flags)
    data = pickle.dumps(lst, protocol=5, buffer_callback=(buffers := []).append)  # one block, out of band
    assert len(buffers) == 1 and len(data) < 100 and buffers[0].raw().tobytes() == m.tobytes()
    m.release()
    with raises(RuntimeError, "Already borrowed"):
        lst.__setstate__(b"")  # the pickle buffer still points at the array
    assert state(pickle.loads(data, buffers=[bytearray(buffers[0].raw())])) == before
    buffers[0].release()
    for mutate in mutations:
        mutate()
    assert np.asarray(VecList.empty()).shape == (0, 3)


# A single value lends its fields as a 1-D block (1-D is Fortran-contiguous too); the borrow is the list's.
@pytest.mark.parametrize("name, setter", [("Vec3d", "z"), ("Quat", "w")])
def test_values_lend_their_fields_in_order_until_released(name, setter):
    before, a = state(obj := VALUES[name]()), np.asarray(obj)
    assert a.shape == (len(before),) and a.dtype == np.float64 and not a.flags.writeable and [bits(x) for x in a] == before
    assert np.asarray(obj).ctypes.data == a.ctypes.data != np.array(obj).ctypes.data  # views share the fields; array copies
    with raises(RuntimeError, "Already borrowed"):
        setattr(obj, setter, 1.0)
    assert state(obj) == before and repr(obj) == format(obj, "")  # reads still work
    (get := ctypes.pythonapi.PyObject_GetBuffer).argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    ctypes.pythonapi.PyBuffer_Release.argtypes = [ctypes.c_void_p]
    view = ctypes.create_string_buffer(80)
    with raises(BufferError, name + " buffers are read-only"):
        get(obj, ctypes.addressof(view), 0x0001)
    assert get(obj, ctypes.addressof(view), 0x0058) == 0  # Fortran order
    ctypes.pythonapi.PyBuffer_Release(ctypes.addressof(view))
    del a
    setattr(obj, setter, 1.0)
    assert getattr(obj, setter) == 1.0


# __array_ufunc__ = None: numpy's operators defer to the class, which takes a numpy float as a float and an array as nothing.
V3, Q4, VL, QL = Vec3d(1, 2, 3), Quat(1, 0, 0, 0), VecList([Vec3d(1, 2, 3)]), QuatList([Quat(1, 0, 0, 0)])
@pytest.mark.parametrize("call, result", [
    (lambda: np.float64(2.0) * V3, "Vec3d(2, 4, 6)"), (lambda: np.float64(2.0) * VL, "[Vec3d(2, 4, 6)]"),
    (lambda: np.float32(0.5) * VL, "[Vec3d(0.5, 1, 1.5)]"), (lambda: V3 / np.float64(2.0), "Vec3d(0.5, 1, 1.5)"),
    (lambda: np.array([1.0, 2.0, 3.0]) + VL, TypeError), (lambda: np.array([1.0, 2.0, 3.0]) + V3, TypeError),
    (lambda: np.ones(3) * V3, TypeError), (lambda: np.float64(2.0) * Q4, TypeError),
    (lambda: np.asarray(VL) + np.array(V3), "[[2. 4. 6.]]"), (lambda: np.array(Q4) * 2, "[2. 0. 0. 0.]"),
    (lambda: V3 == np.array(V3), "False"), (lambda: np.array([V3, V3]).shape, "(2, 3)"),
    (lambda: np.ones(4) + QL, TypeError), (lambda: np.float64(2.0) * QL, TypeError), (lambda: np.asarray(QL) * 2, "[[2. 0. 0. 0.]]"),
])
def test_numpy_operators_defer_to_the_classes(call, result):
    if isinstance(result, str):
        assert str(call()) == result
    else:
        with pytest.raises(result):
            call()


@pytest.mark.parametrize("source", [
    BASE, BASE[::-1], np.asfortranarray(BASE), np.hstack([BASE, BASE])[::2, ::2], np.broadcast_to(BASE[2], (4, 3)),
    np.zeros((0, 3)), np.array([[0.1, -0.0, np.inf], [1e-45, 3e38, -2.5]], dtype=np.float32)[::-1],  # widened exactly
    (ctypes.c_double * 3 * 2)(*[(ctypes.c_double * 3)(*ODD[i : i + 3]) for i in (0, 3)])])  # format '<d'
def test_from_array_reads_any_strides_bit_for_bit(source):
    want = [bits(x) for x in np.asarray(source).ravel()]
    assert state(lst := VecList.from_array(source)) == want == state(VecList.from_array(lst))


def test_every_class_but_the_list_iterators_pickles_as_the_reference_says():
    import kalvor
    from kalvor import RigidTransform, geometry

    makers = {Vec3d: lambda: Vec3d(1, -0.0, 2), AngleRadians: lambda: AngleRadians(-0.0), AngleDegrees: lambda: AngleDegrees(90),
              Quat: lambda: Quat(1, 0, 0, 0), VecList: odd_list, QuatList: lambda: QuatList([Quat(1, NAN_PAYLOAD, 0, 0)]),
              RigidTransform: lambda: RigidTransform(Quat(1, 0, 0, 0), Vec3d(1, 2, 3)), Plane: Plane.xy, Circle: Circle.none,
              kalvor.PanicException: lambda: kalvor.PanicException("text"), kalvor.KDTree: lambda: kalvor.KDTree(VecList([Vec3d(1, -0.0, 2), Vec3d(5e-324, 1e300, -3)])),
              kalvor.RigidTransformList: lambda: kalvor.RigidTransformList([RigidTransform(Quat(1, NAN_PAYLOAD, 0, -0.0), Vec3d(1, 2, 3))])}
    classes = [c for m in (kalvor, geometry) for c in (getattr(m, n) for n in m.__all__) if isinstance(c, type)]
    assert sorted(c.__name__ for c in classes) == sorted(c.__name__ for c in makers)  # a new class needs a row here
    for cls, make in makers.items():
        for how in [*(lambda o, p=p: pickle.loads(pickle.dumps(o, protocol=p)) for p in range(2, 6)), copy.copy, copy.deepcopy]:
            twin = how(obj := make())
            kept = (state(twin) == state(obj) if cls in FIELDS or cls is VecList else
                    state(twin.points) == state(obj.points) if cls is kalvor.KDTree else repr(twin) == repr(obj))
            assert type(twin) is cls and twin is not obj and kept
    # The array results are numpy arrays: they pickle as numpy's own, bits included.
    array = QuatList([Quat(1, NAN_PAYLOAD, -0.0, 0)]).to_wxyz_array()
    assert np.asarray(pickle.loads(pickle.dumps(array))).tobytes() == array.tobytes()
    for it in (iter(VecList.empty()), iter(QuatList.empty()), iter(kalvor.RigidTransformList.empty())):
        with raises(TypeError, f"cannot pickle 'kalvor.{type(it).__name__}' object"):
            pickle.dumps(it)
