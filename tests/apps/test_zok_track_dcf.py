"""zok-track with the learned tracker, and the choice of tracker."""
import json
import os
import re
import subprocess
import sys

import cv2
import pytest

from conftest import HIDDEN_FRAMES
from test_zok_track import RECOMMENDED, box_of, csv_rows


def run(tool, *args):
    return subprocess.run([tool, *map(str, args)], capture_output=True, text=True, timeout=120)


def near(got, want, slack=1):
    return all(abs(g - w) <= slack for g, w in zip(got, want))


def start(scene):
    return ["--box", ",".join(map(str, scene.box(0)))]


def test_dcf_follows_the_truth_and_reports_its_confidence(zok_track, image_folder, scene):
    result = run(zok_track, image_folder, *start(scene), "--tracker", "dcf")
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    assert [int(r["frame"]) for r in rows] == list(range(len(scene.path)))
    assert all(r["found"] == "1" for r in rows)
    for k, row in enumerate(rows):
        assert near(box_of(row), scene.box(k)), (k, box_of(row))
    # The columns stay; one score, the confidence, on every frame after the first.
    assert list(rows[0]) == ["frame", "found", "x", "y", "width", "height", "dx", "dy", "scores"]
    assert rows[0]["scores"] == ""
    assert all(0.3 < float(r["scores"]) < 10 for r in rows[1:])
    assert "frames 12, found 11 of 11, lost runs 0" in result.stderr


def test_dcf_reports_a_hidden_target_lost_and_finds_it_again(zok_track, hidden_folder, scene):
    result = run(zok_track, hidden_folder, *start(scene), "--tracker", "dcf", "--format",
                 "jsonl")
    assert result.returncode == 0, result.stderr
    lines = [json.loads(line) for line in result.stdout.splitlines()]
    assert all(len(line["scores"]) == 1 for line in lines[1:])
    last_seen = min(HIDDEN_FRAMES) - 1
    for k in sorted(HIDDEN_FRAMES):
        # Lost, with the last box found and its offset kept.
        assert lines[k]["found"] is False
        assert lines[k]["box"] == lines[last_seen]["box"]
        assert lines[k]["offset"] == lines[last_seen]["offset"]
        assert lines[k]["scores"][0] < lines[last_seen]["scores"][0]
    back = max(HIDDEN_FRAMES) + 1
    found_again = [k for k in range(back, len(lines)) if lines[k]["found"]]
    assert found_again and found_again[0] <= back + 3
    assert all(near(lines[k]["box"], scene.box(k)) for k in found_again)


@pytest.mark.parametrize("tracker, section, found", [
    # Each tracker reads its own section of the file, and only that.
    ("dcf", '"TrackerDcf": {"lostConfidence": 10}', False),
    ("dcf", '"TrackerCorr": {"threshold": 1.5}', True),
    ("corr", '"TrackerDcf": {"lostConfidence": 10}', True),
    ("corr", '"TrackerCorr": {"threshold": 1.5}', False),
])
def test_config_reads_the_chosen_trackers_section(zok_track, image_folder, scene, tmp_path,
                                                  tracker, section, found):
    config = tmp_path / "zok.json"
    config.write_text("{%s}" % section)
    result = run(zok_track, image_folder, *start(scene), "--tracker", tracker, "--config", config)
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    assert all(r["found"] == ("1" if found else "0") for r in rows[1:])


def test_a_refused_dcf_section_is_a_bad_configuration(zok_track, image_folder, scene, tmp_path):
    config = tmp_path / "zok.json"
    config.write_text('{"TrackerDcf": {"scales": "many"}}')
    for tracker in ("dcf", "corr"):
        result = run(zok_track, image_folder, *start(scene), "--tracker", tracker, "--config",
                     config)
        assert result.returncode == 5
        assert f'Error: invalid value for "scales" in configuration file \'{config}\'' in (
            result.stderr)
        assert result.stdout == ""


@pytest.mark.parametrize("args, message", [
    (["--tracker", "kcf"], "invalid value for --tracker: 'kcf' (corr or dcf)"),
    (["--tracker", "DCF"], "invalid value for --tracker: 'DCF' (corr or dcf)"),
    (["--tracker"], "missing value for --tracker"),
    # A parameter of the correlation tracker means nothing to the learned one, before or
    # after --tracker; the first such flag is named.
    (["--tracker", "dcf", "--threshold", "0.5"],
     "--threshold applies to --tracker corr only; --tracker dcf takes its parameters from "
     "--config"),
    (["--zero-mean", "--engine", "fft", "--tracker", "dcf"], "--zero-mean applies to"),
    (["--tracker", "dcf", "--zoom", "4"], "--zoom applies to --tracker corr only"),
])
def test_bad_tracker_arguments(zok_track, image_folder, scene, args, message):
    result = run(zok_track, image_folder, *start(scene), *args)
    assert result.returncode == 2
    assert message in result.stderr and "Usage: zok-track" in result.stderr
    assert result.stdout == ""


def test_the_default_tracker_is_the_one_the_help_names(zok_track, hidden_folder, scene):
    default = re.search(r"--tracker corr\|dcf .*\(default (\w+)\)",
                        run(zok_track, "--help").stdout)[1]
    implicit = run(zok_track, hidden_folder, *start(scene))
    explicit = run(zok_track, hidden_folder, *start(scene), "--tracker", default)
    assert implicit.returncode == 0 and implicit.stdout == explicit.stdout


@pytest.mark.parametrize("implicit, explicit", [
    ([], ["--config", RECOMMENDED]),
    (["--library-defaults"], ["--config", "EMPTY"]),
])
def test_corr_keeps_its_recommended_configuration(zok_track, hidden_folder, scene, tmp_path,
                                                  implicit, explicit):
    empty = tmp_path / "empty.json"
    empty.write_text("{}")
    explicit = [str(empty) if a == "EMPTY" else a for a in explicit]
    chosen = run(zok_track, hidden_folder, *start(scene), "--tracker", "corr", *implicit)
    configured = run(zok_track, hidden_folder, *start(scene), "--tracker", "corr", *explicit)
    assert chosen.returncode == 0 and configured.returncode == 0, chosen.stderr
    assert chosen.stdout == configured.stdout


def test_dcf_annotates_a_video(zok_track, video, scene, tmp_path):
    out, annotated = tmp_path / "track.csv", tmp_path / "track.avi"
    result = run(zok_track, video, *start(scene), "--tracker", "dcf", "--output", out,
                 "--annotate", annotated)
    assert result.returncode == 0, result.stderr
    rows = csv_rows(out.read_text())
    assert len(rows) == 12 and all(r["found"] == "1" for r in rows)
    assert all(near(box_of(r), scene.box(k), 2) for k, r in enumerate(rows))
    capture = cv2.VideoCapture(str(annotated))
    frames = 0
    while capture.read()[0]:
        frames += 1
    assert frames == 12


def test_dcf_starts_from_a_centre_offset(zok_track, image_folder, scene):
    x, y, w, h = scene.box(0)
    dx, dy = x + w // 2 - 80, y + h // 2 - 60
    result = run(zok_track, image_folder, "--offset", f"{dx},{dy}", "--half", "11,8",
                 "--tracker", "dcf", "--format", "jsonl")
    assert result.returncode == 0, result.stderr
    lines = [json.loads(line) for line in result.stdout.splitlines()]
    assert lines[0]["box"] == [x + w // 2 - 11, y + h // 2 - 8, 23, 17]
    for k, line in enumerate(lines):
        assert line["found"] is True
        want = (scene.path[k][0] - scene.path[0][0] + dx, scene.path[k][1] - scene.path[0][1] + dy)
        assert near(line["offset"], want), (k, line["offset"], want)


@pytest.mark.parametrize("start_args, tracker, exit_code", [
    (["--box", "10,10,3,3"], "dcf", 4),
    (["--box", "10,10,40,3"], "dcf", 4),
    (["--offset", "0,0", "--half", "1,1"], "dcf", 4),   # 3 x 3 about the centre
    (["--offset", "0,0", "--half", "1,20"], "dcf", 4),
    (["--box", "10,10,4,4"], "dcf", 0),
    (["--box", "10,10,3,3"], "corr", 0),
])
def test_a_box_too_small_for_the_learned_tracker_is_a_bad_start(zok_track, image_folder,
                                                                  start_args, tracker, exit_code):
    result = run(zok_track, image_folder, *start_args, "--tracker", tracker)
    assert result.returncode == exit_code, result.stderr
    if exit_code == 4:
        assert result.stdout == ""
        assert "too small for the learned tracker: the smallest box it takes is 4 x 4 pixels" \
            in result.stderr
        assert "OpenCV" not in result.stderr and ".cpp" not in result.stderr


@pytest.mark.parametrize("options, config", [
    (["--tracker", "dcf"], None),
    (["--tracker", "dcf", "--library-defaults"], None),
    (["--tracker", "dcf"], '{"TrackerDcf": {"scaleFilter": false, "padding": 3, "scales": 9}}'),
    (["--tracker", "corr"], None),
])
def test_python_example_gives_the_tools_results_with_either_tracker(
        zok_track, video, scene, tmp_path, options, config):
    example = os.environ.get("ZOK_EXAMPLE")
    if not example:
        pytest.skip("ZOK_EXAMPLE names the Python example; needs the Python module")
    if config:
        path = tmp_path / "zok.json"
        path.write_text(config)
        options = options + ["--config", str(path)]
    native = run(zok_track, video, *start(scene), *options)
    python = subprocess.run([sys.executable, example, str(video), *start(scene), *options],
                            capture_output=True, text=True, timeout=120)
    assert native.returncode == 0 and python.returncode == 0, python.stderr
    assert python.stdout == native.stdout


def test_python_example_refuses_corr_flags_for_dcf(video, scene):
    example = os.environ.get("ZOK_EXAMPLE")
    if not example:
        pytest.skip("ZOK_EXAMPLE names the Python example; needs the Python module")
    python = subprocess.run([sys.executable, example, str(video), *start(scene), "--tracker",
                             "dcf", "--zoom", "4"], capture_output=True, text=True, timeout=120)
    assert python.returncode == 2 and "apply to --tracker corr only" in python.stderr
