"""The plugin as users meet it: gst-launch-1.0 finding it through GST_PLUGIN_PATH, and the
PyGObject and command-line examples. The environment names the build's plugin folder
(GST_PLUGIN_PATH), a registry of the tests' own, and the examples' paths (ZOK_GST_EXAMPLE,
ZOK_GST_LAUNCH_EXAMPLE)."""
import os
import re
import subprocess
import sys

import numpy as np
import pytest

SIZE = (320, 240)
BALL = (f"videotestsrc pattern=ball num-buffers={{frames}} ! "
        f"video/x-raw,width={SIZE[0]},height={SIZE[1]},framerate=30/1")
REPORT = re.compile(r"zoktrack, frame=\(guint64\)(\d+), .*found=\(boolean\)(\w+), "
                    r"started=\(boolean\)(\w+), x=\(int\)(-?\d+), y=\(int\)(-?\d+)")


def launch(*pipeline, timeout=120):
    command = ["gst-launch-1.0", "-m"] + " ".join(pipeline).split()
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout)


@pytest.fixture(scope="module")
def first_ball(tmp_path_factory):
    """The ball's box in the first frame, from its bright pixels, a margin wider."""
    path = tmp_path_factory.mktemp("ball") / "frame.gray"
    done = launch(BALL.format(frames=1), "! videoconvert ! video/x-raw,format=GRAY8 !",
                  f"filesink location={path}")
    assert done.returncode == 0, done.stderr
    frame = np.fromfile(path, np.uint8).reshape(SIZE[1], SIZE[0])
    ys, xs = np.nonzero(frame > 127)
    return (xs.min() - 4, ys.min() - 4, xs.max() - xs.min() + 9, ys.max() - ys.min() + 9)


@pytest.mark.parametrize("format_", ["BGR", "BGRx", "GRAY8"])
def test_one_message_per_frame_on_the_ball(first_ball, format_):
    box = ",".join(map(str, first_ball))
    done = launch(BALL.format(frames=30), f"! videoconvert ! video/x-raw,format={format_} !",
                  f"zoktrack box={box} ! fakesink")
    assert done.returncode == 0, done.stdout + done.stderr
    reports = REPORT.findall(done.stdout)
    assert [int(r[0]) for r in reports] == list(range(30))
    assert all(r[1] == "true" for r in reports), reports
    assert [r[2] for r in reports] == ["true"] + ["false"] * 29
    assert (int(reports[0][3]), int(reports[0][4])) == first_ball[:2]
    x, y = int(reports[-1][3]), int(reports[-1][4])
    assert abs(x - first_ball[0]) + abs(y - first_ball[1]) > 40, "the ball moves, and the box too"


@pytest.mark.parametrize("properties, message", [
    ("box=1,2", "invalid value for box: '1,2'"),
    ("box=1,2,-3,4", "invalid value for box: '1,2,-3,4'"),
    ("config=/nonexistent/zok.json", "configuration file '/nonexistent/zok.json' was refused"),
])
def test_refused_value_warns_and_the_stream_runs_on(first_ball, properties, message):
    box = ",".join(map(str, first_ball))
    done = launch(BALL.format(frames=5), f"! videoconvert ! zoktrack box={box} {properties} !",
                  "fakesink")
    assert done.returncode == 0, done.stdout + done.stderr
    warnings = [line for line in done.stdout.splitlines() if line.startswith("WARNING:")]
    assert len(warnings) == 1 and message in warnings[0], done.stdout
    assert "ERROR" not in done.stdout + done.stderr
    reports = REPORT.findall(done.stdout)
    assert [int(r[0]) for r in reports] == list(range(5)), "the box set before is tracked"
    assert (int(reports[0][3]), int(reports[0][4])) == first_ball[:2]


def inspect_field(text, name):
    match = re.search(rf"^\s*{name}\s+(.*?)\s*$", text, re.MULTILINE)
    assert match, f"no {name} in:\n{text}"
    return match.group(1)


def test_plugin_registers_its_licence_and_origin():
    env = dict(os.environ, GST_DEBUG="GST_PLUGIN_LOADING:3", GST_DEBUG_NO_COLOR="1")
    done = subprocess.run(["gst-inspect-1.0", "zok"], capture_output=True, text=True, env=env,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    # A binary with FFTW (GPL-2.0-or-later) in it is under the GPL as a whole; zok alone is
    # Apache-2.0. Both are names GStreamer knows, so it warns of no unknown licence.
    licence = "GPL" if os.environ.get("ZOK_WITH_FFTW") == "1" else "Apache 2.0"
    assert inspect_field(done.stdout, "License") == licence
    assert "license" not in done.stderr.lower(), done.stderr
    assert inspect_field(done.stdout, "Origin URL") == os.environ["ZOK_PACKAGE_ORIGIN"]
    element = subprocess.run(["gst-inspect-1.0", "zoktrack"], capture_output=True, text=True,
                             timeout=60)
    assert inspect_field(element.stdout, "Author") == os.environ["ZOK_PACKAGE_MAINTAINER"]


def test_caps_it_cannot_take():
    done = launch(BALL.format(frames=5), "! videoconvert ! video/x-raw,format=RGB ! zoktrack !",
                  "fakesink")
    assert done.returncode != 0
    assert "zoktrack0 can't handle caps video/x-raw, format=(string)RGB" in done.stderr + \
        done.stdout


@pytest.mark.skipif("ZOK_GST_EXAMPLE" not in os.environ, reason="the example is not run here")
def test_python_example_prints_offsets_and_takes_a_click(first_ball):
    box = ",".join(map(str, first_ball))
    done = subprocess.run(
        [sys.executable, os.environ["ZOK_GST_EXAMPLE"], "--box", box, "--source",
         BALL.format(frames=40), "--click", "10:135,95,31,31"],
        capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == "frame,found,offset_x,offset_y,confidence"
    rows = [line.split(",") for line in lines[1:]]
    assert [int(r[0]) for r in rows] == list(range(40))
    offsets = [(int(r[2]), int(r[3])) for r in rows]
    centre = (first_ball[0] + first_ball[2] // 2 - SIZE[0] // 2,
              first_ball[1] + first_ball[3] // 2 - SIZE[1] // 2)
    assert offsets[0] == centre
    # The click's box, centred 10 pixels left of and above the frame's centre, is taken on a
    # frame after the one it answered.
    assert (-10, -10) in offsets[11:]
    assert (-10, -10) not in offsets[:11]


def test_example_reports_a_refused_box():
    example = os.environ.get("ZOK_GST_EXAMPLE")
    if example is None:
        pytest.skip("the example is not run here")
    done = subprocess.run([sys.executable, example, "--box", "1,2", "--source",
                           BALL.format(frames=5)], capture_output=True, text=True, timeout=120)
    assert done.returncode == 1
    assert "invalid value for box: '1,2'" in done.stderr
    assert done.stdout == ""


def test_launch_example_passes_a_refusal_on(first_ball):
    example = os.environ.get("ZOK_GST_LAUNCH_EXAMPLE")
    if example is None:
        pytest.skip("the example is not run here")
    done = subprocess.run([example, "1,2", BALL.format(frames=5)], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "frame found offset_x offset_y\n"
    assert "invalid value for box: '1,2'" in done.stderr


def test_launch_example_prints_offsets(first_ball):
    example = os.environ.get("ZOK_GST_LAUNCH_EXAMPLE")
    if example is None:
        pytest.skip("the example is not run here")
    box = ",".join(map(str, first_ball))
    done = subprocess.run([example, box, BALL.format(frames=20)], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == "frame found offset_x offset_y"
    rows = [line.split() for line in lines[1:]]
    assert [int(r[0]) for r in rows] == list(range(20))
    assert all(r[1] == "true" for r in rows)
    centre = (first_ball[0] + first_ball[2] // 2 - SIZE[0] // 2,
              first_ball[1] + first_ball[3] // 2 - SIZE[1] // 2)
    assert (int(rows[0][2]), int(rows[0][3])) == centre
