#pragma once

// Failure reporting and the integer and rectangle conversions of the Python module. Every
// function here is called with the GIL held; `obj` arguments are borrowed and may be null.
#include <Python.h>

#include <opencv2/core/types.hpp>

#include "ZokPy/arg_desc.hpp"

namespace wyr::zok {

// Formats printf-style into at most 999 characters and raises the text as a TypeError through
// emit_failmsg. Always returns 0, so that a conversion can `return report_failmsg(...)`.
int report_failmsg(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Logs "Bindings conversion failed: <msg>" as an OpenCV warning (unless OpenCV's global log
// level is below warning) and sets the Python exception `exc` with `msg`, replacing any pending
// one.
void emit_failmsg(PyObject* exc, const char* msg);

// None (or null) leaves `value` alone and succeeds. Python ints and numpy integer scalars are
// stored; bools, numpy bools and everything else are refused. False means a Python exception is
// set (numpy's own one when the value does not fit an int, with `value` then -1).
bool convert_to_int(PyObject* obj, int& value, const ArgDesc& arg);

// What None stands for where an int is read: nothing (the target keeps its value), or a value
// of the wrong type.
enum class NoneItems { KEEP, REFUSE };

// Reads any sequence of exactly four integers into `*targets[0..3]` in order. None (or null)
// leaves them alone and succeeds; so does an item of None, unless `noneItems` is REFUSE. On
// failure a TypeError is set; targets before the failing item keep the values already written.
bool parse_int_sequence(PyObject* obj, int* const targets[4], const ArgDesc& arg,
                        NoneItems noneItems = NoneItems::KEEP);

// parse_int_sequence into x, y, width and height.
bool convert_to_rect(PyObject* obj, cv::Rect& r, const ArgDesc& arg);

// A box that must be given: four ints read as convert_to_rect reads them, but None, for the box
// or for any of its items, is a TypeError instead of leaving a value alone.
bool convert_to_box(PyObject* obj, cv::Rect& r, const ArgDesc& arg);

} // namespace wyr::zok
