"""Memory the module keeps for reuse: the cache of freed element arrays holds
at most four blocks, none over 64 MiB, 128 MiB in all, and hands each block
out once."""

import os
import platform
import subprocess
import sys

import pytest

from conftest import needs_plain_memory

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
