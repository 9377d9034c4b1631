"""Compares two PNG pictures pixel for pixel and says how many pixels were compared and differ.

    same_pixels.py NAME A.png B.png   (exit status 1 when they differ)
"""
import sys

import matplotlib.image as mpimg
import numpy as np


def main():
    name, first, second = sys.argv[1:4]
    a = np.round(mpimg.imread(first)[:, :, :3] * 255).astype(np.int32)
    b = np.round(mpimg.imread(second)[:, :, :3] * 255).astype(np.int32)
    if a.shape != b.shape:
        print(f"{name}: sizes differ: {a.shape[1]} x {a.shape[0]} and {b.shape[1]} x {b.shape[0]}")
        return 1
    differing = int(np.count_nonzero(np.any(a != b, axis=2)))
    print(f"{name}: {a.shape[1]} x {a.shape[0]} = {a.shape[0] * a.shape[1]} pixels compared, "
          f"{differing} differ")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
