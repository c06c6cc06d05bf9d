#!/usr/bin/python3
"""Draws the accuracy benchmark's summary: mean success and time per update, per tracker.

    plot.py results.csv out.png
"""
import csv
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main():
    source, target = sys.argv[1:3]
    with open(source, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    # Rows that could not run (an engine not built) have no figures: no bar, a note instead.
    names = [r["tracker"] for r in rows][::-1]
    success = [float(r["success"] or "nan") for r in rows][::-1]
    times = [float(r["milliseconds"] or "nan") for r in rows][::-1]
    colours = ["tab:green" if n.startswith("zok") else "tab:grey" for n in names]

    figure, (left, right) = plt.subplots(1, 2, figsize=(11, 0.45 * len(names) + 1.4),
                                         sharey=True)
    left.barh(names, success, color=colours)
    left.axvline(0.97, color="tab:red", linestyle="--", linewidth=1)
    left.set_xlim(0, 1)
    left.set_xlabel("mean success (IoU > 0.5)")
    for y, value in enumerate(success):
        if math.isnan(value):
            left.text(0.01, y, "not built", va="center", fontsize=8)
        else:
            left.text(value + 0.01, y, f"{value:.3f}", va="center", fontsize=8)
    right.barh(names, times, color=colours)
    right.set_xscale("log")
    right.set_xlabel("time per update, ms (median, log scale)")
    for y, value in enumerate(times):
        if not math.isnan(value):
            right.text(value * 1.05, y, f"{value:.2f}", va="center", fontsize=8)
    figure.suptitle("zok and OpenCV's trackers on generated sequences with exact truth")
    figure.tight_layout()
    figure.savefig(target, dpi=110)


if __name__ == "__main__":
    main()
