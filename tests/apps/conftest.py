"""Inputs for the zok-track tests: generated scenes whose truth is known."""
import os
import pathlib

import cv2
import numpy as np
import pytest

FRAME_SIZE = (160, 120)  # width, height
TARGET = (24, 18)


def texture(rng, height, width):
    noise = rng.random((height, width, 3), dtype=np.float32)
    noise = cv2.GaussianBlur(noise, (0, 0), 1.2)
    noise = cv2.normalize(noise, None, 0, 255, cv2.NORM_MINMAX)
    return noise.astype(np.uint8)


class Scene:
    """A textured target moving over a textured background by whole pixels."""

    def __init__(self, frames=12, seed=4):
        rng = np.random.default_rng(seed)
        width, height = FRAME_SIZE
        self.background = texture(rng, height, width)
        self.target = texture(rng, TARGET[1], TARGET[0])
        self.path = [(60 + 3 * k, 50 + (k % 3)) for k in range(frames)]

    def frame(self, k):
        image = self.background.copy()
        x, y = self.path[k]
        image[y:y + TARGET[1], x:x + TARGET[0]] = self.target
        return image

    def box(self, k):
        x, y = self.path[k]
        return (x, y, TARGET[0], TARGET[1])


@pytest.fixture(scope="session")
def zok_track():
    path = os.environ.get("ZOK_TRACK")
    if not path:
        pytest.skip("ZOK_TRACK names the tool under test")
    return path


@pytest.fixture(scope="session")
def scene():
    return Scene()


@pytest.fixture(scope="session")
def image_folder(tmp_path_factory, scene):
    """frame1.png ... frame12.png: numeric order differs from the names' order."""
    folder = tmp_path_factory.mktemp("images")
    for k in range(len(scene.path)):
        cv2.imwrite(str(folder / f"frame{k + 1}.png"), scene.frame(k))
    (folder / "notes.txt").write_text("not an image\n")
    return folder


HIDDEN_FRAMES = {5, 6}  # frames of hidden_folder that show flat ground where the target was


@pytest.fixture(scope="session")
def hidden_folder(tmp_path_factory, scene):
    """The scene with the target and the ground around it painted flat grey in two frames."""
    folder = tmp_path_factory.mktemp("hidden")
    for k in range(len(scene.path)):
        image = scene.frame(k)
        if k in HIDDEN_FRAMES:
            image[20:100, 30:150] = 128
        cv2.imwrite(str(folder / f"frame{k:02d}.png"), image)
    return folder


@pytest.fixture(scope="session")
def video(tmp_path_factory, scene):
    path = tmp_path_factory.mktemp("video") / "scene.avi"
    writer = cv2.VideoWriter(str(path), cv2.VideoWriter_fourcc(*"MJPG"), 10.0, FRAME_SIZE)
    assert writer.isOpened()
    for k in range(len(scene.path)):
        writer.write(scene.frame(k))
    writer.release()
    return path


@pytest.fixture(scope="session")
def truncated_video(tmp_path_factory, video):
    """The same video cut short: its header still announces every frame."""
    path = tmp_path_factory.mktemp("truncated") / "cut.avi"
    data = pathlib.Path(video).read_bytes()
    path.write_bytes(data[: len(data) // 2])
    return path
