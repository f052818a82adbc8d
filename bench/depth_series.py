#!/usr/bin/env python3
"""The depth of one pixel over a 300-frame 640 x 480 sequence: `pelnor series` against the same
frames read in Python, in one run: scan.series, a loop that only reads each frame, and a loop that
takes the same 5 x 5 median from frame.depth.

    /usr/bin/python3 bench/depth_series.py [BUILD (build)] [ROUNDS (3)]

The fastest round of each is reported: other work on the machine can only slow a round down.
"""
import os
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(BUILD, "python"))

import numpy as np  # noqa: E402
import pelnor  # noqa: E402

U, V = 320, 240


def timed(run):
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def median_loop(path):
    for frame in pelnor.open(path):
        block = frame.depth[V - 2 : V + 3, U - 2 : U + 3]
        np.median(block[np.isfinite(block)]) if np.isfinite(block).any() else np.nan


def main():
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "walk.ptv")
        pelnor.sample(path, size=(640, 480), frames=300, rate=15)
        tool = [os.path.join(BUILD, "bin", "pelnor"), "series", path, "--pixel", f"{U},{V}"]
        runs = {
            "pelnor series": lambda: subprocess.run(tool, check=True, capture_output=True),
            "scan.series": lambda: pelnor.open(path).series(U, V),
            "Python: read every frame": lambda: [frame.index for frame in pelnor.open(path)],
            "Python: frame.depth, 5 x 5 median": lambda: median_loop(path),
        }
        best = {name: min(timed(run) for _ in range(rounds)) for name, run in runs.items()}
    for name, seconds in best.items():
        print(f"{name:36s} {seconds:6.2f} s  ({300 / seconds:5.1f} frames per second)")


if __name__ == "__main__":
    main()
