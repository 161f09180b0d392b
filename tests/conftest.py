import ctypes
import os
import struct
import subprocess
import sys

import pytest


def run_python(code, **env):  # in a fresh interpreter with env added; it must exit 0
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=dict(os.environ, **env), check=True)


def bits(x):  # the IEEE-754 bit pattern of a float, for bit-exact comparisons
    return struct.pack("<d", x)


def same_bits(a, b):
    return all(bits(x) == bits(y) for x, y in zip(a, b, strict=True))


@pytest.fixture
def kalvor():
    import kalvor as module

    return module


def borrow_flag(obj):
    """The borrow flag of an instance, read and written in place: its last word (0 free, n > 0 shared, -1 exclusive)."""
    return ctypes.c_ssize_t.from_address(id(obj) + type(obj).__basicsize__ - ctypes.sizeof(ctypes.c_ssize_t))


# AddressSanitizer's preloaded runtime reserves terabytes of shadow memory: address-space and resident figures mean nothing.
needs_plain_memory = pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="meaningless under AddressSanitizer")
