"""QuatList, and the container it shares with VecList and RigidTransformList: the container's behaviour as one table run over every list
class."""

import copy
import ctypes
import math
import pickle
import re
import sys

import numpy as np
import pytest

import kalvor
from kalvor import Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList

from conftest import bits, run_python

NAN = float("nan")
raises = lambda exc, text: pytest.raises(exc, match="^" + re.escape(text) + "$")  # noqa: E731
fields = lambda e: (e,) if isinstance(e, float) else (e.x, e.y, e.z) if type(e) is Vec3d else (  # noqa: E731
    fields(e.rotation) + fields(e.translation) if type(e) is RigidTransform else (e.w, e.i, e.j, e.k))
state = lambda lst: [bits(c) for e in lst for c in fields(e)]  # noqa: E731
# class: (element class, width, the parameter of append, what a pickled element is called)
KINDS = {VecList: (Vec3d, 3, "vec", "vector"), QuatList: (Quat, 4, "quat", "quaternion"), RigidTransformList: (RigidTransform, 7, "transform", "pose")}
ODD = [-0.0, math.inf, NAN, -1.5, 5e-324, 1e300, 0.1, 2.0]
both = pytest.mark.parametrize("cls", KINDS)


def make(element, values):  # an element from its fields in buffer order
    return RigidTransform(Quat(*values[:4]), Vec3d(*values[4:])) if element is RigidTransform else element(*values)


def get_buffer(obj, flags):  # PyObject_GetBuffer with the flags given, into a Py_buffer that outlives the call
    (get := ctypes.pythonapi.PyObject_GetBuffer).argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    get(obj, ctypes.addressof(view := ctypes.create_string_buffer(80)), flags)
    ctypes.pythonapi.PyBuffer_Release(ctypes.c_void_p(ctypes.addressof(view)))


def items(cls, n=3):
    element, width = KINDS[cls][:2]
    return [make(element, [ODD[(i + c) % len(ODD)] for c in range(width)]) for i in range(n)]


# ---- the shared container


@both
def test_construction_indexing_growth(cls):
    element, width, item, _ = KINDS[cls]
    xs = items(cls)
    for source in (xs, tuple(xs), cls(xs)):
        assert state(cls(source)) == state(xs)
    lst = cls(list=xs)
    assert len(lst) == 3 and len(cls.empty()) == 0 and state(lst.list) == state(xs) and type(lst.list) is list
    got = lst[1]
    assert type(got) is element and state([got]) == state(xs[1:2]) and got is not lst[1]
    for index, exc in [(3, IndexError), (2**64 - 1, IndexError), (-1, OverflowError), (2**64, OverflowError)] if cls is VecList else [
            (3, IndexError), (-4, IndexError), (2**64, IndexError), (-(2**64), IndexError)]:
        with pytest.raises(exc):
            lst[index]
    x = make(element, [1.0] * width)
    lst.append(x)
    if element is not RigidTransform:  # a pose cannot change
        setattr(x, "x" if element is Vec3d else "w", 9.0)  # the list holds a copy
    lst.extend(cls(xs[:1]))
    assert state(lst) == state(xs + [make(element, [1.0] * width)] + xs[:1])
    with raises(RuntimeError, "Already mutably borrowed"):
        lst.extend(lst)
    assert len(lst) == 5 and lst == lst and lst != cls(lst) and isinstance(hash(lst), int)


def test_lists_of_our_own_take_negative_indices_and_slices_as_python_lists_do():
    lst = QuatList(xs := items(QuatList, 7))
    for key in [-1, -7, 0, 6, slice(1, None), slice(None, None, -1), slice(-2, 1, -2), slice(1, 6, 3), slice(100, None),
                slice(-100, 100), slice(None, None, 2**70), slice(5, 2), slice(None, -100, -1), slice(2**70, -(2**70), -3)]:
        got, want = lst[key], xs[key]
        assert (type(got), state(got if type(key) is slice else [got])) == (type(lst) if type(key) is slice else Quat, state(
            want if type(key) is slice else [want])), key
    copy_ = lst[:]
    copy_.append(Quat(1, 0, 0, 0))  # a slice is a new list of copies
    assert len(lst) == 7 and len(copy_) == 8 and state(QuatList.empty()[::-1]) == []
    with raises(ValueError, "slice step cannot be zero"):
        lst[::0]
    for key, text in [(1.0, "argument 'index': 'float' object cannot be interpreted as an integer"),
                      ("1", "argument 'index': 'str' object cannot be interpreted as an integer")]:
        with raises(TypeError, text):
            lst[key]
    with raises(IndexError, "Index out of bounds"):
        lst[-8]
    vl = VecList(items(VecList))  # VecList keeps its unsigned index
    with raises(TypeError, "argument 'index': 'slice' object cannot be interpreted as an integer"):
        vl[1:]
    with raises(OverflowError, "can't convert negative int to unsigned"):
        vl[-1]


@both
def test_argument_errors_name_the_class(cls):
    element, _, item, _ = KINDS[cls]
    other = Vec3d(1, 2, 3) if element is Quat else Quat(1, 0, 0, 0)
    name, kind = cls.__name__, type(other).__name__
    for call, exc, text in [
        (lambda: cls(), TypeError, f"{name}.__new__() missing 1 required positional argument: 'list'"),
        (lambda: cls([other]), TypeError, f"argument 'list': '{kind}' object is not an instance of '{element.__name__}'"),
        (lambda: cls("abc"), TypeError, "argument 'list': Can't extract `str` to `Vec`"),
        (lambda: cls(5), TypeError, "argument 'list': 'int' object is not an instance of 'Sequence'"),
        (lambda: cls.empty().append(other), TypeError, f"argument '{item}': '{kind}' object is not an instance of '{element.__name__}'"),
        (lambda: cls.empty().extend([]), TypeError, f"argument 'other': 'list' object is not an instance of '{name}'"),
        (lambda: cls.empty()[0], IndexError, "Index out of bounds"),
        (lambda: cls.from_array([[0.0] * KINDS[cls][1]]), TypeError,
         f"{name}.from_array() expected an (n, {KINDS[cls][1]}) array (an object with the buffer protocol, such as a numpy array), got list"),
        # No conversion to a number: the buffer is never read as text.
        (lambda: float(cls(items(cls))), TypeError, f"float() argument must be a string or a real number, not '{name}'"),
        (lambda: int(cls.empty()), TypeError, f"int() argument must be a string, a bytes-like object or a real number, not '{name}'"),
        (lambda: complex(cls.empty()), TypeError, f"float() argument must be a string or a real number, not '{name}'"),
        (lambda: Vec3d(1, cls.empty(), 3), TypeError, f"argument 'y': must be real number, not {name}"),
    ]:
        with raises(exc, text):
            call()


@both
def test_getsizeof_counts_the_element_storage(cls):
    element, width = KINDS[cls][:2]
    empty = sys.getsizeof(cls.empty())
    lst = cls.from_array(np.zeros((1000, width)))
    assert sys.getsizeof(lst) == empty + 1000 * 8 * width
    lst.append(make(element, [0.0] * width))  # grown: the capacity is counted, not the length
    assert sys.getsizeof(lst) >= empty + 1001 * 8 * width


@both
def test_repr_is_one_element_per_line(cls):
    xs = items(cls, 5)
    assert repr(cls(xs)) == str(cls(xs)) == "[" + "\n".join(map(repr, xs)) + "]" and repr(cls.empty()) == "[]"


@both
def test_iteration_walks_a_snapshot(cls):
    lst = cls(items(cls))
    it = iter(lst)
    assert type(it).__name__ == f"{cls.__name__}Iterator" and type(it).__module__ == "kalvor" and iter(it) is it
    assert not hasattr(kalvor, type(it).__name__)
    lst.append(items(cls)[0])
    assert state(list(it)) == state(items(cls)) and len(lst) == 4
    for _ in range(2):
        with pytest.raises(StopIteration):
            next(it)
    with raises(TypeError, f"cannot create 'kalvor.{cls.__name__}Iterator' instances"):
        type(it)()
    with raises(TypeError, f"cannot pickle 'kalvor.{cls.__name__}Iterator' object"):
        pickle.dumps(iter(lst))


@both
def test_export_is_a_read_only_view_that_borrows_the_list(cls):
    _, width, _, _ = KINDS[cls]
    lst = cls(items(cls, 5))
    m = memoryview(lst)
    assert (m.format, m.shape, m.strides, m.readonly, m.c_contiguous) == ("d", (5, width), (8 * width, 8), True, True)
    assert [bits(x) for x in np.asarray(lst).ravel()] == state(lst) and np.asarray(lst).ctypes.data == np.asarray(lst).ctypes.data
    with raises(RuntimeError, "Already borrowed"):
        lst.append(items(cls)[0])
    for flags, text in [(0x0001, "read-only"), (0x0058, "C-contiguous, not Fortran-contiguous")]:
        with raises(BufferError, f"{cls.__name__} buffers are " + text):
            get_buffer(lst, flags)
    m.release()
    lst.append(items(cls)[0])
    assert np.asarray(cls.empty()).shape == (0, width)


@both
def test_from_array_reads_any_strides_and_names_its_width(cls):
    _, width, _, _ = KINDS[cls]
    base = np.array([[ODD[(i + c) % 8] for c in range(width)] for i in range(7)])
    for source in (base, base[::-1], np.asfortranarray(base), np.hstack([base, base])[::2, ::2], np.broadcast_to(base[2], (4, width)),
                   np.zeros((0, width)), base.clip(-3e38, 3e38).astype(np.float32)[::-1]):  # float32 widened exactly
        assert state(lst := cls.from_array(source)) == [bits(x) for x in source.ravel()] == state(cls.from_array(lst))
    got = f"{cls.__name__}.from_array() expected a 2-D buffer of float64 or float32 with {width} columns, got "
    for array, exc, text in [(np.zeros((5, width + 1)), ValueError, "shape (5, %d)" % (width + 1)), (b"123", ValueError, "shape (3,)"),
                             (np.zeros((5, width), dtype=np.int64), TypeError, "format 'l'"), (np.zeros((5, width), dtype=">f8"), TypeError, "format '>d'")]:
        with raises(exc, got + text):
            cls.from_array(array)


@both
def test_pickles_and_copies_are_one_block_bit_for_bit(cls):
    _, width, _, noun = KINDS[cls]
    lst = cls(items(cls, 6))
    for twin in (pickle.loads(pickle.dumps(lst, protocol=2)), pickle.loads(pickle.dumps(lst, protocol=5)), copy.copy(lst), copy.deepcopy(lst)):
        assert type(twin) is cls and twin is not lst and state(twin) == state(lst)
    data = pickle.dumps(lst, protocol=5, buffer_callback=(buffers := []).append)
    assert len(buffers) == 1 and len(data) < 100 and buffers[0].raw().nbytes == 6 * 8 * width
    assert state(pickle.loads(data, buffers=[bytearray(buffers[0].raw())])) == state(lst)
    buffers[0].release()
    with raises(ValueError, f"expected a block of whole {8 * width}-byte {noun}s, got 25 bytes"):
        lst.__setstate__(b"x" * 25)
    assert len(lst) == 6


# ---- operands: one value for every element, or a list of the same length


Q3 = QuatList([Quat(1, 0, 0, 0), Quat(0.5, 0.5, 0.5, 0.5), Quat(0, 0, 0.6, 0.8)])
P, V = Quat(0.5, -0.5, 0.5, 0.5), Vec3d(1, -2, 3)
BROADCAST = {  # method: (one operand, the other arguments)
    "rotate": (V, ()), "then": (P, ()), "slerp": (P, (0.25,)), "angle_to": (P, ()),
}


@pytest.mark.parametrize("method", BROADCAST)
def test_a_single_operand_applies_to_every_element(method):
    one, rest = BROADCAST[method]
    many = (VecList if type(one) is Vec3d else QuatList)([one] * 3)
    before = state(Q3)
    assert state(getattr(Q3, method)(one, *rest)) == state(getattr(Q3, method)(many, *rest)) == state(
        [getattr(r, "angle", r) for r in (getattr(q, method)(one, *rest) for q in Q3)])  # an angle_to is a float
    assert state(Q3) == before
    for length in (2, 4):  # shorter and longer
        with raises(ValueError, f"lengths differ: the list has 3 elements, the operand {length}"):
            getattr(Q3, method)(type(many)([one] * length), *rest)
    pair = "Vec3d | VecList" if type(one) is Vec3d else "Quat | QuatList"
    param = "vectors" if method == "rotate" else "other"
    for wrong in (1.5, None, [one], Q3 if type(one) is Vec3d else VecList([V])):
        kind = "'None' is" if wrong is None else f"'{type(wrong).__name__}' object is"
        with raises(TypeError, f"argument '{param}': {kind} not an instance of '{pair}'"):
            getattr(Q3, method)(wrong, *rest)


def test_results_are_new_lists_and_the_receiver_may_be_its_own_operand():
    assert type(Q3.rotate(V)) is VecList and all(type(getattr(Q3, m)()) is QuatList for m in ("inverse", "normalize"))
    assert state(Q3.then(Q3)) == state([q.then(q) for q in Q3]) and state(Q3.slerp(Q3, 0.5)) == state(Q3.normalize())
    with memoryview(Q3):  # reads go on while a view is held
        assert len(Q3.inverse()) == 3 and len(QuatList.empty().rotate(VecList.empty())) == 0


# ---- interpolate


KEYS = QuatList([Quat(1, 0, 0, 0), Quat(0, 1, 0, 0), Quat(0.5, 0.5, -0.5, 0.5), Quat(-2, 0, 0, 0)])
KT = [0.0, 1.0, 3.0, 3.5]


@pytest.mark.parametrize(
    "t, k, fraction",
    [(0.0, 0, 0.0), (1.0, 1, 0.0), (3.0, 2, 0.0), (0.25, 0, 0.25), (2.5, 1, 0.75), (3.25, 2, 0.5), (3.5, 2, 1.0),
     (-1e300, 0, 0.0), (-math.inf, 0, 0.0), (3.6, 2, 1.0), (math.inf, 2, 1.0)],
)
def test_interpolate_at_between_and_outside_the_keys(t, k, fraction):
    want = KEYS[k].slerp(KEYS[k + 1], fraction)
    for times in ([t], (t,), np.array([t]), np.array([t, 0.0])[:1], np.array([[t, 0.0]])[:, 0]):
        assert state(KEYS.interpolate(KT, times)) == state([want])
    single = np.array([t]).clip(-3e38, 3e38).astype(np.float32)
    assert state(KEYS.interpolate(np.array(KT, dtype=np.float32), single)) == state(KEYS.interpolate(KT, single.astype(float)))


def test_interpolate_nan_one_key_and_conversions():
    assert all(math.isnan(c) for c in fields(KEYS.interpolate(KT, [NAN])[0]))
    one = QuatList([Quat(2, 0, 0, 0)])
    assert [fields(q) for q in one.interpolate([5.0], [-1.0, 5.0, 9.0])] == [(1.0, 0.0, 0.0, 0.0)] * 3
    assert all(math.isnan(c) for c in fields(one.interpolate([5.0], [NAN])[0]))  # one key: NaN still gives NaN
    # Strided buffers of several elements, read at their strides.
    times = np.array([[0.5, 9.0], [2.0, 9.0], [3.25, 9.0]])[:, 0]
    key_times = np.array([KT, [9.0] * 4]).T.copy()[:, 0]
    assert times.strides == key_times.strides == (16,)
    assert state(KEYS.interpolate(key_times, times)) == state(KEYS.interpolate(KT, [0.5, 2.0, 3.25]))
    backwards = np.array([3.25, 9.0, 2.0, 9.0, 0.5])[::-2]  # a negative stride
    assert state(KEYS.interpolate(KT, backwards)) == state([KEYS.interpolate(KT, [t])[0] for t in (0.5, 2.0, 3.25)])
    assert state(KEYS.interpolate(range(4), np.arange(4))) == state(KEYS.interpolate(KT[:1] + [1.0, 2.0, 3.0], [0.0, 1.0, 2.0, 3.0]))
    assert len(KEYS.interpolate(KT, [])) == 0 and len(KEYS.interpolate(KT, np.zeros(0, dtype=np.float32))) == 0


@pytest.mark.parametrize(
    "keys, key_times, times, exc, text",
    [
        (QuatList.empty(), [], [1.0], ValueError, "QuatList.interpolate() needs at least one key"),
        (KEYS, KT[:3], [1.0], ValueError, "QuatList.interpolate() expected one key time for each of the 4 keys, got 3"),
        (KEYS, [0, 1, 1, 2], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 2 is not greater than key time 1"),
        (KEYS, [0, 1, 0.5, 2], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 2 is not greater than key time 1"),
        (KEYS, [NAN, 1, 2, 3], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 0 is NaN"),
        (KEYS, [0, 1, 2, NAN], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 3 is NaN"),
        (KEYS, [0, 1, 2, math.inf], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 3 is not finite"),
        (KEYS, [-math.inf, 1, 2, 3], [1.0], ValueError, "QuatList.interpolate() expected key times that increase strictly: key time 0 is not finite"),
        (QuatList([KEYS[0], KEYS[1], KEYS[2]]), [-math.inf, 0, math.inf], [1.0], ValueError,
         "QuatList.interpolate() expected key times that increase strictly: key time 0 is not finite"),
        (KEYS, KT + [4.0], [1.0], ValueError, "QuatList.interpolate() expected one key time for each of the 4 keys, got 5"),
        # The count is compared before a key time is read: these would take minutes and gigabytes.
        (KEYS, range(10**15), [1.0], ValueError, "QuatList.interpolate() expected one key time for each of the 4 keys, got 1000000000000000"),
        (KEYS, np.broadcast_to(0.0, (2**33,)), [1.0], ValueError, "QuatList.interpolate() expected one key time for each of the 4 keys, got 8589934592"),
        (KEYS, [0, 1, "2", 3], [1.0], TypeError, "argument 'key_times': [2]: must be real number, not str"),
        (KEYS, KT, [1.0, "2"], TypeError, "argument 'times': [1]: must be real number, not str"),
        (KEYS, 4, [1.0], TypeError, "argument 'key_times': 'int' object is not an instance of 'Sequence'"),
        (KEYS, KT, None, TypeError, "argument 'times': 'None' is not an instance of 'Sequence'"),
    ],
)
def test_interpolate_errors(keys, key_times, times, exc, text):
    with raises(exc, text):
        keys.interpolate(key_times, times)


# ---- conversions and array results


def test_array_results_are_numpy_arrays_that_own_the_block():
    empty = QuatList.empty()
    for result, shape in [(Q3.to_xyzw_array(), (3, 4)), (Q3.to_rotation_matrices(), (3, 3, 3)), (Q3.to_intrinsic_euler("xyz"), (3, 3)),
                          (Q3.to_extrinsic_euler("ZXZ"), (3, 3)), (Q3.angle_to(P), (3,)), (empty.to_xyzw_array(), (0, 4)),
                          (empty.to_rotation_matrices(), (0, 3, 3)), (empty.to_intrinsic_euler("zyx"), (0, 3)), (empty.angle_to(P), (0,))]:
        assert type(result) is np.ndarray and result.dtype == np.float64 and result.shape == shape
        assert result.flags.c_contiguous and result.flags.writeable and result.flags.owndata is False
        block = result.base.obj  # the array holds kalvor's block through its base: nothing was copied
        assert type(block).__name__ == "ArrayBlock" and not hasattr(kalvor, "ArrayBlock") and memoryview(block).shape == shape
        assert result.size == 0 or np.shares_memory(result, np.asarray(block))
        copied = pickle.loads(pickle.dumps(result))
        assert type(copied) is np.ndarray and copied.tobytes() == result.tobytes() and copied.shape == shape
    assert state((Q3.to_xyzw_array() * 2)[0]) == state([2.0 * c for c in Q3.to_xyzw_array()[0]])
    with raises(TypeError, "cannot create 'kalvor.ArrayBlock' instances"):
        type(block)()
    assert [fields(q) for q in QuatList.from_xyzw_array(np.array([[1.0, 2, 3, 4]], dtype=np.float32))] == [(4, -1, -2, -3)]
    assert state(QuatList.from_xyzw_array(Q3.to_xyzw_array())) == state(Q3)


@pytest.mark.parametrize("order", ["xyzw", "wxyz"])
def test_scalar_last_and_first_arrays_match_the_scalar_methods(order):
    from_array, to_array = getattr(QuatList, f"from_{order}_array"), getattr(QuatList, f"to_{order}_array")
    from_one, to_one = getattr(Quat, f"from_{order}"), getattr(Quat, f"to_{order}")
    base = np.array([[ODD[(i + c) % 8] for c in range(4)] for i in range(9)])
    for source in (base, base[::-2], np.asfortranarray(base), np.hstack([base, base])[:, ::2], base.clip(-3e38, 3e38).astype(np.float32)):
        lst = from_array(source)
        assert state(lst) == state([from_one(*row) for row in source.astype(float)])
        assert [bits(x) for x in np.asarray(to_array(lst)).ravel()] == [bits(x) for q in lst for x in to_one(q)]
    other = "wxyz" if order == "xyzw" else "xyzw"
    name, other_name = f"QuatList.from_{order}_array()", f"QuatList.from_{other}_array()"
    for bad in (np.zeros((2, 3)), np.zeros((2, 4), dtype=np.int16), [[0.0] * 4], None):
        with pytest.raises((TypeError, ValueError)) as theirs:
            getattr(QuatList, f"from_{other}_array")(bad)
        with raises(type(theirs.value), str(theirs.value).replace(other_name, name)):
            from_array(bad)
    wxyz = np.asarray(Q3.to_wxyz_array())
    assert np.array_equal(wxyz[:, [1, 2, 3, 0]], np.asarray(Q3.to_xyzw_array()), equal_nan=True)


@pytest.mark.parametrize("call, shape", [
    (lambda a: VecList.from_array(a), "(n, 3)"), (lambda a: QuatList.from_array(a), "(n, 4)"),
    (lambda a: QuatList.from_xyzw_array(a), "(n, 4)"), (lambda a: QuatList.from_wxyz_array(array=a), "(n, 4)"),
    (lambda a: QuatList.from_rotation_matrices(a), "(n, 3, 3)"), (lambda a: QuatList.from_intrinsic_euler("xyz", a), "(n, 3)"),
    (lambda a: QuatList.from_extrinsic_euler("ZXZ", angles=a), "(n, 3)"),
])
def test_array_constructors_name_what_they_expect_of_a_non_buffer(call, shape):
    for wrong, kind in [([[0.0, 0.0, 0.0]], "list"), ((), "tuple"), (None, "NoneType"), (Q3.list, "list")]:
        with pytest.raises(TypeError) as info:
            call(wrong)
        assert str(info.value).endswith(f"() expected an {shape} array (an object with the buffer protocol, such as a numpy array), got {kind}")


def test_numpy_is_imported_by_the_first_array_result_and_only_those_need_it():
    out = run_python("""if True:
        import sys
        import kalvor
        assert "numpy" not in sys.modules
        sys.modules["numpy"] = None  # as if it were not installed
        ql = kalvor.QuatList([kalvor.Quat(1, 0, 0, 0)])
        print(ql.inverse()[-1], ql[0:1].rotate(kalvor.Vec3d(1, 2, 3)))
        for _ in range(2):
            try:
                ql.angle_to(ql)
            except ImportError as e:
                print(type(e).__name__, e, "|", type(e.__cause__).__name__)""")
    assert out.stdout.splitlines() == ["Quat(1, -0, -0, -0) [Vec3d(1, 2, 3)]"] + [
        "ImportError kalvor's array results are numpy arrays, and numpy could not be imported | ModuleNotFoundError"] * 2


def test_from_rotation_matrices_names_the_first_bad_matrix_and_builds_nothing():
    good = np.asarray(Q3.to_rotation_matrices())
    reflection, skew, nan = -np.eye(3), np.array([[1, 0, 0], [0, 1, 0], [0, 0.1, 1]]), np.full((3, 3), NAN)
    for bad, index in [(reflection, 1), (skew, 0), (nan, 2)]:
        mats = np.array([good[0]] * 3 + [reflection])  # a later bad one too
        mats[index] = bad
        with pytest.raises(ValueError) as scalar:
            Quat.from_rotation_matrix(bad.tolist())
        with raises(ValueError, f"matrix {index}: {scalar.value}"):
            QuatList.from_rotation_matrices(mats)
    many = np.broadcast_to(np.eye(3), (20000, 3, 3)).copy()
    many[[17001, 9000, 15000]] = reflection  # pieces find their own first; the smallest index is reported
    with raises(ValueError, "matrix 9000: not a rotation matrix: its determinant is -1 (a reflection)"):
        QuatList.from_rotation_matrices(many)
    many[[3000, 12000]] = [np.full((3, 3), math.inf), np.full((3, 3), NAN)]
    with raises(ValueError, "matrix 3000: not a rotation matrix: an entry is not finite (NaN or infinite)"):
        QuatList.from_rotation_matrices(many)
    assert state(QuatList.from_rotation_matrices(good.transpose(0, 2, 1).copy().transpose(0, 2, 1))) == state(QuatList.from_rotation_matrices(good))
    got = "QuatList.from_rotation_matrices() expected a 3-D buffer of float64 or float32 of shape (n, 3, 3), got "
    for array, exc, text in [(np.zeros((2, 9)), ValueError, "shape (2, 9)"), (np.zeros((2, 3, 3), dtype=np.int32), TypeError, "format 'i'")]:
        with raises(exc, got + text):
            QuatList.from_rotation_matrices(array)


def test_euler_and_rotation_vector_errors():
    with pytest.raises(ValueError) as scalar:
        Quat.identity().to_intrinsic_euler("xxz")
    for call, exc, text in [
        (lambda: Q3.to_extrinsic_euler("xxz"), ValueError, str(scalar.value)),
        (lambda: QuatList.from_intrinsic_euler("xyz", np.zeros((2, 4))), ValueError,
         "QuatList.from_intrinsic_euler() expected a 2-D buffer of float64 or float32 with 3 columns, got shape (2, 4)"),
        (lambda: QuatList.from_extrinsic_euler("xyz", [[0.0, 0.0, 0.0]]), TypeError,
         "QuatList.from_extrinsic_euler() expected an (n, 3) array (an object with the buffer protocol, such as a numpy array), got list"),
        (lambda: QuatList.from_rotation_vectors([Vec3d(1, 0, 0)]), TypeError, "argument 'vl': 'list' object is not an instance of 'VecList'"),
    ]:
        with raises(exc, text):
            call()


def test_scipy_agrees():
    transform = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)  # the debug interpreter has no scipy build
    Rotation, Slerp = transform.Rotation, transform.Slerp
    rng = np.random.default_rng(7)
    ql = QuatList.from_array(rng.standard_normal((300, 4)))
    unit, v = ql.normalize(), rng.standard_normal((300, 3))
    r = Rotation.from_quat(np.asarray(unit.to_xyzw_array()))
    close = lambda a, b: np.allclose(a, b, rtol=0, atol=1e-14)  # noqa: E731
    same = lambda ours, theirs: close(abs(np.einsum("ij,ij->i", np.asarray(ours.to_xyzw_array()), theirs.as_quat())), 1)  # noqa: E731
    assert close(np.asarray(unit.rotate(VecList.from_array(v))), r.apply(v))
    assert close(np.asarray(unit.to_rotation_matrices()).transpose(0, 2, 1), r.as_matrix())  # rotate(q, v) is Mᵀ·v
    assert same(unit.then(unit[1]), Rotation.from_quat(np.asarray(QuatList([unit[1]]).to_xyzw_array())) * r) and same(unit.inverse(), r.inv())
    assert same(QuatList.from_rotation_matrices(r.as_matrix().transpose(0, 2, 1).copy()), r)
    key_times = np.sort(rng.uniform(0, 10, 300))
    times = rng.uniform(key_times[0], key_times[-1], 1000)  # scipy refuses times outside the keys
    assert same(unit.interpolate(key_times, times), Slerp(key_times, r)(times))
    angles, vectors = rng.uniform(-3, 3, (300, 3)), rng.standard_normal((300, 3))
    for axes in ("xyz", "ZXZ", "yzy"):  # scipy spells the intrinsic frame in capitals, the extrinsic one in small letters
        assert same(QuatList.from_intrinsic_euler(axes, angles), Rotation.from_euler(axes.upper(), angles))
        assert same(QuatList.from_extrinsic_euler(axes, angles), Rotation.from_euler(axes.lower(), angles))
        assert np.allclose(np.asarray(unit.to_extrinsic_euler(axes)), r.as_euler(axes.lower()), rtol=0, atol=1e-12)
    assert same(QuatList.from_rotation_vectors(VecList.from_array(vectors)), Rotation.from_rotvec(vectors))
    assert np.allclose(np.asarray(unit.to_rotation_vectors()), r.as_rotvec(), rtol=0, atol=1e-13)
    assert close(unit.angle_to(unit[0]), (r[0].inv() * r).magnitude())
