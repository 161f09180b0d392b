"""Threads run bulk operations on a list one of them grows and on rotated lists of their own: all as computed serially."""

import random
import sys
import threading
import time

from kalvor import Quat, VecList

import bulk

N, Q = 2 * 4096 + 5, Quat(0.6, 0.0, 0.8, 0.0)  # two pieces or more with two workers or more


def test_threads_get_the_serial_results():
    items, ops = bulk.elements(N), {name: op for name, (op, _) in bulk.OPERATIONS.items()}
    lst = VecList(items)  # each operation's results on a list rotated 0, 1, 2 and 3 times:
    expected = [{name: bulk.encode(op(lst)) for name, op in ops.items()} for k in range(4) if not k or not lst.rotate(Q)]
    shared, errors, seen, ready = VecList(items[: N // 3]), [], set(), threading.Barrier(5)

    def guarded(seed):
        try:
            ready.wait()
            worker(seed) if seed is not None else appender()
        except BaseException as e:  # without the interpreter lock a borrow conflict may come; with it, never
            if getattr(sys, "_is_gil_enabled", lambda: True)() or not (isinstance(e, RuntimeError) and "borrowed" in str(e)):
                errors.append(e)

    def appender():
        for i in range(len(shared), N, 5):
            shared.append(items[i])
            shared.extend(VecList(items[i + 1 : i + 5]))
            time.sleep(0)  # let the others in between

    def worker(seed):
        rng, mine, turns = random.Random(seed), VecList(items), 0
        for _ in range(12 if hasattr(sys, "gettotalrefcount") else 30):
            name = rng.choice(list(ops))
            result, width = bulk.encode(ops[name](shared)), len(expected[0][name]) // N
            seen.add(len(result) // width)  # the shared list only grows: its results are a prefix of the full ones
            assert len(result) % width == 0 and result == expected[0][name][: len(result)], name
            if turns < 3 and rng.random() < 0.3:
                mine.rotate(Q)
                turns += 1
            assert bulk.encode(ops[name](mine)) == expected[turns][name], (name, turns)

    threads = [threading.Thread(target=guarded, args=(seed,)) for seed in (None, 0, 1, 2, 3)]
    interval, _ = sys.getswitchinterval(), sys.setswitchinterval(1e-5)
    [t.start() for t in threads], [t.join() for t in threads], sys.setswitchinterval(interval)
    assert errors == [] and len(seen) > 1 and bulk.encode(shared) == bulk.encode(items)
