"""The numpy comparison for the benchmarks: reads two matrix files in
quolvend's format with numpy.fromstring, adds or multiplies them in float32
(OpenBLAS for the product), and writes the result with numpy.savetxt.
    python3 numpy_calc.py -a|-m file1 file2"""
import sys

import numpy as np


def load(path):
    with open(path) as f:
        values = np.fromstring(f.read(), dtype=np.float32, sep=" ")
    rows, cols = int(values[0]), int(values[1])
    return values[2:2 + rows * cols].reshape(rows, cols)


def main():
    op, first, second = sys.argv[1], load(sys.argv[2]), load(sys.argv[3])
    result = first + second if op == "-a" else first @ second
    np.savetxt(sys.stdout, result, fmt="%.3f", delimiter="\t")


if __name__ == "__main__":
    main()
