// The extension module _zok: the flat functions behind the Python class zok.PyTrackerCorr and
// the read-only constant SIGMA_EXP_MAX in cvar. Built with SWIG 4.1.0 over a mended copy of its
// Python runtime (see swig/).
%module zok

%{
#define ZOK_NUMPY_IMPORT
#include "ZokPy/numpy_api.hpp"

#include <new>
#include <stdexcept>

#include "ZokPy/py_tracker_corr.hpp"

using wyr::zok::SIGMA_EXP_MAX;
%}

%init %{
import_array();
%}

// The object argument of every method. Deleting forgets the pointer in the wrapper that held it,
// so that a later call through that wrapper cannot reach freed memory and a second delete does
// nothing; every other method refuses a null object (None, or a deleted one) instead of using it.
%typemap(in, noblock=1) PyTrackerCorr* self (void* argp = 0, int res = 0),
                        const PyTrackerCorr* self (void* argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, $disown);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if ($disown) {
    // Finds the same wrapper again; clearing alone, as DISOWN and CLEAR together would refuse
    // a wrapper that does not own its object.
    SWIG_ConvertPtr($input, 0, $descriptor, SWIG_POINTER_CLEAR);
  } else if (!$1) {
    %argument_nullref("$type", $symname, $argnum);
  }
}

// No C++ exception may reach the interpreter, and no call may hand back a result while a Python
// error is pending (a failed conversion leaves its TypeError set and the method returns false).
%exception {
  try {
    $action
  } catch (const cv::Exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    SWIG_fail;
  } catch (const std::bad_alloc& e) {
    PyErr_SetString(PyExc_MemoryError, e.what());
    SWIG_fail;
  } catch (const std::invalid_argument& e) {
    PyErr_SetString(PyExc_ValueError, e.what());
    SWIG_fail;
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    SWIG_fail;
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
    SWIG_fail;
  }
  if (PyErr_Occurred()) {
    SWIG_fail;
  }
}

extern const float SIGMA_EXP_MAX;

// One wrapper that takes setOptions' last argument or leaves it out, rather than an overload
// dispatcher, whose messages would not name the argument refused.
%feature("compactdefaultargs") PyTrackerCorr::setOptions;

%include "ZokPy/py_tracker_corr.hpp"
