#!/usr/bin/env python3
"""Steer by a GStreamer pipeline: zoktrack follows the target, this prints where it is.

    gst_track.py --box X,Y,W,H [--source "GST-LAUNCH SOURCE"] [--click FRAME:X,Y,W,H ...]

Builds SOURCE ! videoconvert ! zoktrack ! fakesink with PyGObject, reads zoktrack's message of
every frame from the bus and prints one CSV line per frame: frame, found, the centre offset
(x to the right, y downwards, in pixels from the frame's centre) and the confidence. The source
defaults to videotestsrc's moving ball; a camera works unchanged, e.g.
--source "v4l2src device=/dev/video0". Each --click hands the element a new box when the given
frame's result arrives, as a ground station's click would: posted through the element as an
application message, it is taken on the next frame the element starts.
"""
import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import GLib, Gst  # noqa: E402

DEFAULT_SOURCE = ("videotestsrc pattern=ball num-buffers=150 ! "
                  "video/x-raw,width=320,height=240,framerate=30/1")


def parse_click(text):
    frame, _, box = text.partition(":")
    if not frame.isdigit() or len(box.split(",")) != 4:
        raise argparse.ArgumentTypeError(f"'{text}': FRAME:X,Y,W,H is expected")
    return int(frame), box


def request_start(track, box):
    structure = Gst.Structure.new_empty("zoktrack-start")
    structure.set_value("box", box)
    track.post_message(Gst.Message.new_application(track, structure))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--box", required=True, help="the start box X,Y,W,H in pixels")
    parser.add_argument("--source", default=DEFAULT_SOURCE,
                        help="the source part of a gst-launch-1.0 line (default: %(default)s)")
    parser.add_argument("--click", type=parse_click, action="append", default=[],
                        metavar="FRAME:X,Y,W,H", help="restart on a new box after FRAME")
    args = parser.parse_args()

    Gst.init(None)
    try:
        pipeline = Gst.parse_launch(
            f"{args.source} ! videoconvert ! zoktrack name=track ! fakesink sync=false")
    except GLib.Error as error:
        print(f"gst_track.py: {error.message}", file=sys.stderr)
        return 1
    track = pipeline.get_by_name("track")
    track.set_property("box", args.box)
    # A value the element refuses leaves the property as it was, with a warning on the bus.
    if track.get_property("box") != args.box:
        print(f"gst_track.py: {refusal(pipeline.get_bus(), track)}", file=sys.stderr)
        return 1
    clicks = dict(args.click)

    pipeline.set_state(Gst.State.PLAYING)
    try:
        return follow(pipeline.get_bus(), track, clicks)
    finally:
        # Streaming threads stop before the pipeline goes, even when printing failed.
        pipeline.set_state(Gst.State.NULL)


def refusal(bus, track):
    """The text of the warning `track` posted when it refused a value."""
    while (message := bus.pop_filtered(Gst.MessageType.WARNING)) is not None:
        if message.src == track:
            return message.parse_warning()[0].message
    return "the element refused the box"


def follow(bus, track, clicks):
    print("frame,found,offset_x,offset_y,confidence", flush=True)
    types = (Gst.MessageType.ELEMENT | Gst.MessageType.ERROR | Gst.MessageType.WARNING |
             Gst.MessageType.EOS)
    while True:
        message = bus.timed_pop_filtered(Gst.CLOCK_TIME_NONE, types)
        if message.type == Gst.MessageType.EOS:
            return 0
        if message.type == Gst.MessageType.ERROR:
            error, _ = message.parse_error()
            print(f"gst_track.py: {error.message}", file=sys.stderr)
            return 1
        if message.type == Gst.MessageType.WARNING:
            # A refused start or click: the element goes on, and so does this.
            print(f"gst_track.py: warning: {message.parse_warning()[0].message}",
                  file=sys.stderr)
            continue
        result = message.get_structure()
        if result is None or result.get_name() != "zoktrack":
            continue
        frame = result.get_uint64("frame")[1]
        print(f"{frame},{int(result.get_boolean('found')[1])},"
              f"{result.get_int('offset-x')[1]},{result.get_int('offset-y')[1]},"
              f"{result.get_double('confidence')[1]:.4f}")
        if frame in clicks:
            request_start(track, clicks.pop(frame))


if __name__ == "__main__":
    sys.exit(main())
