import struct

import pytest


def bits(x):
    """The IEEE-754 bit pattern of a float, for bit-exact comparisons."""
    return struct.pack("<d", x)


def same_bits(a, b):
    return all(bits(x) == bits(y) for x, y in zip(a, b, strict=True))


@pytest.fixture
def kalvor():
    import kalvor as module

    return module
