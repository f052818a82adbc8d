#!/usr/bin/env python3
"""Reading every frame of a 30-frame 1280 x 1024 sequence with frame.xyz, from Python and from the
same loop in C++ over the core's FrameSource (pelnor-read-frames), in one run; then the memory of a
script, a process of its own, that iterates a 300-frame sequence.

    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELNOR_BENCH=ON
    cmake --build build-bench -j2
    /usr/bin/python3 bench/python_frames.py [BUILD (build-bench)] [ROUNDS (5)]

Each round runs the C++ loop, then the Python loop. The fastest round of each is reported: other work
on the machine can only slow a round down.
"""
import os
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
sys.path.insert(0, os.path.join(BUILD, "python"))

import numpy as np  # noqa: E402
import pelnor  # noqa: E402


def python_loop(path):
    start = time.perf_counter()
    for frame in pelnor.open(path):
        frame.xyz
    return time.perf_counter() - start


def cpp_loop(path):
    """The faster of two loops in one process, so the C++ side, too, runs with its memory in use."""
    program = os.path.join(BUILD, "bin", "pelnor-read-frames")
    return float(subprocess.run([program, path, "2"], check=True, capture_output=True, text=True).stdout)


def iterate(path):
    """The script whose memory is watched: the mean depth of every frame."""
    print("  frame  resident MiB  peak MiB")
    for frame in pelnor.open(path):
        depth = np.nanmean(frame.xyz[..., 2])
        if frame.index % 50 == 0 or frame.index == 299:
            # This process's own figures: ru_maxrss would count the parent's memory at the fork.
            with open("/proc/self/status") as status:
                kib = dict(line.split(":") for line in status if line.startswith(("VmRSS", "VmHWM")))
            resident, peak = (int(kib[key].split()[0]) / 1024 for key in ("VmRSS", "VmHWM"))
            print(f"  {frame.index:5d}  {resident:12.1f}  {peak:8.1f}  (mean depth {depth:.1f})")


if len(sys.argv) > 3 and sys.argv[2] == "--iterate":
    iterate(sys.argv[3])
    sys.exit()

rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
with tempfile.TemporaryDirectory() as folder:
    walk = os.path.join(folder, "walk.ptv")
    pelnor.sample(walk, size=(1280, 1024), frames=30, rate=15)
    cpp, python = [], []
    for _ in range(rounds):
        cpp.append(cpp_loop(walk))
        python.append(python_loop(walk))
    print(f"30 frames of 1280 x 1024, read with xyz, fastest of {rounds} rounds:")
    print(f"  C++ {min(cpp):.3f} s, Python {min(python):.3f} s: Python / C++ = {min(python) / min(cpp):.2f}")
    os.remove(walk)

    long = os.path.join(folder, "long.ptv")
    pelnor.sample(long, size=(640, 480), frames=300, rate=30)
    print("A script iterating 300 frames of 640 x 480:", flush=True)
    subprocess.run([sys.executable, __file__, BUILD, "--iterate", long], check=True)
