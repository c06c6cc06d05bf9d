"""zok-track from the outside: arguments, outputs and exit codes."""
import csv
import io
import json
import os
import subprocess
import sys

import cv2
import pytest

from conftest import FRAME_SIZE, HIDDEN_FRAMES, TARGET


# The tests here are of the correlation tracker and name it, whichever tracker is the tool's
# default; a run without arguments (the default run) is left as it is.
CORR = ["--tracker", "corr"]


def run(tool, *args, cwd=None):
    command = [tool, *(CORR if args else []), *map(str, args)]
    return subprocess.run(command, capture_output=True, text=True, cwd=cwd, timeout=120)


def csv_rows(text):
    return list(csv.DictReader(io.StringIO(text)))


def box_of(row):
    return tuple(int(row[k]) for k in ("x", "y", "width", "height"))


def test_folder_follows_the_truth_in_numeric_order(zok_track, image_folder, scene):
    result = run(zok_track, image_folder, "--box", ",".join(map(str, scene.box(0))))
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    assert [int(r["frame"]) for r in rows] == list(range(len(scene.path)))
    assert [box_of(r) for r in rows] == [scene.box(k) for k in range(len(scene.path))]
    assert all(r["found"] == "1" for r in rows)
    assert rows[0]["scores"] == ""
    assert all(float(r["scores"]) > 0.99 for r in rows[1:])
    # The summary goes to standard error when the results take standard output.
    assert "frames 12, found 11 of 11, lost runs 0" in result.stderr


def test_offsets_are_measured_from_the_image_centre(zok_track, image_folder, scene):
    result = run(zok_track, image_folder, "--box", ",".join(map(str, scene.box(0))))
    for k, row in enumerate(csv_rows(result.stdout)):
        x, y, w, h = scene.box(k)
        assert (int(row["dx"]), int(row["dy"])) == (
            x + w // 2 - FRAME_SIZE[0] // 2, y + h // 2 - FRAME_SIZE[1] // 2)


def test_start_from_a_centre_offset_and_half_sizes(zok_track, image_folder, scene):
    x, y, w, h = scene.box(0)
    # An odd 23 x 17 box around the target's centre pixel.
    dx, dy = x + w // 2 - FRAME_SIZE[0] // 2, y + h // 2 - FRAME_SIZE[1] // 2
    # Whole pixels throughout: the library's defaults refine nothing below a pixel.
    result = run(zok_track, image_folder, "--offset", f"{dx},{dy}", "--half", "11,8",
                 "--format", "jsonl", "--library-defaults")
    assert result.returncode == 0, result.stderr
    lines = [json.loads(line) for line in result.stdout.splitlines()]
    assert lines[0]["box"] == [x + w // 2 - 11, y + h // 2 - 8, 23, 17]
    for k, line in enumerate(lines):
        assert line["found"] is True
        assert line["offset"] == [scene.path[k][0] - scene.path[0][0] + dx,
                                  scene.path[k][1] - scene.path[0][1] + dy]
    assert lines[0]["scores"] == [] and len(lines[1]["scores"]) == 1


def test_video_with_annotation_and_output_file(zok_track, video, scene, tmp_path):
    out, annotated = tmp_path / "track.csv", tmp_path / "track.avi"
    result = run(zok_track, video, "--box", ",".join(map(str, scene.box(0))), "--output", out,
                 "--annotate", annotated)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("frames 12, found 11 of 11")
    assert f"results: {out}" in result.stdout
    rows = csv_rows(out.read_text())
    assert len(rows) == 12
    # MJPG is lossy: allow a pixel of slack against the truth.
    for k, row in enumerate(rows):
        got = box_of(row)
        assert abs(got[0] - scene.box(k)[0]) <= 1 and abs(got[1] - scene.box(k)[1]) <= 1
    capture = cv2.VideoCapture(str(annotated))
    frames = 0
    while capture.read()[0]:
        frames += 1
    assert frames == 12
    assert sorted(p.name for p in tmp_path.iterdir()) == ["track.avi", "track.csv"]


def test_configuration_file_and_flags(zok_track, image_folder, scene, tmp_path):
    config = tmp_path / "zok.json"
    config.write_text('{"TrackerCorr": {"threshold": 1.5, "depth": 2}}')
    box = ",".join(map(str, scene.box(0)))
    # A threshold no score reaches: every update fails.
    result = run(zok_track, image_folder, "--box", box, "--config", config)
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    assert all(r["found"] == "0" for r in rows[1:])
    assert all(box_of(r) == scene.box(0) for r in rows)
    assert "lost runs 1 (longest 11 frames)" in result.stderr
    # A flag overrides the file.
    result = run(zok_track, image_folder, "--box", box, "--config", config, "--threshold", "0.9")
    assert all(r["found"] == "1" for r in csv_rows(result.stdout))


@pytest.mark.parametrize("args, code, message", [
    (["--box", "1,2,3"], 2, "(4 comma-separated integers are expected)"),
    (["--box", "1,2,0,4"], 2, "width and height must be positive"),
    (["--depth", "many"], 2, "invalid value for --depth: 'many'"),
    (["--frobnicate"], 2, "unknown option --frobnicate"),
    (["--offset", "1,2"], 2, "--offset and --half go together"),
    (["--box", "1,2,3,4", "--offset", "1,2", "--half", "3,3"], 2, "not both"),
    (["--format", "xml"], 2, "invalid value for --format: 'xml'"),
    (["--engine", "cuda"], 2, "invalid value for --engine: 'cuda' (opencv, fft or auto)"),
    (["--engine", "OpenCV"], 2, "invalid value for --engine: 'OpenCV' (opencv, fft or auto)"),
    (["--engine", "Auto"], 2, "invalid value for --engine: 'Auto' (opencv, fft or auto)"),
    (["--redetect-threshold", "nan"], 2, "invalid value for --redetect-threshold: 'nan'"),
    (["--redetect-threshold"], 2, "missing value for --redetect-threshold"),
    (["--engine"], 2, "missing value for --engine"),
    (["--update-threshold", "high"], 2, "invalid value for --update-threshold: 'high'"),
    (["--update-threshold", "nan"], 2, "invalid value for --update-threshold: 'nan'"),
    (["--zero-mean=yes"], 2, "unknown option --zero-mean=yes"),
])
def test_bad_arguments(zok_track, image_folder, args, code, message):
    result = run(zok_track, image_folder, *args)
    assert result.returncode == code
    assert message in result.stderr
    assert "Usage: zok-track" in result.stderr
    assert result.stdout == ""


def test_options_without_an_input(zok_track):
    result = run(zok_track, "--box", "1,2,3,4")
    assert result.returncode == 2
    assert "zok-track: error: no input given" in result.stderr


def test_help(zok_track):
    result = run(zok_track, "--help")
    assert result.returncode == 0 and result.stdout.startswith("Usage: zok-track")


@pytest.mark.parametrize("case", ["missing", "not_a_video", "empty_folder", "box_outside",
                                  "offset_outside", "bad_config", "missing_config",
                                  "unwritable_output", "bad_annotation_type"])
def test_errors_leave_no_output(zok_track, image_folder, tmp_path, case):
    out = tmp_path / "out"
    out.mkdir()
    results, annotated = out / "track.csv", out / "track.avi"
    args = [image_folder, "--box", "60,50,24,18"]
    expected = {"missing": (3, "no such video file or folder: '"),
                "not_a_video": (3, "cannot open video"),
                "empty_folder": (3, "no images in folder"),
                "box_outside": (4, "the start box 150,50,24,18 does not lie inside the first "
                                   "frame (160 x 120)"),
                "offset_outside": (4, "does not lie inside the first frame"),
                "bad_config": (5, "Error: failed to parse JSON configuration from '"),
                "missing_config": (5, "Error: failed to open configuration file '"),
                "unwritable_output": (7, "cannot write"),
                "bad_annotation_type": (7, "must be .avi or .mp4")}[case]
    if case == "missing":
        args[0] = tmp_path / "nowhere.avi"
    elif case == "not_a_video":
        args[0] = tmp_path / "text.avi"
        args[0].write_text("hello")
    elif case == "empty_folder":
        args[0] = tmp_path / "empty"
        args[0].mkdir()
    elif case == "box_outside":
        args[2] = "150,50,24,18"
    elif case == "offset_outside":
        args[1:3] = ["--offset", "70,0", "--half", "12,9"]
    elif case in ("bad_config", "missing_config"):
        config = tmp_path / "bad.json"
        if case == "bad_config":
            config.write_text('{"TrackerCorr": {"depth": 2,}}')
        args += ["--config", config]
    elif case == "unwritable_output":
        results = tmp_path / "no-such-dir" / "track.csv"
    elif case == "bad_annotation_type":
        annotated = out / "track.gif"
    result = run(zok_track, *args, "--output", results, "--annotate", annotated)
    code, message = expected
    assert result.returncode == code, result.stderr
    assert message in result.stderr
    assert os.listdir(out) == []


@pytest.mark.parametrize("frames", [None, 20])
def test_input_that_ends_early(zok_track, truncated_video, image_folder, scene, tmp_path, frames):
    out = tmp_path / "track.csv"
    source = truncated_video if frames is None else image_folder
    args = [source, "--box", ",".join(map(str, scene.box(0))), "--output", out]
    if frames:
        args += ["--frames", frames]
    result = run(zok_track, *args)
    assert result.returncode == 6, result.stderr
    assert "zok-track: error: the input ended after" in result.stderr
    # What was read is written whole: every line complete, nothing after the last frame.
    text = out.read_text()
    assert text.endswith("\n")
    rows = csv_rows(text)
    assert 1 <= len(rows) < (frames or 12)
    assert all(len(r) == 9 for r in rows)


def test_start_and_frame_range(zok_track, image_folder, scene):
    result = run(zok_track, image_folder, "--box", ",".join(map(str, scene.box(3))),
                 "--start", 3, "--frames", 4)
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    assert [int(r["frame"]) for r in rows] == [3, 4, 5, 6]
    assert [box_of(r) for r in rows] == [scene.box(k) for k in range(3, 7)]


def test_start_beyond_the_input(zok_track, image_folder):
    result = run(zok_track, image_folder, "--box", "60,50,24,18", "--start", 40)
    assert result.returncode == 3
    assert "has only 12 frames, fewer than 41" in result.stderr


def test_default_run_tells_where_its_outputs_are(zok_track, tmp_path):
    if not os.path.exists("/usr/share/doc/opencv-doc/examples/data/Megamind.avi"):
        pytest.skip("the default sample video comes with Debian's opencv-doc")
    result = run(zok_track, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    folder = tmp_path / "out" / "zok-track-default"
    assert f"results: {folder / 'track.csv'}" in result.stdout
    assert f"annotated video: {folder / 'annotated.avi'}" in result.stdout
    assert "frames 97, found 96 of 96, lost runs 0" in result.stdout
    assert len(csv_rows((folder / "track.csv").read_text())) == 97


def test_synthetic_sequence_reports_its_error_against_the_truth(zok_track):
    result = run(zok_track, "synthetic", "--frames", 40, "--format", "jsonl")
    assert result.returncode == 0, result.stderr
    assert len(result.stdout.splitlines()) == 40
    assert "frames 40, found 39 of 39" in result.stderr
    assert "mean error against the truth 0.000 pixels" in result.stderr


@pytest.mark.parametrize("options", [[], ["--zoom", "4"], ["--mode1d", "--depth", "3"],
                                     ["--threshold", "1.5"], ["--library-defaults"],
                                     ["--no-zero-mean", "--update-threshold", "0.99"],
                                     ["--library-defaults", "--zero-mean", "--threshold", "0.5"]])
def test_python_example_gives_the_tools_results(zok_track, video, scene, tmp_path, options):
    example = os.environ.get("ZOK_EXAMPLE")
    if not example:
        pytest.skip("ZOK_EXAMPLE names the Python example; needs the Python module")
    box = ",".join(map(str, scene.box(0)))
    native = run(zok_track, video, "--box", box, *options)
    python = subprocess.run([sys.executable, example, *CORR, str(video), "--box", box,
                             *options], capture_output=True, text=True, timeout=120)
    assert native.returncode == 0 and python.returncode == 0, python.stderr
    assert python.stdout == native.stdout


RECOMMENDED = os.path.join(os.path.dirname(__file__), "..", "..", "config", "recommended.json")
with open(RECOMMENDED, encoding="utf-8") as recommended_file:
    REDETECT = str(json.load(recommended_file)["TrackerCorr"]["redetectThreshold"])


@pytest.mark.parametrize("implicit, explicit", [
    ([], ["--config", RECOMMENDED]),
    (["--library-defaults"], ["--config", "EMPTY"]),
    (["--library-defaults", "--zero-mean", "--update-threshold", "0.88", "--threshold", "0.5",
      "--zoom", "10", "--alt-radii", "12", "--search-radius", "2", "--engine", "auto",
      "--redetect-threshold", REDETECT], []),
    (["--no-zero-mean"], ["--config", RECOMMENDED, "--no-zero-mean"]),
])
def test_defaults_are_the_recommended_configuration(zok_track, hidden_folder, scene, tmp_path,
                                                    implicit, explicit):
    empty = tmp_path / "empty.json"
    empty.write_text("{}")
    explicit = [str(empty) if a == "EMPTY" else a for a in explicit]
    box = ",".join(map(str, scene.box(0)))
    first = run(zok_track, hidden_folder, "--box", box, *implicit)
    second = run(zok_track, hidden_folder, "--box", box, *explicit)
    assert first.returncode == 0 and second.returncode == 0, first.stderr + second.stderr
    assert first.stdout == second.stdout


@pytest.mark.parametrize("args, lost", [([], True), (["--library-defaults"], False),
                                        (["--no-zero-mean", "--threshold", "0.85"], False)])
def test_hidden_target_is_reported_lost_by_default(zok_track, hidden_folder, scene, args, lost):
    result = run(zok_track, hidden_folder, "--box", ",".join(map(str, scene.box(0))), *args)
    assert result.returncode == 0, result.stderr
    rows = csv_rows(result.stdout)
    hidden = [r for k, r in enumerate(rows) if k in HIDDEN_FRAMES]
    assert all(r["found"] == ("0" if lost else "1") for r in hidden)
    if lost:
        # Found again, where it is, once it shows.
        assert [box_of(r) for k, r in enumerate(rows) if k not in HIDDEN_FRAMES] == [
            scene.box(k) for k in range(len(rows)) if k not in HIDDEN_FRAMES]


def test_help_and_summary_name_the_engine_that_runs(zok_track, image_folder, scene):
    box = ",".join(map(str, scene.box(0)))
    built = "fft" if run(zok_track, image_folder, "--box", box, "--engine", "fft").returncode == 0 \
        else "opencv"
    assert f"the {built} engine in this build" in " ".join(run(zok_track, "--help").stdout.split())
    for args, engine in [([], built), (["--engine", "auto"], built),
                         (["--engine", "opencv"], "opencv"), (["--library-defaults"], "opencv")]:
        result = run(zok_track, image_folder, "--box", box, *args)
        assert result.returncode == 0, result.stderr
        assert f"frames per second, {engine} engine\n" in result.stderr


def test_fft_engine_is_chosen_or_refused(zok_track, image_folder, scene):
    box = ",".join(map(str, scene.box(0)))
    fft = run(zok_track, image_folder, "--box", box, "--engine", "fft")
    if fft.returncode == 1:
        assert "not implemented" in fft.stderr and fft.stdout == ""
        return
    opencv = run(zok_track, image_folder, "--box", box, "--engine", "opencv")
    assert fft.returncode == 0 and [box_of(r) for r in csv_rows(fft.stdout)] == [
        box_of(r) for r in csv_rows(opencv.stdout)]
