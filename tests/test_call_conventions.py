"""Argument matching, conversion, borrowing and operator fallbacks, which every
class shares; exercised through Vec3d."""

import re

import pytest

from kalvor import AngleRadians, Quat, QuatList, Vec3d, VecList

V = Vec3d(1, 2, 3)
W = Vec3d(4, 5, 6)


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: Vec3d(), "Vec3d.__new__() missing 3 required positional arguments: 'x', 'y', and 'z'"),
        (lambda: Vec3d(1), "Vec3d.__new__() missing 2 required positional arguments: 'y' and 'z'"),
        (lambda: Vec3d(1, 2), "Vec3d.__new__() missing 1 required positional argument: 'z'"),
        (lambda: Vec3d(y=2), "Vec3d.__new__() missing 2 required positional arguments: 'x' and 'z'"),
        (lambda: Vec3d(1, 2, 3, 4), "Vec3d.__new__() takes 3 positional arguments but 4 were given"),
        (lambda: V.dot(V, W), "Vec3d.dot() takes 1 positional arguments but 2 were given"),
        (lambda: V.dot(), "Vec3d.dot() missing 1 required positional argument: 'other'"),
        (lambda: Vec3d(1, 2, z=3, x=4), "Vec3d.__new__() got multiple values for argument 'x'"),
        (lambda: Vec3d(1, 2, w=3), "Vec3d.__new__() got an unexpected keyword argument 'w'"),
        (lambda: V.dot(others=W), "Vec3d.dot() got an unexpected keyword argument 'others'"),
        (lambda: Vec3d.new_from_to(V), "Vec3d.new_from_to() missing 1 required positional argument: 'to'"),
        (lambda: V.distance_to_line(), "Vec3d.distance_to_line() missing 2 required positional arguments: 'a' and 'b'"),
        (lambda: V.magnitude(1), "Vec3d.magnitude() takes no arguments (1 given)"),
        (lambda: Vec3d.zero(1), "Vec3d.zero() takes no arguments (1 given)"),
        # An echoed argument shows its first 40 characters, then "…".
        (lambda: Vec3d(1, 2, 3, **{"w" * 10**6: 3}), f"Vec3d.__new__() got an unexpected keyword argument '{'w' * 40}…'"),
        (lambda: Vec3d(1, 2, 3, **{"w" * 40: 3}), f"Vec3d.__new__() got an unexpected keyword argument '{'w' * 40}'"),
    ],
)
def test_matching_errors(call, text):
    with raises(TypeError, text):
        call()


def test_matching_goes_through_the_class_call_too():
    # The type's vector call and its new slot match identically.
    with raises(TypeError, "Vec3d.__new__() got an unexpected keyword argument 'w'"):
        Vec3d.__new__(Vec3d, 1, 2, w=3)
    with raises(TypeError, "Vec3d.__new__() takes 3 positional arguments but 4 were given"):
        Vec3d(*[1, 2, 3, 4])
    assert repr(Vec3d.__new__(Vec3d, z=3, y=2, x=1)) == "Vec3d(1, 2, 3)"
    assert repr(Vec3d(**{"x": 1, "y": 2, "z": 3})) == "Vec3d(1, 2, 3)"


def test_keywords_work_everywhere():
    assert V.dot(other=W) == 32.0
    assert repr(Vec3d(x=1, y=2, z=3)) == "Vec3d(1, 2, 3)"
    assert repr(Vec3d.new_from_to(**{"from": V, "to": W})) == "Vec3d(3, 3, 3)"
    assert V.distance_to_line(b=Vec3d(2, 0, 0), a=Vec3d(0, 0, 0)) == pytest.approx(3.605551275463989)


Floaty = type("Floaty", (), {"__float__": lambda self: 2.5})
Indexy = type("Indexy", (), {"__index__": lambda self: 1})


def float_raises(exc):
    def convert(self):
        raise exc

    return type("FloatRaises", (), {"__float__": convert})()


@pytest.mark.parametrize(
    "value, expected",
    [(1, 1.0), (True, 1.0), (False, 0.0), (2**53 + 1, 9007199254740992.0), (Floaty(), 2.5), (Indexy(), 1.0)],
)
def test_float_conversion_accepts(value, expected):
    assert Vec3d(value, 0, 0).x == expected


@pytest.mark.parametrize(
    "value, text",
    [
        ("1", "argument 'x': must be real number, not str"),
        (None, "argument 'x': must be real number, not NoneType"),
        # The classes that refuse float() are refused as arguments in the converter's own words.
        (V, "argument 'x': must be real number, not Vec3d"),
        (Quat(1, 0, 0, 0), "argument 'x': must be real number, not Quat"),
    ],
)
def test_float_conversion_refuses(value, text):
    with raises(TypeError, text):
        Vec3d(value, 0, 0)


def test_float_conversion_passes_other_errors_unchanged():
    with raises(OverflowError, "int too large to convert to float"):
        Vec3d(10**400, 0, 0)
    with raises(ValueError, "no float here"):
        Vec3d(float_raises(ValueError("no float here")), 0, 0)


def test_argument_prefix_keeps_the_cause():
    class Chained:
        def __float__(self):
            try:
                raise KeyError("inner")
            except KeyError as e:
                raise TypeError("outer") from e

    with pytest.raises(TypeError, match=r"^argument 'y': outer$") as info:
        Vec3d(0, Chained(), 0)
    assert isinstance(info.value.__cause__, KeyError)


@pytest.mark.parametrize(
    "index, exc, text",
    [
        (3, IndexError, "Index out of bounds"),
        (2**64 - 1, IndexError, "Index out of bounds"),
        (-1, OverflowError, "can't convert negative int to unsigned"),
        (2**64, OverflowError, None),
        (1.0, TypeError, "argument 'index': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_index_conversion(index, exc, text):
    with pytest.raises(exc) as info:
        V[index]
    if text is not None:
        assert str(info.value) == text


def test_index_conversion_accepts_index_objects_and_bools():
    assert V[Indexy()] == V[True] == 2.0


@pytest.mark.parametrize(
    "value, text",
    [
        (1, "argument 'other': 'int' object is not an instance of 'Vec3d'"),
        (None, "argument 'other': 'None' is not an instance of 'Vec3d'"),
    ],
)
def test_instance_conversion(value, text):
    with raises(TypeError, text):
        V.dot(value)


def test_first_bad_argument_in_parameter_order_is_reported():
    with raises(TypeError, "argument 'a': 'int' object is not an instance of 'Vec3d'"):
        V.distance_to_line(b=2, a=1)


# ---- borrowing


def test_writing_while_borrowed_fails_and_changes_nothing():
    v = Vec3d(1, 2, 3)

    class Sneaky:
        def __index__(self):
            v.x = 100.0  # v is borrowed shared by the subscript
            return 0

    with raises(RuntimeError, "Already borrowed"):
        v[Sneaky()]
    assert repr(v) == "Vec3d(1, 2, 3)"

    class Reader:
        def __index__(self):
            return int(v.y)  # reading nests under the shared borrow

    assert v[Reader()] == 3.0
    assert v.dot(v) == 14.0 and v.scalar_triple_product(v, v) == 0.0  # shared borrows of one object


@pytest.mark.parametrize("call", ["v * x", "x * v", "v / x"])
def test_operators_keep_the_receiver_borrowed_while_the_operand_converts(call):
    v = Vec3d(1, 2, 3)
    # The write fails (v is borrowed shared) and the operator drops the error.
    sneaky = type("Sneaky", (), {"__float__": lambda self: setattr(v, "x", 100.0) or 2.0})()
    with pytest.raises(TypeError):
        eval(call, {"v": v, "x": sneaky})
    assert repr(v) == "Vec3d(1, 2, 3)"


def test_setter_converts_before_borrowing():
    v = Vec3d(1, 2, 3)

    class Reader:
        def __float__(self):
            return v.x + 10  # the setter holds no borrow yet

    v.x = Reader()
    assert v.x == 11.0


# ---- properties


def test_property_errors():
    v = Vec3d(1, 2, 3)
    with raises(AttributeError, "property has no deleter"):
        del v.x
    with raises(TypeError, "argument 'value': must be real number, not str"):
        v.y = "a"
    assert repr(v) == "Vec3d(1, 2, 3)"
    v.z = True
    assert v.z == 1.0 and type(v.z) is float


# ---- operators fall back to the interpreter


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: V + 1, "unsupported operand type(s) for +: 'kalvor.Vec3d' and 'int'"),
        (lambda: 1 + V, "unsupported operand type(s) for +: 'int' and 'kalvor.Vec3d'"),
        (lambda: V * None, "unsupported operand type(s) for *: 'kalvor.Vec3d' and 'NoneType'"),
        (lambda: V * "2", "can't multiply sequence by non-int of type 'kalvor.Vec3d'"),
        (lambda: 2 / V, "unsupported operand type(s) for /: 'int' and 'kalvor.Vec3d'"),
        (lambda: V < W, "'<' not supported between instances of 'kalvor.Vec3d' and 'kalvor.Vec3d'"),
    ],
)
def test_operator_fallback_errors(call, text):
    with raises(TypeError, text):
        call()


# An interrupt, an exit or running out of memory is never an operand the operator
# "cannot use": it passes through; ordinary failures still fall back. Angles have no
# reflected multiplication (and AngleDegrees no arithmetic).
@pytest.mark.parametrize("exc", [KeyboardInterrupt, SystemExit, MemoryError, ValueError, TypeError])
@pytest.mark.parametrize(
    "operand, call", [(a, c) for a in (V, VecList([V, W])) for c in ("a * x", "x * a", "a / x")] + [(AngleRadians(1), "a * x"), (AngleRadians(1), "a / x")]
)
def test_operators_discard_only_ordinary_conversion_errors(exc, operand, call):
    passes = not issubclass(exc, Exception) or exc is MemoryError
    with pytest.raises(exc if passes else TypeError) as info:
        eval(call, {"a": operand, "x": float_raises(exc("from __float__"))})
    assert str(info.value) == "from __float__" if passes else "unsupported operand" in str(info.value)


def test_comparison_with_other_types_falls_back_to_identity():
    assert (V == (1, 2, 3)) is False
    assert (V != 1) is True
    assert V.__eq__(1) is NotImplemented
    assert V.__lt__(W) is NotImplemented


@pytest.mark.parametrize("obj", [V, Quat(1, 0, 0, 0), VecList([V] * 10**5), QuatList.empty()], ids=lambda o: type(o).__name__)
def test_vectors_quaternions_and_their_lists_have_no_number_conversions(obj):
    name = type(obj).__name__
    for convert, text in [
        (float, f"float() argument must be a string or a real number, not '{name}'"),
        (int, f"int() argument must be a string, a bytes-like object or a real number, not '{name}'"),
        (complex, f"float() argument must be a string or a real number, not '{name}'"),
    ]:
        with raises(TypeError, text):
            convert(obj)
    assert AngleRadians(2).angle == 2.0 and float(AngleRadians(2).angle) == 2.0
