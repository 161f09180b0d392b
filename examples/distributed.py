"""A point cloud on a Dask cluster: every chunk is rotated and searched for the
point nearest to a probe on worker processes, and the chunk results are reduced
to the global nearest point. The same work is then done in this one process,
and the two must agree bit for bit.

    python examples/distributed.py                        # a local cluster of worker processes
    python examples/distributed.py --points 400000 --workers 2
    python examples/distributed.py --scheduler tcp://10.0.0.5:8786   # an existing cluster

Chunks travel as VecList objects: Dask pickles them with protocol 5, so each
chunk's element array goes to and from the workers as one out-of-band buffer.
"""

import argparse
import copy
import os
import struct
import sys
import time

# This file shares its name with Dask's package: run as a script, its folder
# leaves the import path before Dask is imported.
if __name__ in ("__main__", "__mp_main__") and sys.path and os.path.abspath(sys.path[0] or ".") == os.path.dirname(
    os.path.abspath(__file__)
):
    del sys.path[0]

import numpy as np
from dask.distributed import Client, LocalCluster

from kalvor import AngleRadians, Quat, Vec3d, VecList

PROBE = Vec3d(0.25, -0.5, 0.125)
TURN = Quat.from_axis_angle(Vec3d(1, 2, 3).normalize(), AngleRadians(0.9))

# (distance, element index, point) of a chunk's nearest point
Found = tuple[float, int, Vec3d]
# ((winning chunk, its Found), every rotated chunk)
Outcome = tuple[tuple[int, Found], list[VecList]]


def make_chunk(seed: int, size: int) -> VecList:
    """A reproducible slab of the cloud, built from a numpy array in one pass."""
    points = np.random.default_rng(seed).normal(size=(size, 3))
    return VecList.from_array(points)


def rotate_and_search(chunk: VecList, quat: Quat, probe: Vec3d, stride: int) -> tuple[VecList, Found]:
    """Rotates a copy of the chunk (the scattered original may be shared by other
    tasks) and finds its point nearest to the probe."""
    rotated = copy.copy(chunk)
    rotated.rotate(quat)
    index, distance = rotated.minimum_distance_to(probe, stride)
    return rotated, (distance, index, rotated[index])


def nearest_of(*found: Found) -> tuple[int, Found]:
    """The chunk result with the smallest distance; the first chunk wins ties."""
    best = min(range(len(found)), key=lambda c: (found[c][0], c))
    return best, found[best]


def second(pair: tuple[VecList, Found]) -> Found:
    return pair[1]


def first(pair: tuple[VecList, Found]) -> VecList:
    return pair[0]


def run_on_cluster(client: Client, chunks: list[VecList], stride: int) -> Outcome:
    # Unhashed keys: a chunk scattered again (the warm-up's) must not meet its
    # earlier copy's key while the scheduler is still releasing it, which
    # leaves the new tasks waiting on lost data.
    scattered = client.scatter(chunks, hash=False)
    pairs = [client.submit(rotate_and_search, c, TURN, PROBE, stride, pure=False) for c in scattered]
    found = [client.submit(second, p) for p in pairs]
    winner: tuple[int, Found] = client.submit(nearest_of, *found).result()
    rotated: list[VecList] = client.gather([client.submit(first, p) for p in pairs])
    return winner, rotated


def run_here(chunks: list[VecList], stride: int) -> Outcome:
    pairs = [rotate_and_search(c, TURN, PROBE, stride) for c in chunks]
    return nearest_of(*(found for _, found in pairs)), [rotated for rotated, _ in pairs]


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def same(a: Outcome, b: Outcome) -> bool:
    """Bit-for-bit equality of the two runs: winner, distance, point and every
    rotated element."""
    (ca, (da, ia, pa)), rotated_a = a
    (cb, (db, ib, pb)), rotated_b = b
    return (
        (ca, ia) == (cb, ib)
        and bits(da) == bits(db)
        and [bits(x) for x in pa] == [bits(x) for x in pb]
        and all(bytes(memoryview(x)) == bytes(memoryview(y)) for x, y in zip(rotated_a, rotated_b, strict=True))
    )


def compare(client: Client, points: int, chunk_count: int) -> tuple[Outcome, float, float, bool]:
    """Runs both ways and returns (cluster result, seconds on the cluster,
    seconds in one process, whether they agree)."""
    size = points // chunk_count
    chunks = [make_chunk(seed, size) for seed in range(chunk_count)]
    stride = 1  # an exact search: every point is looked at
    run_on_cluster(client, chunks[:1], stride)  # warm-up: imports and the pools on the workers
    start = time.perf_counter()
    remote = run_on_cluster(client, chunks, stride)
    cluster_seconds = time.perf_counter() - start
    start = time.perf_counter()
    local = run_here(chunks, stride)
    local_seconds = time.perf_counter() - start
    return remote, cluster_seconds, local_seconds, same(remote, local)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--points", type=int, default=4_000_000)
    parser.add_argument("--chunks", type=int, default=16)
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster")
    parser.add_argument("--scheduler", help="address of an existing scheduler, e.g. tcp://10.0.0.5:8786")
    args = parser.parse_args()

    if args.scheduler:
        client, cluster = Client(args.scheduler), None
        where = f"the cluster at {args.scheduler}"
    else:
        # One kalvor worker thread per process: the processes already share the cores.
        cluster = LocalCluster(
            n_workers=args.workers,
            threads_per_worker=1,
            processes=True,
            # Any free loopback port for the scheduler's HTTP server, so a
            # second cluster on the machine does not collide with this one.
            dashboard_address="127.0.0.1:0",
            env={"KALVOR_NUM_THREADS": "1"},
        )
        client = Client(cluster)
        where = f"a local cluster of {args.workers} worker processes"
    try:
        print(f"{args.points:,} points in {args.chunks} chunks on {where}")
        remote, cluster_seconds, local_seconds, agree = compare(client, args.points, args.chunks)
        (chunk, (distance, index, point)), _ = remote
        print(f"  nearest to {PROBE!r} after the turn: chunk {chunk}, element {index}, {point!r}, distance {distance!r}")
        print(f"  on the cluster {cluster_seconds * 1e3:8.1f} ms (rotate, search, reduce, and every rotated chunk back)")
        print(f"  one process    {local_seconds * 1e3:8.1f} ms")
        print(f"  bit for bit the same as one process: {agree}")
        if not agree:
            raise SystemExit("the cluster's result differs from the single-process run")
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    main()
