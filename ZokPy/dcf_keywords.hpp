#pragma once

// The keyword arguments of zok.TrackerDcf(**params) as TrackerDcf::Params.
#include <Python.h>

#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

// The defaults, overlaid with `kwargs` (a dict of str keys, or null for none), whose keys are
// the names of the Params fields. Numbers take a Python float or int (float fields are rounded
// to single precision, to an infinity beyond its range), flags True or False, integer fields an
// int in the field's range (count fields 0..4294967295, as in the configuration file). A bool
// is no number. Raises pybind11::error_already_set with a TypeError for a value of the wrong
// type or an unknown keyword, and a ValueError for an int out of range, naming the keyword.
// The GIL must be held.
TrackerDcf::Params paramsFromKeywords(PyObject* kwargs);

} // namespace wyr::zok
