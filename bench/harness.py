"""Interleaved timing of kalvor beside a peer library, in one process.

Each row times a kalvor statement and the peer's statement alternately, several
repeats each, and reports the medians and their ratio. The machine is noisy, so
only ratios from the same run mean anything."""

import statistics
import timeit


def per_call_ns(stmt, setup_globals, number):
    timer = timeit.Timer(stmt, globals=setup_globals)
    return timer.timeit(number) / number * 1e9


def compare(rows, scope, number=200_000, repeats=7, unit="ns"):
    """rows: (label, kalvor statement, peer statement or None). Returns result rows."""
    results = []
    for label, ours, theirs in rows:
        ours_times, theirs_times = [], []
        per_call_ns(ours, scope, max(1, number // 10))  # warm-up
        if theirs:
            per_call_ns(theirs, scope, max(1, number // 10))
        for _ in range(repeats):
            ours_times.append(per_call_ns(ours, scope, number))
            if theirs:
                theirs_times.append(per_call_ns(theirs, scope, number))
        ours_median = statistics.median(ours_times)
        theirs_median = statistics.median(theirs_times) if theirs else None
        results.append((label, ours, ours_median, theirs, theirs_median))
    return results


def _fmt(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


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
                f"{ours_t / theirs_t:.2f} |"
            )
