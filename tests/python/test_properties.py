"""Properties of the Python road under generated input: images of every dtype, dimension count
and memory layout, boxes and constructor arguments of every shape and type. Whatever comes in,
a call gives a result or raises a Python exception, never crashes, and a refused call leaves the
tracker working.

A bounded, derandomised run by default (150 examples a test); ZOK_HYPOTHESIS_PROFILE=long for
5000 examples a test (or ZOK_HYPOTHESIS_EXAMPLES of them), with a random seed each run.
"""

import os

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from numpy.lib.stride_tricks import as_strided

import _zok
import _zok_hooks as hooks
import zok
from conftest import texture

settings.register_profile(
    "ci", max_examples=150, derandomize=True, deadline=None, database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
settings.register_profile(
    "long", max_examples=int(os.environ.get("ZOK_HYPOTHESIS_EXAMPLES", 5000)), deadline=None,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
settings.load_profile(os.environ.get("ZOK_HYPOTHESIS_PROFILE", "ci"))

INT32 = (-2**31, 2**31 - 1)
# The errors a call may raise for input it cannot take; anything else is a fault.
REFUSALS = (TypeError, ValueError, OverflowError, RuntimeError, MemoryError)

DTYPES = [np.uint8, np.int8, np.uint16, np.int16, np.int32, np.uint32, np.int64, np.uint64,
          np.float16, np.float32, np.float64, np.bool_, np.complex64, ">u2", ">f4", "<i2"]


@st.composite
def packed_arrays(draw):
    """A C-ordered array of any listed dtype, 0 to 4 dimensions, with noise or flat content."""
    dtype = np.dtype(draw(st.sampled_from(DTYPES)))
    dims = draw(st.sampled_from([0, 1, 2, 2, 2, 3, 3, 4]))
    shape = tuple(draw(st.lists(st.integers(0, 24), min_size=dims, max_size=dims)))
    if dims == 3 and draw(st.booleans()):
        shape = shape[:2] + (draw(st.sampled_from([1, 3, 4, 513])),)
    rng = np.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    values = rng.integers(0, 256, size=shape)
    return values.astype(dtype)


def _misaligned(array):
    if array.dtype.itemsize == 1:
        return array
    raw = np.zeros(array.nbytes + 1, np.uint8)
    moved = np.ndarray(array.shape, array.dtype, raw, offset=1)
    moved[...] = array
    return moved


def _read_only(array):
    array = array.copy()
    array.setflags(write=False)
    return array


@st.composite
def strided_arrays(draw):
    """A view of any stride pattern that stays inside its buffer: zero, overlapping, apart,
    negative, Fortran order, read-only and misaligned ones."""
    array = draw(packed_arrays())
    layout = draw(st.sampled_from(["packed", "reversed", "stepped", "fortran", "transposed",
                                   "read-only", "misaligned", "strided", "strided", "strided"]))
    if layout == "reversed" and array.ndim:
        return array[tuple(slice(None, None, -1) if draw(st.booleans()) else slice(None)
                           for _ in range(array.ndim))]
    if layout == "stepped" and array.ndim:
        return array[tuple(slice(None, None, draw(st.integers(1, 3))) for _ in range(array.ndim))]
    if layout == "fortran":
        return np.asfortranarray(array)
    if layout == "transposed":
        return array.T
    if layout == "read-only":
        return _read_only(array)
    if layout == "misaligned":
        return _misaligned(array)
    if layout == "strided" and array.ndim:
        # Any non-negative strides over a buffer just large enough: rows, pixels and planes may
        # overlap, repeat or lie apart.
        item = array.dtype.itemsize
        strides = [item if draw(st.booleans()) else item * draw(st.integers(0, 3))]
        for length in reversed(array.shape[1:]):
            # Around the inner block's length: overlapping, packed or apart.
            strides.insert(0, strides[0] * draw(st.integers(0, length + 2)) or item)
        strides = tuple(strides)
        extent = sum(s * (n - 1) for s, n in zip(strides, array.shape)) + item
        if min(array.shape) == 0:
            extent = item
        base = (np.arange(extent // item + 1) % 251).astype(array.dtype)
        return as_strided(base, array.shape, strides, writeable=False)
    return array


ODD_OBJECTS = st.sampled_from([None, [], [1, 2], "frame", b"\x00" * 8, 3, 2.5, (1, 2.5),
                               (1, "a"), 2**40, object(), {"a": 1}, np.int32(4)])
IMAGES = st.one_of(strided_arrays(), ODD_OBJECTS)

INTEGERS = st.one_of(st.integers(-64, 96), st.integers(*INT32),
                     st.sampled_from([-2**63, -2**31 - 1, 2**31, 2**32, 2**63, 2**64]))
ITEMS = st.one_of(INTEGERS, st.booleans(), st.none(), st.floats(allow_nan=True),
                  st.sampled_from(["1", b"1", np.int64(5), np.uint8(3), np.float32(1.0),
                                   np.bool_(True), np.int64(2**40), [1]]))


@st.composite
def boxes(draw):
    """Sequences of every length, type and content, mostly four plausible integers."""
    if draw(st.integers(0, 3)) == 0:
        return draw(ODD_OBJECTS)
    length = draw(st.sampled_from([4, 4, 4, 0, 3, 5]))
    items = draw(st.lists(st.one_of(INTEGERS, ITEMS) if draw(st.booleans()) else INTEGERS,
                          min_size=length, max_size=length))
    kind = draw(st.sampled_from(["tuple", "list", "array", "int64 array", "range"]))
    if kind == "list":
        return items
    if kind in ("array", "int64 array"):
        try:
            return np.array(items, np.int64 if kind == "int64 array" else None)
        except (OverflowError, TypeError, ValueError):
            return tuple(items)
    if kind == "range" and len(items) == 4 and all(type(i) is int for i in items):
        return range(items[0], items[0] + 4 * 7, 7)
    return tuple(items)


def _scene():
    rng = np.random.default_rng(3)
    return texture(rng, 96, 128)


SCENE = _scene()
SCENE_BOX = (40, 30, 32, 24)


def _started_tracker():
    tracker = zok.PyTrackerCorr()
    assert tracker.init(SCENE, SCENE_BOX) is True
    return tracker


def _still_tracks(tracker, changed):
    """A tracker whose state the call may have changed is started again first."""
    if changed:
        assert tracker.init(SCENE, SCENE_BOX) is True
    assert tracker.update(SCENE, None) == (True, SCENE_BOX)
    assert tracker.matches().tolist() == pytest.approx([1.0])


def _call(function, *args):
    """The call's result, or None when it was refused with a Python exception."""
    try:
        return function(*args), True
    except REFUSALS:
        return None, False


@given(image=IMAGES, box=boxes(), method=st.sampled_from(["init", "update"]))
def test_any_image_and_box_give_a_result_or_an_exception(image, box, method):
    tracker = _started_tracker()
    result, accepted = _call(getattr(tracker, method), image, box)
    if accepted:
        if method == "init":
            assert result is True
        else:
            found, (x, y, width, height) = result
            assert type(found) is bool and all(type(v) is int for v in (x, y, width, height))
    matches = tracker.matches()
    assert matches == () if type(matches) is tuple else matches.dtype == np.float64
    assert type(tracker.variance()) is float
    _still_tracks(tracker, changed=accepted)


@given(image=strided_arrays(), box=boxes())
def test_the_same_image_tracks_the_same_way_in_any_layout(image, box):
    """A layout is wrapped or copied, never misread: a packed copy gives the same answers."""
    packed = np.ascontiguousarray(image)
    results = []
    for frame in (image, packed):
        tracker = zok.PyTrackerCorr(4.0, 0.85, 0.0, 5.0, True)
        init, accepted = _call(tracker.init, frame, box)
        update = _call(tracker.update, frame, box) if accepted else None
        results.append((init, accepted, update))
    assert results[0] == results[1]


@given(image=strided_arrays())
def test_every_layout_converts_to_its_own_values(image):
    """Wrapped or copied, a matrix holds the array's elements in order, and no others."""
    ok, info, error = hooks.to_mat(image)
    if not ok:
        assert isinstance(error, TypeError) and image.dtype.kind not in "iuf" or \
            image.dtype.itemsize > 8 or image.dtype == np.uint32
        return
    expected = image.astype(np.int32) if image.dtype.kind in "iu" and image.dtype.itemsize == 8 \
        else image
    assert info["values"] == (expected.astype(np.float64).ravel().tolist() if image.size
                              else None)


ARGUMENTS = st.one_of(st.floats(allow_nan=True), st.integers(-2**70, 2**70), st.booleans(),
                      st.none(), st.sampled_from(["4", b"", np.float64(2.0), np.float32(2.0),
                                                  np.int64(3), np.bool_(True), [1], ()]))


@given(args=st.lists(ARGUMENTS, max_size=13))
def test_any_constructor_arguments_give_a_tracker_or_an_exception(args):
    try:
        tracker = zok.PyTrackerCorr(*args)
    except (TypeError, ValueError, OverflowError, RuntimeError, MemoryError):
        return
    result, accepted = _call(tracker.init, SCENE, SCENE_BOX)
    if accepted:
        _call(tracker.update, SCENE, None)
    tracker.matches()
    tracker.variance()


@given(how=st.sampled_from(["delete", "del this", "none"]),
       calls=st.lists(st.sampled_from(["init", "update", "matches", "variance"]), max_size=6))
def test_calls_after_any_deletion_raise_or_answer(how, calls):
    tracker = _started_tracker()
    if how == "delete":
        _zok.delete_PyTrackerCorr(tracker)
    elif how == "del this":
        del tracker.this
    for call in calls:
        args = (SCENE, SCENE_BOX) if call in ("init", "update") else ()
        if how == "none":
            getattr(tracker, call)(*args)
        else:
            with pytest.raises((ValueError, TypeError, AttributeError)):
                getattr(tracker, call)(*args)
