"""A track through generated numpy frames, held frame by frame against the native road."""

import os
import subprocess

import numpy as np
import pytest

import zok
from conftest import Scene


def single(value):
    """A value as the Python module hands it on: rounded to single precision, then widened."""
    return repr(float(np.float32(value)))


CONFIGURATIONS = {
    "defaults": (1, (), {"threshold": single(0.85), "cloneImage": "0"}),
    # The keyword-only arguments; updateThreshold keeps double precision.
    "zero mean, update level": (
        3, (4.0, 0.6, 8.0, 5.0, False, 1, 4),
        {"searchRadiusFactor": "4", "threshold": single(0.6), "altSearchRadiiFactors": "8",
         "cloneImage": "0", "zoomFactor": "4", "zeroMean": "1", "updateThreshold": "0.9"},
        {"zeroMean": True, "updateThreshold": 0.9}),
    "zoom, wider retry, weighting": (
        1, (2.0, 0.9, 3.0, 2.0, False, 1, 4),
        {"searchRadiusFactor": "2", "threshold": single(0.9), "altSearchRadiiFactors": "3",
         "sigmaExp": "2", "cloneImage": "0", "zoomFactor": "4"}),
    "per axis, deeper history": (
        1, (4.0, 0.8, 0.0, 5.0, True, 3, 1, True),
        {"threshold": single(0.8), "cloneImage": "1", "depth": "3", "mode1D": "1"}),
    "texture filter on colour": (
        3, (4.0, 0.85, 0.0, 5.0, False, 1, 2, False, 2000.0, 5, True),
        {"threshold": single(0.85), "cloneImage": "0", "zoomFactor": "2",
         "varianceFilter.threshold": "2000", "varianceFilter.kSize": "5",
         "varianceFilter.greyscale": "1"}),
}
HIDDEN = {12, 13, 25}  # frames without the target


@pytest.mark.parametrize("name", CONFIGURATIONS)
def test_python_and_native_tracks_agree(tmp_path, name):
    channels, arguments, fields, *keywords = CONFIGURATIONS[name]
    scene = Scene(seed=7, channels=channels)
    path = scene.walk(30)
    # Then a jump of 90 pixels, beyond a search window of twice the template's width.
    x, y = path[-1]
    path += scene.walk(10, start=(x + 90 if x < 140 else x - 90, y))
    frames = [scene.frame(x, y, visible=i not in HIDDEN) for i, (x, y) in enumerate(path)]

    tracker = zok.PyTrackerCorr(*arguments, **(keywords[0] if keywords else {}))
    box = scene.box(*path[0])
    assert tracker.init(frames[0], box)
    python = []
    for frame in frames[1:]:
        found, box = tracker.update(frame, box)
        python.append((found, box, tuple(tracker.matches())))

    stored = tmp_path / "frames.raw"
    stored.write_bytes(b"".join(frame.tobytes() for frame in frames))
    command = [os.environ["ZOK_REPLAY"], str(stored), str(len(frames)), "240", "320",
               str(channels), *map(str, scene.box(*path[0]))]
    command += ["%s=%s" % field for field in fields.items()]
    lines = subprocess.run(command, capture_output=True, text=True, check=True).stdout.split("\n")
    native = []
    for line in lines[:-1]:
        values = line.split()
        native.append((values[0] == "1", tuple(int(v) for v in values[1:5]),
                       tuple(float(v) for v in values[5:])))

    assert python == native
    # A track worth comparing: the target found on the frames that show it, lost on the others.
    found = [i + 1 for i, result in enumerate(python) if result[0]]
    assert len(found) >= len(frames) - 1 - len(HIDDEN) - 3
    assert not HIDDEN & set(found)
