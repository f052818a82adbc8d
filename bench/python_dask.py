#!/usr/bin/env python3
"""One 300-frame 640 x 480 sequence: every frame read with depth from 1 and 2 threads (sharing one
scan, or a scan each); then its per-pixel temporal noise (each pixel's standard deviation of depth
over time, and the median of those over the pixels), computed

  - by a plain Python loop over scan.frames() and NumPy's nanstd,
  - by pelnor.dask.to_dask and dask.array.nanstd, on Dask's threaded scheduler and on a
    distributed.LocalCluster of 2 worker processes, with the default chunks and with 16 frames a
    chunk,
  - by pelnor.dask.archive and map_frames (per-pixel sums folded by file), on the same two.

    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELNOR_BENCH=ON
    cmake --build build-bench -j2 --target pelnor_python
    /usr/bin/python3 bench/python_dask.py [BUILD (build-bench)] [ROUNDS (3)]

Every way's noise is checked against the loop's. The fastest of ROUNDS rounds is reported: other
work on the machine can only slow a round down. The cluster's start is timed once, apart.
"""
import operator
import os
import sys
import tempfile
import time
import warnings
from concurrent.futures import ThreadPoolExecutor

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
sys.path.insert(0, os.path.join(BUILD, "python"))

import dask.array as da  # noqa: E402
import numpy as np  # noqa: E402
from distributed import Client, LocalCluster  # noqa: E402

import pelnor  # noqa: E402
import pelnor.dask  # noqa: E402

ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3


def loop_noise(path):
    return np.nanstd(np.stack([frame.depth for frame in pelnor.open(path).frames()]), axis=0)


def array_noise(path, frames_per_chunk=None, scheduler=None):
    return da.nanstd(pelnor.dask.to_dask(path, "depth", frames_per_chunk), axis=0).compute(scheduler=scheduler)


def depth_sums(frame):
    depth = frame.depth.astype(np.float64)
    seen = ~np.isnan(depth)
    depth[~seen] = 0
    return frame.path, np.stack([seen, depth, depth * depth])


def add_frame(total, item):
    return total + item[1]


def archive_noise(path, scheduler=None):
    frames = pelnor.dask.archive([path], frames_per_partition=16)
    sums = frames.map_frames(depth_sums).foldby(lambda item: item[0], add_frame, 0, operator.add, 0)
    [(_, (count, total, squares))] = sums.compute(scheduler=scheduler)
    return np.sqrt(np.maximum(squares / count - (total / count) ** 2, 0))


def read_from_threads(path, threads, shared):
    scans = [pelnor.open(path)] * threads if shared else [pelnor.open(path) for _ in range(threads)]
    count = len(scans[0])

    def read(t):
        for k in range(t, count, threads):
            scans[t][k].depth

    with ThreadPoolExecutor(threads) as pool:
        list(pool.map(read, range(threads)))


def fastest(work, client=None):
    times, result = [], None
    for _ in range(ROUNDS):
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
        # A round whose keys the scheduler still holds would take the last round's results.
        while client and client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks)):
            time.sleep(0.05)
    return min(times), result


def main():
    warnings.simplefilter("ignore", RuntimeWarning)  # nanstd of pixels never measured
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "long.ptv")
        pelnor.sample(path, size=(640, 480), frames=300, rate=30)
        print(f"Load average at the start: {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
        # First, while no cluster has left anything running.
        print(f"300 frames of 640 x 480 read with depth, fastest of {ROUNDS} rounds:")
        one, _ = fastest(lambda: read_from_threads(path, 1, True))
        print(f"  {'1 thread':30s} {one:6.2f} s")
        for shared in (True, False):
            two, _ = fastest(lambda: read_from_threads(path, 2, shared))
            name = "2 threads, " + ("one shared scan" if shared else "a scan each")
            print(f"  {name:30s} {two:6.2f} s  ({one / two:.2f} x one thread)")

        print(f"Per-pixel temporal noise of the same frames, fastest of {ROUNDS} rounds:")
        loop_time, loop = fastest(lambda: loop_noise(path))
        print(f"  {'plain loop over scan.frames(), np.nanstd':50s} {loop_time:6.2f} s"
              f"  (median noise {np.nanmedian(loop):.4f})")

        def report(name, work, client=None):
            seconds, noise = fastest(work, client)
            error = np.nanmax(np.abs(noise - loop))
            print(f"  {name:50s} {seconds:6.2f} s  ({loop_time / seconds:.2f} x the loop; differs by {error:.1e})")

        default_chunk = pelnor.dask.to_dask(path).chunks[0][0]
        for scheduler in ("threads", "cluster"):
            client = None
            if scheduler == "cluster":
                start = time.perf_counter()
                cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True)
                client = Client(cluster)
                client.run(warnings.simplefilter, "ignore", RuntimeWarning)
                print(f"  (LocalCluster of 2 processes started in {time.perf_counter() - start:.2f} s)")
            chosen = None if client else "threads"
            for chunk in (None, 16):
                name = f"to_dask, {chunk or default_chunk} frames a chunk, {scheduler}"
                report(name, lambda: array_noise(path, chunk, chosen), client)
            report(f"archive + map_frames, {scheduler}", lambda: archive_noise(path, chosen), client)
            if client:
                client.close()
                cluster.close()


if __name__ == "__main__":
    main()
