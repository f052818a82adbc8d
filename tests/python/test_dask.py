"""pelnor.dask against reading the same frames one by one, on threads and on a cluster of processes."""
import pickle
import re
import warnings
from pathlib import Path

import numpy as np
import pytest

import pelnor

for needed in ("dask", "distributed"):
    pytest.importorskip(needed, reason=f"{needed} is missing (Debian: python3-dask, python3-distributed)")

import dask.array as da  # noqa: E402

import pelnor.dask  # noqa: E402

W, H = 64, 48


@pytest.mark.parametrize(
    "kind, field, frames_per_chunk",
    [("ptv", "depth", None), ("ptv", "xyz", 4), ("ptv", "valid", 5), ("ptv", "texture", 1), ("pt", "texture", None)],
)
def test_array_holds_every_frame_in_chunks(tmp_path, kind, field, frames_per_chunk):
    path = tmp_path / f"scan.{kind}"
    pelnor.sample(path, size=(W, H), frames=7)
    array = pelnor.dask.to_dask(path, field, frames_per_chunk)
    frames = [getattr(frame, field) for frame in pelnor.open(path)]
    if field == "texture" and frames[0].ndim == 2:  # a grey capture's grey, in all three channels
        frames = [np.dstack([grey] * 3) for grey in frames]
    assert array.shape == (len(frames),) + frames[0].shape and array.dtype == frames[0].dtype
    assert max(array.chunks[0]) == min(frames_per_chunk or len(frames), len(frames))
    # A task carries the file's path and frame numbers, never a frame.
    assert len(pickle.dumps(dict(array.__dask_graph__()))) < frames[0].nbytes
    np.testing.assert_array_equal(array.compute(scheduler="threads"), np.stack(frames))


def test_archive_noise_on_a_cluster_is_the_loop_s(tmp_path, monkeypatch):
    """README's example on a local cluster of two processes, against a plain loop and to_dask."""
    readme = (Path(__file__).parents[2] / "README.md").read_text()
    example = re.search(r"### Many files at once.*?```python\n(.*?)```", readme, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    namespace = {"__name__": "__main__"}
    exec(compile(example, "README.md", "exec"), namespace)
    noise = namespace["noise"]
    assert sorted(noise) == sorted(str(path) for path in tmp_path.glob("captures/*.ptv"))
    for path, computed in noise.items():
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", RuntimeWarning)  # pixels never measured
            loop = np.nanstd(np.stack([frame.depth for frame in pelnor.open(path)]), axis=0)
            threads = da.nanstd(pelnor.dask.to_dask(path, frames_per_chunk=6), axis=0).compute(scheduler="threads")
        # Sums of float64 and float32 moments in chunks, against NumPy's two passes.
        np.testing.assert_allclose(computed, loop, atol=1e-3)
        np.testing.assert_allclose(threads, loop, atol=1e-3)
        assert np.nanmax(loop) > 0
    items = pelnor.dask.archive(list(noise), frames_per_partition=7)
    assert items.compute(scheduler="threads") == [(path, k) for path in noise for k in range(20)]
    assert items.npartitions == 6
    assert len(pickle.dumps(dict(items.map_frames(len).__dask_graph__()))) < (160 * 120 * 4)


@pytest.mark.parametrize(
    "misuse, error",
    [
        (lambda folder: pelnor.dask.to_dask(folder / "scan.ptv", "phase"), ValueError),
        (lambda folder: pelnor.dask.to_dask(folder / "scan.ptv", frames_per_chunk=0), ValueError),
        (lambda folder: pelnor.dask.archive([folder / "scan.ptv", folder / "missing.ptv"]), FileNotFoundError),
    ],
)
def test_misuse_raises_python_errors(tmp_path, misuse, error):
    pelnor.sample(tmp_path / "scan.ptv", size=(8, 6), frames=3)
    with pytest.raises(error):
        misuse(tmp_path)
