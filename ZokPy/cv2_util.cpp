#include "ZokPy/cv2_util.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

#include <opencv2/core/utils/logger.hpp>

#include "ZokPy/numpy_api.hpp"

namespace wyr::zok {

namespace {

constexpr size_t kMessageBufferSize = 1000;
constexpr Py_ssize_t kRectItems = 4;

// The pending exception, normalised and carrying its traceback, or null when none is pending.
PyObject* take_exception() {
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    if (value && trace) {
        PyException_SetTraceback(value, trace);
    }
    Py_XDECREF(type);
    Py_XDECREF(trace);
    return value;
}

// Makes `cause` (a reference, consumed) the __cause__ of the exception just reported, so that a
// failure inside the caller's sequence stays visible behind our message.
void chain_cause(PyObject* cause) {
    if (!cause) {
        return;
    }
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    if (value) {
        PyException_SetContext(value, Py_NewRef(cause));
        PyException_SetCause(value, cause);
    } else {
        Py_DECREF(cause);
    }
    PyErr_Restore(type, value, trace);
}

} // namespace

int report_failmsg(const char* format, ...) {
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
    emit_failmsg(PyExc_TypeError, message);
    return 0;
}

void emit_failmsg(PyObject* exc, const char* msg) {
    namespace logging = cv::utils::logging;
    // A warning that cannot be written must not keep the Python error from being raised.
    try {
        const logging::LogTag* tag = logging::internal::getGlobalLogTag();
        if (!tag || tag->level >= logging::LOG_LEVEL_WARNING) {
            const std::string text = std::string("Bindings conversion failed: ") + msg;
            logging::internal::writeLogMessageEx(logging::LOG_LEVEL_WARNING,
                                                 tag ? tag->name : nullptr, __FILE__, __LINE__,
                                                 "emit_failmsg", text.c_str());
        }
    } catch (...) {
    }
    PyErr_SetString(exc, msg);
}

bool convert_to_int(PyObject* obj, int& value, const ArgDesc& arg) {
    if (!obj || obj == Py_None) {
        return true;
    }
    // bool derives from int, so it has to be turned away first.
    if (PyBool_Check(obj) || PyObject_TypeCheck(obj, &PyBoolArrType_Type)) {
        return report_failmsg("Argument '%s' must be integer, not bool", arg.name);
    }
    if (PyLong_Check(obj) || PyObject_TypeCheck(obj, &PyIntegerArrType_Type)) {
        value = PyArray_PyIntAsInt(obj);
        return !(value == -1 && PyErr_Occurred());
    }
    return report_failmsg("Argument '%s' is required to be an integer", arg.name);
}

bool parse_int_sequence(PyObject* obj, int* const targets[4], const ArgDesc& arg,
                        NoneItems noneItems) {
    if (!obj || obj == Py_None) {
        return true;
    }
    if (!PySequence_Check(obj)) {
        return report_failmsg("Can't parse '%s'. Input argument doesn't provide sequence protocol",
                              arg.name);
    }
    const Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        PyObject* cause = take_exception();
        report_failmsg("Can't parse '%s'. Sequence length can't be read", arg.name);
        chain_cause(cause);
        return false;
    }
    if (length != kRectItems) {
        return report_failmsg("Can't parse '%s'. Expected sequence length %lu, got %lu", arg.name,
                              static_cast<unsigned long>(kRectItems),
                              static_cast<unsigned long>(length));
    }
    for (Py_ssize_t i = 0; i < kRectItems; ++i) {
        PyObject* item = PySequence_GetItem(obj, i);
        // An item the sequence cannot produce is a failure of its own, never an absent value.
        if (!item) {
            PyObject* cause = take_exception();
            report_failmsg("Can't parse '%s'. Sequence item with index %lu can't be read", arg.name,
                           static_cast<unsigned long>(i));
            chain_cause(cause);
            return false;
        }
        const bool converted = !(item == Py_None && noneItems == NoneItems::REFUSE) &&
                               convert_to_int(item, *targets[i], arg);
        Py_DECREF(item);
        if (!converted) {
            return report_failmsg("Can't parse '%s'. Sequence item with index %lu has a wrong type",
                                  arg.name, static_cast<unsigned long>(i));
        }
    }
    return true;
}

bool convert_to_rect(PyObject* obj, cv::Rect& r, const ArgDesc& arg) {
    int* const targets[4] = {&r.x, &r.y, &r.width, &r.height};
    return parse_int_sequence(obj, targets, arg);
}

bool convert_to_box(PyObject* obj, cv::Rect& r, const ArgDesc& arg) {
    if (!obj || obj == Py_None) {
        return report_failmsg("Can't parse '%s'. Expected a sequence of four ints, got None",
                              arg.name);
    }
    int* const targets[4] = {&r.x, &r.y, &r.width, &r.height};
    return parse_int_sequence(obj, targets, arg, NoneItems::REFUSE);
}

} // namespace wyr::zok
