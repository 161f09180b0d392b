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

SECTION = re.search(r"^### Rotations to and from other libraries\n(.*?)^###? ",
                    (Path(__file__).resolve().parents[1] / "README.md").read_text(encoding="utf-8"), re.S | re.M).group(1)
ROWS = [[c.strip() for c in line.strip("|").split("|")] for line in SECTION.splitlines() if line.startswith("| ") and "---" not in line][1:]
LINES = [(lib, kind) for lib in ["scipy", "PyGLM", "numpy-quaternion", "Eigen", "ROS messages", "Open3D"] for kind in ["quaternion", "matrix", "pose"]]
sst = lambda: pytest.importorskip("scipy.spatial.transform", exc_type=ImportError)  # noqa: E731
glm = lambda: pytest.importorskip("glm")  # noqa: E731


def hamilton(h, v):  # q·v·q* for a unit scalar-first quaternion
    u = np.array(h[1:])
    return v + 2 * h[0] * np.cross(u, v) + 2 * np.cross(u, np.cross(u, v))


def matrix(h, shift=None):  # the column-vector 3×3 matrix of q·v·q*, or the 4×4 one with a translation
    m = np.array([hamilton(h, e) for e in np.eye(3)]).T
    return m if shift is None else np.block([[m, np.reshape(shift, (3, 1))], [np.zeros((1, 3)), np.ones((1, 1))]])


# numpy-quaternion: (w, x, y, z) arrays, a matrix's quaternion through scipy's of the same convention; Eigen: Quaterniond(w, x, y, z)
# read back by w(), x(), y(), z(); ROS messages; Open3D
quaternion = Msg(as_float_array=lambda nq: nq.wxyz.copy(), from_float_array=lambda a: Msg(wxyz=np.array(a, dtype=float)),
                 from_rotation_matrix=lambda m: Msg(wxyz=np.roll(sst().Rotation.from_matrix(m).as_quat(), 1)))
Quaterniond = lambda *h: Msg(**{c: (lambda c=c: h["wxyz".index(c)]) for c in "wxyz"})  # noqa: E731
ros = Msg(Quaternion=lambda x, y, z, w: Msg(x=x, y=y, z=z, w=w), Point=lambda x, y, z: Msg(x=x, y=y, z=z),
          Pose=lambda position, orientation: Msg(position=position, orientation=orientation))
o3d = Msg(geometry=Msg(get_rotation_matrix_from_quaternion=lambda wxyz: matrix(np.asarray(wxyz, dtype=float))))


def inputs(library, h, shift):  # the peer's objects for the unit rotation h (w, x, y, z) and the translation
    w, x, y, z = h
    if library == "scipy":
        r = sst().Rotation.from_quat([x, y, z, w])
        return dict(r=r, m=r.as_matrix(), p=sst().RigidTransform.from_components(shift, r))
    if library == "PyGLM":
        g = glm().dquat(w, x, y, z)
        return dict(g=g, m3=glm().mat3_cast(g), m4=glm().translate(glm().dmat4(1), glm().dvec3(*shift)) * glm().mat4_cast(g))
    if library == "numpy-quaternion":
        return dict(nq=quaternion.from_float_array(h), m=matrix(h), shift=shift)
    if library == "Eigen":
        return dict(e=Quaterniond(*h), m=matrix(h), iso=Msg(matrix=lambda: matrix(h, shift)))
    if library == "ROS messages":
        pose = ros.Pose(ros.Point(*shift), ros.Quaternion(x, y, z, w))
        return dict(o=pose.orientation, m=matrix(h), pose=pose, p=pose.position)
    return dict(wxyz=np.array(h), m=matrix(h), m4=matrix(h, shift))


def action(library, kind, out):  # what the peer's object does to a vector v (numpy)
    if library == "scipy":
        return out.apply
    if library == "PyGLM":
        return (lambda v: np.array((out * glm().dvec4(*v, 1)).xyz)) if kind == "pose" else (lambda v: np.array(out * glm().dvec3(*v)))
    if library == "numpy-quaternion":
        nq, shift = out if kind == "pose" else (out, (0, 0, 0))
        return lambda v: hamilton(nq.wxyz, v) + list(shift)
    if library in ("ROS messages", "Eigen") and kind == "quaternion":
        return lambda v: hamilton([c() if callable(c) else c for c in (out.w, out.x, out.y, out.z)], v)
    if library == "ROS messages" and kind == "pose":
        o, p = out.orientation, out.position
        return lambda v: hamilton((o.w, o.x, o.y, o.z), v) + (p.x, p.y, p.z)
    m = np.array(out, dtype=float)
    return (lambda v: (m @ [*v, 1.0])[:3]) if kind == "pose" else (lambda v: m @ v)


def test_the_table_has_every_library_and_kind_and_the_stand_ins_follow_scipys_conventions():
    assert [row[0] for row in ROWS] == [lib for lib, _ in LINES]
    r = sst().Rotation.random(20, rng=24)
    assert all(np.abs(matrix(np.roll(xyzw, 1)) - m).max() < 1e-15 for xyzw, m in zip(r.as_quat(), r.as_matrix()))


@pytest.mark.parametrize("row", range(len(LINES)), ids=[f"{lib}-{kind}" for lib, kind in LINES])
def test_each_line_hands_the_same_rotation_both_ways(row):
    (library, kind), rng = LINES[row], np.random.default_rng(row)
    into, out = (re.match(r"`([^`]*)`", cell).group(1) for cell in ROWS[row][2:4])  # the first code span of each cell
    names = dict(np=np, Quat=Quat, RigidTransform=RigidTransform, Vec3d=Vec3d, Rotation=sst().Rotation, sst=sst(), glm=glm(),
                 quaternion=quaternion, Quaterniond=Quaterniond, o3d=o3d, **vars(ros))
    for _ in range(50):
        h, shift, vectors = rng.standard_normal(4), rng.uniform(-10, 10, 3), rng.uniform(-10, 10, (5, 3))
        h /= np.linalg.norm(h)
        got = eval(into, names | inputs(library, h, shift))  # into kalvor: the kalvor object moves vectors as the peer's does
        assert type(got) is (RigidTransform if kind == "pose" else Quat)
        moved = got.apply if kind == "pose" else got.rotate
        assert max(np.abs(list(moved(Vec3d(*v))) - (hamilton(h, v) + (shift if kind == "pose" else 0))).max() for v in vectors) < 1e-13
        q = Quat.from_wxyz(*h)  # out of kalvor: the peer's object moves vectors as the kalvor one does
        t = RigidTransform(q, Vec3d(*shift))
        result = eval(out, names | dict(q=q, t=t))
        theirs = action(library, kind, (result, t.translation) if library == "numpy-quaternion" and kind == "pose" else result)  # the cell names both parts
        ours = t.apply if kind == "pose" else q.rotate
        assert max(np.abs(np.asarray(theirs(v), dtype=float) - list(ours(Vec3d(*v)))).max() for v in vectors) < 1e-13
