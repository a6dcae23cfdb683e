"""Orvik's active contours, objects and tracks on numpy arrays.

The calls drive the same document and commands as Orvik's window and orvik-cli, so the same
picture and settings give the same numbers, bit for bit. Settings go by orvik-cli's names:
``model``, ``polarity`` (orvik-cli's ``--object``) and the fields ``points``, ``iterations``,
``inertia``, ``viscosity``, ``tension``, ``rigidity``, ``form``, ``radius``, ``image``,
``threshold``, ``gradient``, as whole numbers in the window's units. A bad value raises a
ValueError with orvik-cli's message; a file that cannot be read or written an OSError.

Coordinates are (x, y) in pixels, y downward, as orvik-cli prints them; every array of
positions also comes in scikit-image's and napari's (row, col) order as a ``_rc`` property.
"""

from __future__ import annotations

import csv
import io
import os

import numpy as np

from . import _orvik

__all__ = ["Picture", "Contour", "Object", "Objects", "Tracks", "read", "analyse", "tool",
           "find_objects", "follow"]


class Picture:
    """A picture file's frames as it holds them, with its display range and pixel size.

    ``frames``: frames × height × width (× 3 for colour), uint8 or uint16.
    ``pixel_size`` and ``unit``: the size of a pixel the file states, or None.
    ``display_range``: (low, high), the values mapped onto black and white.
    """

    def __init__(self, frames, pixel_size=None, unit=None, display_range=None, path=""):
        self.frames = frames
        self.pixel_size = pixel_size
        self.unit = unit
        self.display_range = display_range
        self.path = path

    def __repr__(self):
        return (f"Picture({self.path!r}, frames={self.frames.shape}, dtype={self.frames.dtype}, "
                f"pixel_size={self.pixel_size}, unit={self.unit!r})")


def read(path) -> Picture:
    """Reads a picture file (BMP, PNG, TIFF pages, ...) or a folder of numbered pictures."""
    path = os.fspath(path)
    held = _orvik.read(path)
    return Picture(held["frames"], held["pixel_size"], held["unit"], held["display_range"], path)


def _rc(xy):
    """(x, y) rows as (row, col) ones."""
    return np.ascontiguousarray(xy[:, ::-1]) if xy.ndim == 2 and xy.shape[1] == 2 else xy


class _Outline:
    """What a contour result holds, shared by a single contour and an object."""

    def __init__(self, held):
        self.points = held["points"]
        self.vertices = held["vertices"]
        self.outline = held["outline"]
        self.closed = held["closed"]
        self.iteration = held["iteration"]
        self.measurements = held["measurements"]
        self.error = held["error"]
        self.settings = held["settings"]

    @property
    def flags(self):
        """Why the numbers cannot be trusted: "failed", "outside", "self-crossing", ..."""
        return list(self.measurements["flags"])

    @property
    def points_rc(self):
        """The stored points as (row, col); model "center"'s radii as they are."""
        return _rc(self.points)

    @property
    def vertices_rc(self):
        return _rc(self.vertices)

    @property
    def outline_rc(self):
        return _rc(self.outline)


class Contour(_Outline):
    """A single contour's result.

    ``points``: the stored floats, float32, as orvik-cli prints them: (x, y) rows, or for the
    model "center" its radii, one a row. ``outline``: the contour polygon in pixel coordinates
    (float64) for every model. ``vertices``: the integer vertices drawn, int32.
    ``measurements``: orvik-cli's dict, with ``flags``. ``error``: the floating-point error
    that ended the analysis, or None. ``settings``: model, object, box and fields after any
    tool.
    """

    def __init__(self, held):
        super().__init__(held)
        self.energy = held["energy"]

    def __repr__(self):
        return (f"Contour({self.settings['model']}, {len(self.points)} points, "
                f"iteration={self.iteration}, error={self.error!r})")


class Object(_Outline):
    """An object found on a picture: its ``id`` and what a Contour holds."""

    def __init__(self, held):
        super().__init__(held)
        self.id = held["id"]

    def __repr__(self):
        return f"Object(id={self.id}, {len(self.points)} points, flags={self.flags})"


def _cell(text):
    if text == "":
        return None
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


class Objects(list):
    """The objects of a picture (or of a frame), in the document's order."""

    def __init__(self, held):
        super().__init__(Object(held.object(i)) for i in range(len(held)))
        self._held = held

    def labels(self) -> np.ndarray:
        """A height × width uint16 picture: 0 for the background, each object's id inside it
        (the later id where objects overlap)."""
        return self._held.labels()

    def table(self) -> dict:
        """The measurements table as a dict of columns, as orvik-cli's CSV has them
        (``pandas.DataFrame(objects.table())``); a value that does not apply is None."""
        rows = list(csv.reader(io.StringIO(self._held.csv())))
        header, body = rows[0], rows[1:]
        return {name: [_cell(row[i]) for row in body] for i, name in enumerate(header)}

    def save(self, path) -> None:
        """Saves in the format the ending names, as orvik-cli's --save writes it: .zip (an
        ImageJ RoiSet), .geojson, .csv (with NAME-points.csv beside it), .json, .png (the
        16-bit labels)."""
        self._held.save(os.fspath(path))


class Tracks:
    """Objects followed through frames: ``tracks[f]`` is frame f's Objects (ids kept from
    frame to frame), ``ids`` every track's id, ``ends`` each track's first and last frame and
    the error that ended it (None when it reached the last frame). Objects found on the first
    frame are followed with detection: ``parents`` gives the track each track divided from (0:
    none) and ``ended`` why each ended ("collapsed", "left the picture", "lost", "failed",
    "divided"; None when it reached the last frame)."""

    def __init__(self, held):
        self._held = held
        tracks = held.tracks()
        self.ends = {t["id"]: (t["first"], t["last"], t["error"]) for t in tracks}
        self.parents = {t["id"]: t["parent"] for t in tracks}
        self.ended = {t["id"]: t["ended"] for t in tracks}
        self.ids = list(self.ends)

    def __len__(self):
        return self._held.frames

    def __getitem__(self, frame) -> Objects:
        if frame < 0:
            frame += len(self)
        return Objects(self._held.frame(frame))

    def save_ctc(self, folder) -> None:
        """The Cell Tracking Challenge result layout in ``folder``: maskTTT.tif per frame and
        res_track.txt."""
        self._held.save_ctc(os.fspath(folder))


def _held(image, stack):
    """The frames, the name and the file's pixel size of an array or a Picture."""
    if isinstance(image, Picture):
        frames = image.frames
        if not stack:
            if len(frames) != 1:
                raise ValueError(f"a single picture is asked for, not {len(frames)} frames: "
                                 "take one (picture.frames[k]) or follow them (orvik.follow)")
            frames = frames[0]
        scale = (image.pixel_size, image.unit) if image.pixel_size is not None else None
        return frames, image.path, scale
    return np.asarray(image), "", None


def _option(name):
    return "--" + name.replace("_", "-")


def _picture_args(display_range, pixel_size, unit, channel):
    args = []
    if display_range is not None:
        low, high = display_range
        args += ["--range", str(low), str(high)]
    if pixel_size is not None:
        args += ["--pixel-size", repr(float(pixel_size))]
    if unit is not None:
        args += ["--unit", str(unit)]
    if channel is not None:
        args += ["--channel", channel]
    return args


def _setting_args(model, polarity, fields):
    args = ["--model", str(model), "--object", str(polarity)]
    for name, value in fields.items():
        args += [_option(name), str(value)]
    return args


def analyse(image, box=None, model="center", polarity="black-on-white", *, click=None,
            tool=None, display_range=None, pixel_size=None, unit=None, channel=None,
            **fields) -> Contour:
    """Analyses one contour in ``box`` (x1, y1, x2, y2; default the middle fifth) on a 2-D
    uint8 or uint16 array (or a one-frame Picture). ``click=(x, y)`` with ``tool`` ("radius",
    "threshold", "object", "all") runs that popup tool there first, as orvik-cli's --click.
    The GIL is released while it runs."""
    args = _setting_args(model, polarity, fields)
    if box is not None:
        args += ["--box"] + [str(v) for v in box]
    if click is not None:
        args += ["--click"] + [str(v) for v in click]
    if tool is not None:
        args += ["--tool", tool]
    args += _picture_args(display_range, pixel_size, unit, channel)
    return Contour(_orvik.analyse(*_held(image, False), args))


def tool(image, box, x, y, which="all", model="center", polarity="black-on-white", *,
         display_range=None, channel=None, **fields) -> dict:
    """Runs a popup tool at (x, y) as the window does: the settings it leaves (model, object,
    box, fields) and its ``error`` (None when it finished)."""
    args = _setting_args(model, polarity, fields)
    args += ["--box"] + [str(v) for v in box] + ["--click", str(x), str(y), "--tool", which]
    args += _picture_args(display_range, None, None, channel)
    return _orvik.tool(*_held(image, False), args)


def _find_args(threshold, polarity, min_area, max_area, exclude_edges, split, model, threads,
               fields):
    args = ["--find-objects", "--model", str(model), "--object", str(polarity),
            "--threshold", str(threshold), "--min-area", str(min_area),
            "--split" if split else "--no-split"]
    if max_area is not None:
        args += ["--max-area", str(max_area)]
    if exclude_edges:
        args.append("--exclude-edges")
    if threads is not None:
        args += ["--threads", str(threads)]
    for name, value in fields.items():
        args += [_option(name), str(value)]
    return args


def find_objects(image, threshold="auto", polarity="auto", min_area=20, max_area=None,
                 exclude_edges=False, split=True, model="center", threads=None, *,
                 display_range=None, pixel_size=None, unit=None, channel=None,
                 **fields) -> Objects:
    """Finds the objects of a picture (the regions on the objects' side of ``threshold``:
    a grey level in quarter levels, "auto" for Otsu's, "local" or "local:R" for each pixel
    against its background within R pixels), touching ones split apart unless ``split`` is
    False, and analyses each, on ``threads`` workers (default every core), as orvik-cli
    --find-objects. ``max_area`` None: a quarter of the picture."""
    args = _find_args(threshold, polarity, min_area, max_area, exclude_edges, split, model,
                      threads, fields)
    args += _picture_args(display_range, pixel_size, unit, channel)
    return Objects(_orvik.find_objects(*_held(image, False), args))


def follow(frames, objects=None, threshold="auto", polarity="auto", min_area=20, max_area=None,
           exclude_edges=False, split=True, model="center", threads=None, *,
           display_range=None, pixel_size=None, unit=None, channel=None,
           **fields) -> Tracks:
    """Follows objects through ``frames`` (frames × height × width, or a Picture): those of
    ``objects`` (found on the first frame), else those found on the first frame with the
    settings given, as orvik-cli follows a stack. Ctrl+C stops it after the frame at work."""
    if objects is None:
        args = _find_args(threshold, polarity, min_area, max_area, exclude_edges, split, model,
                          threads, fields)
        start = None
    else:
        args = ["--threads", str(threads)] if threads is not None else []
        start = objects._held
    args += _picture_args(display_range, pixel_size, unit, channel)
    return Tracks(_orvik.follow(*_held(frames, True), start, args))
