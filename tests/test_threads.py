"""Several Python threads at once, running bulk operations on a list they share
while one of them keeps appending to it, and on lists of their own that they
rotate: every result equals, bit for bit, the one computed beforehand on a
single thread."""

import random
import sys
import threading
import time

from kalvor import Quat, VecList

import bulk

N = 2 * 4096 + 5  # two pieces or more with two workers or more
ROUNDS = 12 if hasattr(sys, "gettotalrefcount") else 30
Q = Quat(0.6, 0.0, 0.8, 0.0)


def reference(items):
    lst = VecList(items)
    return {name: bulk.flat(op(lst)) for name, (op, _) in bulk.OPERATIONS.items()}


def test_threads_get_the_serial_results():
    items = bulk.elements(N)
    full = {name: bulk.encode(values) for name, values in reference(items).items()}
    widths = {name: len(full[name]) // N for name in full}  # bytes an element
    # The states of a private list rotated 0, 1, 2 ... times, and their results.
    states = [items]
    for _ in range(3):
        lst = VecList(states[-1])
        lst.rotate(Q)
        states.append(list(lst))
    private = [{name: bulk.encode(v) for name, v in reference(s).items()} for s in states]

    start = N // 3
    shared = VecList(items[:start])
    errors = []
    # Under the interpreter lock no call overlaps another on the same list,
    # so no borrow conflict can happen; without it one may.
    conflicts_possible = not getattr(sys, "_is_gil_enabled", lambda: True)()

    def guard(body):
        def run(*args):
            try:
                body(*args)
            except RuntimeError as e:
                if not conflicts_possible or "borrowed" not in str(e):
                    errors.append(e)
            except BaseException as e:
                errors.append(e)

        return run

    seen = set()  # lengths of the shared list the workers met
    ready = threading.Barrier(5)

    @guard
    def appender():
        ready.wait()
        i = start
        while i < N:
            step = min(N - i, 1 + (i % 16))
            if step == 1:
                shared.append(items[i])
            else:
                shared.extend(VecList(items[i : i + step]))
            i += step
            time.sleep(0)  # let the others in between

    @guard
    def worker(seed):
        rng = random.Random(seed)
        mine, turns = VecList(items), 0
        ready.wait()
        for _ in range(ROUNDS):
            name = rng.choice(list(bulk.OPERATIONS))
            op = bulk.OPERATIONS[name][0]
            result = bulk.encode(bulk.flat(op(shared)))
            seen.add(len(result) // widths[name])
            # The shared list only grows: its results are a prefix of the full ones.
            assert len(result) % widths[name] == 0 and result == full[name][: len(result)], name
            if turns < 3 and rng.random() < 0.3:
                mine.rotate(Q)
                turns += 1
            assert bulk.encode(bulk.flat(op(mine))) == private[turns][name], (name, turns)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        threads = [threading.Thread(target=appender)] + [threading.Thread(target=worker, args=(s,)) for s in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert errors == []
    assert len(seen) > 1  # the workers met the shared list at several lengths
    assert bulk.encode(bulk.flat(shared)) == bulk.encode(bulk.flat(items))
