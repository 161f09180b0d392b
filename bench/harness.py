"""Interleaved timing of kalvor beside a peer library, in one process.

Each row times a kalvor statement and the peer's statement alternately, several
repeats each, and reports the medians and their ratio. The machine is noisy, so
only ratios from the same run mean anything.

A per-call row may also name its floor: the same kind of call (calling
convention and result kind) into kalvor_floor, a bench-only extension whose
calls do nothing (bench/floor.cpp). It is timed in the same rounds, and the
table shows how many times the floor the kalvor row takes."""

import os
import statistics
import time
import timeit

# numpy single-threaded, as every figure it is compared with: each bench imports
# this module before numpy.
for variable in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(variable, "1")

import kalvor_floor

try:
    from pyglm import glm
except ImportError:
    import glm

# Per-call rows run on the calling thread alone, so they are timed in that
# thread's CPU time: time the machine gives to other processes is left out.
# Rows that use the worker pool are timed by the wall clock.
THREAD_TIME = time.thread_time

# The names a floor statement uses: two Floor objects and the module function.
FLOOR_SCOPE = dict(Floor=kalvor_floor.Floor, f=kalvor_floor.Floor(1, 2, 3), g=kalvor_floor.Floor(4, 5, 6),
                   function=kalvor_floor.function)


def per_call_ns(stmt, setup_globals, number, timer=time.perf_counter):
    t = timeit.Timer(stmt, timer=timer, globals=setup_globals)
    return t.timeit(number) / number * 1e9


def compare(rows, scope, number=200_000, repeats=7, unit="ns", timer=time.perf_counter):
    """rows: (label, kalvor statement, peer statement or None[, floor statement]).
    Returns result rows (label, ours, ours median, theirs, theirs median, floor, floor median)."""
    scope = dict(FLOOR_SCOPE, **scope)
    results = []
    for label, ours, theirs, *floor in rows:
        floor = floor[0] if floor else None
        statements = [s for s in (ours, theirs, floor) if s]
        times = {s: [] for s in statements}
        for s in statements:  # warm-up
            per_call_ns(s, scope, max(1, number // 10), timer)
        for _ in range(repeats):
            for s in statements:
                times[s].append(per_call_ns(s, scope, number, timer))
        median = lambda s: statistics.median(times[s]) if s else None
        results.append((label, ours, median(ours), theirs, median(theirs), floor, median(floor)))
    return results


def _fmt(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def _ratio(value):
    # Two significant digits below 0.1, where two decimals would round a 100-fold lead to 0.00.
    return f"{value:.2f}" if value >= 0.1 else f"{value:.2g}"


def print_table(title, results, peer, unit="ns", scale=1.0, ours_name="kalvor"):
    floors = any(r[6] is not None for r in results)
    print(f"\n### {title}\n")
    print(f"| operation | {ours_name} | {unit} | {peer} | {unit} | ratio |" + (" × floor |" if floors else ""))
    print("|---|---|---:|---|---:|---:|" + ("---:|" if floors else ""))
    for label, ours, ours_t, theirs, theirs_t, _, floor_t in results:
        floor = f" {ours_t / floor_t:.2f} |" if floor_t else " |" if floors else ""
        if theirs_t is None:
            print(f"| {label} | `{ours}` | {_fmt(ours_t * scale)} | (none) | | |" + floor)
        else:
            print(
                f"| {label} | `{ours}` | {_fmt(ours_t * scale)} | `{theirs}` | {_fmt(theirs_t * scale)} | "
                f"{_ratio(ours_t / theirs_t)} |" + floor
            )


def print_floors(title, *tables):
    """Each floor statement of the tables with its median in this run (the least of its rows' medians)."""
    floors = {}
    for results in tables:
        for *_, floor, floor_t in results:
            if floor:
                floors[floor] = min(floor_t, floors.get(floor, floor_t))
    print(f"\n### {title}\n")
    print("| floor | ns |")
    print("|---|---:|")
    for floor, t in floors.items():
        print(f"| `{floor}` | {_fmt(t)} |")
