#!/usr/bin/env python3
"""How Python threads with a zok.TrackerDcf each scale with the cores.

    PYTHONPATH=build/python bench/python_threads.py [--frames N] [--repeats R] [--threads T...]

Each thread follows its own generated target (a textured patch walking over textured ground,
640 x 480 colour, from a fixed seed) with a tracker of its own. For each thread count the
script times R runs of N updates per thread and reports the median wall time, the updates per
second over all threads, and the speed-up over one thread: with the interpreter lock released
during the native work, T threads on T free cores approach T times one thread's rate. A last
row has two threads sharing one tracker, which take turns under its lock. Frames are made
before the clock starts; the machine should be otherwise idle.
"""
import argparse
import os
import statistics
import threading
import time

import numpy as np

import zok


def texture(rng, height, width):
    noise = rng.random((height // 4 + 2, width // 4 + 2, 3)).astype(np.float32)
    big = np.kron(noise, np.ones((4, 4, 1), np.float32))[:height, :width]
    return (big * 255).astype(np.uint8)


def sequence(seed, frames, size=(480, 640), target=(48, 64)):
    rng = np.random.default_rng(seed)
    ground = texture(rng, *size)
    patch = texture(rng, *target)
    x, y = 280.0, 200.0
    images, start = [], None
    for k in range(frames):
        image = ground.copy()
        ix, iy = int(x), int(y)
        image[iy:iy + target[0], ix:ix + target[1]] = patch
        images.append(image)
        if start is None:
            start = (ix, iy, target[1], target[0])
        x = min(max(x + rng.uniform(-4, 4), 0), size[1] - target[1])
        y = min(max(y + rng.uniform(-4, 4), 0), size[0] - target[0])
    return images, start


def timed(runs):
    """Starts one thread per (tracker, frames, start) run together; the wall time of all."""
    barrier = threading.Barrier(len(runs) + 1)

    def work(tracker, images, start):
        tracker.init(images[0], start)
        barrier.wait()
        for image in images[1:]:
            tracker.update(image)

    threads = [threading.Thread(target=work, args=run) for run in runs]
    for thread in threads:
        thread.start()
    barrier.wait()
    began = time.perf_counter()
    for thread in threads:
        thread.join()
    return time.perf_counter() - began


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=150)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--threads", type=int, nargs="+",
                        default=sorted({1, 2, os.cpu_count() or 1}))
    args = parser.parse_args()
    sequences = [sequence(seed, args.frames) for seed in range(max(args.threads))]
    updates = args.frames - 1
    print(f"{os.cpu_count()} cores; {updates} updates per thread, median of {args.repeats}")
    print("threads  trackers  wall s   updates/s  speed-up")
    base = None
    for count in args.threads:
        wall = statistics.median(
            timed([(zok.TrackerDcf(), *sequences[i]) for i in range(count)])
            for _ in range(args.repeats))
        rate = count * updates / wall
        base = base or rate / count
        print(f"{count:7d}  {count:8d}  {wall:6.3f}  {rate:10.1f}  {rate / base:8.2f}")
    shared = zok.TrackerDcf()
    half = sequences[0][0][1::2], sequences[0][0][2::2]
    wall = statistics.median(
        timed([(shared, [sequences[0][0][0]] + list(part), sequences[0][1]) for part in half])
        for _ in range(args.repeats))
    rate = (len(half[0]) + len(half[1])) / wall
    print(f"{2:7d}  {1:8d}  {wall:6.3f}  {rate:10.1f}  {rate / base:8.2f}  (one shared tracker)")


if __name__ == "__main__":
    main()
