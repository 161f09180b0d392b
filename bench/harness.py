"""Interleaved timing of kalvor beside a peer library, in one process.

Each row times a kalvor statement and the peer's statement alternately, several
repeats each, and reports the medians and their ratio. The machine is noisy, so
only ratios from the same run mean anything."""

import statistics
import time
import timeit

# Per-call rows run on the calling thread alone, so they are timed in that
# thread's CPU time: time the machine gives to other processes is left out.
# Rows that use the worker pool are timed by the wall clock.
THREAD_TIME = time.thread_time


def per_call_ns(stmt, setup_globals, number, timer=time.perf_counter):
    t = timeit.Timer(stmt, timer=timer, globals=setup_globals)
    return t.timeit(number) / number * 1e9


def compare(rows, scope, number=200_000, repeats=7, unit="ns", timer=time.perf_counter):
    """rows: (label, kalvor statement, peer statement or None). Returns result rows."""
    results = []
    for label, ours, theirs in rows:
        ours_times, theirs_times = [], []
        per_call_ns(ours, scope, max(1, number // 10), timer)  # warm-up
        if theirs:
            per_call_ns(theirs, scope, max(1, number // 10), timer)
        for _ in range(repeats):
            ours_times.append(per_call_ns(ours, scope, number, timer))
            if theirs:
                theirs_times.append(per_call_ns(theirs, scope, number, timer))
        ours_median = statistics.median(ours_times)
        theirs_median = statistics.median(theirs_times) if theirs else None
        results.append((label, ours, ours_median, theirs, theirs_median))
    return results


def _fmt(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def _ratio(value):
    # Two significant digits below 0.1, where two decimals would round a 100-fold lead to 0.00.
    return f"{value:.2f}" if value >= 0.1 else f"{value:.2g}"


def print_table(title, results, peer, unit="ns", scale=1.0):
    print(f"\n### {title}\n")
    print(f"| operation | kalvor | {unit} | {peer} | {unit} | ratio |")
    print("|---|---|---:|---|---:|---:|")
    for label, ours, ours_t, theirs, theirs_t in results:
        if theirs_t is None:
            print(f"| {label} | `{ours}` | {_fmt(ours_t * scale)} | (none) | | |")
        else:
            print(
                f"| {label} | `{ours}` | {_fmt(ours_t * scale)} | `{theirs}` | {_fmt(theirs_t * scale)} | "
                f"{_ratio(ours_t / theirs_t)} |"
            )
