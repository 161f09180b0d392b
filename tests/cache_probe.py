"""Run as a script by test_memory.py: frees bulk results of the given sizes
(MiB, one result per number, all alive together) and prints how much more
memory stays resident than before, in MiB, which with glibc told to return
every freed block over 128 KiB to the kernel is what the element-array cache
keeps; then whether as many new results of the same sizes, all alive
together, each got an array of its own."""

import resource
import sys

from kalvor import Vec3d, VecList

MiB = 1 << 20


def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize()


sizes = [int(a) for a in sys.argv[1:]]
sources = {m: VecList([Vec3d(1, 2, 3)] * (m * MiB // 24)) for m in set(sizes)}
VecList([Vec3d(1, 2, 3)] * 2).normalize()  # the pool starts outside the count
before = resident()
results = [sources[m] * 2.0 for m in sizes]
del results
held = (resident() - before) / MiB
again = [sources[m] * float(k) for k, m in enumerate(sizes)]
print(held, all(r[0].x == k and r[len(r) - 1].z == 3 * k for k, r in enumerate(again)))
