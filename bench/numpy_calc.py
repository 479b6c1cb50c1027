"""The numpy comparison for the benchmarks.
    python3 numpy_calc.py -a|-m file1 file2
reads two matrix files in quolvend's format with numpy.fromstring, adds or
multiplies them in float32 (OpenBLAS for the product), and writes the result
with numpy.savetxt.
    python3 numpy_calc.py -D|-i file
reads one with numpy.loadtxt, and prints its determinant, or its inverse with
savetxt("%.3f"), computed in float64 from the single-precision values.
    python3 numpy_calc.py --kernels n
times OpenBLAS's arithmetic through numpy on random n x n matrices: sgemm
(float32 @), dgemm (float64 @), dgetrf (linalg.slogdet) and the inverse
(linalg.inv), medians of 5, one line each:
    openblas <name> <n> <ms> <GFLOP/s>"""
import statistics
import sys
import time

import numpy as np


def load(path):
    with open(path) as f:
        values = np.fromstring(f.read(), dtype=np.float32, sep=" ")
    rows, cols = int(values[0]), int(values[1])
    return values[2:2 + rows * cols].reshape(rows, cols)


def load_text(path):
    return np.loadtxt(path, skiprows=1, dtype=np.float32, ndmin=2).astype(np.float64)


def main():
    op = sys.argv[1]
    if op == "-D":
        print("Determinant = %f" % np.float32(np.linalg.det(load_text(sys.argv[2]))))
        return
    if op == "-i":
        np.savetxt(sys.stdout, np.linalg.inv(load_text(sys.argv[2])).astype(np.float32),
                   fmt="%.3f", delimiter="\t")
        return
    if op == "--kernels":
        n = int(sys.argv[2])
        rng = np.random.default_rng(2)
        a = rng.uniform(-1, 1, (n, n))
        b = rng.uniform(-1, 1, (n, n))
        a32, b32 = a.astype(np.float32), b.astype(np.float32)
        cube = float(n) ** 3
        for name, work, operations in (("sgemm", lambda: a32 @ b32, 2 * cube),
                                       ("dgemm", lambda: a @ b, 2 * cube),
                                       ("dgetrf", lambda: np.linalg.slogdet(a), 2 * cube / 3),
                                       ("inverse", lambda: np.linalg.inv(a), 2 * cube)):
            times = []
            for _ in range(5):
                start = time.perf_counter()
                work()
                times.append(time.perf_counter() - start)
            seconds = statistics.median(times)
            print("openblas %s %d %.1f %.1f" % (name, n, seconds * 1e3, operations / seconds * 1e-9))
        return
    first, second = load(sys.argv[2]), load(sys.argv[3])
    result = first + second if op == "-a" else first @ second
    np.savetxt(sys.stdout, result, fmt="%.3f", delimiter="\t")


if __name__ == "__main__":
    main()
