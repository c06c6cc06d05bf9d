#!/usr/bin/python3
"""Draws the closed loop's plot from the paths zok_accuracy_gimbal writes.

    plot_gimbal.py gimbal-paths.csv out.png [SEQUENCES]

out.png shows, for a few sequences, the centre of each tracker's view and the target's true
centre, in frame pixels, frame by frame: x on the left, y on the right. The sequences are the
SEQUENCES most demanding ones (default 3): those whose target travels farthest across the
frame, so that the camera has to turn the most.
"""
import csv
import math
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def read_paths(path):
    """{sequence: {tracker: [(frame, view_x, view_y, target_x, target_y)]}}, trackers in the
    order the file gives them."""
    paths = defaultdict(lambda: defaultdict(list))
    trackers = []
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["tracker"] not in trackers:
                trackers.append(row["tracker"])
            paths[row["sequence"]][row["tracker"]].append(
                (int(row["frame"]), float(row["view_x"]), float(row["view_y"]),
                 float(row["target_x"]), float(row["target_y"])))
    return paths, trackers


def travel(points):
    """How far the target's centre ranges across the frame, in pixels."""
    xs = [p[3] for p in points if not math.isnan(p[3])]
    ys = [p[4] for p in points if not math.isnan(p[4])]
    return math.hypot(max(xs) - min(xs), max(ys) - min(ys)) if xs else 0.0


def main():
    paths_csv, target = sys.argv[1:3]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    paths, trackers = read_paths(paths_csv)
    chosen = sorted(paths, key=lambda s: -travel(next(iter(paths[s].values()))))[:count]
    palette = plt.get_cmap("tab10").colors
    figure, axes = plt.subplots(len(chosen), 2, figsize=(11, 2.8 * len(chosen)), squeeze=False)
    for row, sequence in enumerate(chosen):
        for column, (axis, view, truth) in enumerate((("x", 1, 3), ("y", 2, 4))):
            ax = axes[row][column]
            first = next(iter(paths[sequence].values()))
            ax.plot([p[0] for p in first], [p[truth] for p in first], color="black",
                    linewidth=2.2, label="target (truth)")
            for i, name in enumerate(trackers):
                points = paths[sequence].get(name, [])
                ax.plot([p[0] for p in points], [p[view] for p in points],
                        color=palette[i % len(palette)], linewidth=1.3,
                        linestyle="-" if name.startswith("zok") else "--",
                        label=f"view of {name}")
            ax.set_title(f"{sequence}: {axis}", fontsize=9)
            ax.set_xlabel("frame", fontsize=8)
            ax.set_ylabel(f"centre {axis}, frame pixels", fontsize=8)
            ax.tick_params(labelsize=7)
            ax.grid(alpha=0.3)
            if axis == "y":
                ax.invert_yaxis()  # image rows grow downwards
    handles, labels = axes[0][0].get_legend_handles_labels()
    figure.legend(handles, labels, loc="lower center", ncol=min(len(labels), 3), fontsize=8)
    figure.suptitle("Closed loop: where each tracker pointed the view, and where the target was",
                    fontsize=10)
    figure.tight_layout(rect=(0, 0.07, 1, 0.97))
    figure.savefig(target, dpi=100)
    plt.close(figure)


if __name__ == "__main__":
    main()
