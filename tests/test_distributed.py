"""kalvor objects crossing process boundaries: a multiprocessing pool with the
spawn start method, and the distributed example on a two-process Dask cluster."""

import importlib
import multiprocessing
import pathlib
import shutil

import pytest

from conftest import bits
from kalvor import Quat, Vec3d, VecList

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "distributed.py"


def turn(job):
    quat, points, probe = job
    moved = VecList(list(points))
    moved.rotate(quat)
    index, _ = moved.minimum_distance_to(probe, 1)
    return quat.normalize(), moved, moved[index]


def test_spawned_processes_take_and_return_values():
    quat = Quat(0.5, 0.5, -0.5, 0.5)
    points = VecList([Vec3d(1, 2, 3), Vec3d(-0.0, float("inf"), 0.5), Vec3d(4, 5, 6)])
    jobs = [(quat, points, Vec3d(0, 0, k)) for k in range(4)]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(turn, jobs)
    for job, (q, moved, near) in zip(jobs, results, strict=True):
        expected = turn(job)
        assert bits(q.w) == bits(expected[0].w)
        assert bytes(memoryview(moved)) == bytes(memoryview(expected[1]))
        assert [bits(c) for c in near] == [bits(c) for c in expected[2]]


def test_distributed_example_agrees_with_one_process(tmp_path, monkeypatch):
    distributed = pytest.importorskip("dask.distributed")
    # Under a name that does not shadow Dask's package, on the import path the
    # spawned workers inherit, so they import the task functions by name.
    shutil.copy(EXAMPLE, tmp_path / "kalvor_distributed_example.py")
    monkeypatch.syspath_prepend(str(tmp_path))
    example = importlib.import_module("kalvor_distributed_example")
    # The scheduler's HTTP server takes a free loopback port: another cluster on
    # the machine may hold the default one, and the warning would fail the test.
    with distributed.LocalCluster(
        n_workers=2,
        threads_per_worker=1,
        processes=True,
        dashboard_address="127.0.0.1:0",
        env={"KALVOR_NUM_THREADS": "1"},
    ) as cluster, distributed.Client(cluster) as client:
        remote, _, _, agree = example.compare(client, points=6_000, chunk_count=3)
    (chunk, (distance, index, point)), rotated = remote
    assert agree and len(rotated) == 3 and all(len(r) == 2_000 for r in rotated)
    assert 0 <= chunk < 3 and distance == rotated[chunk][index].distance_to(example.PROBE)
