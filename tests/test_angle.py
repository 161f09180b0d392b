import math
import re
import struct

import pytest
from hypothesis import given, strategies as st

from kalvor import AngleDegrees, AngleRadians, Vec3d

from conftest import bits

NAN = float("nan")
INF = float("inf")


def raises(exc, text):
    return pytest.raises(exc, match="^" + re.escape(text) + "$")


@pytest.mark.parametrize(
    "name, pattern",
    [
        ("zero", 0x0000000000000000),
        ("pi", 0x400921FB54442D18),
        ("two_pi", 0x401921FB54442D18),
        ("half_pi", 0x3FF921FB54442D18),
        ("quarter_pi", 0x3FE921FB54442D18),
        ("third_pi", 0x3FF0C152382D7365),
        ("sixth_pi", 0x3FE0C152382D7365),
    ],
)
def test_constants_have_exact_bits(name, pattern):
    value = getattr(AngleRadians, name)()
    assert type(value) is AngleRadians
    assert bits(value.angle) == struct.pack("<Q", pattern)
    assert getattr(AngleRadians, name).__text_signature__ == "()"


@pytest.mark.parametrize(
    "radians, degrees",
    [
        (AngleRadians.pi(), 180.0),
        (AngleRadians.half_pi(), 90.0),
        (AngleRadians.quarter_pi(), 45.0),
        (AngleRadians.two_pi(), 360.0),
        (AngleRadians.third_pi(), 59.99999999999999),
        (AngleRadians.sixth_pi(), 29.999999999999996),
        (AngleRadians(1.0), 57.29577951308232),
        (AngleRadians(0.1), 5.729577951308232),
    ],
)
def test_to_degrees_multiplies_then_divides(radians, degrees):
    d = radians.to_degrees()
    assert type(d) is AngleDegrees and bits(d.angle) == bits(degrees)


@pytest.mark.parametrize(
    "degrees, radians",
    [(60.0, AngleRadians.third_pi()), (30.0, AngleRadians.sixth_pi()), (90.0, AngleRadians.half_pi())],
)
def test_to_radians_multiplies_then_divides(degrees, radians):
    assert bits(AngleDegrees(degrees).to_radians().angle) == bits(radians.angle)


@given(st.floats(width=64, allow_nan=False))
def test_conversions_follow_the_fixed_order(x):
    assert bits(AngleRadians(x).to_degrees().angle) == bits((x * 180.0) / math.pi)
    assert bits(AngleDegrees(x).to_radians().angle) == bits((x * math.pi) / 180.0)


def test_trigonometry_and_reciprocals():
    h = AngleRadians.half_pi()
    assert h.sec() == 1.0 / math.cos(h.angle) and math.isfinite(h.sec())
    assert h.cot() == 1.0 / math.tan(h.angle)
    assert AngleRadians.zero().csc() == INF and AngleRadians.zero().cot() == INF
    assert AngleRadians(-0.0).csc() == -INF and AngleRadians(-0.0).cot() == -INF
    a = AngleRadians(0.7)
    assert (a.sin(), a.cos(), a.tan()) == (math.sin(0.7), math.cos(0.7), math.tan(0.7))
    assert math.isnan(AngleRadians(NAN).sec())


def test_arithmetic():
    assert AngleRadians(1) + AngleRadians(2) == AngleRadians(3)
    assert (AngleRadians(1) - AngleRadians(2)).angle == -1.0
    assert (AngleRadians(1) * 2).angle == 2.0
    assert (AngleRadians(1) * True).angle == 1.0
    assert (AngleRadians(3) / 2).angle == 1.5
    assert (AngleRadians(1) / 0).angle == INF
    assert math.isnan((AngleRadians(0) / 0).angle)
    assert bits((-AngleRadians.zero()).angle) == bits(-0.0)
    assert bits((-AngleDegrees(0.0)).angle) == bits(-0.0)


def test_augmented_assignment_rebinds():
    a = AngleRadians(1)
    b = a
    a += AngleRadians(2)
    assert b.angle == 1.0 and a.angle == 3.0


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: 2 * AngleRadians(1), "unsupported operand type(s) for *: 'int' and 'kalvor.AngleRadians'"),
        (lambda: AngleRadians(1) + 1.0, "unsupported operand type(s) for +: 'kalvor.AngleRadians' and 'float'"),
        (lambda: 1.0 + AngleRadians(1), "unsupported operand type(s) for +: 'float' and 'kalvor.AngleRadians'"),
        (lambda: AngleDegrees(1) + AngleDegrees(2), "unsupported operand type(s) for +: 'kalvor.AngleDegrees' and 'kalvor.AngleDegrees'"),
        (lambda: +AngleRadians(1), "bad operand type for unary +: 'kalvor.AngleRadians'"),
        (lambda: abs(AngleRadians(1)), "bad operand type for abs(): 'kalvor.AngleRadians'"),
        (lambda: AngleRadians(0) < AngleDegrees(1), "'<' not supported between instances of 'kalvor.AngleRadians' and 'kalvor.AngleDegrees'"),
        (lambda: hash(AngleRadians(1)), "unhashable type: 'kalvor.AngleRadians'"),
        (lambda: AngleRadians(), "AngleRadians.__new__() missing 1 required positional argument: 'angle'"),
        (lambda: AngleRadians(1, 2), "AngleRadians.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: AngleDegrees("1"), "argument 'angle': must be real number, not str"),
        (lambda: AngleDegrees(degrees=1), "AngleDegrees.__new__() got an unexpected keyword argument 'degrees'"),
    ],
)
def test_type_errors(call, text):
    with raises(TypeError, text):
        call()


def test_no_float_conversion_and_always_true():
    with pytest.raises(TypeError):
        float(AngleRadians(1))
    assert bool(AngleRadians.zero()) and bool(AngleDegrees(0))


@pytest.mark.parametrize("cls", [AngleRadians, AngleDegrees])
def test_comparisons_are_exact(cls):
    assert cls(0.0) == cls(-0.0)
    assert cls(1) == cls(1.0) and cls(1) <= cls(1) and cls(1) >= cls(1)
    assert cls(1) < cls(1 + 2.0**-52) and cls(1) != cls(1 + 2.0**-52)
    assert cls(2) > cls(1) and not cls(2) < cls(1)
    n = cls(NAN)
    assert (n == n, n != n, n < n, n <= n, n > n, n >= n) == (False, True, False, False, False, False)
    assert (cls(1) == 1.0) is False and (cls(1) != 1.0) is True


def test_angles_of_different_units_never_equal():
    assert (AngleRadians(1) == AngleDegrees(1)) is False
    assert (AngleRadians(1) != AngleDegrees(1)) is True


def test_not_equal_uses_the_reflected_equality():
    class AlwaysEqual:
        def __eq__(self, other):
            return True

    assert (AngleRadians(1) != AlwaysEqual()) is False

    class Broken:
        def __eq__(self, other):
            raise ValueError("broken")

    with raises(ValueError, "broken"):
        AngleRadians(1) != Broken()


@pytest.mark.parametrize(
    "angle, text",
    [
        (AngleRadians.pi(), "3.141592653589793 radians"),
        (AngleRadians(2), "2 radians"),
        (AngleRadians(1.5), "1.5 radians"),
        (-AngleRadians.zero(), "-0 radians"),
        (AngleRadians(NAN), "NaN radians"),
        (AngleRadians(-INF), "-inf radians"),
        (AngleRadians(1e21), "1000000000000000000000 radians"),
        (AngleRadians(1e-7), "0.0000001 radians"),
        (AngleDegrees(90), "90°"),
        (AngleDegrees(NAN), "NaN°"),
        (AngleDegrees(-22.5), "-22.5°"),
    ],
)
def test_text_form(angle, text):
    assert repr(angle) == text and str(angle) == text


def test_property_and_setter():
    a = AngleRadians(1.5)
    assert a.angle == 1.5
    a.angle = 3
    assert a.angle == 3.0 and type(a.angle) is float
    with raises(TypeError, "argument 'value': must be real number, not str"):
        a.angle = "x"
    assert a.angle == 3.0
    with raises(AttributeError, "property has no deleter"):
        del a.angle


def test_text_signatures():
    assert AngleRadians.__text_signature__ == "(angle)"
    assert AngleDegrees.__text_signature__ == "(angle)"
    assert AngleRadians.to_degrees.__text_signature__ == "($self)"
    assert AngleDegrees.to_radians.__text_signature__ == "($self)"


# ---- Vec3d.angle_to


@pytest.mark.parametrize(
    "a, b, expected",
    [
        (Vec3d(1, 0, 0), Vec3d(0, 1, 0), 1.5707963267948966),
        (Vec3d(1, 2, 3), Vec3d(1, 2, 3), 0.0),
        # The cosine rounds to 1.0000000000000002 here; clamped, the angle is 0.
        (Vec3d(1, 1, 1), Vec3d(1, 1, 1), 0.0),
        (Vec3d(1, 1, 1), Vec3d(-1, -1, -1), math.pi),
        (Vec3d(0, 0, 0), Vec3d(1, 1, 1), NAN),
        (Vec3d(1, 1, 1), Vec3d(0, 0, 0), NAN),
        (Vec3d(NAN, 0, 0), Vec3d(1, 0, 0), NAN),
        (Vec3d(INF, 0, 0), Vec3d(1, 0, 0), NAN),
    ],
)
def test_angle_to(a, b, expected):
    angle = a.angle_to(b)
    assert type(angle) is AngleRadians
    if math.isnan(expected):
        assert math.isnan(angle.angle)
    else:
        assert bits(angle.angle) == bits(expected)


@given(st.tuples(*[st.floats(-1e6, 1e6)] * 3), st.tuples(*[st.floats(-1e6, 1e6)] * 3))
def test_angle_to_is_the_clamped_arc_cosine(p, o):
    dot = p[0] * o[0] + p[1] * o[1] + p[2] * o[2]
    mp = math.sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2])
    mo = math.sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2])
    angle = Vec3d(*p).angle_to(Vec3d(*o)).angle
    try:
        cosine = dot / (mp * mo)
    except ZeroDivisionError:  # IEEE: ±inf, or NaN for 0 / 0
        cosine = NAN if dot == 0 else math.copysign(INF, dot)
    if math.isnan(cosine):
        assert math.isnan(angle)
    else:
        assert bits(angle) == bits(math.acos(max(-1.0, min(1.0, cosine))))
