#!/usr/bin/env python3
"""Follow one target through a video with zok's Python module: zok-track on the Python road.

    track_video.py INPUT (--box X,Y,W,H | --offset DX,DY --half HW,HH) [options]

INPUT is a video file, a camera index or a folder of numbered images. Writes the same CSV as
zok-track (frame, found, box, centre offset, scores) and can draw an annotated video. Like
zok-track, it starts from the recommended configuration (config/recommended.json) unless given
--config or --library-defaults. With --tracker dcf it follows the target with zok.TrackerDcf,
whose keyword arguments are the keys of the configuration file's "TrackerDcf" section, and the
scores column holds its confidence.
"""
import argparse
import csv
import json
import os
import re
import sys
import time

import cv2

import zok

# The constructor's positional parameters, in order, with the configuration file's keys.
PARAMETERS = [
    ("searchRadiusFactor", 4.0), ("threshold", 0.85), ("altSearchRadiiFactors", 0.0),
    ("sigmaExp", 5.0), ("cloneImage", False), ("depth", 1), ("zoomFactor", 1),
    ("mode1D", False), ("VarianceFilter/threshold", 0.0), ("VarianceFilter/kSize", 3),
    ("VarianceFilter/greyscale", False),
]
# The keyword-only parameters, with their defaults.
KEYWORDS = [("engine", "opencv"), ("zeroMean", False), ("updateThreshold", 0.0)]
# The keyword-only parameters that take None for the library's default.
OPTIONAL = [("redetectThreshold", float)]

# The tracker zok-track uses when not told.
DEFAULT_TRACKER = "dcf"
# The options about the run rather than a tracker's parameters, as argparse names them.
RUN_OPTIONS = {"input", "box", "offset", "half", "tracker", "config", "library_defaults",
               "start", "frames", "output", "annotate"}

HERE = os.path.dirname(os.path.abspath(__file__))
RECOMMENDED = [os.path.join(HERE, "..", "config", "recommended.json"),
               "/usr/local/share/zok/recommended.json", "/usr/share/zok/recommended.json"]


def integers(count):
    def parse(text):
        parts = text.split(",")
        if len(parts) != count:
            raise argparse.ArgumentTypeError(f"{count} comma-separated integers expected")
        return tuple(int(p) for p in parts)
    return parse


def recommended():
    for path in RECOMMENDED:
        if os.path.exists(path):
            return path
    raise OSError("the recommended configuration recommended.json is not installed")


def tracker_arguments(args):
    """The constructor's arguments, positional and keyword: defaults, then the configuration
    file (the recommended one unless told otherwise), then the flags."""
    values = dict(PARAMETERS + KEYWORDS + [(name, None) for name, _ in OPTIONAL])
    config = args.config or (None if args.library_defaults else recommended())
    if config:
        with open(config, encoding="utf-8") as f:
            section = json.load(f).get("TrackerCorr", {})
        for key, value in section.items():
            if key == "VarianceFilter":
                for inner, v in value.items():
                    values[f"VarianceFilter/{inner}"] = v
            elif key == "altSearchRadiiFactors":
                # The Python class takes one wider factor: the first.
                values[key] = float(value[0]) if value else 0.0
            elif key in values:
                values[key] = value
    flags = {"searchRadiusFactor": args.search_radius, "threshold": args.threshold,
             "altSearchRadiiFactors": args.alt_radius, "depth": args.depth,
             "zoomFactor": args.zoom, "mode1D": args.mode1d or None,
             "sigmaExp": args.sigma_exp, "VarianceFilter/threshold": args.variance,
             "engine": args.engine, "zeroMean": args.zero_mean,
             "updateThreshold": args.update_threshold,
             "redetectThreshold": args.redetect_threshold}
    values.update({k: v for k, v in flags.items() if v is not None})
    keywords = {name: type(default)(values[name]) for name, default in KEYWORDS}
    keywords.update({name: None if values[name] is None else kind(values[name])
                     for name, kind in OPTIONAL})
    return [type(default)(values[name]) for name, default in PARAMETERS], keywords


def dcf_arguments(args):
    """TrackerDcf's keyword arguments: the configuration file's "TrackerDcf" section, whose
    keys are the keywords, over the defaults (the recommended file's section, if it has one)."""
    config = args.config or (None if args.library_defaults else recommended())
    if not config:
        return {}
    with open(config, encoding="utf-8") as f:
        return json.load(f).get("TrackerDcf", {})


def frames(source):
    """Frames as BGR arrays from a folder of numbered images, a camera or a video file."""
    if os.path.isdir(source):
        def number(name):
            digits = re.findall(r"\d+", os.path.splitext(name)[0])
            return (int(digits[-1]) if digits else -1, name)
        names = sorted((n for n in os.listdir(source)
                        if n.lower().endswith((".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff"))),
                       key=number)
        for name in names:
            image = cv2.imread(os.path.join(source, name), cv2.IMREAD_COLOR)
            if image is None:
                raise OSError(f"cannot read image '{name}'")
            yield image
        return
    capture = cv2.VideoCapture(int(source) if source.isdigit() else source)
    if not capture.isOpened():
        raise OSError(f"cannot open '{source}'")
    while True:
        ok, image = capture.read()
        if not ok:
            return
        yield image


def centre_offset(box, image):
    x, y, w, h = box
    return x + w // 2 - image.shape[1] // 2, y + h // 2 - image.shape[0] // 2


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input")
    parser.add_argument("--box", type=integers(4))
    parser.add_argument("--offset", type=integers(2))
    parser.add_argument("--half", type=integers(2))
    parser.add_argument("--tracker", choices=["corr", "dcf"], default=DEFAULT_TRACKER)
    parser.add_argument("--config")
    parser.add_argument("--library-defaults", action="store_true")
    parser.add_argument("--engine", choices=["opencv", "fft", "auto"])
    parser.add_argument("--zero-mean", dest="zero_mean", action="store_true", default=None)
    parser.add_argument("--no-zero-mean", dest="zero_mean", action="store_false")
    parser.add_argument("--update-threshold", type=float)
    parser.add_argument("--redetect-threshold", type=float)
    parser.add_argument("--search-radius", type=float)
    parser.add_argument("--alt-radius", type=float)
    parser.add_argument("--threshold", type=float)
    parser.add_argument("--depth", type=int)
    parser.add_argument("--zoom", type=int)
    parser.add_argument("--mode1d", action="store_true")
    parser.add_argument("--sigma-exp", type=float)
    parser.add_argument("--variance", type=float)
    parser.add_argument("--start", type=int, default=0)
    parser.add_argument("--frames", type=int)
    parser.add_argument("--output", default="-")
    parser.add_argument("--annotate")
    args = parser.parse_args()
    if (args.box is None) == (args.offset is None) or (args.offset is None) != (args.half is None):
        parser.error("give the start as --box, or as --offset with --half")
    # Every option that is not about the run sets a parameter of the correlation tracker.
    corr_flags = [name for name, value in vars(args).items()
                  if name not in RUN_OPTIONS and value not in (None, False)]
    if args.tracker == "dcf" and corr_flags:
        parser.error("the correlation tracker's flags apply to --tracker corr only")

    if args.tracker == "dcf":
        tracker = zok.TrackerDcf(**dcf_arguments(args))
    else:
        positional, keywords = tracker_arguments(args)
        tracker = zok.PyTrackerCorr(*positional, **keywords)
    out = sys.stdout if args.output == "-" else open(args.output, "w", newline="")
    rows = csv.writer(out, lineterminator="\n")
    rows.writerow(["frame", "found", "x", "y", "width", "height", "dx", "dy", "scores"])
    writer = None
    found_count, updates, seconds = 0, 0, 0.0
    for index, image in enumerate(frames(args.input)):
        if index < args.start:
            continue
        if args.frames is not None and index >= args.start + args.frames:
            break
        if index == args.start:
            if args.box is None:
                (dx, dy), (hw, hh) = args.offset, args.half
                cx, cy = image.shape[1] // 2, image.shape[0] // 2
                args.box = (cx + dx - hw, cy + dy - hh, 2 * hw + 1, 2 * hh + 1)
            box, found, scores = tuple(args.box), True, ()
            tracker.init(image, box)
            if args.annotate:
                writer = cv2.VideoWriter(args.annotate, cv2.VideoWriter_fourcc(*"MJPG"), 25.0,
                                         (image.shape[1], image.shape[0]))
        else:
            started = time.perf_counter()
            if args.tracker == "dcf":
                found, box = tracker.update(image)
            else:
                found, box = tracker.update(image, box)
            seconds += time.perf_counter() - started
            updates += 1
            found_count += found
            scores = (tracker.confidence,) if args.tracker == "dcf" else tracker.matches()
        dx, dy = centre_offset(box, image)
        rows.writerow([index, int(found), *box, dx, dy, ";".join(f"{s:.6f}" for s in scores)])
        if writer is not None:
            cv2.rectangle(image, box[:2], (box[0] + box[2], box[1] + box[3]),
                          (0, 220, 0) if found else (0, 0, 255), 2)
            writer.write(image)
    if writer is not None:
        writer.release()
    if out is not sys.stdout:
        out.close()
    rate = updates / seconds if seconds > 0 else 0.0
    print(f"frames {updates + 1}, found {found_count} of {updates}, tracker {rate:.1f} frames "
          "per second", file=sys.stderr)


if __name__ == "__main__":
    main()
