"""Python threads at once run bulk operations on a list they share while one of them appends to it, and on
lists of their own that they rotate: every result equals, bit for bit, the one computed beforehand."""

import random
import sys
import threading
import time

from kalvor import Quat, VecList

import bulk

N = 2 * 4096 + 5  # two pieces or more with two workers or more
ROUNDS = 12 if hasattr(sys, "gettotalrefcount") else 30
Q = Quat(0.6, 0.0, 0.8, 0.0)


def test_threads_get_the_serial_results():
    items = bulk.elements(N)
    lst, expected = VecList(items), []  # each operation's results on a list rotated 0, 1, 2 and 3 times
    for _ in range(4):
        expected.append({name: bulk.encode(op(lst)) for name, (op, _) in bulk.OPERATIONS.items()})
        lst.rotate(Q)
    full, shared = expected[0], VecList(items[: N // 3])
    errors, seen, ready = [], set(), threading.Barrier(5)  # seen: the lengths of the shared list the workers met

    def guarded(body, *args):
        try:
            ready.wait()
            body(*args)
        except BaseException as e:
            # Under the interpreter lock no call overlaps another on the same list; without it a borrow conflict may.
            if getattr(sys, "_is_gil_enabled", lambda: True)() or not (isinstance(e, RuntimeError) and "borrowed" in str(e)):
                errors.append(e)

    def appender():
        i = len(shared)
        while i < N:
            step = min(N - i, 1 + i % 16)
            shared.append(items[i]) if step == 1 else shared.extend(VecList(items[i : i + step]))
            i += step
            time.sleep(0)  # let the others in between

    def worker(seed):
        rng, mine, turns = random.Random(seed), VecList(items), 0
        for _ in range(ROUNDS):
            name = rng.choice(list(bulk.OPERATIONS))
            op, width = bulk.OPERATIONS[name][0], len(full[name]) // N
            result = bulk.encode(op(shared))
            seen.add(len(result) // width)
            # The shared list only grows: its results are a prefix of the full ones.
            assert len(result) % width == 0 and result == full[name][: len(result)], name
            if turns < 3 and rng.random() < 0.3:
                mine.rotate(Q)
                turns += 1
            assert bulk.encode(op(mine)) == expected[turns][name], (name, turns)

    threads = [threading.Thread(target=guarded, args=(appender,))]
    threads += [threading.Thread(target=guarded, args=(worker, seed)) for seed in range(4)]
    interval, _ = sys.getswitchinterval(), sys.setswitchinterval(1e-5)
    try:
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert errors == [] and len(seen) > 1 and bulk.encode(shared) == bulk.encode(items)
