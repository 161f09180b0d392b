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


def test_namespace_star_import_and_geometry_submodule():
    from kalvor import geometry

    added = ["RigidTransform", "QuatList"]  # classes added since the first six, after them in order
    assert kalvor.__all__[-2 - len(added) :] == ["Vec3d", "geometry", *added]
    assert set(kalvor.__all__[: -len(added)]) <= {"AngleDegrees", "AngleRadians", "Quat", "VecList", "Vec3d", "geometry"}
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
    ql = kalvor.QuatList.empty()
    for cls in (Vec3d, AngleRadians, kalvor.AngleDegrees, kalvor.Quat, kalvor.RigidTransform, VecList, type(iter(VecList.empty())), g.Plane, g.Circle,
                type(ql), type(iter(ql)), type(ql.to_xyzw_array())):
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
    values = [v for v in values if math.isfinite(v)] + extremes
    lines = repr(VecList([Vec3d(v, 0, 0) for v in values]))[1:-1].split("\n")
    assert [line[len("Vec3d(") : -len(", 0, 0)")] for line in lines] == [positional(v) for v in values]
    assert repr(AngleRadians(1e300)) == positional(1e300) + " radians"
    specials = VecList([Vec3d(-0.0, math.nan, -math.nan), Vec3d(math.inf, -math.inf, 0)])
    assert repr(specials) == "[Vec3d(-0, NaN, NaN)\nVec3d(inf, -inf, 0)]"


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
