"""Helpers shared by the Python tests: subprocess runs and generated scenes."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest


def run_python(code, **env):
    """Runs `code` in a fresh interpreter: for what could crash, and for what needs a clean
    process (output at exit, import failures)."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=120, env=dict(os.environ, **env))


def texture(rng, height, width, channels=1):
    """Blobs a few pixels across, black and white: sharp correlation peaks, and scores near 0.5
    where the target is not."""
    noise = rng.random((height + 2, width + 2, channels))
    sums = np.pad(noise.cumsum(0).cumsum(1), ((1, 0), (1, 0), (0, 0)))
    blurred = sums[3:, 3:] - sums[:-3, 3:] - sums[3:, :-3] + sums[:-3, :-3]
    image = np.where(blurred > np.median(blurred), 255, 0).astype(np.uint8)
    return image[:, :, 0] if channels == 1 else image


class Scene:
    """A textured target over a textured background, 320x240, drawn from a fixed seed."""

    def __init__(self, seed=1, channels=1, target=(40, 30)):
        rng = np.random.default_rng(seed)
        self.background = texture(rng, 240, 320, channels)
        self.target = texture(rng, target[1], target[0], channels)
        self.rng = rng

    def frame(self, x, y, visible=True):
        image = self.background.copy()
        if visible:
            height, width = self.target.shape[:2]
            image[y:y + height, x:x + width] = self.target
        return image

    def box(self, x, y):
        return (x, y, self.target.shape[1], self.target.shape[0])

    def walk(self, count, start=(140, 100), step=6):
        """`count` positions, each a random step of at most `step` pixels from the last."""
        position = np.array(start)
        limits = np.array([320 - self.target.shape[1], 240 - self.target.shape[0]])
        path = []
        for _ in range(count):
            path.append(tuple(int(v) for v in position))
            position = np.clip(position + self.rng.integers(-step, step + 1, 2), 0, limits)
        return path


@pytest.fixture
def scene():
    return Scene()
