#!/usr/bin/python3
"""Draws the real-footage benchmark's plots from the files zok_accuracy_real writes.

    plot_real.py curves.csv timings.csv out-dir

out-dir receives accuracy-success.png and accuracy-precision.png (the mean curves per
tracker, the legend ranked by the figure the tables give) and update-time-by-size.png (the
median update time against the pixels of the box the tracker started the update from).
"""
import csv
import math
import os
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# Boxes are binned by area in steps of a quarter of a decade; a bin with fewer updates than
# this is left out, so that a handful of frames never draws a point.
BINS_PER_DECADE = 4
MIN_UPDATES = 20


COLOURS = {}


def style(name):
    """zok's rows in solid lines, the peers dashed, so that ours stand out at a glance; each
    tracker keeps its colour (given in table order) in every plot."""
    palette = plt.get_cmap("tab10").colors + plt.get_cmap("Dark2").colors
    colour = COLOURS.setdefault(name, palette[len(COLOURS) % len(palette)])
    return {"linestyle": "-" if name.startswith("zok") else "--", "color": colour}


def read_curves(path):
    curves = defaultdict(lambda: defaultdict(list))
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            style(row["tracker"])
            curves[row["curve"]][row["tracker"]].append(
                (float(row["threshold"]), float(row["value"])))
    return curves


def finish(figure, axes, target, **legend):
    """The legend beside the axes, where it hides no line."""
    axes.legend(fontsize=8, title_fontsize=8, loc="upper left", bbox_to_anchor=(1.02, 1),
                borderaxespad=0, **legend)
    figure.tight_layout()
    figure.savefig(target, dpi=110)
    plt.close(figure)


def plot_curves(curves, kind, score, label, xlabel, title, target):
    figure, axes = plt.subplots(figsize=(10.5, 5.2))
    ranked = sorted(curves[kind].items(), key=lambda item: -score(item[1]))
    for name, points in ranked:
        xs, ys = zip(*points)
        axes.plot(xs, ys, linewidth=1.6, label=f"[{score(points):.3f}] {name}", **style(name))
    axes.set_xlabel(xlabel)
    axes.set_ylabel("share of annotated frames")
    axes.set_ylim(0, 1)
    axes.set_xlim(min(xs), max(xs))
    axes.grid(alpha=0.3)
    axes.set_title(title)
    finish(figure, axes, target, title=label)


def plot_timings(path, target):
    samples = defaultdict(lambda: defaultdict(list))
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            area = float(row["area"])
            if area > 0:
                bin_ = math.floor(math.log10(area) * BINS_PER_DECADE)
                samples[row["tracker"]][bin_].append(float(row["ms"]))
    figure, axes = plt.subplots(figsize=(10.5, 5.2))
    for name in COLOURS:
        if name not in samples:
            continue
        points = []
        for bin_, times in sorted(samples[name].items()):
            if len(times) >= MIN_UPDATES:
                times.sort()
                centre = 10 ** ((bin_ + 0.5) / BINS_PER_DECADE)
                points.append((centre, times[len(times) // 2]))
        if points:
            xs, ys = zip(*points)
            axes.plot(xs, ys, marker="o", markersize=3, linewidth=1.4, label=name, **style(name))
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("target size: pixels of the box at the start of the update")
    axes.set_ylabel("update time, ms (median per size bin, log scale)")
    axes.grid(alpha=0.3, which="both")
    axes.set_title("Update time against target size, real footage, one thread")
    finish(figure, axes, target)


def main():
    curves_csv, timings_csv, out = sys.argv[1:4]
    curves = read_curves(curves_csv)
    plot_curves(curves, "success", lambda p: sum(v for _, v in p) / len(p), "success AUC",
                "overlap threshold (IoU)", "Success plot, one-pass evaluation",
                os.path.join(out, "accuracy-success.png"))
    plot_curves(curves, "precision", lambda p: dict(p)[20.0], "precision at 20 px",
                "centre error threshold (px)", "Precision plot, one-pass evaluation",
                os.path.join(out, "accuracy-precision.png"))
    plot_timings(timings_csv, os.path.join(out, "update-time-by-size.png"))


if __name__ == "__main__":
    main()
