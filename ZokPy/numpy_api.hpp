#pragma once

// numpy's C API is a table of function pointers that import_array() fills in once per module.
// Every unit of the module reaches that one table through PY_ARRAY_UNIQUE_SYMBOL; only the unit
// that defines ZOK_NUMPY_IMPORT (the module's initialisation, which calls import_array) owns it.
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL zok_ARRAY_API
#ifndef ZOK_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION

// We call only functions that numpy's table has held since 1.7, so the module asks for the API
// feature version of numpy 1.16 to 1.19 (0xD) and runs on any 1.x numpy from then on. Headers
// from numpy 1.25 on honour NPY_TARGET_VERSION; older ones always demand their own version, so
// the demand is lowered by hand there, before import_array's check is compiled.
#define NPY_TARGET_VERSION NPY_1_17_API_VERSION
#include <numpy/ndarraytypes.h>
#if NPY_FEATURE_VERSION > 0x0000000D
#undef NPY_FEATURE_VERSION
#define NPY_FEATURE_VERSION 0x0000000D
#endif
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>
