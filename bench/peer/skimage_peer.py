#!/usr/bin/env python3
"""The peer comparison: scikit-image's active_contour on the engine benchmarks' picture.

Runs skimage.segmentation.active_contour with the same number of points and iterations as
the engine benchmarks (32 points and 100 iterations, 200 points and 32760 iterations),
starting from the same ellipse that "Standard" starts from (inscribed in the middle fifth of
the picture), with early stopping switched off, and prints one JSON object per run:

  whole call   nanoseconds per point-iteration of the whole call, its set-up included
               (Sobel filter, spline fit of the picture, inversion of the N x N matrix)
  steps only   the same without the set-up: the time of the call minus that of a call with
               only a few iterations, per additional point-iteration

Every parameter is written out below (PARAMETERS): scikit-image's defaults, with its edge
term on (w_edge = 1), as Orvik's edge force is on with "Gradient = 20" in the benchmark it is
compared with. A second configuration switches the edge term off (w_edge = 0) for the
comparison with Orvik's default "Gradient = 0". The peer's step costs the same either way (it
evaluates one spline of the weighted picture), so the long size runs that configuration with
NO_EDGE_LONG_ITERATIONS iterations only; its steps-only figure is still per point-iteration.

The picture comes from bench_picture (a binary PGM file). Needs Debian's python3-skimage,
which lives beside the system's python3.
"""
import argparse
import json
import sys
import time

import numpy as np
import skimage
from skimage.segmentation import active_contour

SIZES = ((32, 100), (200, 32760))
FEW_ITERATIONS = 10
NO_EDGE_LONG_ITERATIONS = 2000

# active_contour's parameters, every one written out.
PARAMETERS = {
    "alpha": 0.01,         # snake length shape (tension)
    "beta": 0.1,           # snake smoothness shape (rigidity)
    "w_line": 0.0,         # attraction to brightness
    "w_edge": 1.0,         # attraction to edges
    "gamma": 0.01,         # time stepping
    "max_px_move": 1.0,    # largest move of a point per iteration
    "boundary_condition": "periodic",
    "convergence": -1.0,   # never reached: every iteration is performed
}
CONFIGURATIONS = (("edge", {"w_edge": 1.0}), ("no_edge", {"w_edge": 0.0}))


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P5" or fields[3] != b"255":
        sys.exit(f"{path}: not an 8-bit binary PGM file")
    width, height = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, dtype=np.uint8, count=width * height, offset=position + 1)
    return pixels.reshape(height, width)


def middle_fifth(width, height):
    def fifths(n, k):
        return (n * k + 2) // 5
    return fifths(width, 2), fifths(height, 2), fifths(width, 3), fifths(height, 3)


def initial_ellipse(width, height, points):
    """The initial contour of "Standard": point 0 at the bottom, then counter-clockwise."""
    x1, y1, x2, y2 = middle_fifth(width, height)
    a = max(abs(x2 - x1) // 2, 2)
    b = max(abs(y2 - y1) // 2, 2)
    cx, cy = (x1 + x2) * 0.5, (y1 + y2) * 0.5
    theta = (np.arange(points) / points * 2 * np.pi).astype(np.float32).astype(np.float64)
    x = (cx + a * np.sin(theta)).astype(np.float32)
    y = (cy + b * np.cos(theta)).astype(np.float32)
    return np.stack([y, x], axis=1).astype(np.float64)  # rows, columns


def timed_call(image, snake, iterations, parameters):
    start = time.perf_counter()
    active_contour(image, snake, max_num_iter=iterations, **parameters)
    return time.perf_counter() - start


def measure(image, points, iterations, repetitions, configuration, parameters):
    height, width = image.shape
    snake = initial_ellipse(width, height, points)
    whole = min(timed_call(image, snake, iterations, parameters) for _ in range(repetitions))
    few = min(timed_call(image, snake, FEW_ITERATIONS, parameters)
              for _ in range(max(repetitions, 3)))
    steps = max(whole - few, 0.0) / (points * (iterations - FEW_ITERATIONS))
    return {
        "name": f"Peer/skimage/{configuration}/{points}x{iterations}",
        "configuration": configuration,
        "parameters": parameters,
        "points": points,
        "iterations": iterations,
        "seconds": whole,
        "ns_per_point_iteration": whole / (points * iterations) * 1e9,
        "ns_per_point_iteration_steps": steps * 1e9,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("picture", help="binary PGM file written by bench_picture")
    parser.add_argument("--max-iterations", type=int, default=None,
                        help="cap the iteration counts (for a quick look; the figures then "
                             "no longer match the engine benchmarks' sizes)")
    args = parser.parse_args()
    image = read_pgm(args.picture)
    results = []
    for configuration, changes in CONFIGURATIONS:
        parameters = dict(PARAMETERS, **changes)
        for points, iterations in SIZES:
            if configuration == "no_edge":
                iterations = min(iterations, NO_EDGE_LONG_ITERATIONS)
            if args.max_iterations is not None:
                iterations = max(min(iterations, args.max_iterations), FEW_ITERATIONS + 1)
            # The long call takes most of a minute: once is enough.
            repetitions = 3 if iterations <= 1000 else 1
            results.append(measure(image, points, iterations, repetitions, configuration,
                                   parameters))
    print(json.dumps({"skimage_version": skimage.__version__, "results": results}, indent=1))


if __name__ == "__main__":
    main()
