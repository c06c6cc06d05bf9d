#!/usr/bin/env bash
# Steering offsets from the command line alone: gst-launch-1.0 runs the pipeline and prints
# zoktrack's message of every frame, and sed keeps frame, found and the centre offset of each.
#   gst_launch_track.sh X,Y,W,H [SOURCE]
# SOURCE is the source part of a gst-launch-1.0 line, by default videotestsrc's moving ball; a
# camera works unchanged: gst_launch_track.sh 300,200,40,40 v4l2src device=/dev/video0
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 X,Y,W,H [SOURCE]" >&2; exit 2; }
box=$1
shift
source=${*:-videotestsrc pattern=ball num-buffers=300 ! video/x-raw,width=320,height=240}
echo "frame found offset_x offset_y"
# The source is split into words on purpose: it is a pipeline description. gst-launch-1.0 prints
# warnings (a refused box among them) and errors with the messages; they go on to stderr.
# shellcheck disable=SC2086
gst-launch-1.0 -m $source ! videoconvert ! zoktrack box="$box" ! fakesink sync=false |
    sed -nE -e '/^(WARNING|ERROR): /w /dev/stderr' -e 's/.*zoktrack, frame=\(guint64\)([0-9]+), .*found=\(boolean\)([a-z]+), .*offset-x=\(int\)(-?[0-9]+), offset-y=\(int\)(-?[0-9]+), .*/\1 \2 \3 \4/p'
