"""The pelnor module against the virtual scanner's surfaces, the pelnor tool and broken files."""
import concurrent.futures
import gc
import multiprocessing
import os
import pickle
import re
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest

import pelnor

W, H = 96, 72


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """A capture of the studio, its true surface and a sequence of six frames."""
    folder = tmp_path_factory.mktemp("scans")
    made = {kind: folder / f"scan.{kind}" for kind in ("pt", "xyzm", "ptv")}
    for path in made.values():
        pelnor.sample(path, size=(W, H), frames=6, rate=10)
    return made


def bits(array):
    return array.view(np.uint32)


@pytest.mark.parametrize("kind, quantile, tolerance", [("xyzm", 1, 0), ("pt", 1, 1e-3), ("ptv", 0.5, 0.5)])
def test_frame_shows_the_surface_filmed(files, kind, quantile, tolerance):
    """Frame 0, at time 0, against the true surface; a sequence's smoothed phases move edges most."""
    truth, scan = pelnor.open(files["xyzm"])[0], pelnor.open(files[kind])
    frame = scan[0]
    rate = 10 if kind == "ptv" else 0
    assert (scan.kind, frame.kind, scan.path, scan.rate) == (kind, kind, str(files[kind]), rate)
    assert f" {len(scan)} frame{'s' if len(scan) > 1 else ''} of {W} x {H}" in repr(scan)
    assert frame.xyz.shape == (H, W, 3) and frame.xyz.dtype == np.float32
    np.testing.assert_array_equal(frame.valid, truth.valid)
    assert np.isnan(frame.xyz[~frame.valid]).all()
    assert np.quantile(np.linalg.norm(frame.points() - truth.points(), axis=1), quantile) <= tolerance
    assert np.abs(frame.colors().astype(int) - truth.colors()).mean() < 20
    facts = frame.facts()
    assert facts["valid"] == len(frame.points())
    for axis, name in enumerate("xyz"):
        assert facts[f"{name}_range"] == (np.nanmin(frame.xyz[..., axis]), np.nanmax(frame.xyz[..., axis]))
    np.testing.assert_allclose(facts["center_of_mass"], frame.points().mean(axis=0), rtol=1e-5)
    (v, u), (v0, u0) = np.argwhere(frame.valid)[len(frame.points()) // 2], np.argwhere(~frame.valid)[0]
    assert frame.point_at(u, v) == tuple(frame.xyz[v, u]) and frame.point_at(u0, v0) is None
    calibration = scan.calibration
    if kind != "xyzm":
        # The camera matrix takes each true point to the pixel that saw it.
        seen = np.c_[truth.points(), np.ones(facts["valid"])] @ calibration["camera"].T
        np.testing.assert_allclose(seen[:, :2] / seen[:, 2:], np.argwhere(truth.valid)[:, ::-1], atol=1e-3)


@pytest.mark.parametrize("kind, index", [("pt", 0), ("xyzm", 0), ("ptv", 0), ("ptv", 4)])
def test_frame_is_what_convert_writes(files, tmp_path, kind, index):
    frame = pelnor.open(files[kind])[index]
    version = subprocess.run([os.environ["PELNOR_BIN"], "--version"], capture_output=True, text=True)
    assert version.stdout == f"pelnor {pelnor.__version__}\n"
    for ending in ("xyzm", "ply"):
        out, saved = tmp_path / f"convert.{ending}", tmp_path / f"saved.{ending}"
        convert = [os.environ["PELNOR_BIN"], "convert", files[kind], out, "--frame", str(index)]
        subprocess.run(convert, check=True)
        frame.save(saved)
        assert saved.read_bytes() == out.read_bytes()
    data = (tmp_path / "convert.xyzm").read_bytes()
    header = f"image size width x height = {W} x {H}".encode()
    assert data.startswith(header)
    written = np.frombuffer(data, np.float32, 3 * W * H, len(header)).reshape(H, W, 3)
    mask = np.frombuffer(data, np.uint8, W * H, len(data) - W * H).reshape(H, W)
    np.testing.assert_array_equal(frame.valid, (mask != 0) & np.isfinite(written).all(axis=2))
    np.testing.assert_array_equal(bits(frame.xyz[frame.valid]), bits(written[frame.valid]))


def test_any_frame_reads_as_in_order(files):
    scan = pelnor.open(files["ptv"])
    in_order = [(f.index, f.xyz, f.texture.copy(), f.phase.copy()) for f in scan]
    assert [k for k, *_ in in_order] == list(range(6))
    for k in (5, -6, 3, -1, 0, 2):
        frame = scan[k]
        index, xyz, texture, phase = in_order[k]
        assert frame.index == index
        np.testing.assert_array_equal(bits(frame.xyz), bits(xyz))
        np.testing.assert_array_equal(frame.texture, texture)
        np.testing.assert_array_equal(bits(frame.phase), bits(phase))


@pytest.mark.parametrize(
    "start, stop, step", [(None, None, None), (1, 5, 2), (-2, None, None), (4, 0, -2), (7, 9, 1)]
)
def test_frames_take_a_slice_of_the_indices(files, start, stop, step):
    scan = pelnor.open(files["ptv"])
    indices = list(range(len(scan)))[start:stop:step]
    assert [f.index for f in scan.frames(start, stop, step)] == indices
    assert [f.index for f in scan[start:stop:step]] == indices


def test_sequence_cut_short_holds_its_whole_frames(files, tmp_path):
    data, frame_bytes = files["ptv"].read_bytes(), 5 * W * H
    cut = tmp_path / "cut.ptv"
    cut.write_bytes(data[: len(data) - 2 * frame_bytes - frame_bytes // 2])
    with pytest.warns(pelnor.ShortSequenceWarning, match="3 of the 6"):
        scan = pelnor.open(cut)
    assert (len(scan), scan.header_frame_count) == (3, 6) and "3 of the 6" in scan.shortfall
    assert pelnor.open(files["ptv"]).shortfall is None
    assert [f.index for f in scan] == [0, 1, 2]
    with pytest.raises(IndexError, match="3 of the 6"):
        scan[3]
    np.testing.assert_array_equal(bits(scan[-1].xyz), bits(pelnor.open(files["ptv"])[2].xyz))


def read_after_deleting(scan, path):
    """A single frame is read again from its file once the first read has handed it out."""
    scan[0]
    path.unlink()
    scan[0]


def unpickle_after_deleting(scan_or_frame, path):
    """A scan or frame is opened again where it is unpickled: there, its file is gone."""
    data = pickle.dumps(scan_or_frame)
    path.unlink()
    pickle.loads(data)


@pytest.mark.parametrize(
    "misuse, error",
    [
        (lambda files, folder: pelnor.open(folder / "missing.ptv"), FileNotFoundError),
        (lambda files, folder: unpickle_after_deleting(pelnor.open(files["ptv"]), files["ptv"]), FileNotFoundError),
        (lambda files, folder: unpickle_after_deleting(pelnor.open(files["pt"])[0], files["pt"]), FileNotFoundError),
        (lambda files, folder: pelnor.open(folder), IsADirectoryError),
        (lambda files, folder: pelnor.open(files["pt"].rename(folder / "scan.txt")), ValueError),
        (lambda files, folder: pelnor.open(files["ptv"])[6], IndexError),
        (lambda files, folder: pelnor.open(files["ptv"])[-7], IndexError),
        (lambda files, folder: pelnor.open(files["ptv"]).frames(step=0), ValueError),
        (lambda files, folder: read_after_deleting(pelnor.open(files["pt"]), files["pt"]), FileNotFoundError),
        (lambda files, folder: pelnor.open(files["pt"])[0].point_at(W, 0), IndexError),
        (lambda files, folder: pelnor.open(files["xyzm"])[0].save(folder / "f.pt"), ValueError),
        (lambda files, folder: pelnor.open(files["pt"])[0].save(folder / "f.png"), ValueError),
        (lambda files, folder: pelnor.open(files["pt"])[0].save(folder / "no" / "f.ply"), FileNotFoundError),
        (lambda files, folder: pelnor.save_xyzm(folder / "f.xyzm", np.zeros((4, 3))), ValueError),
        (
            lambda files, folder: pelnor.save_xyzm(folder / "f.xyzm", np.zeros((4, 3, 3)), np.ones((3, 4))),
            ValueError,
        ),
        (lambda files, folder: pelnor.sample(folder / "s.pt", scene="moon"), ValueError),
        (lambda files, folder: pelnor.sample(folder / "s.ptv", frames=0), ValueError),
        (lambda files, folder: pelnor.sample(folder / "s.pt", size=(0, 48)), ValueError),
        (lambda files, folder: pelnor.sample(folder / "s.png"), ValueError),
        (lambda files, folder: pelnor.sample(folder / "no" / "s.ptv", size=(8, 6)), FileNotFoundError),
    ],
)
def test_misuse_raises_python_errors(tmp_path, misuse, error):
    # A copy of each file, so a misuse that renames one leaves the others' files whole.
    files = {}
    for kind in ("pt", "xyzm", "ptv"):
        files[kind] = tmp_path / f"scan.{kind}"
        pelnor.sample(files[kind], size=(8, 6), frames=6)
    with pytest.raises(error) as raised:
        misuse(files, tmp_path)
    if error is FileNotFoundError and raised.value.filename.endswith("no"):
        assert raised.value.filename == str(tmp_path / "no")


def test_broken_files_open_or_say_why(tmp_path):
    subprocess.run([os.environ["PELNOR_BROKEN_FILES"], tmp_path], check=True)
    for line in (tmp_path / "index.tsv").read_text().splitlines():
        name, legal, reason = line.split("\t")
        if legal == "0":
            with pytest.raises(ValueError, match=re.escape(reason)):
                pelnor.open(tmp_path / name)
            continue
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", pelnor.ShortSequenceWarning)
            scan = pelnor.open(tmp_path / name)
        for frame in scan:
            assert frame.xyz.shape[:2] == frame.texture.shape[:2] == (scan.height, scan.width), name
            assert frame.facts()["valid"] == len(frame.points()) == len(frame.colors()), name


def test_arrays_outlive_their_frame_and_scan(files):
    scan = pelnor.open(files["ptv"])
    frame = scan[1]
    arrays = [frame.xyz, frame.valid, frame.texture, frame.phase, frame.points(), frame.colors()]
    copies = [array.copy() for array in arrays]
    del frame
    gc.collect()
    # Frames read now take the memory a freed frame would have left, or its scan's buffers.
    others = [frame.xyz for reader in (scan, pelnor.open(files["ptv"])) for frame in reader]
    del scan
    gc.collect()
    for array, copy in zip(arrays, copies):
        np.testing.assert_array_equal(array, copy)
    assert len(others) == 12


def test_threads_read_what_one_reader_reads(tmp_path):
    path = tmp_path / "larger.ptv"
    pelnor.sample(path, size=(320, 240), frames=6)
    alone = [bits(frame.xyz) for frame in pelnor.open(path)]
    shared = pelnor.open(path)

    def read(k):  # most from one shared scan, every third from a scan of its own
        return bits((shared if k % 3 else pelnor.open(path))[k % 6].xyz)

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for k, xyz in zip(range(72), pool.map(read, range(72))):
            np.testing.assert_array_equal(xyz, alone[k % 6])


def read_in_worker(scan_and_index):
    scan, k = scan_and_index
    frame = scan[k]
    return bits(frame.xyz), frame


@pytest.mark.parametrize(
    "pool, method",
    [("Pool", "fork"), ("Pool", "spawn"), ("Pool", "forkserver")]
    + [("ProcessPoolExecutor", "forkserver"), ("ThreadPoolExecutor", None)],
)
def test_workers_read_what_the_parent_reads(files, pool, method):
    """Scans go to the workers pickled, frames come back pickled; the parent's row threads already
    run when the workers start, and a hung worker fails the test."""
    scan = pelnor.open(files["ptv"])
    alone = [bits(frame.xyz) for frame in scan]
    work = [(scan, k) for k in range(6)]
    if pool == "Pool":
        with multiprocessing.get_context(method).Pool(2) as workers:
            read = workers.map_async(read_in_worker, work).get(timeout=120)
    else:
        context = {"mp_context": multiprocessing.get_context(method)} if method else {}
        with getattr(concurrent.futures, pool)(2, **context) as workers:
            read = list(workers.map(read_in_worker, work, timeout=120))
    for k, (xyz, frame) in enumerate(read):
        np.testing.assert_array_equal(xyz, alone[k])
        assert (frame.path, frame.index) == (str(files["ptv"]), k)
        np.testing.assert_array_equal(bits(frame.xyz), alone[k])


@pytest.mark.parametrize("kind", ["pt", "ptv"])
def test_depth_is_measured_from_the_camera(files, tmp_path, kind):
    """A frame turned and moved away from its camera keeps its depths: the camera is fitted to it."""
    frame = pelnor.open(files[kind])[0]
    np.testing.assert_array_equal(np.isnan(frame.depth), ~frame.valid)
    c, s = np.cos(0.5), np.sin(0.5)
    turn = np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]]) @ np.array([[1, 0, 0], [0, c, -s], [0, s, c]])
    pelnor.save_xyzm(tmp_path / "moved.xyzm", frame.xyz @ turn.T + (300, -200, 500))
    moved = pelnor.open(tmp_path / "moved.xyzm")[0]
    np.testing.assert_allclose(moved.depth, frame.depth, rtol=1e-3)
    assert np.abs(moved.xyz[..., 2] - frame.depth)[frame.valid].min() > 1


def test_import_leaves_the_allocator_alone(files):
    """400 MiB a script frees after reading a frame go back to the system as they do without pelnor."""
    script = f"""import sys, numpy
if sys.argv[1] == "pelnor":
    import pelnor
    pelnor.open({str(files["ptv"])!r})[0].xyz
resident = lambda: int(open("/proc/self/statm").read().split()[1]) * 4096 / 2**20
before, arrays = resident(), [numpy.ones(10 << 20, numpy.uint8) for _ in range(40)]
del arrays
print(resident() - before)"""
    kept = {}
    for who in ("numpy", "pelnor"):
        kept[who] = float(subprocess.run([sys.executable, "-c", script, who], capture_output=True).stdout)
    assert kept["pelnor"] < kept["numpy"] + 100, kept


@pytest.mark.parametrize("texture", ["none", "grey", "colour"])
def test_arrays_saved_open_again(files, tmp_path, texture):
    frame = pelnor.open(files["pt"])[0]
    xyz, valid = frame.xyz.copy(), frame.valid.copy()
    xyz[0, 0, 1], valid[0, 0] = np.inf, False
    rgb = frame.texture
    given, shown = {
        "none": (None, np.full_like(rgb, 255)),
        "grey": (rgb[..., 1], np.dstack([rgb[..., 1]] * 3)),
        "colour": (rgb, rgb),
    }[texture]
    pelnor.save_xyzm(tmp_path / "edited.xyzm", xyz, given)
    back = pelnor.open(tmp_path / "edited.xyzm")[0]
    np.testing.assert_array_equal(back.valid, valid)
    np.testing.assert_array_equal(bits(back.xyz[valid]), bits(xyz[valid]))
    np.testing.assert_array_equal(back.colors(), shown[valid])


def test_readme_example_runs(tmp_path, monkeypatch):
    readme = (Path(__file__).parents[2] / "README.md").read_text()
    example = re.search(r"## Python\n.*?```python\n(.*?)```", readme, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    # Without a display a window the example opened would fail at once instead of waiting for a user.
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        monkeypatch.delenv(name, raising=False)
    exec(compile(example, "README.md", "exec"), {})
    assert (tmp_path / "walk.ptv").exists()


@pytest.mark.parametrize("kind", ["pt", "xyzm"])
def test_region_keeps_the_points_in_its_box(files, tmp_path, kind):
    """A region's points against its box picked by hand (a quarter turn about z swaps its x and y
    edges), its colours and facts those of the same pixels, the outside the rest, a save what convert
    writes, and numbers that make no box refused."""
    frame = pelnor.open(files[kind])[0]
    lo, hi = np.array([-100, -80, 600]), np.array([120, 100, 720])
    region = pelnor.Region(lo, hi)
    turned = pelnor.Region(centre=(lo + hi) / 2, size=(180, 220, 120), angles=(0, 0, 90))
    xyz, valid = frame.xyz, frame.valid
    with np.errstate(invalid="ignore"):
        inside = valid & np.all((xyz >= lo) & (xyz <= hi), axis=2)
        near = valid & np.any(np.abs(np.abs(xyz - (lo + hi) / 2) - (hi - lo) / 2) < 1e-3, axis=2)
    rows = lambda a: np.ascontiguousarray(a, np.float32).view(np.dtype((np.void, 12))).ravel()
    for box in (region, turned):
        points = frame.points(region=box)
        # Only a point within rounding of a face may go either way.
        assert np.isin(rows(xyz[inside & ~near]), rows(points)).all()
        assert np.isin(rows(points), rows(xyz[inside | near])).all()
        kept = valid & np.isin(rows(xyz), rows(points)).reshape(valid.shape)
        np.testing.assert_array_equal(points, xyz[kept])
        np.testing.assert_array_equal(frame.colors(box), frame.texture[kept])
        frame.save(tmp_path / "cut.xyzm", region=box)
        np.testing.assert_array_equal(pelnor.open(tmp_path / "cut.xyzm")[0].valid, kept)
        facts = frame.facts(box)
        assert facts["valid"] == len(points) > 100
        assert facts["x_range"] == (points[:, 0].min(), points[:, 0].max())
        np.testing.assert_allclose(facts["center_of_mass"], points.mean(axis=0), rtol=1e-5)
    assert len(frame.points(pelnor.Region(lo, hi, outside=True))) + len(frame.points(region)) == valid.sum()
    frame.save(tmp_path / "saved.ply", region=region)
    box = "-100,-80,600,120,100,720"
    subprocess.run([os.environ["PELNOR_BIN"], "convert", files[kind], tmp_path / "out.ply", "--region", box], check=True)
    assert (tmp_path / "saved.ply").read_bytes() == (tmp_path / "out.ply").read_bytes()
    with pytest.warns(UserWarning, match="keeps no point"):
        frame.save(tmp_path / "empty.xyzm", region=pelnor.Region((0, 0, 5000), (1, 1, 5001)))
    for lo_, hi_ in (((0, 0, 0), (1, 0, 1)), ((0, 0, 0), (1, 1, np.nan)), ((0, 0, 0), (np.inf, 1, 1))):
        with pytest.raises(ValueError):
            pelnor.Region(lo_, hi_)
    with pytest.raises(ValueError):
        pelnor.Region(centre=(0, 0, 0), size=(1, -1, 1))
    if kind == "pt":
        with pytest.raises(ValueError, match="raw phase"):
            frame.save(tmp_path / "raw.pt", region=region)
