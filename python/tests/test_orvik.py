"""The module against orvik-cli: the same pictures and settings give the same stored floats,
vertices and measurements; bad input gets orvik-cli's message; the labels agree with the
table."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest
from PIL import Image

import orvik

CLI = os.environ.get("ORVIK_CLI")
needs_cli = pytest.mark.skipif(not CLI, reason="ORVIK_CLI names the orvik-cli to compare with")


# ---- pictures ----

def discs(height, width, centres, radius, dark=40, light=210, seed=1, dtype=np.uint8):
    """Dark discs on a light, slightly noisy ground."""
    rng = np.random.default_rng(seed)
    rows, cols = np.mgrid[0:height, 0:width]
    picture = np.full((height, width), float(light))
    for (x, y), r in zip(centres, np.broadcast_to(radius, len(centres))):
        picture[(cols + 0.5 - x) ** 2 + (rows + 0.5 - y) ** 2 < r * r] = dark
    picture += rng.normal(0, 6, picture.shape)
    top = 255 if dtype == np.uint8 else 65535
    scale = 1 if dtype == np.uint8 else 200
    return np.clip(picture * scale, 0, top).astype(dtype)


SINGLE = discs(120, 160, [(70, 62)], 24)
WIDE = discs(90, 110, [(52, 47)], 20, dtype=np.uint16)
MANY = discs(160, 200, [(40, 40), (120, 45), (60, 115), (150, 120)], [18, 14, 22, 16])


def saved(tmp_path, picture, name="picture.png"):
    """The picture as a file orvik-cli reads as it is: PNG for 8 bits, TIFF for 16."""
    if picture.dtype == np.uint16:
        path = (tmp_path / name).with_suffix(".tif")
        Image.fromarray(picture, mode="I;16").save(path)
    else:
        path = tmp_path / name
        Image.fromarray(picture, mode="L").save(path)
    return str(path)


def run_cli(*args):
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=False)
    return done.returncode, [json.loads(line) for line in done.stdout.splitlines()], done.stderr


def same_floats(held, printed):
    """The held float32 values against orvik-cli's 9-digit text of them, bit for bit."""
    printed = np.array(printed, dtype=np.float64).astype(np.float32)
    assert held.dtype == np.float32 and held.shape == printed.shape
    assert np.array_equal(held.view(np.uint32), printed.view(np.uint32))


def same_result(held, printed):
    same_floats(held.points, printed["points"])
    assert held.vertices.tolist() == printed["vertices"]
    assert held.measurements == printed["measurements"]
    assert held.iteration == printed["iteration"]
    assert held.error == printed["error"]


# ---- bit for bit with orvik-cli ----

# (picture, module keywords, orvik-cli options)
CONTOURS = [
    (SINGLE, {}, []),
    (SINGLE, {"model": "standard", "box": (40, 30, 100, 95), "points": 48, "iterations": 300},
     ["--model", "standard", "--box", 40, 30, 100, 95, "--points", 48, "--iterations", 300]),
    (SINGLE, {"model": "balloon", "box": (55, 50, 85, 75), "threshold": "auto"},
     ["--model", "balloon", "--box", 55, 50, 85, 75, "--threshold", "auto"]),
    (SINGLE, {"model": "opened", "box": (20, 20, 140, 100), "gradient": 30},
     ["--model", "opened", "--box", 20, 20, 140, 100, "--gradient", 30]),
    (SINGLE, {"model": "standard", "click": (70, 40), "tool": "all"},
     ["--model", "standard", "--click", 70, 40, "--tool", "all"]),
    (WIDE, {"model": "standard", "display_range": (5000, 45000), "box": (25, 20, 80, 75)},
     ["--model", "standard", "--range", 5000, 45000, "--box", 25, 20, 80, 75]),
]


@needs_cli
@pytest.mark.parametrize("picture, keywords, options", CONTOURS)
def test_a_contour_is_orvik_clis_bit_for_bit(tmp_path, picture, keywords, options):
    status, lines, _ = run_cli(*options, saved(tmp_path, picture))
    assert status in (0, 1) and len(lines) == 1
    contour = orvik.analyse(picture, **keywords)
    same_result(contour, lines[0])
    assert contour.settings["fields"] == {k: v for k, v in lines[0]["fields"].items()
                                          if k not in ("x1", "y1", "x2", "y2")}


@needs_cli
def test_a_tool_leaves_the_settings_orvik_clis_click_does(tmp_path):
    _, lines, _ = run_cli("--model", "standard", "--box", 40, 30, 100, 95, "--click", 70, 40,
                          "--tool", "all", saved(tmp_path, SINGLE))
    left = orvik.tool(SINGLE, (40, 30, 100, 95), 70, 40, "all", model="standard")
    assert left["error"] is None and left["object"] == lines[0]["object"]
    assert left["fields"] == {k: v for k, v in lines[0]["fields"].items()
                              if k not in ("x1", "y1", "x2", "y2")}
    untouched = orvik.analyse(SINGLE, model="standard").settings["fields"]
    assert (left["fields"]["radius"], left["fields"]["threshold"]) != \
        (untouched["radius"], untouched["threshold"])  # the tool did set them


def coins():
    return pytest.importorskip("skimage.data").coins()


@needs_cli
@pytest.mark.parametrize("picture, count, keywords, options", [
    (lambda: MANY, 4, {}, ["--threshold", "auto", "--split"]),
    (lambda: MANY, 4,
     {"model": "standard", "polarity": "black-on-white", "min_area": 100, "threads": 1,
      "split": False},
     ["--model", "standard", "--object", "black-on-white", "--threshold", "auto",
      "--min-area", 100, "--threads", 1]),
    (coins, 23, {"min_area": 200, "exclude_edges": True, "split": False},
     ["--threshold", "auto", "--min-area", 200, "--exclude-edges"]),
    (coins, 25, {"threshold": "local"}, ["--threshold", "local", "--split"]),
])
def test_found_objects_are_orvik_clis_bit_for_bit(tmp_path, picture, count, keywords, options):
    picture = picture()
    status, lines, _ = run_cli("--find-objects", *options, saved(tmp_path, picture))
    assert status in (0, 1)
    objects = orvik.find_objects(picture, **keywords)
    printed = lines[0]["objects"]
    assert [o.id for o in objects] == [o["id"] for o in printed] and len(objects) == count
    for held, line in zip(objects, printed):
        same_result(held, line)


@needs_cli
def test_followed_frames_are_orvik_clis_bit_for_bit(tmp_path):
    frames = np.stack([discs(100, 130, [(40 + 4 * f, 50), (95, 45 + 3 * f)], [15, 12], seed=f)
                       for f in range(4)])
    folder = tmp_path / "stack"
    folder.mkdir()
    for f, frame in enumerate(frames):
        saved(folder, frame, f"frame{f:03d}.png")
    status, lines, _ = run_cli("--find-objects", "--threshold", "auto", "--split", "--save", "ctc",
                               "--out", tmp_path / "cli", folder)
    assert status in (0, 1) and len(lines) == 4
    tracks = orvik.follow(frames)
    tracks.save_ctc(tmp_path / "module" / "stack")
    written = sorted(p.name for p in (tmp_path / "cli" / "stack").iterdir())
    assert written == ["mask000.tif", "mask001.tif", "mask002.tif", "mask003.tif", "res_track.txt"]
    for name in written:
        assert (tmp_path / "module" / "stack" / name).read_bytes() == \
            (tmp_path / "cli" / "stack" / name).read_bytes()
    assert len(tracks) == 4 and tracks.ids == [1, 2]
    assert tracks.parents == {1: 0, 2: 0} and tracks.ended == {1: None, 2: None}
    # The objects found on the first frame and handed over follow the same way.
    for tracks in (tracks, orvik.follow(frames, orvik.find_objects(frames[0]))):
        for f, line in enumerate(lines):
            assert line["frame"] == f
            held = tracks[f]
            assert [o.id for o in held] == [o["id"] for o in line["objects"]]
            for o, printed in zip(held, line["objects"]):
                same_result(o, printed)


# ---- each error path once, with orvik-cli's message ----

@needs_cli
@pytest.mark.parametrize("call, options", [
    (lambda: orvik.analyse(SINGLE, points=5000), ["--points", 5000]),
    (lambda: orvik.analyse(SINGLE, inertia=2.5), ["--inertia", 2.5]),
    (lambda: orvik.analyse(SINGLE, box=(10, 10, 170, 50)), ["--box", 10, 10, 170, 50]),
    (lambda: orvik.analyse(SINGLE, model="snake"), ["--model", "snake"]),
    (lambda: orvik.analyse(SINGLE, model="opened", click=(5, 5), tool="radius"),
     ["--model", "opened", "--click", 5, 5, "--tool", "radius"]),
    (lambda: orvik.find_objects(SINGLE, min_area=50, max_area=10),
     ["--find-objects", "--min-area", 50, "--max-area", 10]),
])
def test_a_bad_setting_gets_orvik_clis_message(tmp_path, call, options):
    status, _, message = run_cli(*options, saved(tmp_path, SINGLE))
    assert status == 2
    with pytest.raises(ValueError) as raised:
        call()
    assert str(raised.value) == message.strip()


@needs_cli
def test_an_unreadable_file_gets_orvik_clis_message(tmp_path):
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"\x89PNG\r\n\x1a\n not a picture")
    _, _, message = run_cli(broken)
    with pytest.raises(OSError) as raised:
        orvik.read(broken)
    assert str(raised.value) == message.strip()


@pytest.mark.parametrize("call, words", [
    (lambda: orvik.analyse(SINGLE.astype(np.float64)), "float64 array of shape (120, 160)"),
    (lambda: orvik.analyse(SINGLE[0]), "uint8 array of shape (160,)"),
    (lambda: orvik.follow(SINGLE), "uint8 array of shape (120, 160)"),
    (lambda: orvik.find_objects(MANY).save("objects.txt"), "from its ending"),
    (lambda: orvik.follow(np.stack([SINGLE, SINGLE]), orvik.find_objects(MANY)),
     "found on a picture of 200 × 160, the frames are 160 × 120"),
])
def test_an_array_or_a_name_that_cannot_be_used_is_refused(call, words):
    with pytest.raises(ValueError) as raised:
        call()
    assert words in str(raised.value)


# ---- the objects' own views agree ----

def test_the_labels_hold_each_objects_pixels_as_the_table_counts_them(tmp_path):
    objects = orvik.find_objects(MANY)
    labels, table = objects.labels(), objects.table()
    assert labels.shape == MANY.shape and labels.dtype == np.uint16
    counts = np.bincount(labels.ravel(), minlength=max(table["id"]) + 1)
    assert table["id"] == [o.id for o in objects]
    assert [counts[i] for i in table["id"]] == table["pixels"]
    assert table["area"] == [o.measurements["area"] for o in objects]
    # The saved labels picture is the same picture.
    objects.save(tmp_path / "many-labels.png")
    assert np.array_equal(np.array(Image.open(tmp_path / "many-labels.png")), labels)


def test_the_rc_views_are_the_xy_ones_turned():
    contour = orvik.analyse(SINGLE, model="standard")
    assert np.array_equal(contour.points_rc, contour.points[:, ::-1])
    assert np.array_equal(contour.vertices_rc[:, 0], contour.vertices[:, 1])


def test_the_readme_example_runs_as_written(tmp_path, monkeypatch):
    readme = pathlib.Path(__file__).resolve().parents[2] / "README.md"
    section = readme.read_text(encoding="utf-8").split("## Python\n", 1)[1]
    example = section.split("```python\n", 1)[1].split("```", 1)[0]
    pytest.importorskip("skimage")
    monkeypatch.chdir(tmp_path)
    exec(compile(example, "README.md", "exec"), {})
    assert (tmp_path / "coins.geojson").stat().st_size > 0


def test_ctrl_c_stops_find_objects_between_objects():
    """A KeyboardInterrupt raised while the objects are analysed ends the call early."""
    import signal
    import threading
    import time
    picture = np.tile(discs(40, 40, [(20, 20)], 14), (20, 40))  # 800 discs
    threading.Timer(0.2, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        orvik.find_objects(picture, iterations=32000, points=200, threads=1, split=False)
    # An object takes about 20 ms at these settings (more under the sanitizers): all 800 would
    # take 18 s or more.
    assert time.monotonic() - start < 5
