"""Reference-leak check of VecList and its iterator: every member and error path."""

import pytest

from kalvor import Quat, Vec3d, VecList
from leakcheck import assert_no_leak, needs_debug_interpreter

pytestmark = needs_debug_interpreter

ITEMS = [Vec3d(1, 2, 3), Vec3d(-4, 0.5, 6), Vec3d(0, 0, 0), Vec3d(float("nan"), 1, 1)]
L = VecList(ITEMS)
O = Vec3d(0.5, 0.25, -1)
Q = Quat(0.5, 0.5, -0.5, 0.5)


def _mutations():
    lst = VecList(ITEMS)
    lst.append(O)
    lst.extend(L)
    lst.rotate(Q)


def _self_extend():
    lst = VecList(ITEMS)
    lst.extend(lst)


def _iterate_while_changing():
    lst = VecList(ITEMS)
    for _ in lst:
        lst.append(O)


def _exhausted_iterator():
    it = iter(VecList([O]))
    next(it)
    next(it)


OPERATIONS = {
    "construct": lambda: (VecList(ITEMS), VecList(tuple(ITEMS)), VecList(L), VecList(list=[]), VecList.empty()),
    "construct_str": lambda: VecList("abc"),
    "construct_not_sequence": lambda: VecList(5),
    "construct_bad_item": lambda: VecList([O, 1]),
    "construct_from_vec3d": lambda: VecList(O),
    "construct_missing": lambda: VecList(),
    "container": lambda: (len(L), L[0], L[3], L.list, repr(L), str(VecList.empty())),
    "index_errors": lambda: L[4],
    "index_negative": lambda: L[-1],
    "index_type": lambda: L["0"],
    "mutations": _mutations,
    "self_extend": _self_extend,
    "append_bad": lambda: VecList([]).append(None),
    "extend_bad": lambda: VecList([]).extend(ITEMS),
    "rotate_bad": lambda: VecList(ITEMS).rotate(O),
    "lists": lambda: (L.dot(O), L.distance_to(O), L.distance_squared(O), L.magnitude(), L.is_unit(), L.to_array()),
    "vec_lists": lambda: (L.cross(O), L.normalize(), L.collapse(1), L + O, L - O, L * 2, 2 * L, L / 0),
    "collapse_panic": lambda: L.collapse(3),
    "collapse_negative": lambda: L.collapse(-1),
    "method_bad_argument": lambda: L.dot(1),
    "operator_unsupported": lambda: (L + 1),
    "divide_reflected": lambda: 2 / L,
    "multiply_unsupported": lambda: L * L,
    "nearest": lambda: (L.minimum_distance_to(O, 1), L.minimum_distance_to(other=O, stride=3)),
    "nearest_stride_zero": lambda: L.minimum_distance_to(O, 0),
    "nearest_empty": lambda: VecList.empty().minimum_distance_to(O, 1),
    "nearest_missing": lambda: L.minimum_distance_to(O),
    "iterate": lambda: (list(L), list(iter(L)), iter(iter(L))),
    "iterate_while_changing": _iterate_while_changing,
    "iterator_exhausted": _exhausted_iterator,
    "iterator_instantiate": lambda: type(iter(L))(),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_no_reference_leak(name):
    assert_no_leak(name, OPERATIONS[name], runs=500)
