import decimal
import importlib.util
import math
import random
import struct
import sys
import weakref

import pytest

import kalvor
from kalvor import AngleRadians, Vec3d, VecList

from conftest import run_python


def test_all_lists_the_added_names_in_order_and_star_import_binds_exactly_them():
    assert kalvor.__all__[-2:] == ["Vec3d", "geometry"]
    assert set(kalvor.__all__) <= {"AngleDegrees", "AngleRadians", "Quat", "VecList", "Vec3d", "geometry"}
    scope = {}
    exec("from kalvor import *", scope)
    assert sorted(k for k in scope if k != "__builtins__") == sorted(kalvor.__all__)


def test_geometry_submodule_is_an_attribute_and_importable():
    from kalvor import geometry

    assert geometry is kalvor.geometry is sys.modules["kalvor.geometry"] and geometry.__name__ == "kalvor.geometry"
    assert kalvor.__doc__ == "" and geometry.__doc__ == ""


def test_fresh_process_imports_geometry_by_its_full_name():
    code = (
        "import kalvor.geometry, sys\n"
        "from kalvor.geometry import Plane, circle_circle\n"
        "assert kalvor.geometry is sys.modules['kalvor.geometry'] and Plane is kalvor.geometry.Plane\n"
        "print(circle_circle.__module__, kalvor.__all__[-1], hasattr(kalvor, 'VecListIterator'))"
    )
    assert run_python(code).stdout.split() == ["kalvor.geometry", "geometry", "False"]


@pytest.mark.parametrize(
    "cls, module",
    [(kalvor.Vec3d, "kalvor"), (kalvor.AngleRadians, "kalvor"), (kalvor.AngleDegrees, "kalvor"),
     (kalvor.Quat, "kalvor"), (kalvor.VecList, "kalvor"), (type(iter(kalvor.VecList.empty())), "kalvor"),
     (kalvor.geometry.Plane, "kalvor.geometry"), (kalvor.geometry.Circle, "kalvor.geometry")],
)
def test_classes_name_their_real_module(cls, module):
    assert cls.__module__ == module and cls.__qualname__ == cls.__name__
    assert repr(cls) == f"<class '{module}.{cls.__name__}'>"


def test_classes_are_final_and_instances_have_no_dict_or_weakref():
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (Vec3d,), {})
    v = Vec3d(1, 2, 3)
    with pytest.raises(AttributeError):
        v.foo = 1
    with pytest.raises(TypeError):
        weakref.ref(v)


def test_docstrings_are_text_signatures_only():
    assert Vec3d.__text_signature__ == "(x, y, z)" and not Vec3d.__doc__
    assert Vec3d.new_from_to.__text_signature__ == "(from, to)" and Vec3d.dot.__text_signature__ == "($self, other)"


# ---- the float text format, seen through repr

# Finite values: the random bit patterns below.
@pytest.mark.parametrize(
    "value, text",
    [(-0.0, "-0"), (float("nan"), "NaN"), (-float("nan"), "NaN"), (float("inf"), "inf"), (-float("inf"), "-inf")],
)
def test_float_text_format(value, text):
    assert repr(Vec3d(value, 0, 0)) == f"Vec3d({text}, 0, 0)"


def positional(value):
    """repr's shortest digits written out positionally, without a trailing ".0"."""
    text = format(decimal.Decimal(repr(value)), "f")
    return text.rstrip("0").rstrip(".") if "." in text else text


def test_float_text_has_the_digits_of_repr():
    # Random bit patterns: every exponent, subnormals and both signs alike; the text
    # reads back exactly, with no exponent and no trailing ".0".
    rng = random.Random(11)
    values = [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(60_000)]
    extremes = [5e-324, -2.2250738585072014e-308, 1e16, 0.1, 1e-7, 1e21, 1e23, 1.2345678901234568e19, 1.7976931348623157e308]
    values = [v for v in values if math.isfinite(v)] + extremes
    lines = repr(VecList([Vec3d(v, 0, 0) for v in values]))[1:-1].split("\n")
    assert [line[len("Vec3d(") : -len(", 0, 0)")] for line in lines] == [positional(v) for v in values]
    assert repr(AngleRadians(1e300)) == positional(1e300) + " radians"


@pytest.mark.skipif(importlib.util.find_spec("_interpreters") is None, reason="needs the private _interpreters module")
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
