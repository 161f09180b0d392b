"""README's hand-off table, line by line: each call into kalvor gives the rotation (or pose) the peer object holds,
and each call out of kalvor gives the peer object that turns vectors as the kalvor one does. scipy and PyGLM are the
installed peers; numpy-quaternion, Eigen, ROS messages and Open3D are stood in for by their documented conventions:
scalar-first (w, x, y, z) or scalar-last (x, y, z, w) Hamilton quaternions that turn v as q·v·q*, and column-vector
matrices (M @ v, M @ [x, y, z, 1])."""

import re
from pathlib import Path
from types import SimpleNamespace as Msg

import numpy as np
import pytest

from kalvor import Quat, RigidTransform, Vec3d

README = (Path(__file__).resolve().parents[1] / "README.md").read_text(encoding="utf-8")
SECTION = re.search(r"^### Rotations to and from other libraries\n(.*?)^###? ", README, re.S | re.M).group(1)
ROWS = [[c.strip() for c in line.strip("|").split("|")] for line in SECTION.splitlines() if line.startswith("| ") and "---" not in line][1:]
LIBRARIES = ["scipy", "PyGLM", "numpy-quaternion", "Eigen", "ROS messages", "Open3D"]
KINDS = ["quaternion", "matrix", "pose"]


def code(cell):  # the first code span of a cell
    return re.match(r"`([^`]*)`", cell).group(1)


def hamilton(h, v):  # q·v·q* for a unit scalar-first quaternion
    w, x, y, z = h
    u = np.array([x, y, z])
    return v + 2 * w * np.cross(u, v) + 2 * np.cross(u, np.cross(u, v))


def hamilton_matrix(h):  # the column-vector matrix of q·v·q*
    return np.array([hamilton(h, e) for e in np.eye(3)]).T


def pose_matrix(h, shift):
    m = np.eye(4)
    m[:3, :3], m[:3, 3] = hamilton_matrix(h), shift
    return m


class NumpyQuaternion:  # numpy-quaternion: quaternion(w, x, y, z); as_float_array gives (w, x, y, z)
    def __init__(self, *wxyz):
        self.wxyz = np.array(wxyz, dtype=float)


quaternion = Msg(
    quaternion=NumpyQuaternion,
    as_float_array=lambda nq: nq.wxyz.copy(),
    from_float_array=lambda a: NumpyQuaternion(*a),
    as_rotation_matrix=lambda nq: hamilton_matrix(nq.wxyz),
    # the quaternion of a column-vector matrix, through scipy's (x, y, z, w) of the same convention
    from_rotation_matrix=lambda m: NumpyQuaternion(*np.roll(pytest.importorskip("scipy.spatial.transform").Rotation.from_matrix(m).as_quat(), 1)),
)


class Quaterniond:  # Eigen: Quaterniond(w, x, y, z), read back by w(), x(), y(), z()
    def __init__(self, w, x, y, z):
        self._wxyz = (w, x, y, z)

    def w(self): return self._wxyz[0]  # noqa: E704
    def x(self): return self._wxyz[1]  # noqa: E704
    def y(self): return self._wxyz[2]  # noqa: E704
    def z(self): return self._wxyz[3]  # noqa: E704
    def toRotationMatrix(self): return hamilton_matrix(self._wxyz)  # noqa: E704, N802


ros = Msg(Quaternion=lambda x, y, z, w: Msg(x=x, y=y, z=z, w=w), Point=lambda x, y, z: Msg(x=x, y=y, z=z),
          Pose=lambda position, orientation: Msg(position=position, orientation=orientation))
o3d = Msg(geometry=Msg(get_rotation_matrix_from_quaternion=lambda wxyz: hamilton_matrix(np.asarray(wxyz, dtype=float))))


def inputs(library, h, shift):  # the peer's objects for the unit rotation h (w, x, y, z) and the translation
    w, x, y, z = h
    if library == "scipy":
        sst = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)
        r = sst.Rotation.from_quat([x, y, z, w])
        return dict(r=r, m=r.as_matrix(), p=sst.RigidTransform.from_components(shift, r))
    if library == "PyGLM":
        glm = pytest.importorskip("glm")
        g = glm.dquat(w, x, y, z)
        return dict(g=g, m3=glm.mat3_cast(g), m4=glm.translate(glm.dmat4(1), glm.dvec3(*shift)) * glm.mat4_cast(g))
    if library == "numpy-quaternion":
        nq = NumpyQuaternion(*h)
        return dict(nq=nq, m=quaternion.as_rotation_matrix(nq), shift=shift)
    if library == "Eigen":
        e = Quaterniond(*h)
        return dict(e=e, m=e.toRotationMatrix(), iso=Msg(matrix=lambda: pose_matrix(h, shift)))
    if library == "ROS messages":
        o = ros.Quaternion(x, y, z, w)
        pose = ros.Pose(ros.Point(*shift), o)
        return dict(o=o, m=pose_matrix(h, shift)[:3, :3], pose=pose, p=pose.position)
    return dict(wxyz=np.array(h), m=hamilton_matrix(h), m4=pose_matrix(h, shift))


def action(library, kind, out):  # what the peer's object does to a vector v (numpy)
    glm = pytest.importorskip("glm") if library == "PyGLM" else None
    if library == "scipy":
        return out.apply
    if library == "PyGLM":
        if kind == "pose":
            return lambda v: np.array((out * glm.dvec4(*v, 1)).xyz)
        return lambda v: np.array(out * glm.dvec3(*v))
    if library == "numpy-quaternion":
        if kind == "pose":
            nq, shift = out
            return lambda v: hamilton(nq.wxyz, v) + np.array(list(shift))
        return lambda v: hamilton(out.wxyz, v)
    if library == "ROS messages" and kind != "matrix":
        o, shift = (out, (0, 0, 0)) if kind == "quaternion" else (out.orientation, (out.position.x, out.position.y, out.position.z))
        return lambda v: hamilton((o.w, o.x, o.y, o.z), v) + np.array(shift)
    if library == "Eigen" and kind == "quaternion":
        return lambda v: hamilton((out.w(), out.x(), out.y(), out.z()), v)
    m = np.array(out, dtype=float)
    return (lambda v: (m @ [*v, 1.0])[:3]) if kind == "pose" else (lambda v: m @ v)


def namespace(**more):
    glm = pytest.importorskip("glm")
    sst = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)
    return dict(np=np, Quat=Quat, RigidTransform=RigidTransform, Vec3d=Vec3d, Rotation=sst.Rotation, sst=sst, glm=glm,
                quaternion=quaternion, Quaterniond=Quaterniond, o3d=o3d, **vars(ros), **more)


def test_the_table_has_every_library_and_kind():
    assert [row[0] for row in ROWS] == [lib for lib in LIBRARIES for _ in KINDS]


def test_stand_ins_follow_the_conventions_scipy_shares():
    sst = pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)
    r = sst.Rotation.random(20, rng=24)
    for xyzw, m in zip(r.as_quat(), r.as_matrix()):
        assert np.abs(hamilton_matrix(np.roll(xyzw, 1)) - m).max() < 1e-15


@pytest.mark.parametrize("row", range(len(LIBRARIES) * len(KINDS)), ids=[f"{lib}-{kind}" for lib in LIBRARIES for kind in KINDS])
def test_each_line_hands_the_same_rotation_both_ways(row):
    library, kind = LIBRARIES[row // 3], KINDS[row % 3]
    into, out = code(ROWS[row][2]), code(ROWS[row][3])
    rng = np.random.default_rng(row)
    for _ in range(50):
        h = rng.standard_normal(4)
        h /= np.linalg.norm(h)
        shift, vectors = rng.uniform(-10, 10, 3), rng.uniform(-10, 10, (5, 3))
        # into kalvor: the kalvor object moves vectors as the peer's does
        got = eval(into, namespace(**inputs(library, h, shift)))
        moved = got.apply if kind == "pose" else got.rotate
        want = [hamilton(h, v) + (shift if kind == "pose" else 0) for v in vectors]
        assert type(got) is (RigidTransform if kind == "pose" else Quat)
        assert max(np.abs(np.array(list(moved(Vec3d(*v)))) - w).max() for v, w in zip(vectors, want)) < 1e-13
        # out of kalvor: the peer's object moves vectors as the kalvor one does
        q = Quat.from_wxyz(*h)
        t = RigidTransform(q, Vec3d(*shift))
        result = eval(out, namespace(q=q, t=t))
        if library == "numpy-quaternion" and kind == "pose":
            result = (result, t.translation)  # the cell names both parts
        theirs = action(library, kind, result)
        ours = t.apply if kind == "pose" else q.rotate
        assert max(np.abs(np.asarray(theirs(v), dtype=float) - list(ours(Vec3d(*v)))).max() for v in vectors) < 1e-13
