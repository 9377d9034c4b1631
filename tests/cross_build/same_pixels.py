"""Compares two PNG pictures pixel for pixel and says how many pixels were compared and differ.

    same_pixels.py NAME A.png B.png        B must equal A
    same_pixels.py NAME A.png B.png K      B must be A shown at K00 %: every pixel of A a block
                                           of K x K equal pixels of B (pixel replication)

Exit status 1 when they differ.
"""
import sys

import matplotlib.image as mpimg
import numpy as np


def rgb(path):
    return np.round(mpimg.imread(path)[:, :, :3] * 255).astype(np.int32)


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__.strip())
        return 2
    name, first, second = sys.argv[1:4]
    k = int(sys.argv[4]) if len(sys.argv) == 5 else 1
    if k < 1:
        print(f"{name}: bad replication factor {k}")
        return 2
    a = rgb(first)
    b = rgb(second)
    expected = np.repeat(np.repeat(a, k, axis=0), k, axis=1)
    if expected.shape != b.shape:
        print(f"{name}: sizes differ: {a.shape[1]} x {a.shape[0]}"
              f"{f' at {k}00 % is {expected.shape[1]} x {expected.shape[0]}' if k > 1 else ''}"
              f", the other is {b.shape[1]} x {b.shape[0]}")
        return 1
    differing_pixels = np.any(expected != b, axis=2)
    differing = int(np.count_nonzero(differing_pixels))
    checked = b.shape[0] * b.shape[1]
    if k == 1:
        print(f"{name}: {b.shape[1]} x {b.shape[0]} = {checked} pixels compared, "
              f"{differing} differ")
    else:
        print(f"{name}: {b.shape[1]} x {b.shape[0]} = {checked} pixels checked against the "
              f"{a.shape[1]} x {a.shape[0]} picture replicated {k} x {k}, {differing} differ")
    if differing:
        rows, columns = np.nonzero(differing_pixels)
        print(f"{name}: first differing pixel at {columns[0]},{rows[0]}: "
              f"{b[rows[0], columns[0]].tolist()} instead of "
              f"{expected[rows[0], columns[0]].tolist()}")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
