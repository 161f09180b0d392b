"""Moving data in and out of VecList beside numpy doing the same: buffers,
from_array, and pickling. Run as `./dev bench`; `--quick` uses fewer repeats."""

import pickle
import sys

from harness import compare, glm, print_table  # first: it keeps numpy single-threaded
import numpy as np

from kalvor import VecList


QUICK = "--quick" in sys.argv
REPEATS = 5 if QUICK else 11
N = 1_000_000


def scope_for(n):
    a = np.random.default_rng(1).standard_normal((n, 3))
    lst = VecList.from_array(a)
    return dict(
        np=np, pickle=pickle, VecList=VecList, a=a, L=lst, a32=a.astype(np.float32), af=np.asfortranarray(a),
        ga=glm.array([glm.dvec3(*row) for row in a[:1000].tolist()]) if n <= 1000 else None,
        pL=pickle.dumps(lst), pa=pickle.dumps(a), out_of_band=lambda buffer: None, block=bytes(memoryview(lst)),
    )


BUFFER_ROWS = [
    ("from_array (float64)", "VecList.from_array(a)", "a.copy()"),
    ("from_array (float32, widened)", "VecList.from_array(a32)", "a32.astype(np.float64)"),
    ("from_array (Fortran order)", "VecList.from_array(af)", "np.ascontiguousarray(af)"),
    ("round trip: from_array → normalize → asarray",
     "np.asarray(VecList.from_array(a).normalize())", "a / np.linalg.norm(a, axis=1)[:, None]"),
]

PICKLE_ROWS = [
    ("pickle.dumps", "pickle.dumps(L)", "pickle.dumps(a)"),
    ("pickle.loads", "pickle.loads(pL)", "pickle.loads(pa)"),
    # What bounds loads: the list copies the unpickled block into its own array, once more than numpy.
    ("one copy of the block", "VecList.empty().__setstate__(block)", "pickle.loads(pa)"),
    ("dumps + loads", "pickle.loads(pickle.dumps(L))", "pickle.loads(pickle.dumps(a))"),
    ("dumps, protocol 5 out of band",
     "pickle.dumps(L, protocol=5, buffer_callback=out_of_band)", "pickle.dumps(a, protocol=5, buffer_callback=out_of_band)"),
]

VIEW_ROWS = [
    ("np.asarray", "np.asarray(L)", "np.asarray(a)"),
    ("memoryview", "memoryview(L)", "memoryview(a)"),
]


def main():
    print(f"\nData exchange, n = {N:,}; numpy {np.__version__}")
    scope = scope_for(N)
    print_table("Buffers and from_array, n = 1,000,000 (ms, median)",
                compare(BUFFER_ROWS, scope, number=1, repeats=REPEATS), "numpy", unit="ms", scale=1e-6)
    print_table("Pickling, n = 1,000,000 (ms, median; default protocol 5, in band)",
                compare(PICKLE_ROWS, scope, number=1, repeats=REPEATS), "numpy", unit="ms", scale=1e-6)
    for n in (N, 1000):
        small = scope_for(n)
        rows = VIEW_ROWS + ([("np.asarray (PyGLM)", "np.asarray(L)", "np.asarray(ga)")] if n <= 1000 else [])
        print_table(f"Zero-copy views, n = {n:,} (ns, median)", compare(rows, small, number=20_000, repeats=REPEATS),
                    "numpy / PyGLM", unit="ns")


if __name__ == "__main__":
    main()
