"""bench/accuracy/subsets.py: group means and differences from the per-sequence table; the
accuracy page's fixed split."""
import importlib.util
import json
import pathlib

import pytest

found = importlib.util.spec_from_file_location(
    "subsets", pathlib.Path(__file__).parents[2] / "bench/accuracy/subsets.py")
subsets = importlib.util.module_from_spec(found)
found.loader.exec_module(subsets)

TABLES = """| tracker | success AUC |
|---|---|
| a | 0.5 |

### Per sequence

Success AUC; the frames column counts those after the start frame that carry a box.

| sequence | dataset | frames | zok DCF | OpenCV CSRT |
|---|---|---|---|---|
| s1 | D | 10 | 0.800 | 0.400 |
| s2 | D | 99 | 0.200 | 0.600 |
| s3 | E | 5 | 0.500 | 0.500 |
| s3@1 | E | 3 | 0.100 | 0.300 |
| s30@1 | E | 3 | 0.000 | 0.000 |
"""


@pytest.fixture
def table(tmp_path):
    path = tmp_path / "real-tables.md"
    path.write_text(TABLES)
    return subsets.read_per_sequence(str(path))


# Each run weighs the same whatever its frames, a later start of a member (s3@1) as one more
# run of the group, though not of a sequence whose name only begins alike (s30@1); names the run
# lacks are counted apart.
@pytest.mark.parametrize("members, dcf, csrt, present", [
    (["s1", "s2"], 0.5, 0.5, 2),
    (["s1", "s3", "missing"], 0.8 / 3 + 0.2, 0.4, 2),
    (["s2"], 0.2, 0.6, 1),
])
def test_group_means(table, members, dcf, csrt, present):
    rows, data = table
    assert rows == ["zok DCF", "OpenCV CSRT"]
    (p, n, means), = subsets.group_means(rows, data, {"g": members}).values()
    assert (p, n) == (present, len(members))
    assert means["zok DCF"] == pytest.approx(dcf)
    assert means["OpenCV CSRT"] == pytest.approx(csrt)


def test_empty_group_skipped_and_header_counts(table):
    rows, data = table
    means = subsets.group_means(rows, data, {"none": ["x"], "half": ["s1", "y"]})
    assert list(means) == ["half"]
    assert subsets.markdown(rows, means).splitlines()[0] == "| tracker | half (1 of 2) |"


def test_worst_listed_lowest_first(table, tmp_path, capsys):
    groups = tmp_path / "groups.json"
    groups.write_text('{"all": ["s1", "s2", "s3"]}')
    subsets.main([str(tmp_path / "real-tables.md"), str(groups), "--worst", "zok DCF",
                  "--reference", "OpenCV CSRT", "--count", "2"])
    out = capsys.readouterr().out.splitlines()
    assert out[-2:] == ["| s30@1 | 0.000 | 0.000 |", "| s3@1 | 0.100 | 0.300 |"]


def test_no_per_sequence_table(tmp_path):
    path = tmp_path / "t.md"
    path.write_text("| tracker |\n")
    with pytest.raises(ValueError, match="no per-sequence table"):
        subsets.read_per_sequence(str(path))


# Every later start and moved first box of a sequence, in either order of marks, is a run of it;
# a mark without a count is part of the name.
@pytest.mark.parametrize("run, sequence", [
    ("s", "s"), ("s@2", "s"), ("s~3", "s"), ("s@2~3", "s"), ("s30@1", "s30"),
    ("a~b", "a~b"), ("a@", "a@"), ("x~1@y", "x~1@y"),
])
def test_started_sequence(run, sequence):
    assert subsets.started_sequence(run) == sequence


# Differences against a row, with the interval from resampling sequences: a sequence's later
# starts are drawn with it (their differences of +0.1 and -0.1 always cancel), a difference the
# same everywhere has no spread, and two sequences of 0 and 1 span the whole range.
@pytest.mark.parametrize("runs, expected", [
    ({"s": (0.6, 0.5), "s@1": (0.4, 0.5)}, (0.0, 0.0, 0.0)),
    ({"s": (0.7, 0.5), "t": (0.3, 0.1), "u@2": (0.2, 0.0)}, (0.2, 0.2, 0.2)),
    ({"s": (0.5, 0.5), "t": (1.0, 0.0)}, (0.5, 0.0, 1.0)),
])
def test_differences(runs, expected):
    data = {s: {"new": a, "old": b} for s, (a, b) in runs.items()}
    members = sorted({subsets.started_sequence(s) for s in runs})
    diffs = subsets.differences(["new", "old"], data, {"g": members}, "old", resamples=500)
    assert diffs["g"]["new"] == pytest.approx(expected)


def test_differences_printed_and_unknown_row_refused(table, tmp_path, capsys):
    groups = tmp_path / "groups.json"
    groups.write_text('{"all": ["s1", "s2", "s3"]}')
    tables = str(tmp_path / "real-tables.md")
    subsets.main([tables, str(groups), "--against", "OpenCV CSRT", "--resamples", "200"])
    out = capsys.readouterr().out.splitlines()
    assert out[-3] == "| minus OpenCV CSRT | all |"
    # (0.4 - 0.4 + 0 - 0.2) over the four runs of s1, s2, s3 and s3@1.
    assert out[-1].startswith("| zok DCF | -0.050 (")
    with pytest.raises(SystemExit):
        subsets.main([tables, str(groups), "--against", "nobody"])


# The split the page reports was fixed before design began: the 53 names sorted, even places in
# the design half, odd in the check half; the two development groups lie within the 53.
def test_fixed_split():
    path = pathlib.Path(__file__).parents[2] / "bench/accuracy/groups53.json"
    groups = json.loads(path.read_text())
    names = sorted(groups["all53"])
    assert len(set(names)) == 53
    assert groups["design"] == names[0::2] and groups["check"] == names[1::2]
    assert set(groups["drone14"]) <= set(names) and len(groups["drone14"]) == 14
    assert set(groups["otb18"]) <= set(names) and len(groups["otb18"]) == 18
