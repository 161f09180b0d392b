import decimal
import importlib.util
import math
import random
import struct
import sys

import pytest
from hypothesis import given, strategies as st

import kalvor
from kalvor import AngleRadians, Vec3d, VecList

from conftest import run_python


def test_all_lists_the_added_names_in_order():
    assert kalvor.__all__[-2:] == ["Vec3d", "geometry"]
    assert set(kalvor.__all__) <= {"AngleDegrees", "AngleRadians", "Quat", "VecList", "Vec3d", "geometry"}
    for name in kalvor.__all__:
        assert getattr(kalvor, name) is not None


def test_star_import_binds_exactly_all():
    scope = {}
    exec("from kalvor import *", scope)
    assert sorted(k for k in scope if k != "__builtins__") == sorted(kalvor.__all__)


def test_geometry_submodule_is_an_attribute_and_importable():
    assert kalvor.geometry.__name__ == "kalvor.geometry"
    assert sys.modules["kalvor.geometry"] is kalvor.geometry
    from kalvor import geometry

    assert geometry is kalvor.geometry
    assert kalvor.__doc__ == "" and geometry.__doc__ == ""


def test_geometry_imports_by_its_full_name_in_a_fresh_process():
    code = (
        "import kalvor.geometry, sys\n"
        "from kalvor.geometry import Plane, circle_circle\n"
        "assert kalvor.geometry is sys.modules['kalvor.geometry'] and Plane is kalvor.geometry.Plane\n"
        "print(circle_circle.__module__)"
    )
    out = run_python(code)
    assert out.stdout.split() == ["kalvor.geometry"]


def test_iterator_class_is_not_in_the_namespace():
    assert not hasattr(kalvor, "VecListIterator")


def test_reimport_in_a_fresh_process_reuses_nothing_stale():
    code = "import kalvor, importlib; print(kalvor.geometry.__name__, kalvor.__all__[-1])"
    out = run_python(code)
    assert out.stdout.split() == ["kalvor.geometry", "geometry"]


@pytest.mark.parametrize(
    "cls, module",
    [(kalvor.Vec3d, "kalvor"), (kalvor.AngleRadians, "kalvor"), (kalvor.AngleDegrees, "kalvor"),
     (kalvor.Quat, "kalvor"), (kalvor.VecList, "kalvor"), (type(iter(kalvor.VecList.empty())), "kalvor"),
     (kalvor.geometry.Plane, "kalvor.geometry"), (kalvor.geometry.Circle, "kalvor.geometry")],
)
def test_classes_name_their_real_module(cls, module):
    assert cls.__module__ == module and cls.__qualname__ == cls.__name__
    assert repr(cls) == f"<class '{module}.{cls.__name__}'>"


def test_classes_are_final():
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (Vec3d,), {})


def test_instances_have_no_dict_or_weakref():
    import weakref

    v = Vec3d(1, 2, 3)
    with pytest.raises(AttributeError):
        v.foo = 1
    assert not hasattr(v, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(v)


def test_docstrings_are_text_signatures_only():
    assert Vec3d.__text_signature__ == "(x, y, z)"
    assert not Vec3d.__doc__
    assert Vec3d.dot.__text_signature__ == "($self, other)"
    assert Vec3d.magnitude.__text_signature__ == "($self)"
    assert Vec3d.zero.__text_signature__ == "()"
    assert Vec3d.new_from_to.__text_signature__ == "(from, to)"


# ---- the float text format, seen through repr

FLOAT_TEXTS = [
    (1.0, "1"),
    (0.5, "0.5"),
    (0.1 + 0.2, "0.30000000000000004"),
    (1e21, "1000000000000000000000"),
    (1e-7, "0.0000001"),
    (-0.0, "-0"),
    (float("nan"), "NaN"),
    (-float("nan"), "NaN"),
    (float("inf"), "inf"),
    (-float("inf"), "-inf"),
    (123456789.125, "123456789.125"),
    (5e-324, "0." + "0" * 323 + "5"),
    (2.0**53, "9007199254740992"),
    # Large magnitudes: the shortest digits, then zeros up to the point.
    (1.2345678901234568e19, "12345678901234567000"),
    (1e23, "100000000000000000000000"),
    (1.7976931348623157e308, "17976931348623157" + "0" * 292),
]


@pytest.mark.parametrize("value, text", FLOAT_TEXTS)
def test_float_text_format(value, text):
    assert repr(Vec3d(value, 0, 0)) == f"Vec3d({text}, 0, 0)"
    if text not in ("NaN", "inf", "-inf"):
        assert float(text) == value


@given(st.floats(width=64, allow_nan=False, allow_infinity=False))
def test_float_text_reads_back_without_exponent(value):
    text = repr(Vec3d(value, 0, 0))[len("Vec3d(") : -len(", 0, 0)")]
    assert "e" not in text and "E" not in text
    assert not text.endswith(".0")
    assert struct.pack("<d", float(text)) == struct.pack("<d", value)


def positional(value):
    """repr's shortest digits written out positionally, without a trailing ".0"."""
    text = format(decimal.Decimal(repr(value)), "f")
    return text.rstrip("0").rstrip(".") if "." in text else text


def test_float_text_has_the_digits_of_repr():
    # Random bit patterns: every exponent, subnormals and both signs alike.
    rng = random.Random(11)
    values = [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(60_000)]
    values = [v for v in values if math.isfinite(v)] + [5e-324, -2.2250738585072014e-308, 1e16, 0.1, 1e22, 1e-5]
    lines = repr(VecList([Vec3d(v, 0, 0) for v in values]))[1:-1].split("\n")
    assert [line[len("Vec3d(") : -len(", 0, 0)")] for line in lines] == [positional(v) for v in values]
    assert repr(AngleRadians(1e300)) == positional(1e300) + " radians"


@pytest.mark.skipif(
    importlib.util.find_spec("_interpreters") is None, reason="creates an interpreter with the private _interpreters module"
)
def test_another_interpreter_is_refused():
    code = (
        "import sys, _interpreters, kalvor\n"
        "i = _interpreters.create('legacy')\n"
        "r = _interpreters.exec(i, 'import sys; sys.path[:0] = %r; import kalvor' % (sys.path,))\n"
        "print(r.type.__name__, 'sub-interpreters' in r.msg)\n"
        "_interpreters.destroy(i)\n"
    )
    out = run_python(code)
    assert out.stdout.split() == ["ImportError", "True"]
