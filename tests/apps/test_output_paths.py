"""zok-track's output paths that name something other than a plain file: a FIFO gets the output
written into it, a symbolic link keeps pointing at the file it named (which gets the output), a
device is written into and stays a device, and nothing else is replaced."""
import os
import stat
import threading

import cv2
import pytest

from test_zok_track import run

FLAGS = {"--output": "track.csv", "--annotate": "track.avi"}


@pytest.fixture
def reference(zok_track, image_folder, scene, tmp_path_factory):
    """The results and annotated video of a run into plain new files."""
    folder = tmp_path_factory.mktemp("reference")
    result = run(zok_track, image_folder, *box_args(scene), "--output", folder / "track.csv",
                 "--annotate", folder / "track.avi")
    assert result.returncode == 0, result.stderr
    return {"--output": (folder / "track.csv").read_bytes(),
            "--annotate": (folder / "track.avi").read_bytes()}


def box_args(scene):
    return ["--box", ",".join(map(str, scene.box(0)))]


def frames_in(data, folder):
    path = folder / "check.avi"
    path.write_bytes(data)
    capture = cv2.VideoCapture(str(path))
    frames = 0
    while capture.read()[0]:
        frames += 1
    return frames


def check_output(flag, data, reference, tmp_path):
    if flag == "--output":
        assert data == reference[flag]
    else:
        assert frames_in(data, tmp_path) == 12


@pytest.mark.parametrize("flag", FLAGS)
def test_a_fifo_gets_the_output_written_into_it(zok_track, image_folder, scene, tmp_path,
                                                reference, flag):
    fifo = tmp_path / FLAGS[flag]
    os.mkfifo(fifo)
    received = []
    # A daemon: a tool that never opens the FIFO leaves the reader waiting for good.
    reader = threading.Thread(target=lambda: received.append(fifo.read_bytes()), daemon=True)
    reader.start()
    result = run(zok_track, image_folder, *box_args(scene), flag, fifo)
    reader.join(timeout=30)
    assert result.returncode == 0, result.stderr
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode), "the FIFO stays a FIFO"
    assert received and received[0], "the reader got the output"
    if flag == "--output":
        assert received[0] == reference[flag]
    else:
        # Written as a stream, the video may lack what a file's writer goes back to fill in.
        assert received[0].startswith(b"RIFF")
    assert os.listdir(tmp_path) == [fifo.name]


@pytest.mark.parametrize("flag", FLAGS)
@pytest.mark.parametrize("relative", [False, True])
@pytest.mark.parametrize("target_exists", [True, False])
def test_a_link_keeps_naming_its_file_which_gets_the_output(
        zok_track, image_folder, scene, tmp_path, reference, flag, relative, target_exists):
    links, files = tmp_path / "links", tmp_path / "files"
    links.mkdir()
    files.mkdir()
    target = files / ("target" + os.path.splitext(FLAGS[flag])[1])
    if target_exists:
        target.write_bytes(b"old")
        target.chmod(0o640)
    link = links / FLAGS[flag]
    pointed = os.path.relpath(target, links) if relative else str(target)
    os.symlink(pointed, link)
    result = run(zok_track, image_folder, *box_args(scene), flag, link)
    assert result.returncode == 0, result.stderr
    assert os.readlink(link) == pointed, "the link stays as it was"
    check_output(flag, target.read_bytes(), reference, tmp_path)
    if target_exists:
        assert stat.S_IMODE(target.stat().st_mode) == 0o640, "the file keeps its permissions"
    assert os.listdir(links) == [link.name] and os.listdir(files) == [target.name]


@pytest.mark.parametrize("flag", FLAGS)
def test_a_device_is_written_into_and_stays_a_device(zok_track, image_folder, scene, tmp_path,
                                                     flag):
    # The annotated video's name must end in .avi or .mp4, which /dev/null's does not.
    name = "null" + os.path.splitext(FLAGS[flag])[1]
    device = tmp_path / name
    if os.geteuid() == 0:
        # As root a faulty tool could replace the machine's /dev/null: use a null device of the
        # test's own.
        os.mknod(device, stat.S_IFCHR | 0o666, os.makedev(1, 3))
    elif flag == "--output":
        device = "/dev/null"
    else:
        os.symlink("/dev/null", device)
    result = run(zok_track, image_folder, *box_args(scene), flag, device)
    assert result.returncode == 0, result.stderr
    assert stat.S_ISCHR(os.stat(device).st_mode)
    assert os.listdir(tmp_path) == ([] if device == "/dev/null" else [name])


@pytest.mark.parametrize("flag", FLAGS)
def test_a_folder_is_refused_and_left_alone(zok_track, image_folder, scene, tmp_path, flag):
    folder = tmp_path / FLAGS[flag]
    folder.mkdir()
    result = run(zok_track, image_folder, *box_args(scene), flag, folder)
    assert result.returncode == 7
    assert f"cannot write '{folder}': it is a folder" in result.stderr
    assert folder.is_dir() and os.listdir(folder) == []
    assert os.listdir(tmp_path) == [folder.name]
