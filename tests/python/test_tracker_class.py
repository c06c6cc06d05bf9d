"""The tracker functions of _zok and the class zok.PyTrackerCorr over them."""

import math
import sys

import numpy as np
import pytest

import _zok
import zok

PROTOTYPES = ["float", "float", "float", "float", "bool", "size_t", "int", "bool", "float", "int",
              "bool"]
OVERLOAD_MESSAGE = (
    "Wrong number or type of arguments for overloaded function 'new_PyTrackerCorr'.\n"
    "  Possible C/C++ prototypes are:\n"
    + "".join("    PyTrackerCorr::PyTrackerCorr(%s)\n" % ",".join(PROTOTYPES[:n])
              for n in range(11, -1, -1)))

HEAD = (4.0, 0.85, 0.0, 5.0)  # the four float parameters, before cloneImage


@pytest.mark.parametrize("args, accepted", [
    ((), True),
    ((4, 1), True),                                   # ints as floats
    ((True, False), True),                            # bools are ints, so floats too
    (HEAD + (False, 1, 1, False, 0.0, 3, False), True),
    (HEAD + (1,), False),                             # 1 is no bool
    (HEAD + (np.bool_(True),), False),
    (HEAD + (True, True), True),                      # True as the size_t 1
    (HEAD + (False, -1), False),
    (HEAD + (False, 2**64 - 1), True),
    (HEAD + (False, 2**64), False),
    (HEAD + (False, 1.0), False),
    (HEAD + (False, np.int64(1)), False),
    (HEAD + (False, 1, 2**31), False),
    (HEAD + (False, 1, -2**31), True),
    (HEAD + (False, 1, 2.0), False),
    ((3.4028234663852886e38,), True),
    ((1e39,), False),
    ((-1e39,), False),
    ((3.4028235e38,), False),                         # rounds to the largest float, yet above it
    ((math.inf,), True),
    ((-math.inf,), True),
    ((math.nan,), True),
    ((np.float64(4.0),), True),                       # a subclass of float
    ((np.float32(4.0),), False),
    ((np.int32(4),), False),
    (("4",), False),
    ((None,), False),
])
def test_constructor_overloads(args, accepted):
    if accepted:
        wrapper = _zok.new_PyTrackerCorr(*args)
        assert repr(wrapper).startswith("<Swig Object of type 'PyTrackerCorr *' at 0x")
        _zok.delete_PyTrackerCorr(wrapper)
    else:
        with pytest.raises(TypeError) as error:
            _zok.new_PyTrackerCorr(*args)
        assert str(error.value) == OVERLOAD_MESSAGE


def test_too_many_constructor_arguments_keep_the_count_message():
    with pytest.raises(TypeError) as error:
        _zok.new_PyTrackerCorr(*(HEAD + (False, 1, 1, False, 0.0, 3, False, 0)))
    assert str(error.value) == ("new_PyTrackerCorr expected at most 11 arguments, got 12"
                                "\nAdditional information:\n" + OVERLOAD_MESSAGE)


@pytest.mark.parametrize("call, message", [
    (lambda: _zok.PyTrackerCorr_init(_zok.new_PyTrackerCorr(), None),
     "PyTrackerCorr_init expected 3 arguments, got 2"),
    (lambda: _zok.PyTrackerCorr_update(_zok.new_PyTrackerCorr(), None, None, None),
     "PyTrackerCorr_update expected 3 arguments, got 4"),
    (lambda: _zok.PyTrackerCorr_swiginit(zok.PyTrackerCorr()),
     "swiginit expected 2 arguments, got 1"),
    (lambda: _zok.delete_PyTrackerCorr(5),
     "in method 'delete_PyTrackerCorr', argument 1 of type 'PyTrackerCorr *'"),
    (lambda: _zok.PyTrackerCorr_init(5, None, None),
     "in method 'PyTrackerCorr_init', argument 1 of type 'PyTrackerCorr *'"),
    (lambda: _zok.PyTrackerCorr_update("x", None, None),
     "in method 'PyTrackerCorr_update', argument 1 of type 'PyTrackerCorr *'"),
    (lambda: _zok.PyTrackerCorr_variance(object()),
     "in method 'PyTrackerCorr_variance', argument 1 of type 'PyTrackerCorr const *'"),
    (lambda: _zok.PyTrackerCorr_matches(1.5),
     "in method 'PyTrackerCorr_matches', argument 1 of type 'PyTrackerCorr const *'"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as error:
        call()
    assert str(error.value) == message


NULL_CALLS = [
    ("PyTrackerCorr_init", "PyTrackerCorr *", lambda w: _zok.PyTrackerCorr_init(w, None, None)),
    ("PyTrackerCorr_update", "PyTrackerCorr *",
     lambda w: _zok.PyTrackerCorr_update(w, None, None)),
    ("PyTrackerCorr_variance", "PyTrackerCorr const *", _zok.PyTrackerCorr_variance),
    ("PyTrackerCorr_matches", "PyTrackerCorr const *", _zok.PyTrackerCorr_matches),
]


@pytest.mark.parametrize("deleted", [False, True], ids=["None", "deleted"])
@pytest.mark.parametrize("name, type_name, call", NULL_CALLS, ids=[c[0] for c in NULL_CALLS])
def test_null_objects_are_refused(deleted, name, type_name, call):
    target = None
    if deleted:
        target = _zok.new_PyTrackerCorr()
        _zok.delete_PyTrackerCorr(target)
    with pytest.raises(ValueError) as error:
        call(target)
    assert str(error.value) == ("invalid null reference in method '%s', argument 1 of type '%s'"
                                % (name, type_name))


def test_delete_forgets_the_object():
    wrapper = _zok.new_PyTrackerCorr()
    assert _zok.delete_PyTrackerCorr(None) is None
    assert _zok.delete_PyTrackerCorr(wrapper) is None
    assert wrapper.own() is False and int(wrapper) == 0
    assert _zok.delete_PyTrackerCorr(wrapper) is None  # a second delete does nothing


class DeletingBox:
    """A box whose first read deletes the tracker it is passed with."""

    def __init__(self, tracker, how, box):
        self.tracker, self.how, self.box = tracker, how, box

    def __len__(self):
        return 4

    def __getitem__(self, index):
        if self.tracker is not None:
            tracker, self.tracker = self.tracker, None
            if self.how == "delete":
                _zok.delete_PyTrackerCorr(tracker)
            else:
                del tracker.this  # the last owner of the native object
        return self.box[index]


@pytest.mark.parametrize("how", ["delete", "del this"])
@pytest.mark.parametrize("method", ["init", "update"])
def test_deleting_the_tracker_while_its_box_is_read(scene, how, method):
    tracker = zok.PyTrackerCorr()
    frame = scene.frame(100, 100)
    tracker.init(frame, scene.box(100, 100))
    result = getattr(tracker, method)(frame, DeletingBox(tracker, how, scene.box(100, 100)))
    # The call finishes on the tracker it started with; the deleted one is gone afterwards.
    assert result in (True, (True, scene.box(100, 100)))
    with pytest.raises((ValueError, TypeError, AttributeError)):
        tracker.update(frame, None)


@pytest.mark.parametrize("alternative, searches", [(3.0, 2), (2.0, 1), (1.0, 1), (math.nan, 1)])
def test_only_a_wider_alternative_factor_is_searched(scene, alternative, searches):
    tracker = zok.PyTrackerCorr(2.0, 0.7, alternative)
    tracker.init(scene.frame(100, 100), scene.box(100, 100))
    # 90 pixels lie beyond a window of twice the template's width, within one of three times.
    found, box = tracker.update(scene.frame(190, 100), (0, 0, 0, 0))
    scores = tracker.matches()
    assert len(scores) == searches and scores.dtype == np.float64 and scores.ndim == 1
    assert found == (searches == 2)
    assert box == (scene.box(190, 100) if found else (0, 0, 0, 0))


def test_track_results(scene):
    tracker = zok.PyTrackerCorr()
    assert tracker.init(scene.frame(100, 100), scene.box(100, 100)) is True
    assert tracker.matches() == ()
    assert tracker.update(scene.frame(104, 97), [1, 2, 3, 4]) == (True, scene.box(104, 97))
    assert tracker.matches().tolist() == pytest.approx([1.0])
    lost = tracker.update(scene.frame(0, 0, visible=False), (1, 2, 3, 4))
    assert lost == (False, (1, 2, 3, 4))
    assert tracker.update(scene.frame(104, 97), None) == (True, scene.box(104, 97))


def test_variance_is_single_precision(scene):
    tracker = zok.PyTrackerCorr(4.0, 0.85, 0.0, 5.0, False, 1, 1, False, 50.0)
    assert tracker.variance() == 0.0
    tracker.init(scene.frame(100, 100), scene.box(100, 100))
    variance = tracker.variance()
    assert type(variance) is float and variance > 0
    assert float(np.float32(variance)) == variance


@pytest.mark.parametrize("method, image, box, error, message", [
    ("init", "frame", (1, 2, 3), TypeError,
     "Can't parse 'boundingBox'. Expected sequence length 4, got 3"),
    ("update", "frame", (1, 2, 3), TypeError,
     "Can't parse 'boundingBox'. Expected sequence length 4, got 3"),
    ("init", "list", (1, 2, 3, 4), TypeError, "image is not a numpy array, neither a scalar"),
    ("update", "list", (1, 2, 3, 4), TypeError, "image is not a numpy array, neither a scalar"),
    ("init", "frame", (300, 220, 40, 30), RuntimeError, "(-215:Assertion failed)"),
    ("init", "frame", (2**31 - 6, 0, 10, 10), RuntimeError, "(-215:Assertion failed)"),
    ("init", "frame", (0, 2**31 - 6, 10, 2**31 - 1), RuntimeError, "(-215:Assertion failed)"),
    ("update", "float frame", (100, 100, 40, 30), RuntimeError, "(-215:Assertion failed)"),
])
def test_failures_raise_and_leave_the_tracker_alone(scene, method, image, box, error, message):
    tracker = zok.PyTrackerCorr()
    frame = scene.frame(100, 100)
    tracker.init(frame, scene.box(100, 100))
    image = {"frame": scene.frame(0, 0), "float frame": frame.astype(np.float32),
             "list": [1, 2]}[image]
    with pytest.raises(error) as raised:
        getattr(tracker, method)(image, box)
    assert message in str(raised.value)
    assert tracker.matches() == ()
    # The first template is still the reference.
    assert tracker.update(frame, None) == (True, scene.box(100, 100))


def test_views_of_the_frame_are_kept_and_see_its_changes(scene):
    frame, original = scene.frame(100, 100), scene.frame(100, 100)
    viewing, cloning = zok.PyTrackerCorr(), zok.PyTrackerCorr(*HEAD, True)
    before = sys.getrefcount(frame)
    cloning.init(frame, scene.box(100, 100))
    assert sys.getrefcount(frame) == before
    viewing.init(frame, scene.box(100, 100))
    assert sys.getrefcount(frame) == before + 1
    frame[100:130, 100:140] = 255 - frame[100:130, 100:140]  # the viewing tracker's template
    assert viewing.update(original, None)[0] is False
    assert cloning.update(original, None) == (True, scene.box(100, 100))
    viewing.init(original, scene.box(100, 100))
    assert sys.getrefcount(frame) == before


def test_no_reference_is_leaked(scene):
    tracker = zok.PyTrackerCorr()
    frame, box, bad_box, as_list = scene.frame(100, 100), scene.box(100, 100), (1, 2), [1, 2, 3, 4]
    tracker.init(frame, box)  # the template now holds its one reference to the frame
    objects = [frame, box, bad_box, as_list, tracker, tracker.this] + list(box)
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(200):
        tracker.init(frame, box)
        tracker.update(frame, as_list)
        tracker.variance()
        tracker.matches()
        with pytest.raises(TypeError):
            tracker.update(frame, bad_box)
        with pytest.raises(TypeError):
            tracker.init(as_list, box)
        _zok.delete_PyTrackerCorr(_zok.new_PyTrackerCorr(*HEAD))
    assert [sys.getrefcount(o) for o in objects] == before
