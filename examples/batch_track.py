#!/usr/bin/env python3
"""Track many videos at once on Dask: one task per video, each with a tracker of its own.

    batch_track.py JOBS [--output DIR] [--workers N | --scheduler ADDRESS] [--no-progress]

JOBS lists the videos and the target's box in each one's first frame, as CSV with the header
`path,x,y,width,height` or as JSON `[{"path": "a.mp4", "box": [x, y, width, height]}, ...]`;
relative paths are taken from the folder of JOBS. Without --scheduler the jobs run on a local
cluster of N worker processes (default: one per core) that listens on 127.0.0.1 only; with it,
on the cluster whose scheduler is at ADDRESS, whose workers must have zok and OpenCV and see the
videos at the same paths.

Writes DIR/<video name>.csv per video (frame, found, box, centre offset, scores: zok-track's
columns) and DIR/summary.csv, and prints the summary. A video that cannot be tracked is reported
in the summary and does not stop the others; the exit code is then 1 (2 for a bad job list).
"""
import argparse
import csv
import io
import json
import os
import sys
import tempfile
import time

SUMMARY_COLUMNS = ["job", "video", "status", "frames", "found", "seconds", "fps", "worker",
                   "output", "error"]


class JobError(ValueError):
    """A job list that cannot be read."""


def parse_box(box):
    """(x, y, width, height) from a list of 4 integers or integer strings with a positive width
    and height; None for anything else. A fractional coordinate is refused, not truncated."""
    if not isinstance(box, list) or len(box) != 4:
        return None
    if not all(isinstance(v, str) or type(v) is int for v in box):
        return None
    try:
        box = tuple(int(v) for v in box)
    except ValueError:
        return None
    return box if min(box[2:]) > 0 else None


def load_jobs(path):
    """[(video path, (x, y, width, height))] from a CSV or JSON job list."""
    base = os.path.dirname(os.path.abspath(path))
    try:
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
    except OSError as error:
        raise JobError(f"cannot read the job list: {error}") from None
    if path.lower().endswith(".json"):
        try:
            entries = [(f"entry {i + 1}", e["path"], e["box"]) for i, e in
                       enumerate(json.loads(text))]
        except (ValueError, TypeError, KeyError) as error:
            raise JobError(f"{path}: a list of {{\"path\", \"box\"}} objects expected ({error})")
    else:
        rows = csv.DictReader(io.StringIO(text))
        if rows.fieldnames != ["path", "x", "y", "width", "height"]:
            raise JobError(f"{path}: the header must be path,x,y,width,height")
        entries = [(f"line {i + 2}", row["path"], [row[k] for k in ("x", "y", "width", "height")])
                   for i, row in enumerate(rows)]
    jobs = []
    for where, video, box in entries:
        box = parse_box(box)
        if not isinstance(video, str) or not video or box is None:
            raise JobError(f"{path}, {where}: a path and a box of 4 integers with a positive "
                           "width and height expected")
        jobs.append((os.path.join(base, video), box))
    if not jobs:
        raise JobError(f"{path}: no jobs")
    return jobs


def follow(capture, video, box, tracker):
    """The frame loop of track(): the summary figures and the per-frame CSV text."""
    ok, image = capture.read() if capture.isOpened() else (False, None)
    if not ok:
        raise OSError(f"cannot read a frame from '{video}'")
    tracker.init(image, box)
    out = io.StringIO()
    rows = csv.writer(out, lineterminator="\n")
    rows.writerow(["frame", "found", "x", "y", "width", "height", "dx", "dy", "scores"])
    frame, found, scores, found_count, seconds = 0, True, (), 0, 0.0
    while True:
        dx = box[0] + box[2] // 2 - image.shape[1] // 2
        dy = box[1] + box[3] // 2 - image.shape[0] // 2
        rows.writerow([frame, int(found), *box, dx, dy, ";".join(f"{s:.6f}" for s in scores)])
        ok, image = capture.read()
        if not ok:
            break
        frame += 1
        started = time.perf_counter()
        found, box = tracker.update(image, box)
        seconds += time.perf_counter() - started
        found_count += found
        scores = tracker.matches()
    summary = {"frames": frame + 1, "found": found_count, "seconds": round(seconds, 4),
               "fps": round(frame / seconds, 1) if seconds > 0 else 0.0}
    return summary, out.getvalue()


def track(video, box):
    """Runs on a worker: tracks one video, returns its summary and its per-frame CSV text.
    Raises when the video cannot be read or the box does not fit its first frame."""
    import cv2
    import zok
    from distributed import get_worker

    capture = cv2.VideoCapture(video)
    try:
        summary, text = follow(capture, video, box, zok.PyTrackerCorr())
    finally:
        capture.release()
    try:
        worker = get_worker().address
    except ValueError:  # not on a worker: called directly
        worker = ""
    summary["worker"] = worker
    return summary, text


def output_names(jobs):
    """A distinct CSV name per job, from the video's file name."""
    names, used = [], set()
    for video, _ in jobs:
        stem = os.path.splitext(os.path.basename(video))[0] or "video"
        name, n = f"{stem}.csv", 1
        while name in used or name == "summary.csv":
            n += 1
            name = f"{stem}-{n}.csv"
        used.add(name)
        names.append(name)
    return names


def run(jobs, output, client, progress=True):
    """Submits one task per job and collects them as they finish. Returns the summary rows."""
    from distributed import as_completed
    from tqdm import tqdm

    os.makedirs(output, exist_ok=True)
    names = output_names(jobs)
    # pure=False: two jobs on the same video are two tasks, never merged.
    futures = [client.submit(track, video, box, pure=False) for video, box in jobs]
    index = {future.key: i for i, future in enumerate(futures)}
    summary = [None] * len(jobs)
    for future in tqdm(as_completed(futures), total=len(futures), unit="video", file=sys.stderr,
                       disable=None if progress else True):
        i = index[future.key]
        row = {"job": i + 1, "video": jobs[i][0], "status": "ok", "output": "", "error": ""}
        try:
            result, text = future.result()
        except Exception as error:  # a failed video is reported, the others go on
            row.update(status="failed", error=f"{type(error).__name__}: {error}")
        else:
            path = os.path.join(output, names[i])
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            row.update(result, output=path)
        summary[i] = row
        future.release()
    with open(os.path.join(output, "summary.csv"), "w", encoding="utf-8", newline="") as f:
        writer = csv.DictWriter(f, SUMMARY_COLUMNS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(summary)
    return summary


def print_summary(summary, file=sys.stdout):
    columns = ["job", "status", "frames", "found", "fps", "worker", "video"]
    table = [columns] + [[str(row.get(c, "")) for c in columns] for row in summary]
    widths = [max(len(line[k]) for line in table) for k in range(len(columns))]
    for line in table:
        print("  ".join(v.ljust(w) for v, w in zip(line, widths)).rstrip(), file=file)
    for row in summary:
        if row["status"] != "ok":
            print(f"job {row['job']} failed: {row['error']}", file=file)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("jobs", help="CSV (path,x,y,width,height) or JSON job list")
    parser.add_argument("--output", default="out/batch", help="folder for the CSV files")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)
    try:
        jobs = load_jobs(args.jobs)
    except JobError as error:
        print(f"batch_track: {error}", file=sys.stderr)
        return 2
    if args.workers < 1:
        parser.error("--workers must be at least 1")

    from distributed import Client, LocalCluster

    started = time.perf_counter()
    if args.scheduler:
        with Client(args.scheduler) as client:
            summary = run(jobs, args.output, client, not args.no_progress)
    else:
        # One thread per worker process: a tracker holds the interpreter while it searches.
        # The workers' scratch space goes with the run.
        with tempfile.TemporaryDirectory(prefix="zok-batch-") as scratch, \
                LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                             host="127.0.0.1", dashboard_address=None,
                             local_directory=scratch) as cluster, \
                Client(cluster) as client:
            print(f"local cluster at {cluster.scheduler_address}, {args.workers} workers",
                  file=sys.stderr)
            summary = run(jobs, args.output, client, not args.no_progress)
    print_summary(summary)
    failed = sum(row["status"] != "ok" for row in summary)
    print(f"{len(summary) - failed} of {len(summary)} videos tracked in "
          f"{time.perf_counter() - started:.1f} s; summary in "
          f"{os.path.join(args.output, 'summary.csv')}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
