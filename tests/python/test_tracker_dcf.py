"""zok.TrackerDcf: its keyword arguments, frames without copies, its errors and its threads."""

import ast
import os
import sys
import threading

import numpy as np
import pytest

import zok
from conftest import Scene, run_python

# Beside zok.py in the build tree; the package's __init__.pyi once installed.
STUB = next(path for path in (os.path.join(os.path.dirname(zok.__file__), name)
                              for name in ("zok.pyi", "__init__.pyi")) if os.path.exists(path))


def stub_keywords():
    """The keywords of TrackerDcf.__init__ in the type stub, with their annotated types."""
    tree = ast.parse(open(STUB, encoding="utf-8").read())
    cls = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "TrackerDcf")
    init = next(n for n in cls.body if isinstance(n, ast.FunctionDef) and n.name == "__init__")
    return {a.arg: a.annotation.id for a in init.args.kwonlyargs}


KEYWORDS = stub_keywords()
GOOD = {"float": 0.5, "int": 3, "bool": True}
WRONG = {"float": "0.5", "int": 3.0, "bool": 1}
WRONG_MESSAGE = {"float": "must be a float or an int, not str", "int": "must be an int, not float",
                 "bool": "must be True or False, not int"}


def test_stub_lists_every_field():
    assert len(KEYWORDS) >= 10 and set(KEYWORDS.values()) <= set(GOOD)
    assert {"learningRate", "scaleFilter", "lostConfidence"} <= set(KEYWORDS)


@pytest.mark.parametrize("name", sorted(KEYWORDS))
def test_each_keyword_of_the_stub_is_taken_and_checked(name):
    kind = KEYWORDS[name]
    zok.TrackerDcf(**{name: GOOD[kind]})
    with pytest.raises(TypeError) as error:
        zok.TrackerDcf(**{name: WRONG[kind]})
    assert str(error.value) == "TrackerDcf() argument '%s' %s" % (name, WRONG_MESSAGE[kind])


@pytest.mark.parametrize("kwargs, error, message", [
    ({"padding": True}, TypeError, "argument 'padding' must be a float or an int, not bool"),
    ({"padding": None}, TypeError, "argument 'padding' must be a float or an int, not NoneType"),
    ({"padding": 10**400}, ValueError, "argument 'padding' is too large for a float"),
    ({"scales": 2**31}, ValueError,
     "argument 'scales' must be an int from -2147483648 to 2147483647, not 2147483648"),
    ({"scales": -2**31 - 1}, ValueError, "not -2147483649"),
    ({"scales": np.int64(9)}, TypeError, "argument 'scales' must be an int, not numpy.int64"),
    ({"scales": False}, TypeError, "argument 'scales' must be an int, not bool"),
    ({"colour": np.bool_(True)}, TypeError, "must be True or False, not numpy.bool_"),
    ({"Padding": 4.0}, TypeError, "TrackerDcf() got an unexpected keyword argument 'Padding'"),
    ({"padding": 4.0, "threshold": 0.5}, TypeError, "unexpected keyword argument 'threshold'"),
    # A name is matched whole: what follows a NUL still belongs to it.
    ({"colour\0": "2"}, TypeError, "TrackerDcf() got an unexpected keyword argument 'colour\\x00'"),
    ({"padding\0x": 4.0}, TypeError, "unexpected keyword argument 'padding\\x00x'"),
    ({"\udcff": 1}, TypeError, "unexpected keyword argument '\\udcff'"),
    # Beyond the digits str() converts, an int is described by its sign and size.
    ({"gridCells": 10**5000}, ValueError, "TrackerDcf() argument 'gridCells' must be an int from "
     "-2147483648 to 2147483647, not a positive int of 16610 bits"),
    ({"redetectFrames": -10**5000}, ValueError, "argument 'redetectFrames' must be an int from "
     "-2147483648 to 2147483647, not a negative int of 16610 bits"),
])
def test_refused_keywords_name_themselves(kwargs, error, message):
    with pytest.raises(error) as raised:
        zok.TrackerDcf(**kwargs)
    assert message in str(raised.value)


@pytest.mark.parametrize("kwargs", [
    {}, {"padding": 3}, {"padding": np.float64(3.0)}, {"padding": float("nan")},
    {"scaleStep": 1e39}, {"gridCells": -2**31}, {"learningRate": 0.0, "colour": False},
])
def test_accepted_keywords(kwargs):
    zok.TrackerDcf(**kwargs)


def test_positional_arguments_are_refused():
    with pytest.raises(TypeError, match=r"takes keyword arguments only, got 1 positional"):
        zok.TrackerDcf(4.0)


def walk_frames(channels, count=30, seed=3):
    scene = Scene(seed=seed, channels=channels)
    path = scene.walk(count, step=4)
    return scene, path, [scene.frame(x, y) for x, y in path]


def track(tracker, frames, box):
    tracker.init(frames[0], box)
    return [(*tracker.update(frame), tracker.confidence) for frame in frames[1:]]


@pytest.mark.parametrize("channels", [1, 3])
def test_follows_a_walking_target(channels):
    scene, path, frames = walk_frames(channels)
    tracker = zok.TrackerDcf()
    tracker.init(frames[0], scene.box(*path[0]))
    assert tracker.confidence == 1.0
    for frame, (x, y) in zip(frames[1:], path[1:]):
        found, box = tracker.update(frame)
        assert found and all(type(v) is int for v in box)
        assert abs(box[0] - x) <= 3 and abs(box[1] - y) <= 3, (box, (x, y))
        assert type(tracker.confidence) is float and tracker.confidence > 0


def test_keywords_reach_the_tracker():
    scene, path, frames = walk_frames(1, count=6)
    # No confidence reaches the highest level a target is lost below: every frame is lost, and
    # the box stays where it was.
    results = track(zok.TrackerDcf(lostConfidence=10.0), frames, scene.box(*path[0]))
    assert [r[:2] for r in results] == [(False, scene.box(*path[0]))] * 5


def test_frames_are_views_and_references_are_not_kept():
    scene, path, frames = walk_frames(3, count=8)
    tracker = zok.TrackerDcf()
    # Rows apart in memory: a crop of a wider frame, taken without a copy.
    wide = [np.pad(f, ((0, 0), (0, 16), (0, 0))) for f in frames]
    views = [w[:, :320] for w in wide]
    assert not views[0].flags.c_contiguous
    expected = track(zok.TrackerDcf(), frames, scene.box(*path[0]))
    before = [sys.getrefcount(w) for w in wide]
    assert track(tracker, views, scene.box(*path[0])) == expected
    del tracker
    assert [sys.getrefcount(w) for w in wide] == before


@pytest.mark.parametrize("call, error, message", [
    (lambda t, f: t.update(f), RuntimeError, ""),                              # before init
    (lambda t, f: t.init(f, None), TypeError, "Expected a sequence of four ints, got None"),
    (lambda t, f: t.init(f, (1, 2, 3)), TypeError, "Expected sequence length 4, got 3"),
    # A box is four ints: None is no 0.
    (lambda t, f: t.init(f, (None, None, 20, 20)), TypeError,
     "Can't parse 'box'. Sequence item with index 0 has a wrong type"),
    (lambda t, f: t.init(f, [140, 100, 40, None]), TypeError, "item with index 3 has a wrong type"),
    (lambda t, f: t.init(None, (140, 100, 40, 30)), TypeError,
     "Can't parse 'frame'. Expected a numpy array, got None"),
    (lambda t, f: t.update(None), TypeError, "Expected a numpy array, got None"),
    (lambda t, f: t.init("frame", (0, 0, 8, 8)), TypeError, "frame is not a numpy array"),
    (lambda t, f: t.init(f, (300, 200, 40, 30)), RuntimeError, ""),            # outside
    (lambda t, f: t.init(f, (10, 10, 2, 2)), RuntimeError, ""),                # too small
    (lambda t, f: t.init(np.zeros((0, 0), np.uint8), (0, 0, 8, 8)), RuntimeError, ""),
    (lambda t, f: t.init(np.where(f == 255, np.nan, f.astype(np.float32)), (140, 100, 40, 30)),
     RuntimeError, ""),                                                        # NaN pixels
])
def test_refused_calls_raise_python_errors(call, error, message):
    scene, path, frames = walk_frames(1, count=2)
    with pytest.raises(error, match=message):
        call(zok.TrackerDcf(), frames[0])


@pytest.mark.parametrize("bad", [np.zeros((240, 320, 3), np.uint8), np.zeros((100, 100), np.uint8),
                                 np.zeros((240, 320), np.float32), "frame", None])
def test_a_refused_update_leaves_the_track_as_it_was(bad):
    scene, path, frames = walk_frames(1, count=10)
    expected = track(zok.TrackerDcf(), frames, scene.box(*path[0]))
    tracker = zok.TrackerDcf()
    tracker.init(frames[0], scene.box(*path[0]))
    results = []
    for frame in frames[1:]:
        with pytest.raises((RuntimeError, TypeError)):
            tracker.update(bad)
        results.append((*tracker.update(frame), tracker.confidence))
    assert results == expected


@pytest.mark.parametrize("frame, box", [
    ("first", (None, None, 20, 20)), ("first", (0, 0, 20, None)), (None, (0, 0, 20, 20)),
])
def test_a_refused_init_leaves_the_track_as_it_was(frame, box):
    scene, path, frames = walk_frames(1, count=8)
    expected = track(zok.TrackerDcf(), frames, scene.box(*path[0]))
    tracker = zok.TrackerDcf()
    tracker.init(frames[0], scene.box(*path[0]))
    with pytest.raises(TypeError):
        tracker.init(frames[0] if frame == "first" else frame, box)
    assert [(*tracker.update(f), tracker.confidence) for f in frames[1:]] == expected


def test_threads_with_a_tracker_each_give_what_each_gives_alone():
    runs = [walk_frames(1 + 2 * (i % 2), count=20, seed=10 + i) for i in range(4)]
    alone = [track(zok.TrackerDcf(), frames, scene.box(*path[0]))
             for scene, path, frames in runs]
    together = [None] * len(runs)

    def work(i):
        scene, path, frames = runs[i]
        together[i] = track(zok.TrackerDcf(), frames, scene.box(*path[0]))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(runs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert together == alone


def test_threads_sharing_one_tracker_take_turns():
    """Two threads update one tracker while a third reads its confidence: no crash, no
    deadlock, every answer well formed, and the tracker works as new after a fresh init."""
    result = run_python("""
        import threading
        import numpy as np
        import zok
        from conftest import Scene
        scene = Scene(seed=5)
        path = scene.walk(40, step=4)
        frames = [scene.frame(x, y) for x, y in path]
        tracker = zok.TrackerDcf()
        tracker.init(frames[0], scene.box(*path[0]))
        answers, stop = [], threading.Event()

        def update(offset):
            for frame in frames[1 + offset::2]:
                found, box = tracker.update(frame)
                answers.append((found, box))

        def read():
            while not stop.is_set():
                assert 0.0 <= tracker.confidence < float("inf")

        reader = threading.Thread(target=read)
        reader.start()
        workers = [threading.Thread(target=update, args=(k,)) for k in (0, 1)]
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        stop.set()
        reader.join()
        assert len(answers) == len(frames) - 1
        for found, (x, y, w, h) in answers:
            assert type(found) is bool and w > 0 and h > 0
            assert 0 <= x and 0 <= y and x + w <= 320 and y + h <= 240
        tracker.init(frames[0], scene.box(*path[0]))
        fresh = zok.TrackerDcf()
        fresh.init(frames[0], scene.box(*path[0]))
        assert [tracker.update(f) for f in frames[1:]] == [fresh.update(f) for f in frames[1:]]
        print("ok")
        """, PYTHONPATH=os.pathsep.join(sys.path))
    assert result.returncode == 0 and result.stdout == "ok\n", result.stderr
