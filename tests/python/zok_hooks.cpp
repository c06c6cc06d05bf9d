// _zok_hooks: a test-only extension module built from the same conversion objects as _zok. It
// calls the conversions directly, so that tests can see the matrices they make, and it moves
// numpy-backed matrices onto native threads that do not hold the GIL. Never shipped.
#define ZOK_NUMPY_IMPORT
#include "ZokPy/numpy_api.hpp"

#include <string>
#include <thread>
#include <utility>

#include <opencv2/core/utils/logger.hpp>

#include "ZokPy/cv2_numpy.hpp"
#include "ZokPy/cv2_util.hpp"

namespace {

using wyr::zok::ArgDesc;

// The pending exception as a value (None when there is none), leaving none pending.
PyObject* fetch_exception() {
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    if (!type) {
        Py_RETURN_NONE;
    }
    PyErr_NormalizeException(&type, &value, &trace);
    Py_XDECREF(type);
    Py_XDECREF(trace);
    return value ? value : Py_NewRef(Py_None);
}

// (ok, value, exception): a conversion's outcome together with what it left behind.
PyObject* outcome(bool ok, PyObject* value) {
    PyObject* exception = fetch_exception();
    if (!value) {
        Py_DECREF(exception);
        return nullptr;
    }
    return Py_BuildValue("(ONN)", ok ? Py_True : Py_False, value, exception);
}

PyObject* to_int(PyObject*, PyObject* args) {
    PyObject* obj;
    int value;
    if (!PyArg_ParseTuple(args, "Oi", &obj, &value)) {
        return nullptr;
    }
    const bool ok = wyr::zok::convert_to_int(obj, value, ArgDesc{"value"});
    return outcome(ok, PyLong_FromLong(value));
}

PyObject* to_rect(PyObject*, PyObject* args) {
    PyObject* obj;
    cv::Rect r;
    if (!PyArg_ParseTuple(args, "O(iiii)", &obj, &r.x, &r.y, &r.width, &r.height)) {
        return nullptr;
    }
    const bool ok = wyr::zok::convert_to_rect(obj, r, ArgDesc{"boundingBox"});
    return outcome(ok, Py_BuildValue("(iiii)", r.x, r.y, r.width, r.height));
}

PyObject* int_tuple(int count, const int* values) {
    PyObject* tuple = PyTuple_New(count);
    for (int i = 0; tuple && i < count; ++i) {
        PyTuple_SET_ITEM(tuple, i, PyLong_FromLong(values[i]));
    }
    return tuple;
}

// What a test needs to know of a matrix: its shape, type, steps and memory, whether the numpy
// allocator backs it and with which array, and its values in order.
PyObject* describe(const cv::Mat& m) {
    int steps[32];
    for (int i = 0; i < m.dims; ++i) {
        steps[i] = static_cast<int>(m.step[i]);
    }
    const bool numpyBacked = m.u && m.u->currAllocator == &wyr::zok::numpy_allocator();
    PyObject* owner = numpyBacked ? static_cast<PyObject*>(m.u->userdata) : Py_None;
    PyObject* values = Py_NewRef(Py_None);
    if (!m.empty()) {
        // A packed copy, read in order: every element once, whatever the matrix's steps.
        cv::Mat wide;
        m.convertTo(wide, CV_64F);
        Py_DECREF(values);
        values = PyList_New(0);
        const double* element = wide.ptr<double>();
        const size_t count = wide.total() * wide.channels();
        for (size_t i = 0; values && i < count; ++i) {
            PyObject* item = PyFloat_FromDouble(element[i]);
            PyList_Append(values, item);
            Py_XDECREF(item);
        }
    }
    return Py_BuildValue(
        "{s:O,s:i,s:N,s:N,s:i,s:i,s:n,s:O,s:O,s:O,s:N}", "empty", m.empty() ? Py_True : Py_False,
        "dims", m.dims, "size", int_tuple(m.dims, m.size.p), "step", int_tuple(m.dims, steps),
        "type", m.type(), "channels", m.channels(), "data", reinterpret_cast<Py_ssize_t>(m.data),
        "numpy_allocator", m.allocator == &wyr::zok::numpy_allocator() ? Py_True : Py_False,
        "numpy_backed", numpyBacked ? Py_True : Py_False, "owner", owner, "values", values);
}

// to_mat(obj, preset): converts into an empty matrix, or with `preset` into a 2x3 CV_8U matrix
// of sevens, so that tests can see what a failure leaves behind.
PyObject* to_mat(PyObject*, PyObject* args) {
    PyObject* obj;
    int preset = 0;
    if (!PyArg_ParseTuple(args, "O|p", &obj, &preset)) {
        return nullptr;
    }
    try {
        cv::Mat m;
        if (preset) {
            m = cv::Mat(2, 3, CV_8U, cv::Scalar(7));
        }
        const bool ok = wyr::zok::convert_to_mat(obj, m, ArgDesc{"image"});
        return outcome(ok, describe(m));
    } catch (const cv::Exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        return nullptr;
    }
}

// A matrix made from None gets its buffer from the numpy allocator: returns that buffer's array.
PyObject* create_from_none(PyObject*, PyObject* args) {
    int rows, cols, type;
    if (!PyArg_ParseTuple(args, "iii", &rows, &cols, &type)) {
        return nullptr;
    }
    try {
        cv::Mat m;
        wyr::zok::convert_to_mat(Py_None, m, ArgDesc{"image"});
        m.create(rows, cols, type);
        m.setTo(cv::Scalar::all(3));
        return Py_BuildValue("(NO)", describe(m), static_cast<PyObject*>(m.u->userdata));
    } catch (const cv::Exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        return nullptr;
    }
}

PyObject* report(PyObject*, PyObject* args) {
    const char* text;
    if (!PyArg_ParseTuple(args, "s", &text)) {
        return nullptr;
    }
    wyr::zok::report_failmsg("%s", text);
    return fetch_exception();
}

PyObject* emit(PyObject*, PyObject* args) {
    PyObject* type;
    const char* text;
    if (!PyArg_ParseTuple(args, "Os", &type, &text)) {
        return nullptr;
    }
    wyr::zok::emit_failmsg(type, text);
    return fetch_exception();
}

PyObject* utf8(PyObject*, PyObject* obj) {
    std::string text = "unchanged";
    const bool ok = wyr::zok::get_utf8_string(obj, text);
    const bool pending = PyErr_Occurred() != nullptr;
    PyErr_Clear();
    return Py_BuildValue("(Oy#O)", ok ? Py_True : Py_False, text.data(),
                         static_cast<Py_ssize_t>(text.size()), pending ? Py_True : Py_False);
}

PyObject* from_vector(PyObject*, PyObject* obj) {
    std::vector<double> values;
    const Py_ssize_t count = PySequence_Size(obj);
    if (count < 0) {
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PySequence_GetItem(obj, i);
        if (!item) {
            return nullptr;
        }
        values.push_back(PyFloat_AsDouble(item));
        Py_DECREF(item);
    }
    return wyr::zok::convert_from_vector(values);
}

PyObject* set_log_level(PyObject*, PyObject* args) {
    int level;
    if (!PyArg_ParseTuple(args, "i", &level)) {
        return nullptr;
    }
    namespace logging = cv::utils::logging;
    return PyLong_FromLong(logging::setLogLevel(static_cast<logging::LogLevel>(level)));
}

// Wraps `array` and lets a native thread, which does not hold the GIL, release the last matrix
// over it. Returns whether that thread held the GIL just before the release (it must not).
PyObject* release_on_thread(PyObject*, PyObject* array) {
    cv::Mat m;
    if (!wyr::zok::convert_to_mat(array, m, ArgDesc{"image"})) {
        return nullptr;
    }
    bool heldGil = true;
    std::string error;
    Py_BEGIN_ALLOW_THREADS;
    std::thread worker([&heldGil, &error, mat = std::move(m)]() mutable {
        heldGil = PyGILState_Check() != 0;
        try {
            mat.release();
        } catch (const cv::Exception& e) {
            error = e.what();
        }
    });
    worker.join();
    Py_END_ALLOW_THREADS;
    if (!error.empty()) {
        PyErr_SetString(PyExc_RuntimeError, error.c_str());
        return nullptr;
    }
    return PyBool_FromLong(heldGil);
}

// A native thread without the GIL makes a rows x cols x channels uint8 matrix with the numpy
// allocator and fills it with 5; another one releases it after the array has been handed out.
// With `direct`, the thread asks the allocator itself, as cv::Mat::create falls back to OpenCV's
// own allocator when ours fails. Returns (array, None), or (None, the OpenCV error's text) when
// numpy could not make the array.
PyObject* allocate_on_thread(PyObject*, PyObject* args) {
    int rows, cols, channels, direct = 0;
    if (!PyArg_ParseTuple(args, "iii|p", &rows, &cols, &channels, &direct)) {
        return nullptr;
    }
    cv::Mat m;
    std::string error;
    bool pendingOnThread = false;
    Py_BEGIN_ALLOW_THREADS;
    std::thread maker([&]() {
        const int type = CV_8UC(channels);
        try {
            if (direct) {
                const int sizes[] = {rows, cols};
                size_t steps[2];
                cv::UMatData* u = wyr::zok::numpy_allocator().allocate(
                    2, sizes, type, nullptr, steps, cv::ACCESS_RW, cv::USAGE_DEFAULT);
                m = cv::Mat(rows, cols, type, u->data, steps[0]);
                m.u = u;
                m.addref();
                m.allocator = &wyr::zok::numpy_allocator();
            } else {
                m.allocator = &wyr::zok::numpy_allocator();
                m.create(rows, cols, type);
            }
            m.setTo(cv::Scalar::all(5));
        } catch (const cv::Exception& e) {
            error = e.what();
            PyGILState_STATE state = PyGILState_Ensure();
            pendingOnThread = PyErr_Occurred() != nullptr;
            PyGILState_Release(state);
        }
    });
    maker.join();
    Py_END_ALLOW_THREADS;
    if (!error.empty()) {
        if (pendingOnThread) {
            PyErr_SetString(PyExc_AssertionError, "a Python error was left on the thread");
            return nullptr;
        }
        return Py_BuildValue("(Os)", Py_None, error.c_str());
    }
    PyObject* array = Py_NewRef(static_cast<PyObject*>(m.u->userdata));
    Py_BEGIN_ALLOW_THREADS;
    std::thread releaser([mat = std::move(m)]() mutable { mat.release(); });
    releaser.join();
    Py_END_ALLOW_THREADS;
    return Py_BuildValue("(NO)", array, Py_None);
}

PyMethodDef methods[] = {{"to_int", to_int, METH_VARARGS, nullptr},
                         {"to_rect", to_rect, METH_VARARGS, nullptr},
                         {"to_mat", to_mat, METH_VARARGS, nullptr},
                         {"create_from_none", create_from_none, METH_VARARGS, nullptr},
                         {"report", report, METH_VARARGS, nullptr},
                         {"emit", emit, METH_VARARGS, nullptr},
                         {"utf8", utf8, METH_O, nullptr},
                         {"from_vector", from_vector, METH_O, nullptr},
                         {"set_log_level", set_log_level, METH_VARARGS, nullptr},
                         {"release_on_thread", release_on_thread, METH_O, nullptr},
                         {"allocate_on_thread", allocate_on_thread, METH_VARARGS, nullptr},
                         {nullptr, nullptr, 0, nullptr}};

PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "_zok_hooks", nullptr, -1, methods, nullptr, nullptr, nullptr, nullptr};

} // namespace

PyMODINIT_FUNC PyInit__zok_hooks() {
    import_array();
    return PyModule_Create(&module);
}
