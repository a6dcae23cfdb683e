"""OpenCV's threshold + findContours + moments beside orvik-cli --find-objects, whole processes.

    python3 bench/peer/opencv_discs.py ORVIK_CLI PICTURE [ROUNDS]

Each round runs both on PICTURE, one after the other, each as a process of its own: OpenCV
reads the picture, thresholds it by Otsu's method, traces the outer contours and takes each
one's moments (area and centroid); orvik-cli finds the objects at Otsu's threshold, seeds and
analyses each on one thread and prints its JSON line. Printed: the least CPU time (user +
system) of each over the rounds, their ratio, the objects each found and the load average.
Needs Debian's python3-opencv.
"""
import os
import resource
import subprocess
import sys

OPENCV = r"""
import sys
import cv2
grey = cv2.imread(sys.argv[1], cv2.IMREAD_GRAYSCALE)
_, mask = cv2.threshold(grey, 0, 255, cv2.THRESH_BINARY + cv2.THRESH_OTSU)
if (mask[0, :] > 0).mean() > 0.5:  # the objects are the side the border is not
    mask = 255 - mask
contours, _ = cv2.findContours(mask, cv2.RETR_EXTERNAL, cv2.CHAIN_APPROX_NONE)
found = 0
for c in contours:
    m = cv2.moments(c)
    if m["m00"] >= 20:
        found += 1
print(found)
"""


def cpu_of(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, out


def main():
    cli, picture = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    print("load average at the start:", open("/proc/loadavg").read().strip())
    best = {"opencv": None, "orvik": None}
    counts = {}
    for _ in range(rounds):
        cpu, out = cpu_of([sys.executable, "-c", OPENCV, picture])
        best["opencv"] = cpu if best["opencv"] is None else min(best["opencv"], cpu)
        counts["opencv"] = int(out.split()[0])
        cpu, out = cpu_of([cli, "--find-objects", "--threshold", "auto", "--threads", "1",
                           picture])
        best["orvik"] = cpu if best["orvik"] is None else min(best["orvik"], cpu)
        counts["orvik"] = out.count('"id"')
    cpu_py, _ = cpu_of([sys.executable, "-c", "import cv2"])
    print("load average at the end:", open("/proc/loadavg").read().strip())
    print(f"OpenCV process   {best['opencv']:.3f} s CPU, {counts['opencv']} objects "
          f"(of which starting Python and importing cv2: {cpu_py:.3f} s)")
    print(f"orvik-cli        {best['orvik']:.3f} s CPU, {counts['orvik']} objects")
    print(f"orvik-cli / OpenCV: {best['orvik'] / best['opencv']:.2f}; "
          f"/ OpenCV's work alone: {best['orvik'] / (best['opencv'] - cpu_py):.2f}")


if __name__ == "__main__":
    os.environ.setdefault("OMP_NUM_THREADS", "1")
    main()
