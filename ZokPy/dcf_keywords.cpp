#include "ZokPy/dcf_keywords.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <string>

#include <pybind11/pybind11.h>

#include "config/tracker_dcf_fields.hpp"

namespace wyr::zok {

namespace {

namespace py = pybind11;

static_assert(std::numeric_limits<float>::is_iec559, "float must be IEEE 754 single precision");

[[noreturn]] void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

std::string typeName(PyObject* value) {
    return Py_TYPE(value)->tp_name;
}

// Reads the keyword of each field it is handed, remembering every name, so that the keywords
// no field took can be named afterwards.
class KeywordReader {
public:
    explicit KeywordReader(PyObject* kwargs) : kwargs_(kwargs) {}

    void number(const char* name, double& field) {
        if (PyObject* value = find(name)) {
            field = readNumber(name, value);
        }
    }

    // IEEE 754 narrowing rounds to nearest and turns a magnitude beyond the float range into an
    // infinity, as the configuration file's floats do.
    void number(const char* name, float& field) {
        if (PyObject* value = find(name)) {
            field = static_cast<float>(readNumber(name, value));
        }
    }

    void flag(const char* name, bool& field) {
        if (PyObject* value = find(name)) {
            if (value != Py_True && value != Py_False) {
                refuseType(name, "True or False", value);
            }
            field = value == Py_True;
        }
    }

    void integer(const char* name, int& field) {
        if (PyObject* value = find(name)) {
            field = static_cast<int>(readInteger(name, value, std::numeric_limits<int>::min(),
                                                 std::numeric_limits<int>::max()));
        }
    }

    void count(const char* name, size_t& field) {
        if (PyObject* value = find(name)) {
            field = static_cast<size_t>(
                readInteger(name, value, 0, std::numeric_limits<std::uint32_t>::max()));
        }
    }

    // Raises a TypeError for the first keyword, in the caller's order, that names no field. A
    // key is compared whole: one with a NUL inside (or one that UTF-8 cannot carry) names no
    // field, however it begins, and its repr names it in the message.
    void refuseUnknown() const {
        if (kwargs_ == nullptr || PyDict_Size(kwargs_) == Py_ssize_t(taken_)) {
            return;
        }
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs_, &position, &key, &value)) {
            if (!PyUnicode_Check(key)) {
                raise(PyExc_TypeError, "TrackerDcf() keywords must be strings");
            }
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(key, &size);
            if (text == nullptr) {
                PyErr_Clear();
            }
            if (text == nullptr || names_.count(std::string(text, size_t(size))) == 0) {
                PyErr_Format(PyExc_TypeError, "TrackerDcf() got an unexpected keyword argument %R",
                             key);
                throw py::error_already_set();
            }
        }
    }

private:
    PyObject* find(const char* name) {
        names_.insert(name);
        if (kwargs_ == nullptr) {
            return nullptr;
        }
        PyObject* value = PyDict_GetItemString(kwargs_, name);
        if (value != nullptr) {
            ++taken_;
        }
        return value;
    }

    [[noreturn]] static void refuseType(const char* name, const char* expected, PyObject* value) {
        raise(PyExc_TypeError, std::string("TrackerDcf() argument '") + name + "' must be " +
                                   expected + ", not " + typeName(value));
    }

    // A bool is an int to Python, but a flag given where a number belongs is a mistake.
    static double readNumber(const char* name, PyObject* value) {
        if (PyBool_Check(value) || !(PyFloat_Check(value) || PyLong_Check(value))) {
            refuseType(name, "a float or an int", value);
        }
        const double number = PyFloat_AsDouble(value);
        if (number == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            raise(PyExc_ValueError,
                  std::string("TrackerDcf() argument '") + name + "' is too large for a float");
        }
        return number;
    }

    static long long readInteger(const char* name, PyObject* value, long long low, long long high) {
        if (PyBool_Check(value) || !PyLong_Check(value)) {
            refuseType(name, "an int", value);
        }
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (number == -1 && PyErr_Occurred()) {
            throw py::error_already_set();
        }
        if (overflow != 0 || number < low || number > high) {
            raise(PyExc_ValueError, std::string("TrackerDcf() argument '") + name +
                                        "' must be an int from " + std::to_string(low) + " to " +
                                        std::to_string(high) + ", not " +
                                        describeInt(value, overflow));
        }
        return number;
    }

    // The int's decimal digits; for one beyond Python's limit of digits that str() converts
    // (4300 by default), which str() refuses with a ValueError of its own, its sign and size.
    // `overflow` is PyLong_AsLongLongAndOverflow's: -1 or 1 beyond long long, else 0.
    static std::string describeInt(PyObject* value, int overflow) {
        if (PyObject* text = PyObject_Str(value)) {
            const py::str digits = py::reinterpret_steal<py::str>(text);
            return digits.cast<std::string>();
        }
        if (overflow == 0 || !PyErr_ExceptionMatches(PyExc_ValueError)) {
            throw py::error_already_set();
        }
        PyErr_Clear();
        const py::object bits = py::reinterpret_borrow<py::object>(value).attr("bit_length")();
        return std::string(overflow < 0 ? "a negative" : "a positive") + " int of " +
               py::str(bits).cast<std::string>() + " bits";
    }

    PyObject* kwargs_;
    std::set<std::string> names_;
    size_t taken_ = 0;
};

} // namespace

TrackerDcf::Params paramsFromKeywords(PyObject* kwargs) {
    TrackerDcf::Params params;
    KeywordReader reader(kwargs);
    visitDcfFields(params, reader);
    reader.refuseUnknown();
    return params;
}

} // namespace wyr::zok
