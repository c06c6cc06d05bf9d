"""The module _zok itself: its functions, cvar, the shared runtime record and its import."""

import sys

import pytest

import _zok
from conftest import run_python

FUNCTIONS = ["new_PyTrackerCorr", "delete_PyTrackerCorr", "PyTrackerCorr_init",
             "PyTrackerCorr_update", "PyTrackerCorr_variance", "PyTrackerCorr_matches",
             "PyTrackerCorr_setOptions", "PyTrackerCorr_swigregister", "PyTrackerCorr_swiginit"]


def test_module_contents():
    assert _zok.__doc__ is None
    assert [name for name in vars(_zok) if not name.startswith("__")] == FUNCTIONS + ["cvar"]
    assert all(getattr(_zok, name).__doc__ is None for name in FUNCTIONS)
    with pytest.raises(TypeError, match="takes no keyword arguments"):
        _zok.new_PyTrackerCorr(searchRadiusFactor=4.0)
    import _zok as again
    assert again is _zok
    runtime = sys.modules["swig_runtime_data4"]
    assert type(runtime.type_pointer_capsule).__name__ == "PyCapsule"
    assert "swig_runtime_data4.type_pointer_capsule" in repr(runtime.type_pointer_capsule)


def test_cvar():
    cvar = _zok.cvar
    assert type(cvar.SIGMA_EXP_MAX) is float and cvar.SIGMA_EXP_MAX == 5.0
    assert str(cvar) == "(SIGMA_EXP_MAX)" and repr(cvar) == "<Swig global variables>"
    assert type(cvar).__name__ == "swigvarlink" and type(cvar).__doc__ == "Swig var link object"
    for change in (lambda: setattr(cvar, "SIGMA_EXP_MAX", 4.0),
                   lambda: delattr(cvar, "SIGMA_EXP_MAX")):
        with pytest.raises(AttributeError) as error:
            change()
        assert str(error.value) == "Variable SIGMA_EXP_MAX is read-only."
    assert cvar.SIGMA_EXP_MAX == 5.0
    for access in (lambda: cvar.foo, lambda: setattr(cvar, "foo", 1)):
        with pytest.raises(AttributeError) as error:
            access()
        assert str(error.value) == "Unknown C global variable 'foo'"


# Stands in for numpy's API table: a capsule over a table whose version functions answer what
# the test asks, so that the module's checks at import can be seen to pass or fail.
FAKE_NUMPY = """
import ctypes, sys, types
import numpy
answer = ctypes.CFUNCTYPE(ctypes.c_uint)
functions = {0: answer(lambda: %(abi)d), 210: answer(lambda: 1), 211: answer(lambda: %(api)d)}
table = (ctypes.c_void_p * 212)(*[ctypes.cast(functions[i], ctypes.c_void_p) if i in functions
                                  else None for i in range(212)])
new_capsule = ctypes.pythonapi.PyCapsule_New
new_capsule.restype = ctypes.py_object
new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
fake = types.ModuleType("numpy.core._multiarray_umath")
fake._ARRAY_API = %(capsule)s
sys.modules["numpy.core._multiarray_umath"] = fake
try:
    import _zok
    print("imported", _zok.cvar.SIGMA_EXP_MAX)
except ImportError as error:
    print("ImportError:", error)
"""


@pytest.mark.parametrize("abi, api, capsule, printed", [
    # numpy's API of 1.16 to 1.19 is all the module asks for.
    (0x1000009, 0xD, "new_capsule(table, None, None)", None),
    (0x1000009, 0xC, "new_capsule(table, None, None)",
     "RuntimeError: module compiled against API version 0xd but this version of numpy is 0xc"),
    (0x2000000, 0x10, "new_capsule(table, None, None)",
     "RuntimeError: module compiled against ABI version 0x1000009 but this version of numpy is "
     "0x2000000"),
    (0x1000009, 0x10, "'not a capsule'", "RuntimeError: _ARRAY_API is not PyCapsule object"),
])
def test_numpy_checks_at_import(abi, api, capsule, printed):
    result = run_python(FAKE_NUMPY % {"abi": abi, "api": api, "capsule": capsule})
    assert result.returncode == 0, result.stderr
    if printed is None:
        assert result.stdout == "imported 5.0\n"
    else:
        assert result.stdout == "ImportError: numpy.core.multiarray failed to import\n"
        assert printed in result.stderr
