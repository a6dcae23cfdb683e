#!/usr/bin/env python3
"""The Python module's figures: orvik.analyse beside scikit-image's active_contour on the same
picture and start, the module's own cost of a call, and the module beside orvik-cli.

  PYTHONPATH=build/python python3 bench/python_bench.py build/cli/orvik-cli

The picture is scikit-image's coins (303 x 384); the contour "Standard" in the box of one
coin, white on black, with "Gradient = 20" so that both sides have an edge term. The peer
starts from the very points Orvik starts from (orvik.analyse with 0 iterations, in (row, col)
order), with the same number of points and iterations, its parameters as
bench/peer/skimage_peer.py writes them out, and never stops early. Every figure is the best of
several calls: the machine is shared.

"orvik-cli in-process" is orvik-cli's own run (reading the PNG file, its document, the analysis,
its JSON line) called in this process through the module's _orvik.run_cli: the same work as
the module's call but for reading the file and printing, without starting a process.
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image
from skimage import data
from skimage.segmentation import active_contour

import orvik
from orvik import _orvik

BOX = (129, 28, 179, 74)
SETTINGS = {"model": "standard", "polarity": "white-on-black", "gradient": 20}
PEER = {"alpha": 0.01, "beta": 0.1, "w_line": 0.0, "w_edge": 1.0, "gamma": 0.01,
        "max_px_move": 1.0, "boundary_condition": "periodic", "convergence": -1.0}
SIZES = ((32, 100), (200, 1000))


def best(call, repetitions):
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def cli_options(points, iterations):
    return ["--model", "standard", "--object", "white-on-black", "--gradient", "20",
            "--box", *map(str, BOX), "--points", str(points), "--iterations", str(iterations)]


def main():
    cli = sys.argv[1]
    coins = data.coins()
    folder = tempfile.mkdtemp()
    picture = os.path.join(folder, "coins.png")
    Image.fromarray(coins).save(picture)

    def run_cli(*options):
        subprocess.run([cli, *options, picture], check=True, capture_output=True)

    print(f"load average {os.getloadavg()[0]:.2f}")
    def in_process(*options):
        assert _orvik.run_cli([*options, picture])[0] == 0

    print("| points × iterations | orvik.analyse | orvik-cli in-process | orvik-cli process | "
          "active_contour | peer / orvik.analyse |")
    print("|---|---|---|---|---|---|")
    for points, iterations in SIZES:
        start = orvik.analyse(coins, BOX, points=points, iterations=0, **SETTINGS).points_rc
        ours = best(lambda: orvik.analyse(coins, BOX, points=points, iterations=iterations,
                                          **SETTINGS), 20)
        inside = best(lambda: in_process(*cli_options(points, iterations)), 20)
        process = best(lambda: run_cli(*cli_options(points, iterations)), 10)
        peer = best(lambda: active_contour(coins, start.astype(np.float64),
                                           max_num_iter=iterations, **PEER), 3)
        print(f"| {points} × {iterations} | {ours * 1e3:.3f} ms | {inside * 1e3:.3f} ms | "
              f"{process * 1e3:.1f} ms | "
              f"{peer * 1e3:.1f} ms | {peer / ours:.0f} × |")

    # The module's own cost: a call that runs no step (the copy of the picture, the document,
    # the options, the result and its measurements), beside the call at the defaults.
    empty = best(lambda: orvik.analyse(coins, BOX, iterations=0, **SETTINGS), 50)
    default = best(lambda: orvik.analyse(coins, BOX, **SETTINGS), 50)
    print(f"\na call without steps {empty * 1e6:.0f} µs; at the defaults (32 × 100) "
          f"{default * 1e6:.0f} µs")

    for threads in (1, 2):
        found = best(lambda: orvik.find_objects(coins, min_area=200, exclude_edges=True,
                                                threads=threads), 10)
        options = ["--find-objects", "--threshold", "auto", "--min-area", "200",
                   "--exclude-edges", "--threads", str(threads)]
        inside = best(lambda: in_process(*options), 10)
        process = best(lambda: run_cli(*options), 10)
        print(f"find_objects on the coins, {threads} thread(s): orvik.find_objects "
              f"{found * 1e3:.2f} ms, orvik-cli in-process {inside * 1e3:.2f} ms, "
              f"process {process * 1e3:.2f} ms")


if __name__ == "__main__":
    main()
