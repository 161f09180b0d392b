import os
import struct
import subprocess
import sys

import pytest


def run_python(code, **env):
    """Runs code in a fresh interpreter with env added to the environment; it must exit 0."""
    return subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, env=dict(os.environ, **env), check=True
    )


def bits(x):
    """The IEEE-754 bit pattern of a float, for bit-exact comparisons."""
    return struct.pack("<d", x)


def same_bits(a, b):
    return all(bits(x) == bits(y) for x, y in zip(a, b, strict=True))


@pytest.fixture
def kalvor():
    import kalvor as module

    return module


def borrow_flag(obj):
    """The borrow flag of an instance of the module's classes, read and written
    in place: it is the last machine word of the instance (0 free, n > 0
    shared borrows, -1 one exclusive borrow)."""
    import ctypes

    return ctypes.c_ssize_t.from_address(id(obj) + type(obj).__basicsize__ - ctypes.sizeof(ctypes.c_ssize_t))


# An AddressSanitizer run preloads its runtime, which reserves terabytes of
# shadow memory: address-space limits and resident-memory figures mean nothing
# there.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")
needs_plain_memory = pytest.mark.skipif(
    SANITIZED, reason="address-space limits and resident memory are meaningless under AddressSanitizer"
)
