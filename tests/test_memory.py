"""Memory the module keeps for reuse: the cache of freed element arrays holds
at most four blocks, none over 64 MiB, 128 MiB in all, and hands each block
out once."""

import os
import platform
import subprocess
import sys

import pytest

from conftest import needs_plain_memory, run_python

PROBE = os.path.join(os.path.dirname(__file__), "cache_probe.py")


@needs_plain_memory
@pytest.mark.skipif(
    platform.libc_ver()[0] != "glibc" or not os.path.exists("/proc/self/statm"),
    reason="reads resident memory from /proc and needs glibc's malloc to return freed blocks to the kernel",
)
@pytest.mark.parametrize(
    "sizes, kept",
    [
        ([70], 0),  # a block over 64 MiB is never kept
        ([16] * 5, 64),  # four blocks at most
        ([48] * 3, 96),  # 128 MiB at most
        ([64, 64], 128),  # up to the bound exactly
        ([8], 8),
    ],
)
def test_the_array_cache_stays_within_its_bound(sizes, kept):
    env = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.mmap_threshold=131072")
    out = subprocess.run(
        [sys.executable, "-P", PROBE, *map(str, sizes)], capture_output=True, text=True, env=env, check=True
    )
    held, each_its_own = out.stdout.split()
    assert abs(float(held) - kept) < 1 and each_its_own == "True"


@needs_plain_memory
@pytest.mark.skipif(
    platform.libc_ver()[0] != "glibc" or not os.path.exists("/proc/self/statm"),
    reason="reads resident memory from /proc and sets the arenas of glibc's malloc",
)
def test_list_results_keep_bounded_memory_across_threads():
    # Sixteen threads, each alive to the end, make list results in turn from a
    # list of two million vectors: what stays behind is the one bounded cache
    # of freed large arrays (128 MiB), not a buffer per thread. One C
    # allocator arena, so that its per-thread arenas holding on to the freed
    # item arrays of the result lists are not counted.
    code = (
        "import resource, threading\n"
        "from kalvor import Vec3d, VecList\n"
        "def rss():\n"
        "    return int(open('/proc/self/statm').read().split()[1]) * resource.getpagesize()\n"
        "v = Vec3d(0.5, 0.25, 1.0)\n"
        "before = rss()\n"
        "lst = VecList([v] * 2_000_000)\n"
        "ran, done = threading.Semaphore(0), threading.Event()\n"
        "def work():\n"
        "    lst.dot(v), lst.is_unit()\n"
        "    ran.release()\n"
        "    done.wait()\n"
        "threads = [threading.Thread(target=work) for _ in range(16)]\n"
        "for t in threads:\n"
        "    t.start()\n"
        "    ran.acquire()\n"
        "del lst\n"
        "print((rss() - before) >> 20)\n"
        "done.set()\n"
    )
    out = run_python(code, MALLOC_ARENA_MAX="1")
    assert int(out.stdout) < 128 + 24, out.stdout
