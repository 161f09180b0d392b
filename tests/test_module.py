import decimal
import importlib.util
import math
import random
import re
import struct
import sys
import weakref

import pytest

import kalvor
from kalvor import AngleDegrees, AngleRadians, Quat, Vec3d, VecList

from conftest import run_python


def test_namespace_star_import_and_geometry_submodule():
    from kalvor import geometry

    # The six registered names keep their order; names added later follow, in the order of registration.
    assert kalvor.__all__ == ["AngleDegrees", "AngleRadians", "Quat", "VecList", "Vec3d", "geometry", "PanicException", "RigidTransform",
                              "QuatList", "KDTree", "RigidTransformList"]
    assert {name for name in dir(kalvor) if not name.startswith("__")} == set(kalvor.__all__)
    scope = {}
    exec("from kalvor import *", scope)
    assert sorted(k for k in scope if k != "__builtins__") == sorted(kalvor.__all__)
    assert geometry is kalvor.geometry is sys.modules["kalvor.geometry"] and geometry.__name__ == "kalvor.geometry"
    assert kalvor.__doc__ == "" and geometry.__doc__ == ""


def test_fresh_process_imports_geometry_by_its_full_name():
    code = "import kalvor.geometry, sys\nfrom kalvor.geometry import Plane, circle_circle\nassert Plane is kalvor.geometry.Plane\n"
    code += "print(kalvor.geometry is sys.modules['kalvor.geometry'], circle_circle.__module__, hasattr(kalvor, 'VecListIterator'))"
    assert run_python(code).stdout.split() == ["True", "kalvor.geometry", "False"]


def test_classes_name_their_real_module_and_are_final():
    g = kalvor.geometry
    ql, tl = kalvor.QuatList.empty(), kalvor.RigidTransformList.empty()
    for cls in (Vec3d, AngleRadians, kalvor.AngleDegrees, kalvor.Quat, kalvor.RigidTransform, VecList, type(iter(VecList.empty())), g.Plane, g.Circle,
                type(ql), type(iter(ql)), type(ql.to_xyzw_array().base.obj), type(tl), type(iter(tl))):
        module = "kalvor.geometry" if cls in (g.Plane, g.Circle) else "kalvor"
        assert cls.__module__ == module and cls.__qualname__ == cls.__name__ and repr(cls) == f"<class '{module}.{cls.__name__}'>"
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (Vec3d,), {})
    v = Vec3d(1, 2, 3)
    with pytest.raises(AttributeError):
        v.foo = 1
    with pytest.raises(TypeError):
        weakref.ref(v)
    assert Vec3d.__text_signature__ == "(x, y, z)" and not Vec3d.__doc__
    assert Vec3d.new_from_to.__text_signature__ == "(from, to)" and Vec3d.dot.__text_signature__ == "($self, other)"


# ---- the float text format, seen through repr

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
    # Short decimals (up to 15 digits, found without the general search) and their neighbours, which are not short.
    short = [rng.randrange(-10**15, 10**15) // 10 ** rng.randrange(15) / 10.0 ** rng.randrange(23) for _ in range(20_000)]
    short += [1e-8, 9.9999999999999e-9, 999999999999999.9, 1e15, 2.0**53, 0.3, 123456789012345.6, 1e-8 * 3, 5e14 + 0.5]
    values = [v for v in values if math.isfinite(v)] + extremes + short + [math.nextafter(v, math.inf) for v in short]
    lines = repr(VecList([Vec3d(v, 0, 0) for v in values]))[1:-1].split("\n")
    assert [line[len("Vec3d(") : -len(", 0, 0)")] for line in lines] == [positional(v) for v in values]
    assert repr(AngleRadians(1e300)) == positional(1e300) + " radians"
    specials = VecList([Vec3d(-0.0, math.nan, -math.nan), Vec3d(math.inf, -math.inf, 0)])
    assert repr(specials) == "[Vec3d(-0, NaN, NaN)\nVec3d(inf, -inf, 0)]"


# ---- __format__: float's own format applied to each number of the repr's call form, or to the angle

ODD = [0.1, -0.0, math.nan, -math.inf, 1e21, 5e-324, -2.5]
FORMS = [(Vec3d(*ODD[:3]), "Vec3d({}, {}, {})"), (Vec3d(*ODD[3:6]), "Vec3d({}, {}, {})"),
         (Quat(*ODD[3:]), "Quat({}, {}, {}, {})"), (AngleRadians(-2.5), "{} radians"), (AngleDegrees(-0.0), "{}°")]
FORMATS = [".3f", "+.2e", "g", "*^9.1f", ">12", ",.0f", "%", "_<6", "z.1f", ".20g", "0=+10.2f"]


@pytest.mark.parametrize("format_spec", FORMATS)
@pytest.mark.parametrize("value, form", FORMS, ids=[type(v).__name__ for v, _ in FORMS])
def test_format_spec_applies_to_every_number(value, form, format_spec):
    numbers = list(memoryview(value).tolist()) if form[0] != "{" else [value.angle]
    assert format(value, format_spec) == f"{value:{format_spec}}" == form.format(*(format(n, format_spec) for n in numbers))


@pytest.mark.parametrize("value, form", FORMS, ids=[type(v).__name__ for v, _ in FORMS])
def test_empty_format_spec_gives_the_repr_and_a_bad_one_float_s_error(value, form):
    assert format(value, "") == f"{value}" == str(value) == repr(value) and f"{value!r:.4}" == repr(value)[:4]
    assert value.__format__(format_spec=type("Spec", (str,), {})(".1f")) == format(value, ".1f")
    for format_spec in ("d", ".3s", "5.2.1f", "\u2605<10.3fg", ",_f", "99999999999999999999f"):
        with pytest.raises(ValueError) as expected:
            format(1.0, format_spec)
        with pytest.raises(ValueError, match="^" + re.escape(str(expected.value)) + "$"):
            format(value, format_spec)
    with pytest.raises(TypeError, match=re.escape("argument 'format_spec': 'int' object is not an instance of 'str'")):
        value.__format__(5)
    assert f"{AngleDegrees(90):\u2605^8.1f}" == "\u2605\u260590.0\u2605\u2605°"  # a fill outside ASCII


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
