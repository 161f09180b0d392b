"""RigidTransformList: its parts, its operands, keyframes, 4x4 stacks and trajectory rows, and scipy's RigidTransform as the oracle. The
container itself is in test_quat_list.py's shared table, every element's bits beside the single pose in bulk.py."""

import math
import re

import numpy as np
import pytest

from kalvor import AngleRadians, Quat, QuatList, RigidTransform, RigidTransformList, Vec3d, VecList

from conftest import bits

NAN, INF = float("nan"), float("inf")
raises = lambda exc, text: pytest.raises(exc, match="^" + re.escape(text) + "$")  # noqa: E731
fields = lambda e: (e,) if isinstance(e, float) else (e.x, e.y, e.z) if type(e) is Vec3d else (  # noqa: E731
    fields(e.rotation) + fields(e.translation) if type(e) is RigidTransform else (e.w, e.i, e.j, e.k))
state = lambda lst: [bits(c) for e in lst for c in fields(e)]  # noqa: E731
QUARTER_Z = Quat.from_axis_angle(Vec3d(0, 0, 1), AngleRadians.half_pi())
Q3, V3 = QuatList([Quat(1, 0, 0, 0), QUARTER_Z, Quat(0, 0, 0.6, 0.8)]), VecList([Vec3d(1, 2, 3), Vec3d(-0.0, 5e-324, NAN), Vec3d(10, 20, 30)])
P, T3 = RigidTransform(Quat(0.5, -0.5, 0.5, 0.5), Vec3d(1, -2, 3)), RigidTransformList.from_components(Q3, V3)


def test_from_components_broadcasts_a_single_translation_and_hands_back_fresh_parts():
    assert state(RigidTransformList.from_components(Q3, Vec3d(1, 2, 3))) == state([RigidTransform(q, Vec3d(1, 2, 3)) for q in Q3])
    assert len(RigidTransformList.from_components(QuatList.empty(), Vec3d(1, 2, 3))) == 0
    assert type(T3.rotations) is QuatList and type(T3.translations) is VecList and T3.rotations is not T3.rotations


@pytest.mark.parametrize("rotations, translations, exc, text", [
    (QUARTER_Z, Vec3d(1, 2, 3), TypeError,
     "RigidTransformList.from_components() expected a QuatList of rotations or a VecList of translations (or both), got one Quat and one Vec3d"),
    (Q3, VecList([Vec3d(1, 2, 3)]), ValueError, "lengths differ: the list has 3 elements, the operand 1"),
    (QuatList([QUARTER_Z] * 4), V3, ValueError, "lengths differ: the list has 4 elements, the operand 3"),
    (V3, Q3, TypeError, "argument 'rotations': 'VecList' object is not an instance of 'Quat | QuatList'"),
    (Q3, [Vec3d(1, 2, 3)] * 3, TypeError, "argument 'translations': 'list' object is not an instance of 'Vec3d | VecList'"),
])
def test_from_components_errors(rotations, translations, exc, text):
    with raises(exc, text):
        RigidTransformList.from_components(rotations, translations)


@pytest.mark.parametrize("method, one, single, pair", [  # one operand, the single-pose result, the classes named when the operand is wrong
    ("apply", Vec3d(0.5, -4, 2), lambda t, o: t.apply(o), "Vec3d | VecList"),
    ("then", P, lambda t, o: t.then(o), "RigidTransform | RigidTransformList"),
    ("angle_to", P, lambda t, o: t.rotation.angle_to(o.rotation).angle, "RigidTransform | RigidTransformList"),
    ("distance_to", P, lambda t, o: t.translation.distance_to(o.translation), "RigidTransform | RigidTransformList"),
])
def test_one_operand_for_every_pose_or_a_list_of_the_same_length(method, one, single, pair):
    many = (VecList if type(one) is Vec3d else RigidTransformList)([one] * 3)
    assert state(getattr(T3, method)(one)) == state(getattr(T3, method)(many)) == state([single(t, one) for t in T3])
    for n in (2, 4):
        with raises(ValueError, f"lengths differ: the list has 3 elements, the operand {n}"):
            getattr(T3, method)(type(many)([one] * n))
    for wrong in (1.5, None, [one], Q3, QUARTER_Z):
        kind = "'None' is" if wrong is None else f"'{type(wrong).__name__}' object is"
        with raises(TypeError, f"argument '{'points' if method == 'apply' else 'other'}': {kind} not an instance of '{pair}'"):
            getattr(T3, method)(wrong)


def test_results_their_types_and_the_list_as_its_own_operand():
    empty = RigidTransformList.empty()
    for result, shape in [(T3.to_matrices(), (3, 4, 4)), (T3.to_xyz_xyzw_array(), (3, 7)), (T3.angle_to(P), (3,)), (T3.distance_to(T3), (3,)),
                          (empty.to_matrices(), (0, 4, 4)), (empty.to_xyz_xyzw_array(), (0, 7)), (empty.angle_to(P), (0,))]:
        assert type(result) is np.ndarray and result.dtype == np.float64 and result.shape == shape and result.flags.writeable
        assert type(result.base.obj).__name__ == "ArrayBlock" and (result.size == 0 or np.shares_memory(result, np.asarray(result.base.obj)))
    assert type(T3.apply(Vec3d(1, 0, 0))) is VecList and all(type(getattr(T3, m)()) is RigidTransformList for m in ("inverse", "normalize"))
    assert type(P.then(T3)) is RigidTransformList and len(P.then(empty)) == 0 and type(P.then(P)) is RigidTransform
    assert state(T3.then(T3)) == state([t.then(t) for t in T3]) and list(T3.angle_to(T3)) == [0.0, 0.0, 0.0]
    with memoryview(T3):  # reads go on while a view is held
        assert len(T3.inverse()) == 3 and len(empty.apply(VecList.empty())) == 0


KEYS = RigidTransformList([RigidTransform(Quat(1, 0, 0, 0), Vec3d(0, 0, 0)), RigidTransform(QUARTER_Z, Vec3d(2, 0, -4)),
                           RigidTransform(Quat(0.5, 0.5, -0.5, 0.5), Vec3d(1, 1, 1)), RigidTransform(Quat(-2, 0, 0, 0), Vec3d(5, 6, 7))])
KT = [0.0, 1.0, 3.0, 3.5]


def test_interpolate_at_between_and_outside_the_keys():
    at = [(0.0, 0, 0.0), (1.0, 1, 0.0), (0.25, 0, 0.25), (2.5, 1, 0.75), (3.25, 2, 0.5), (3.5, 2, 1.0),  # (time, key, fraction)
          (-1e300, 0, 0.0), (-INF, 0, 0.0), (3.6, 2, 1.0), (INF, 2, 1.0)]
    times, want = [t for t, _, _ in at], [KEYS[k].interpolate(KEYS[k + 1], s) for _, k, s in at]
    for form in (times, np.array(times), np.repeat(times, 2)[::2]):  # a list, an array, a strided view
        assert state(KEYS.interpolate(KT, form)) == state(want)
    assert all(math.isnan(c) for c in fields(KEYS.interpolate(KT, [NAN])[0])) and len(KEYS.interpolate(KT, [])) == 0
    one = RigidTransformList([RigidTransform(Quat(2, 0, 0, 0), Vec3d(1, 2, 3))]).interpolate([5.0], [-1.0, 5.0, 9.0])  # one key, normalised
    assert [fields(t) for t in one] == [(1.0, 0.0, 0.0, 0.0, 1.0, 2.0, 3.0)] * 3


@pytest.mark.parametrize("keys, key_times, times", [
    (0, [], [1.0]), (4, KT[:3], [1.0]), (3, KT, [1.0]), (4, [0, 1, 1, 2], [1.0]), (4, [0, 1, 0.5, 2], [1.0]), (4, [NAN, 1, 2, 3], [1.0]),
    (4, [0, 1, 2, NAN], [1.0]), (4, KT, [1.0, "2"]), (4, 4, [1.0]), (4, KT, None), (4, [0, 1, NAN, 0.5], [1.0])])
def test_interpolate_errors_are_the_quat_lists(keys, key_times, times):
    with pytest.raises(Exception) as theirs:
        QuatList([Quat(1, 0, 0, 0)] * keys).interpolate(key_times, times)
    with raises(type(theirs.value), str(theirs.value).replace("QuatList.interpolate()", "RigidTransformList.interpolate()")):
        RigidTransformList(list(KEYS)[:keys]).interpolate(key_times, times)


def test_from_matrices_reads_full_three_row_strided_and_float32_stacks():
    mats = np.asarray(RigidTransformList.from_components(Q3, VecList([Vec3d(1, 2, 3), Vec3d(-0.5, 0, 8), Vec3d(10, 20, 30)])).to_matrices())
    want = state(RigidTransform.from_matrix(m.tolist()) for m in mats)
    for source in (mats, mats.transpose(0, 2, 1).copy().transpose(0, 2, 1), np.ascontiguousarray(mats[:, :3, :]), mats[:, :3, :]):
        assert state(RigidTransformList.from_matrices(source)) == want  # a 3-row stack implies the last row
    assert len(RigidTransformList.from_matrices(np.zeros((0, 4, 4)))) == 0
    single = mats.astype(np.float32)
    assert state(RigidTransformList.from_matrices(single)) == state(RigidTransform.from_matrix(m.astype(float).tolist()) for m in single)


def test_from_matrices_names_the_first_bad_matrix_and_builds_nothing():
    good = np.asarray(T3.to_matrices())[0]
    skew, reflection, nan = good.copy(), good.copy(), good.copy()
    skew[0, 1], nan[1, 1] = 0.5, NAN
    reflection[:3, :3] *= -1
    for bad, index in [(skew, 1), (reflection, 0), (nan, 2)]:
        mats = np.array([good] * 3 + [skew])  # a later bad one too
        mats[index] = bad
        with pytest.raises(ValueError) as scalar:
            RigidTransform.from_matrix(bad.tolist())
        with raises(ValueError, f"matrix {index}: {scalar.value}"):
            RigidTransformList.from_matrices(mats)
    many = np.broadcast_to(good, (20000, 4, 4)).copy()
    many[[17001, 9000, 15000]] = reflection  # pieces find their own first; the smallest index is reported
    with pytest.raises(ValueError, match="^matrix 9000: "):
        RigidTransformList.from_matrices(many)
    got = "RigidTransformList.from_matrices() expected a 3-D buffer of float64 or float32 of shape (n, 4, 4), got "
    for array, exc, text in [(np.zeros((2, 16)), ValueError, "shape (2, 16)"), (np.zeros((2, 3, 3)), ValueError, "shape (2, 3, 3)"),
                             (np.zeros((2, 4, 3)), ValueError, "shape (2, 4, 3)"), (np.zeros((2, 4, 4), dtype=np.int32), TypeError, "format 'i'"),
                             (np.zeros((2, 3, 4), dtype=np.int32), TypeError, "format 'i'")]:
        with raises(exc, got.replace("(n, 4, 4)", "(n, 3, 4)") + text if array.shape[1:] == (3, 4) else got + text):
            RigidTransformList.from_matrices(array)


def test_xyz_xyzw_rows_round_trip_bit_for_bit():
    specials = [NAN, -0.0, INF, 5e-324, -1e300, 0.1, 2.0]
    rows = np.array([[specials[(i + c) % 7] for c in range(7)] for i in range(9)])
    for source in (rows, rows[::-1], np.asfortranarray(rows), rows.clip(-3e38, 3e38).astype(np.float32)):
        assert state(np.asarray(RigidTransformList.from_xyz_xyzw_array(source).to_xyz_xyzw_array()).ravel()) == state(source.ravel().tolist())
    got = "RigidTransformList.from_xyz_xyzw_array() expected a 2-D buffer of float64 or float32 with 7 columns, got "
    for array, exc, text in [(np.zeros((5, 4)), ValueError, "shape (5, 4)"), (np.zeros((5, 7), dtype=np.int64), TypeError, "format 'l'")]:
        for name in ("from_xyz_xyzw_array", "from_array"):
            with raises(exc, got.replace("from_xyz_xyzw_array", name) + text):
                getattr(RigidTransformList, name)(array)


def test_scipy_agrees():  # column-vector 4x4 matrices, [x, y, z, w] quaternions
    transform = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)  # the debug interpreter has no scipy build
    rng = np.random.default_rng(25)
    close, unit = lambda a, b: np.allclose(a, b, rtol=0, atol=1e-12), lambda q: q / np.linalg.norm(q, axis=1)[:, None]  # noqa: E731
    rows = [np.hstack([rng.uniform(-10, 10, (300, 3)), unit(rng.standard_normal((300, 4)))]) for _ in range(2)]
    (ours, other), (theirs, other_theirs) = ([RigidTransformList.from_xyz_xyzw_array(r) for r in rows],
                                             [transform.RigidTransform.from_components(r[:, :3], transform.Rotation.from_quat(r[:, 3:])) for r in rows])

    def same(mine, scipys):  # translations alike, rotations alike up to the sign of the quaternion
        got = np.asarray(mine.to_xyz_xyzw_array())
        return close(got[:, :3], scipys.translation) and close(abs(np.einsum("ij,ij->i", got[:, 3:], scipys.rotation.as_quat())), 1)

    points = rng.uniform(-10, 10, (300, 3))
    assert close(np.asarray(ours.apply(VecList.from_array(points))), theirs.apply(points))
    assert close(np.asarray(ours.apply(Vec3d(*points[0]))), theirs.apply(points[0]))
    assert same(ours.then(other), other_theirs * theirs) and same(ours.then(other[0]), other_theirs[0] * theirs) and same(ours.inverse(), theirs.inv())
    assert same(other[0].then(ours), theirs * other_theirs[0]) and close(np.asarray(ours.to_matrices()), theirs.as_matrix())
    assert same(RigidTransformList.from_matrices(theirs.as_matrix()), theirs)
    assert same(RigidTransformList.from_matrices(theirs.as_matrix()[:, :3, :].copy()), theirs)
    key_times = np.sort(rng.uniform(0, 10, 300))
    times = rng.uniform(key_times[0], key_times[-1], 1000)
    got = np.asarray(ours.interpolate(key_times, times).to_xyz_xyzw_array())
    assert close(abs(np.einsum("ij,ij->i", got[:, 3:], transform.Slerp(key_times, theirs.rotation)(times).as_quat())), 1)
    assert close(got[:, :3], np.column_stack([np.interp(times, key_times, rows[0][:, c]) for c in range(3)]))
    assert close(np.asarray(ours.angle_to(other)), (other_theirs.rotation * theirs.rotation.inv()).magnitude())
    assert close(np.asarray(ours.distance_to(other)), np.linalg.norm(rows[0][:, :3] - rows[1][:, :3], axis=1))
