"""The cache of freed element arrays: at most four blocks, none over 64 MiB, 128 MiB in all, each handed out once."""

import os
import platform

import pytest

from conftest import needs_plain_memory, run_python

GLIBC = platform.libc_ver()[0] == "glibc" and os.path.exists("/proc/self/statm")
pytestmark = [needs_plain_memory, pytest.mark.skipif(not GLIBC, reason="reads resident memory from /proc and tunes glibc's malloc")]
RSS = (
    "import resource, threading\nfrom kalvor import Vec3d, VecList\n"
    "def rss():\n    with open('/proc/self/statm') as f:\n        return int(f.read().split()[1]) * resource.getpagesize()\n"
)


# Over 64 MiB never kept; four blocks at most; 128 MiB at most; up to the bound exactly; one small block.
@pytest.mark.parametrize("sizes, kept", [([70], 0), ([16] * 5, 64), ([48] * 3, 96), ([64, 64], 128), ([8], 8)])
def test_the_array_cache_stays_within_its_bound(sizes, kept):
    # Frees results of the given sizes (MiB, all alive together): with glibc returning every freed block over
    # 128 KiB to the kernel, what stays resident is what the cache keeps. Then as many new results, all alive
    # together, must each get an array of its own.
    code = RSS + (
        f"sizes = {sizes}\nsources = {{m: VecList([Vec3d(1, 2, 3)] * (m * 2**20 // 24)) for m in set(sizes)}}\n"
        "VecList([Vec3d(1, 2, 3)] * 2).normalize()  # the pool starts outside the count\n"
        "before = rss()\nresults = [sources[m] * 2.0 for m in sizes]\ndel results\n"
        "held = (rss() - before) / 2**20\nagain = [sources[m] * float(k) for k, m in enumerate(sizes)]\n"
        "print(held, all(r[0].x == k and r[len(r) - 1].z == 3 * k for k, r in enumerate(again)))\n"
    )
    held, each_its_own = run_python(code, GLIBC_TUNABLES="glibc.malloc.mmap_threshold=131072").stdout.split()
    assert abs(float(held) - kept) < 1 and each_its_own == "True"


def test_list_results_keep_bounded_memory_across_threads():
    # Sixteen threads, each alive to the end, make list results in turn from two million vectors: what stays
    # behind is the one bounded cache (128 MiB), not a buffer per thread. One C allocator arena, so that
    # per-thread arenas holding the freed item arrays of the result lists are not counted.
    code = RSS + (
        "v = Vec3d(0.5, 0.25, 1.0)\nbefore = rss()\nlst = VecList([v] * 2_000_000)\n"
        "ran, done = threading.Semaphore(0), threading.Event()\n"
        "def work():\n    lst.dot(v), lst.is_unit()\n    ran.release()\n    done.wait()\n"
        "threads = [threading.Thread(target=work) for _ in range(16)]\n"
        "for t in threads:\n    t.start()\n    ran.acquire()\n"
        "del lst\nprint((rss() - before) >> 20)\ndone.set()\n"
    )
    assert int(run_python(code, MALLOC_ARENA_MAX="1").stdout) < 128 + 24
