"""examples/batch_track.py: many videos on a local Dask cluster, failures kept to their video."""

import csv
import importlib.util
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import cv2
import numpy as np
import psutil
import pytest

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "batch_track.py"
spec = importlib.util.spec_from_file_location("batch_track", SCRIPT)
batch_track = importlib.util.module_from_spec(spec)
spec.loader.exec_module(batch_track)


def write_video(path, frames, seed):
    """A textured 40x30 target walking 3 pixels right and 1 down per frame over a textured
    160x120 background. Returns the target's box in every frame."""
    rng = np.random.default_rng(seed)
    background = cv2.GaussianBlur(rng.integers(0, 256, (120, 160, 3), np.uint8), (0, 0), 1.5)
    target = cv2.GaussianBlur(rng.integers(0, 256, (30, 40, 3), np.uint8), (0, 0), 1.0)
    writer = cv2.VideoWriter(str(path), cv2.VideoWriter_fourcc(*"MJPG"), 25.0, (160, 120))
    boxes = []
    for i in range(frames):
        x, y = 20 + 3 * i, 30 + i
        image = background.copy()
        image[y:y + 30, x:x + 40] = target
        writer.write(image)
        boxes.append((x, y, 40, 30))
    writer.release()
    return boxes


def leftovers(session, wait=10.0):
    """The processes still in `session` once `wait` seconds have passed (or none are left)."""
    deadline = time.monotonic() + wait
    while True:
        left = []
        for process in psutil.process_iter(["pid", "cmdline"]):
            try:
                if os.getsid(process.pid) == session:
                    left.append(process.info)
            except OSError:
                pass
        if not left or time.monotonic() > deadline:
            return left
        time.sleep(0.2)


def read_csv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_three_videos_on_two_workers(tmp_path):
    truth = {"walk": write_video(tmp_path / "walk.avi", 12, seed=1),
             "short": write_video(tmp_path / "short.avi", 6, seed=2)}
    (tmp_path / "broken.avi").write_bytes(b"\x00not a video\x00" * 64)
    jobs = [{"path": "walk.avi", "box": list(truth["walk"][0])},
            {"path": "broken.avi", "box": [10, 10, 20, 20]},
            {"path": str(tmp_path / "short.avi"), "box": list(truth["short"][0])}]
    (tmp_path / "jobs.json").write_text(json.dumps(jobs))
    output = tmp_path / "out"

    # A session of its own, so that anything it leaves running can be found afterwards.
    process = subprocess.Popen([sys.executable, str(SCRIPT), str(tmp_path / "jobs.json"),
                                "--workers", "2", "--output", str(output), "--no-progress"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    try:
        stdout, stderr = process.communicate(timeout=120)
    finally:
        left = leftovers(process.pid)
        if left:
            os.killpg(process.pid, signal.SIGKILL)
    assert not left, left
    assert process.returncode == 1, stderr
    assert "local cluster at tcp://127.0.0.1:" in stderr
    assert "2 of 3 videos tracked" in stdout

    summary = read_csv(output / "summary.csv")
    assert [row["status"] for row in summary] == ["ok", "failed", "ok"]
    assert "broken.avi" in summary[1]["error"] and not summary[1]["output"]
    assert all(row["worker"].startswith("tcp://127.0.0.1:") for row in (summary[0], summary[2]))
    for row, name in ((summary[0], "walk"), (summary[2], "short")):
        assert row["output"] == str(output / f"{name}.csv")
        frames = read_csv(row["output"])
        assert int(row["frames"]) == len(frames) == len(truth[name])
        assert int(row["found"]) == len(frames) - 1
        for frame, box in zip(frames, truth[name]):
            found = tuple(int(frame[k]) for k in ("x", "y", "width", "height"))
            assert np.abs(np.subtract(found, box)).max() <= 1, (name, frame)
    assert sorted(p.name for p in output.iterdir()) == ["short.csv", "summary.csv", "walk.csv"]



BAD_JOB_LISTS = {
    "jobs.csv": [
        ("path,x,y,w,h\na.avi,1,2,3,4\n", "header must be path,x,y,width,height"),
        ("path,x,y,width,height\na.avi,1,2,3\n", "line 2: a path and a box of 4 integers"),
        ("path,x,y,width,height\na.avi,1,2,0,4\n", "line 2: a path and a box"),
        ("path,x,y,width,height\na.avi,1,2,3,4\n,1,2,3,4\n", "line 3: a path and a box"),
        ("path,x,y,width,height\n", "no jobs"),
    ],
    "jobs.json": [
        ('{"path": "a.avi", "box": [1, 2, 3, 4]}', "a list of"),
        ('[{"path": "a.avi"}]', "a list of"),
        ('[{"path": "a.avi", "box": [1, 2, 3, 4.5]}]', "entry 1: a path and a box"),
        ('[{"path": "a.avi", "box": [1, 2, true, 4]}]', "entry 1: a path and a box"),
        ('[{"path": "a.avi", "box": "1234"}]', "entry 1: a path and a box"),
        ('[{"path": 7, "box": [1, 2, 3, 4]}]', "entry 1: a path and a box"),
        ("[", "a list of"),
    ],
}


@pytest.mark.parametrize("name, text, message",
                         [(n, t, m) for n, cases in BAD_JOB_LISTS.items() for t, m in cases])
def test_bad_job_lists_stop_before_any_work(tmp_path, capsys, name, text, message):
    (tmp_path / name).write_text(text)
    with pytest.raises(batch_track.JobError, match=message):
        batch_track.load_jobs(str(tmp_path / name))
    assert batch_track.main([str(tmp_path / name), "--output", str(tmp_path / "out")]) == 2
    assert message in capsys.readouterr().err
    assert not (tmp_path / "out").exists()


def test_job_lists_resolve_paths_from_their_folder_and_names_stay_distinct(tmp_path):
    (tmp_path / "jobs.csv").write_text(
        "path,x,y,width,height\na.avi,1,2,3,4\nsub/a.avi,5,6,7,8\n/abs/summary.mp4,1,1,1,1\n")
    jobs = batch_track.load_jobs(str(tmp_path / "jobs.csv"))
    assert jobs == [(str(tmp_path / "a.avi"), (1, 2, 3, 4)),
                    (str(tmp_path / "sub" / "a.avi"), (5, 6, 7, 8)),
                    ("/abs/summary.mp4", (1, 1, 1, 1))]
    assert batch_track.output_names(jobs) == ["a.csv", "a-2.csv", "summary-2.csv"]
