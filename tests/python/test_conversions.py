"""The conversions of integers, boxes, images and score lists, and their failure reports, seen
through the test-only module _zok_hooks."""

import re
import sys

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

import _zok_hooks as hooks

CV_8U, CV_8S, CV_16U, CV_16S, CV_32S, CV_32F, CV_64F, CV_16F = range(8)


def cv_type(depth, channels=1):
    return depth + (channels - 1) * 8


def warnings(text):
    return re.findall(r"Bindings conversion failed: (.*)", text)


def message(exception):
    return None if exception is None else str(exception)


@pytest.mark.parametrize("obj, ok, value, error", [
    (None, True, 7, None),
    (5, True, 5, None),
    (-2**31, True, -2**31, None),
    (np.int64(9), True, 9, None),
    (np.uint8(3), True, 3, None),
    (True, False, 7, "Argument 'value' must be integer, not bool"),
    (np.bool_(False), False, 7, "Argument 'value' must be integer, not bool"),
    (1.5, False, 7, "Argument 'value' is required to be an integer"),
    (np.float64(1.0), False, 7, "Argument 'value' is required to be an integer"),
    ("5", False, 7, "Argument 'value' is required to be an integer"),
])
def test_convert_to_int(obj, ok, value, error):
    assert hooks.to_int(obj, 7)[:2] == (ok, value)
    assert message(hooks.to_int(obj, 7)[2]) == error


def test_convert_to_int_keeps_numpys_range_error():
    ok, value, error = hooks.to_int(2**31, 7)
    assert (ok, value) == (False, -1) and error is not None


class Failing:
    """A sequence of four whose item 2 cannot be read."""

    def __len__(self):
        return 4

    def __getitem__(self, index):
        if index == 2:
            raise KeyError("sensor offline")
        return index + 10


INDEX = "Can't parse 'boundingBox'. Sequence item with index %d has a wrong type"


@pytest.mark.parametrize("obj, ok, rect, error", [
    ((10, 20, 30, 40), True, (10, 20, 30, 40), None),
    ([10, 20, 30, 40], True, (10, 20, 30, 40), None),
    (np.array([10, 20, 30, 40], np.int32), True, (10, 20, 30, 40), None),
    (np.array([10, 20, 30, 40], np.int64), True, (10, 20, 30, 40), None),
    (range(10, 50, 10), True, (10, 20, 30, 40), None),
    (b"\x01\x02\x03\x04", True, (1, 2, 3, 4), None),
    (None, True, (9, 9, 9, 9), None),
    ((None, 2, 3, 4), True, (9, 2, 3, 4), None),
    ((1, 2, 3), False, (9, 9, 9, 9), "Can't parse 'boundingBox'. Expected sequence length 4, got 3"),
    (5, False, (9, 9, 9, 9),
     "Can't parse 'boundingBox'. Input argument doesn't provide sequence protocol"),
    ({0: 1}, False, (9, 9, 9, 9),
     "Can't parse 'boundingBox'. Input argument doesn't provide sequence protocol"),
    ((1.5, 2, 3, 4), False, (9, 9, 9, 9), INDEX % 0),
    ((1, True, 3, 4), False, (1, 9, 9, 9), INDEX % 1),
    ((1, 2, 3, 2**40), False, (1, 2, 3, -1), INDEX % 3),
    (np.array([[1, 2]] * 4), False, (9, 9, 9, 9), INDEX % 0),
])
def test_convert_to_rect(obj, ok, rect, error):
    assert hooks.to_rect(obj, (9, 9, 9, 9))[:2] == (ok, rect)
    assert message(hooks.to_rect(obj, (9, 9, 9, 9))[2]) == error


@pytest.mark.parametrize("obj, rect, error, cause", [
    (Failing(), (10, 11, 9, 9), "Can't parse 'boundingBox'. Sequence item with index 2 can't be read",
     KeyError),
    (np.array(5), (9, 9, 9, 9), "Can't parse 'boundingBox'. Sequence length can't be read",
     TypeError),
])
def test_sequences_that_fail_themselves(obj, rect, error, cause):
    ok, result, exception = hooks.to_rect(obj, (9, 9, 9, 9))
    assert (ok, result) == (False, rect)
    assert type(exception) is TypeError and str(exception) == error
    assert type(exception.__cause__) is cause


@pytest.mark.parametrize("obj, logged", [
    ((1.5, 2, 3, 4), ["Argument 'boundingBox' is required to be an integer", INDEX % 0]),
    ((1, True, 3, 4), ["Argument 'boundingBox' must be integer, not bool", INDEX % 1]),
    ((1, 2), ["Can't parse 'boundingBox'. Expected sequence length 4, got 2"]),
])
def test_failures_are_logged_unless_the_level_is_below_warning(capfd, obj, logged):
    capfd.readouterr()
    error = hooks.to_rect(obj, (0, 0, 0, 0))[2]
    assert warnings(capfd.readouterr().err) == logged
    previous = hooks.set_log_level(2)  # error
    try:
        assert str(hooks.to_rect(obj, (0, 0, 0, 0))[2]) == str(error)
        assert warnings(capfd.readouterr().err) == []
    finally:
        hooks.set_log_level(previous)


def test_reports(capfd):
    capfd.readouterr()
    error = hooks.report("x" * 2000)
    assert type(error) is TypeError and str(error) == "x" * 999
    memory = hooks.emit(MemoryError, "no room")
    assert type(memory) is MemoryError and str(memory) == "no room"
    assert warnings(capfd.readouterr().err) == ["x" * 999, "no room"]


@pytest.mark.parametrize("obj, result", [
    ("abc", (True, b"abc", False)),
    ("\u00e9t\u00e9", (True, "\u00e9t\u00e9".encode(), False)),
    ("\udc80", (False, b"unchanged", False)),  # no UTF-8 form; nothing left pending
    (b"abc", (False, b"unchanged", False)),
])
def test_get_utf8_string(obj, result):
    assert hooks.utf8(obj) == result


def test_convert_from_vector():
    assert hooks.from_vector([]) == ()
    scores = hooks.from_vector([0.5, 0.25])
    assert scores.dtype == np.float64 and scores.shape == (2,) and scores.tolist() == [0.5, 0.25]
    assert scores.flags.owndata and scores.flags.writeable


SEVENS = {"size": (2, 3), "type": CV_8U, "values": [7.0] * 6}
NOT_ARRAY = "image is not a numpy array, neither a scalar"
OUT_OF_RANGE = "image has an integer outside the 32-bit int range"


@pytest.mark.parametrize("obj, ok, expected, error", [
    (None, True, dict(SEVENS, numpy_allocator=False), None),
    (5, True, {"size": (4, 1), "type": CV_64F, "values": [5, 0, 0, 0]}, None),
    (True, True, {"size": (4, 1), "type": CV_64F, "values": [1, 0, 0, 0]}, None),
    (2.5, True, {"size": (4, 1), "type": CV_64F, "values": [2.5, 0, 0, 0]}, None),
    (np.float64(2.5), True, {"size": (4, 1), "values": [2.5, 0, 0, 0]}, None),
    ((), True, {"empty": True}, None),
    ((1, 2.5), True, {"size": (2, 1), "type": CV_64F, "values": [1, 2.5]}, None),
    ((1, "a"), False, {"empty": True}, "image is not a numerical tuple"),
    ((1, 2**31), False, {"empty": True}, OUT_OF_RANGE),
    (-2**31 - 1, False, SEVENS, OUT_OF_RANGE),
    ([1, 2], False, SEVENS, NOT_ARRAY),
    (np.int32(4), False, SEVENS, NOT_ARRAY),
    (np.zeros(3, bool), False, SEVENS, "image data type = bool is not supported"),
    (np.zeros(3, np.uint32), False, SEVENS, "image data type = uint32 is not supported"),
    (np.zeros(3, np.complex64), False, SEVENS, "image data type = complex64 is not supported"),
    (np.zeros(3, "datetime64[s]"), False, SEVENS,
     "image data type = datetime64[s] is not supported"),
    (np.zeros(3, object), False, SEVENS, "image data type = object is not supported"),
    (np.zeros((1,) * 32, np.uint8), False, SEVENS, "image dimensionality (=32) is too high"),
    (np.broadcast_to(np.zeros((1, 1), np.uint8), (2**32 + 5, 1)), False, SEVENS,
     "image dimension 0 is too long (=4294967301)"),
])
def test_convert_to_mat_objects(obj, ok, expected, error):
    result, info, exception = hooks.to_mat(obj, True)
    assert result == ok and message(exception) == error
    assert {key: info[key] for key in expected} == expected


def test_none_gives_an_empty_matrix_the_numpy_allocator():
    info = hooks.to_mat(None)[1]
    assert info["empty"] and info["numpy_allocator"] and not info["numpy_backed"]


@pytest.mark.parametrize("dtype, depth", [
    (np.uint8, CV_8U), (np.int8, CV_8S), (np.uint16, CV_16U), (np.int16, CV_16S),
    (np.int32, CV_32S), (np.float32, CV_32F), (np.float64, CV_64F), (np.float16, CV_16F),
    (np.intc, CV_32S), (np.int_, None), (np.longlong, None), (np.uint64, None),
])
def test_element_types(dtype, depth):
    array = np.arange(-2, 4).astype(dtype).reshape(2, 3)
    ok, info, _ = hooks.to_mat(array)
    assert ok and info["size"] == (2, 3)
    assert info["values"] == array.astype(np.float64).ravel().tolist() or depth is None
    if depth is None:  # 64-bit integers reach OpenCV as an int32 copy
        assert info["type"] == CV_32S and info["owner"] is not array
        assert info["values"] == array.astype(np.int32).astype(np.float64).ravel().tolist()
    else:
        assert info["type"] == depth and info["owner"] is array


@pytest.mark.parametrize("shape, size, type_", [
    ((4, 5), (4, 5), cv_type(CV_8U)),
    ((4, 5, 3), (4, 5), cv_type(CV_8U, 3)),
    ((4, 5, 1), (4, 5), cv_type(CV_8U)),
    ((4, 5, 512), (4, 5), cv_type(CV_8U, 512)),
    ((4, 5, 600), (4, 5, 600), cv_type(CV_8U)),
    ((4, 5, 0), (4, 5, 0), cv_type(CV_8U)),  # no channels: stays three-dimensional
    ((2, 3, 4, 5), (2, 3, 4, 5), cv_type(CV_8U)),
    ((6,), (6, 1), cv_type(CV_8U)),
    ((), (1, 1), cv_type(CV_8U)),
    ((1,) * 31, (1,) * 31, cv_type(CV_8U)),
])
def test_shapes(shape, size, type_):
    array = np.zeros(shape, np.uint8)
    ok, info, _ = hooks.to_mat(array)
    assert ok and (info["size"], info["type"]) == (size, type_)
    assert info["owner"] is array and info["numpy_allocator"]


def odd_rows():
    return np.arange(48, dtype=np.uint8).reshape(8, 6)[::2]


def misaligned():
    raw = np.zeros(2 * 12 + 1, np.uint8)
    array = np.ndarray((3, 4), np.int16, raw, offset=1)
    array[...] = np.arange(12).reshape(3, 4)
    return array


LAYOUTS = {
    "row-major": (lambda: np.arange(24, dtype=np.uint8).reshape(4, 6), True),
    "every second row": (odd_rows, True),
    "read-only": (lambda: np.frombuffer(bytes(range(24)), np.uint8).reshape(4, 6), True),
    "one-column axis": (lambda: np.arange(24, dtype=np.uint8).reshape(4, 6)[:, 2:3], True),
    "reversed rows": (lambda: np.arange(24, dtype=np.uint8).reshape(4, 6)[::-1], False),
    "reversed columns": (lambda: np.arange(24, dtype=np.uint8).reshape(4, 6)[:, ::-1], False),
    "transposed": (lambda: np.arange(24, dtype=np.uint8).reshape(4, 6).T, False),
    "every second column": (lambda: np.arange(48, dtype=np.uint8).reshape(4, 12)[:, ::2], False),
    "reversed column of one": (lambda: np.arange(5.0)[::-1].reshape(5, 1), False),
    "channels apart": (lambda: np.arange(72, dtype=np.uint8).reshape(4, 6, 3)[:, :, :2], False),
    "reversed channels": (lambda: np.arange(72, dtype=np.uint8).reshape(4, 6, 3)[..., ::-1],
                          False),
    "big-endian": (lambda: np.arange(24, dtype=">u2").reshape(4, 6), False),
    "planes apart": (lambda: np.arange(9600, dtype=np.uint8).reshape(2, 8, 600)[:, ::2], True),
    "planes just apart": (lambda: as_strided(np.arange(8400, dtype=np.uint8) % 251,
                                             (2, 4, 600), (4200, 1200, 1)), True),
    # Rows, pixels or planes that share memory would pass for one packed block in OpenCV.
    "overlapping rows": (lambda: as_strided(np.arange(332, dtype=np.uint8), (259, 73), (1, 1)),
                         False),
    "rows one element too close": (lambda: as_strided(np.arange(30, dtype=np.uint16), (4, 6),
                                                      (10, 2)), False),
    "overlapping rows of pixels": (lambda: as_strided(np.arange(40, dtype=np.uint8), (5, 4, 3),
                                                      (6, 3, 1)), False),
    "overlapping planes": (lambda: as_strided(np.arange(2400, dtype=np.uint8) % 251,
                                              (3, 2, 600), (600, 600, 1)), False),
    "repeated rows": (lambda: np.broadcast_to(np.arange(6, dtype=np.uint8), (4, 6)), False),
    "misaligned": (misaligned, False),
}


@pytest.mark.parametrize("name", LAYOUTS)
def test_layouts(name):
    make, wrapped = LAYOUTS[name]
    array = make()
    before = sys.getrefcount(array)
    ok, info, _ = hooks.to_mat(array)
    assert ok and (info["owner"] is array) == wrapped
    assert (info["data"] == array.ctypes.data) == wrapped
    assert info["values"] == array.astype(np.float64).ravel().tolist()
    del info
    assert sys.getrefcount(array) == before  # the matrix let go of it


def test_rows_apart_keep_their_step():
    array = odd_rows()
    info = hooks.to_mat(array)[1]
    assert info["step"] == (12, 1) and info["owner"] is array


@pytest.mark.parametrize("type_, shape, dtype", [
    (cv_type(CV_8U, 3), (3, 4, 3), np.uint8),
    (cv_type(CV_32F), (3, 4), np.float32),
    (cv_type(CV_16F, 2), (3, 4, 2), np.float16),
    (cv_type(CV_32S), (3, 4), np.int32),
])
def test_new_buffers_are_numpy_arrays(type_, shape, dtype):
    info, array = hooks.create_from_none(3, 4, type_)
    assert info["type"] == type_ and info["numpy_backed"]
    assert array.shape == shape and array.dtype == dtype and (array == 3).all()
    del info
    assert sys.getrefcount(array) == 2  # ours alone: the matrix has given it back


def test_release_and_allocation_on_threads_without_the_gil():
    array = np.arange(24, dtype=np.uint8).reshape(4, 6)
    before = sys.getrefcount(array)
    assert hooks.release_on_thread(array) is False  # the releasing thread lacked the GIL
    assert sys.getrefcount(array) == before
    for direct in (False, True):
        made, error = hooks.allocate_on_thread(3, 4, 2, direct)
        assert error is None and made.shape == (3, 4, 2) and (made == 5).all()
        assert sys.getrefcount(made) == 2
    made, error = hooks.allocate_on_thread(2**30, 2**30, 3, True)
    assert made is None
    assert ("(-2:Unspecified error) The numpy array of typenum=2, ndims=3 can not be created in "
            "function 'NumpyAllocator::allocate'") in error
