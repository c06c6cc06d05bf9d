#!/usr/bin/python3
"""Plots zok_engine_bench's JSON output and prints its medians as a Markdown table.

    build/bench/zok_engine_bench --benchmark_repetitions=9 \\
        --benchmark_enable_random_interleaving=true \\
        --benchmark_out=engine.json --benchmark_out_format=json
    bench/plot_engine_speed.py engine.json docs/images/engine-speed.png
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

SCALE_TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def medians(path):
    """run name -> the median aggregate entry."""
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    return {
        b["run_name"]: b
        for b in report["benchmarks"]
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"
    }


def cpu_ms(entry):
    return entry["cpu_time"] * SCALE_TO_MS[entry["time_unit"]]


def table(runs):
    lines = ["| case | OpenCV engine (ms) | FFT engine (ms) | FFT / OpenCV |", "|---|---|---|---|"]
    scenarios = sorted({name.split("/")[1] for name in runs if name.startswith("update/")})
    for scenario in scenarios:
        opencv = runs.get(f"update/{scenario}/opencv")
        fft = runs.get(f"update/{scenario}/fft")
        if opencv is None or fft is None:
            continue
        lines.append(f"| {scenario} | {cpu_ms(opencv):.2f} | {cpu_ms(fft):.2f} | "
                     f"{cpu_ms(fft) / cpu_ms(opencv):.2f} |")
    for name in ("kcf", "medianflow"):
        entry = runs.get(f"update/640x480_bgr/{name}")
        if entry is not None:
            lines.append(f"| 640x480_bgr, OpenCV {name} | {cpu_ms(entry):.2f} | | |")
    for name, entry in sorted(runs.items()):
        if name.startswith("throughput/"):
            lines.append(f"| {name} | {entry['updates_per_s']:.0f} updates/s | | |")
    for name, entry in sorted(runs.items()):
        if name.startswith(("first_frame/", "correlate/")):
            lines.append(f"| {name} | {cpu_ms(entry):.2f} | | |")
    return "\n".join(lines)


def plot(runs, out):
    scenarios = [name.split("/")[1] for name in runs
                 if name.startswith("update/") and name.endswith("/opencv")]
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.2),
                                      gridspec_kw={"width_ratios": [3, 2]})
    width = 0.38
    for i, scenario in enumerate(scenarios):
        for offset, engine, colour in ((-width / 2, "opencv", "#9aa5b1"),
                                       (width / 2, "fft", "#2f6fb2")):
            entry = runs.get(f"update/{scenario}/{engine}")
            if entry is None:
                continue
            value = cpu_ms(entry)
            left.bar(i + offset, value, width, color=colour,
                     label=("OpenCV engine" if engine == "opencv" else "FFT engine")
                     if i == 0 else None)
            left.text(i + offset, value, f"{value:.1f}", ha="center", va="bottom", fontsize=8)
    for j, (name, colour) in enumerate((("kcf", "#c9822b"), ("medianflow", "#6b9e3a"))):
        entry = runs.get(f"update/640x480_bgr/{name}")
        if entry is not None:
            x = len(scenarios) + j * width * 1.2
            left.bar(x, cpu_ms(entry), width, color=colour,
                     label="OpenCV KCF" if name == "kcf" else "OpenCV MedianFlow")
            left.text(x, cpu_ms(entry), f"{cpu_ms(entry):.1f}", ha="center", va="bottom",
                      fontsize=8)
    left.set_xticks(list(range(len(scenarios))) + [len(scenarios) + width * 0.6])
    left.set_xticklabels([s.replace("_", "\n") for s in scenarios] + ["640x480\nbgr"], fontsize=8)
    left.set_ylabel("CPU time per update, ms (median)")
    left.set_title("One update, one thread")
    left.legend(fontsize=8)

    order = ("opencv", "fft", "kcf", "medianflow")
    labels_of = {"opencv": "zok, OpenCV\nengine", "fft": "zok, FFT\nengine",
                 "kcf": "OpenCV\nKCF", "medianflow": "OpenCV\nMedianFlow"}
    names = sorted((n for n in runs if n.startswith("throughput/")),
                   key=lambda n: order.index(n.split("/")[2]))
    labels = [labels_of[n.split("/")[2]] for n in names]
    values = [runs[n]["updates_per_s"] for n in names]
    right.bar(range(len(names)), values, color="#2f6fb2")
    for k, v in enumerate(values):
        right.text(k, v, f"{v:.0f}", ha="center", va="bottom", fontsize=8)
    right.set_xticks(range(len(names)))
    right.set_xticklabels(labels, fontsize=8)
    right.set_ylabel("updates per second")
    right.set_title("8 streams of 640x480 BGR on 2 threads")
    fig.tight_layout()
    fig.savefig(out, dpi=110)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    runs = medians(sys.argv[1])
    print(table(runs))
    plot(runs, sys.argv[2])


if __name__ == "__main__":
    main()
