"""VecList bulk operations beside numpy (single-threaded) and PyGLM.

Run as `./dev bench`; `--quick` uses fewer repeats. The scaling rows re-run
the compute-bound operations in child processes with KALVOR_NUM_THREADS=1 and 2."""

import json
import os
import random
import statistics
import subprocess
import sys
import time
import timeit

from harness import compare, glm, print_table  # first: it keeps numpy single-threaded
import numpy as np

import kalvor
import kalvor_floor

QUICK = "--quick" in sys.argv
N = 1_000_000
REPEATS = 3 if QUICK else 5

Vec3d, VecList, Quat = kalvor.Vec3d, kalvor.VecList, kalvor.Quat


def make(n, seed=1):
    rng = np.random.default_rng(seed)
    a = rng.standard_normal((n, 3))
    vecs = [Vec3d(*row) for row in a.tolist()]
    return a, vecs, VecList(vecs)


def scope_for(n):
    a, vecs, lst = make(n)
    v = np.array([0.25, -1.5, 2.0])
    o = Vec3d(0.25, -1.5, 2.0)
    q = Quat.from_axis_angle(Vec3d(0.6, 0.0, 0.8), kalvor.AngleRadians(0.7))
    gq = glm.angleAxis(0.7, glm.dvec3(0.6, 0.0, 0.8))
    return dict(
        np=np, glm=glm, VecList=VecList, a=a, v=v, o=o, L=lst, q=q, gq=gq, vecs=vecs, gv=glm.dvec3(0.25, -1.5, 2.0),
        ga=glm.array([glm.dvec3(*row) for row in a.tolist()]) if n <= N else None,
        gvecs=[glm.dvec3(*row) for row in a.tolist()],
        tuples=[tuple(row) for row in a.tolist()],
        eps=2.0**-52, stride=max(1, int(n**0.5)), n=n, floats=kalvor_floor.floats, rows=kalvor_floor.rows,
    )


# Each peer is numpy's fastest idiom for the same list (einsum rather than
# np.linalg.norm); an array result is compared with an array result. The floor
# of a list result is making the list alone: n new floats (floats(n)), or n new
# lists of three new floats (rows(n)), from kalvor_floor.
LIST_ROWS = [
    ("dot", "L.dot(o)", "(a @ v).tolist()", "floats(n)"),
    ("distance_to", "L.distance_to(o)", "np.sqrt(np.einsum('ij,ij->i', d := a - v, d)).tolist()", "floats(n)"),
    ("distance_squared", "L.distance_squared(o)", "np.einsum('ij,ij->i', d := a - v, d).tolist()", "floats(n)"),
    ("magnitude", "L.magnitude()", "np.sqrt(np.einsum('ij,ij->i', a, a)).tolist()", "floats(n)"),
    ("is_unit", "L.is_unit()", "(np.abs(np.sqrt(np.einsum('ij,ij->i', a, a)) - 1.0) < eps).tolist()"),
    ("to_array", "L.to_array()", "a.tolist()", "rows(n)"),
]

ARRAY_ROWS = [
    ("cross", "L.cross(o)", "np.cross(a, v)"),
    ("normalize", "L.normalize()", "a / np.sqrt(np.einsum('ij,ij->i', a, a))[:, None]"),
    ("add", "L + o", "a + v"),
    ("scale", "L * 2.0", "a * 2.0"),
    ("divide", "L / 2.0", "a / 2.0"),
    ("rotate (in place)", "L.rotate(q)", "gq * ga"),
    ("nearest, stride 1", "L.minimum_distance_to(o, 1)", "np.argmin(np.einsum('ij,ij->i', a - v, a - v))"),
    ("nearest, stride √n", "L.minimum_distance_to(o, stride)", None),
]

BUILD_ROWS = [
    ("VecList(list of Vec3d)", "VecList(vecs)", "glm.array(gvecs)"),
    ("(numpy from tuples)", "VecList(vecs)", "np.array(tuples)"),
]

SMALL_ROWS = [
    ("dot", "L.dot(o)", "(a @ v).tolist()"),
    ("add", "L + o", "a + v"),
    ("add (PyGLM)", "L + o", "ga + gv"),
]

SCALING = ["L.rotate(q)", "L.normalize()", "L.cross(o)", "L.dot(o)", "L + o"]


def scaling_child():
    scope = scope_for(N)
    for stmt in SCALING:
        for _ in range(3):  # warm: fresh result arrays fault their pages in on first use
            eval(stmt, scope)
        times = []
        for _ in range(2 * REPEATS):
            start = time.perf_counter()
            eval(stmt, scope)
            times.append(time.perf_counter() - start)
        print(stmt, statistics.median(times) * 1e3)


def round_trip_ns():
    """One round trip between two processors (pool_bench's BM_round_trip, built
    beside the module by ./dev bench), the floor of a small job's hand-off; None
    when the executable is not there."""
    exe = os.path.join(os.path.dirname(kalvor.__file__), "bench", "pool_bench")
    if not os.access(exe, os.X_OK):
        return None
    out = subprocess.run([exe, "--benchmark_filter=BM_round_trip", "--benchmark_format=json",
                          "--benchmark_min_time=0.2s"], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)["benchmarks"][0]["real_time"]


def hand_off_rounds(scope, rounds=41, number=5000):
    """The n = 10 `L + o` beside PyGLM's `ga + gv`, in many short interleaved
    rounds: the hand-off's cost follows the moment-to-moment state of the
    processors, so the spread of the per-round ratio says more than one median."""
    ratios = []
    for _ in range(rounds):
        ours = timeit.Timer("L + o", globals=scope).timeit(number)
        theirs = timeit.Timer("ga + gv", globals=scope).timeit(number)
        ratios.append(ours / theirs)
    quartiles = statistics.quantiles(ratios, n=4)
    within = sum(r <= 2.0 for r in ratios) / len(ratios)
    return quartiles, within


def busy_processors(count):
    """Child processes that keep `count` processors busy until terminated."""
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(count)]


def print_hand_off(scope):
    print("\n### The n = 10 hand-off, `L + o` / `ga + gv` per round of 5,000 calls\n")
    print("| processors | ratio, quartiles | rounds at or under 2× |")
    print("|---|---|---:|")
    for label, others in (("idle", 0), ("both kept busy by two other processes", 2)):
        children = busy_processors(others)
        try:
            quartiles, within = hand_off_rounds(scope)
        finally:
            for child in children:
                child.kill()
                child.wait()
        print(f"| {label} | {' / '.join(f'{q:.2f}' for q in quartiles)} | {100 * within:.0f} % |")


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def memory_row(n=10_000_000):
    vecs = [Vec3d(float(i), 1.0, 2.0) for i in range(n)]
    before = rss_bytes()
    lst = VecList(vecs)
    grown = rss_bytes() - before
    del lst
    return grown


def main():
    if "--scaling-child" in sys.argv:
        scaling_child()
        return
    print(f"\nVecList, n = {N:,}: kalvor pool of {os.environ.get('KALVOR_NUM_THREADS', 'default size')} "
          f"workers on {os.cpu_count()} processors; numpy {np.__version__} single-threaded, PyGLM")
    scope = scope_for(N)
    print_table("Operations returning a Python list (ms, median)", compare(LIST_ROWS, scope, number=1, repeats=REPEATS), "numpy", unit="ms", scale=1e-6)
    print_table("Operations returning an array, and rotate (ms, median)", compare(ARRAY_ROWS, scope, number=1, repeats=REPEATS), "numpy / PyGLM", unit="ms", scale=1e-6)
    print_table("Building from Python objects (ms, median)", compare(BUILD_ROWS, scope, number=1, repeats=REPEATS), "PyGLM / numpy", unit="ms", scale=1e-6)
    for n in (1000, 10):
        small = scope_for(n)
        before = round_trip_ns()
        print_table(f"Small lists, n = {n} (µs, median)", compare(SMALL_ROWS, small, number=2000, repeats=REPEATS), "numpy / PyGLM", unit="µs", scale=1e-3)
        after = round_trip_ns()
        if before is not None:
            print(f"\nOne round trip between the two processors (the hand-off's floor), "
                  f"measured just before and after: {before:.0f} ns, {after:.0f} ns")
        if n == 10:
            print_hand_off(small)

    print("\n### Scaling with the pool size (ms, median)\n")
    results = {}
    for threads in ("1", "2"):
        env = dict(os.environ, KALVOR_NUM_THREADS=threads)
        out = subprocess.run([sys.executable, "-P", __file__, "--scaling-child"] + (["--quick"] if QUICK else []),
                             capture_output=True, text=True, env=env, check=True)
        for line in out.stdout.strip().splitlines():
            stmt, ms = line.rsplit(" ", 1)
            results.setdefault(stmt, {})[threads] = float(ms)
    print("| operation | 1 worker | 2 workers | speed-up |")
    print("|---|---:|---:|---:|")
    for stmt in SCALING:
        one, two = results[stmt]["1"], results[stmt]["2"]
        print(f"| `{stmt}` | {one:.3g} | {two:.3g} | {one / two:.2f}× |")

    grown = memory_row()
    print(f"\n### Memory\n\nVecList of 10,000,000 vectors from a list: resident memory grew by {grown / 1e6:.1f} MB "
          f"(elements alone: 240 MB, {100 * (grown / 240e6 - 1):+.1f} %)")


if __name__ == "__main__":
    main()
