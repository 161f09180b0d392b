"""The cache of freed element arrays: at most four blocks, none over 64 MiB, 128 MiB in all, each handed out once."""

import os
import platform

import pytest

from conftest import needs_plain_memory, run_python

GLIBC = platform.libc_ver()[0] == "glibc" and os.path.exists("/proc/self/statm")
pytestmark = [needs_plain_memory, pytest.mark.skipif(not GLIBC, reason="reads resident memory from /proc and tunes glibc's malloc")]
RSS = "import pathlib, resource, threading\nfrom kalvor import Vec3d, VecList\nV = Vec3d(1, 2, 3)\n"
RSS += "rss = lambda: int(pathlib.Path('/proc/self/statm').read_text().split()[1]) * resource.getpagesize() / 2**20\n"


@pytest.mark.parametrize("sizes, kept", [([70], 0), ([16] * 5, 64), ([48] * 3, 96), ([64, 64], 128)])
def test_the_array_cache_stays_within_its_bound(sizes, kept):
    # glibc returns every freed block over 128 KiB to the kernel: what stays resident after results of these sizes
    # (MiB, alive together) are freed is what the cache keeps. As many new results must each get an array of their own.
    code = RSS + (
        f"sizes = {sizes}\nsources = {{m: VecList([V] * (m * 2**20 // 24)) for m in set(sizes)}}\n"
        "VecList([V] * 2).normalize()  # the pool starts outside the count\n"
        "before = rss()\nresults = [sources[m] * 2.0 for m in sizes]\ndel results\nheld = rss() - before\n"
        "again = [sources[m] * float(k) for k, m in enumerate(sizes)]\n"
        "print(held, all(r[0].x == k and r[len(r) - 1].z == 3 * k for k, r in enumerate(again)))\n"
    )
    held, each_its_own = run_python(code, GLIBC_TUNABLES="glibc.malloc.mmap_threshold=131072").stdout.split()
    assert abs(float(held) - kept) < 1 and each_its_own == "True"


def test_list_results_keep_bounded_memory_across_threads():
    # Sixteen live threads make list results in turn: one bounded cache stays, not a buffer per thread (one malloc arena).
    code = RSS + (
        "before, lst, ran, done = rss(), VecList([V] * 2_000_000), threading.Semaphore(0), threading.Event()\n"
        "def work():\n    lst.dot(V), lst.is_unit(); ran.release(); done.wait()\n"
        "for t in [threading.Thread(target=work) for _ in range(16)]:\n    t.start(); ran.acquire()\n"
        "del lst\nprint(rss() - before)\ndone.set()\n"
    )
    assert float(run_python(code, MALLOC_ARENA_MAX="1").stdout) < 128 + 24
