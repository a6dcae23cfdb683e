#!/usr/bin/env python3
"""The reference outline of every coin in scikit-image's coins picture, made without Orvik.

Region growing from sure markers on the Sobel elevation map (watershed), as scikit-image's
own tutorial on region-based segmentation does: pixels darker than 30 are sure ground,
brighter than 150 sure coin; the watershed of the gradient magnitude between them decides the
rest; holes inside a coin are filled, and pieces under 100 pixels dropped. Writes, in OUT_DIR:

  coins.png           the picture itself (8-bit grey), as Orvik loads it
  coins-truth.png     8-bit labels: 0 the ground, k the k-th coin
  coins-truth-overlay.png   the picture with each reference outline in green, to check by eye

Needs Debian's python3-skimage, which lives beside the system's python3 (/usr/bin/python3).
"""
import argparse
import os

import numpy as np
from scipy import ndimage as ndi
from skimage import data, filters, io, measure, morphology, segmentation


def reference(coins):
    elevation = filters.sobel(coins)
    markers = np.zeros_like(coins, dtype=np.uint8)
    markers[coins < 30] = 1
    markers[coins > 150] = 2
    regions = segmentation.watershed(elevation, markers) == 2
    regions = ndi.binary_fill_holes(regions)
    regions = morphology.remove_small_objects(regions, 100)
    return measure.label(regions, connectivity=1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    out = parser.parse_args().out_dir
    os.makedirs(out, exist_ok=True)
    coins = data.coins()
    labels = reference(coins)
    assert labels.max() < 256
    io.imsave(os.path.join(out, "coins.png"), coins, check_contrast=False)
    io.imsave(os.path.join(out, "coins-truth.png"), labels.astype(np.uint8), check_contrast=False)
    overlay = np.stack([coins] * 3, axis=-1)
    overlay[segmentation.find_boundaries(labels, mode="inner")] = (0, 255, 0)
    io.imsave(os.path.join(out, "coins-truth-overlay.png"), overlay, check_contrast=False)
    areas = [r.area for r in measure.regionprops(labels)]
    print(f"{labels.max()} coins, areas {min(areas)}..{max(areas)} px, "
          f"picture {coins.shape[1]} x {coins.shape[0]}")


if __name__ == "__main__":
    main()
