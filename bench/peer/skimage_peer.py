#!/usr/bin/env python3
"""The peer comparison: scikit-image's active_contour on the engine benchmarks' picture.

Runs skimage.segmentation.active_contour with the same number of points and iterations as
the engine benchmarks (32 points and 100 iterations, 200 points and 32760 iterations),
starting from the same ellipse that "Standard" starts from (inscribed in the middle fifth of
the picture), with early stopping switched off, and prints one JSON object per size:

  whole call   nanoseconds per point-iteration of the whole call, its set-up included
               (Sobel filter, spline fit of the picture, inversion of the N x N matrix)
  steps only   the same without the set-up: the time of the call minus that of a call with
               only a few iterations, per additional point-iteration

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


def timed_call(image, snake, iterations):
    start = time.perf_counter()
    # A negative convergence threshold never stops early: every iteration is performed.
    active_contour(image, snake, max_num_iter=iterations, convergence=-1.0,
                   boundary_condition="periodic")
    return time.perf_counter() - start


def measure(image, points, iterations, repetitions):
    height, width = image.shape
    snake = initial_ellipse(width, height, points)
    whole = min(timed_call(image, snake, iterations) for _ in range(repetitions))
    few = min(timed_call(image, snake, FEW_ITERATIONS) for _ in range(max(repetitions, 3)))
    steps = max(whole - few, 0.0) / (points * (iterations - FEW_ITERATIONS))
    return {
        "name": f"Peer/skimage/{points}x{iterations}",
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
    for points, iterations in SIZES:
        if args.max_iterations is not None:
            iterations = max(min(iterations, args.max_iterations), FEW_ITERATIONS + 1)
        # The long call takes most of a minute: once is enough.
        repetitions = 3 if iterations <= 1000 else 1
        results.append(measure(image, points, iterations, repetitions))
    print(json.dumps({"skimage_version": skimage.__version__, "results": results}, indent=1))


if __name__ == "__main__":
    main()
