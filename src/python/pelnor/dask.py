"""Scans and archives of scans as Dask collections, read where the work runs.

to_dask(path, field) is one field of every frame of a scan as a lazy dask.array; archive(paths) is
the (path, frame index) items of many scans as a dask.bag, whose map_frames(fn) reads each frame on
the worker that calls fn on it. Tasks carry paths and indices only: no open file and no frame goes
between the client and the workers, only what fn returns. Works on any scheduler: threads (each
read releases the GIL), processes, or a distributed cluster whose workers see the same files.
"""
import operator
import os
import warnings
from typing import Any, Callable, Iterable, Optional, Union

import numpy as np

try:
    import dask
    import dask.array as da
    import dask.bag as db
    from dask.highlevelgraph import HighLevelGraph
except ImportError as missing:
    raise ImportError(
        f"pelnor.dask needs Dask ({missing}): on Debian, apt-get install python3-dask, and "
        "python3-distributed for clusters"
    ) from missing

import pelnor

__all__ = ["FIELDS", "CHUNK_BYTES", "to_dask", "archive", "Archive"]

_Path = Union[str, "os.PathLike[str]"]

# Each field a frame gives to_dask: the type and the shape of one pixel's value.
FIELDS = {
    "depth": (np.float32, ()),
    "xyz": (np.float32, (3,)),
    "valid": (np.bool_, ()),
    "texture": (np.uint8, (3,)),
}
# The default size of one chunk of to_dask's arrays: Dask's own rule of thumb.
CHUNK_BYTES = 128 * 2**20


def _open(path):
    # The client has warned of a sequence cut short; a worker reads the frames the file holds.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", pelnor.ShortSequenceWarning)
        return pelnor.open(path)


def _read_chunk(path, field, start, stop):
    scan = _open(path)
    dtype, pixel = FIELDS[field]
    out = np.empty((stop - start, scan.height, scan.width) + pixel, dtype)
    for frame in scan.frames(start, stop):
        value = getattr(frame, field)
        # A grey capture's texture, (H, W), fills all three channels.
        out[frame.index - start] = value[..., None] if value.ndim < out.ndim - 1 else value
    return out


def to_dask(path: _Path, field: str = "depth", frames_per_chunk: Optional[int] = None) -> da.Array:
    """One field of every frame of the scan at path as a lazy dask.array, read when computed.

    field: "depth" (frames, H, W) float32, "xyz" (frames, H, W, 3) float32, both NaN where nothing
    was measured; "valid" (frames, H, W) bool; "texture" (frames, H, W, 3) uint8 (a grey capture's
    grey in all three channels). Chunks hold whole frames, frames_per_chunk of them, by default as
    many as fit in about CHUNK_BYTES. Each chunk is one task that opens the file where it runs.
    """
    if field not in FIELDS:
        raise ValueError(f"field must be one of {', '.join(map(repr, FIELDS))}, not {field!r}")
    path = os.path.abspath(os.fspath(path))
    scan = pelnor.open(path)
    dtype, pixel = FIELDS[field]
    frame_shape = (scan.height, scan.width) + pixel
    if frames_per_chunk is None:
        frame_bytes = np.dtype(dtype).itemsize * int(np.prod(frame_shape))
        frames_per_chunk = max(1, CHUNK_BYTES // frame_bytes)
    elif operator.index(frames_per_chunk) < 1:
        raise ValueError(f"frames_per_chunk must be at least 1, not {frames_per_chunk}")
    count = len(scan)
    starts = range(0, count, frames_per_chunk)
    # A file written again gets a name of its own, so Dask never mixes results of the two.
    stat = os.stat(path)
    name = f"pelnor-{field}-" + dask.base.tokenize(path, field, frames_per_chunk, stat.st_mtime_ns, stat.st_size)
    tail = (0,) * len(frame_shape)
    graph = {
        (name, i) + tail: (_read_chunk, path, field, start, min(start + frames_per_chunk, count))
        for i, start in enumerate(starts)
    }
    chunks = (tuple(min(frames_per_chunk, count - start) for start in starts),) + tuple((n,) for n in frame_shape)
    return da.Array(HighLevelGraph.from_collections(name, graph), name, chunks, dtype=dtype)


class Archive(db.Bag):
    """The (path, frame index) items of every frame of many scans, as a dask.bag.

    Bag operations (filter, map, ...) give plain bags of the items; map_frames reads the frames.
    """

    def map_frames(self, fn: Callable[[pelnor.Frame], Any]) -> db.Bag:
        """A bag of fn(frame) for every item, each frame read by the worker that calls fn on it."""
        return self.map_partitions(_map_frames, fn)


def _map_frames(items, fn):
    scans, results = {}, []
    for path, index in items:
        if path not in scans:
            scans[path] = _open(path)
        results.append(fn(scans[path][index]))
    return results


def _frame_count(path):
    scan = _open(path)
    return len(scan), scan.shortfall


def archive(paths: Iterable[_Path], frames_per_partition: int = 32) -> Archive:
    """The frames of the scans at paths as an Archive of (path, frame index) items, in order.

    The files are counted where the work runs (a sequence's header; a single frame's file is read
    whole), through the scheduler in use; a sequence cut short gives the frames it holds and a
    pelnor.ShortSequenceWarning. Each partition holds frames_per_partition consecutive items.
    """
    paths = [os.path.abspath(os.fspath(path)) for path in paths]
    counts = dask.compute(*[dask.delayed(_frame_count, pure=True)(path) for path in paths])
    for path, (_, shortfall) in zip(paths, counts):
        if shortfall:
            warnings.warn(f"{path}: {shortfall}", pelnor.ShortSequenceWarning, stacklevel=2)
    items = [(path, k) for path, (count, _) in zip(paths, counts) for k in range(count)]
    bag = db.from_sequence(items, partition_size=max(1, operator.index(frames_per_partition)))
    return Archive(bag.dask, bag.name, bag.npartitions)
