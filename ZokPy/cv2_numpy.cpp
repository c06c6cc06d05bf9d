#include "ZokPy/cv2_numpy.hpp"

#include <climits>
#include <cstdio>
#include <cstring>

#include "ZokPy/cv2_util.hpp"
#include "ZokPy/numpy_api.hpp"

namespace wyr::zok {

namespace {

// Holds the GIL for its lifetime; nests on a thread that already holds it.
class GilLock {
public:
    GilLock() : state_(PyGILState_Ensure()) {}
    ~GilLock() { PyGILState_Release(state_); }
    GilLock(const GilLock&) = delete;
    GilLock& operator=(const GilLock&) = delete;

private:
    PyGILState_STATE state_;
};

// A reference owned until handed on with release().
class OwnedRef {
public:
    explicit OwnedRef(PyObject* object = nullptr) : object_(object) {}
    ~OwnedRef() { Py_XDECREF(object_); }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    PyObject* get() const { return object_; }
    void reset(PyObject* object) {
        Py_XDECREF(object_);
        object_ = object;
    }
    PyObject* release() {
        PyObject* object = object_;
        object_ = nullptr;
        return object;
    }

private:
    PyObject* object_;
};

// The most dimensions a cv::Mat may have (CV_MAX_DIM, which only OpenCV's legacy C headers name).
constexpr int kMaxDims = 32;

// numpy's type for each OpenCV depth, indexed by depth (CV_8U .. CV_16F).
constexpr int kNumpyTypeOfDepth[] = {NPY_UINT8, NPY_INT8,    NPY_UINT16,  NPY_INT16,
                                     NPY_INT32, NPY_FLOAT32, NPY_FLOAT64, NPY_FLOAT16};
static_assert(sizeof(kNumpyTypeOfDepth) / sizeof(kNumpyTypeOfDepth[0]) == CV_DEPTH_MAX);

struct DepthMapping {
    bool supported = false;
    int depth = 0;
    bool needsCast = false; // to int32, by numpy
};

// Keyed by kind and width rather than by type number: numpy numbers its integer types after C's
// int, long and long long, whose widths differ between platforms, so on one platform int64 is
// NPY_LONG and on another NPY_LONGLONG, while int32 may be either NPY_INT or NPY_LONG.
DepthMapping depth_of(const PyArray_Descr* descr) {
    if (descr->type_num >= NPY_USERDEF) {
        return {};
    }
    switch (descr->kind) {
    case 'u':
        switch (descr->elsize) {
        case 1:
            return {true, CV_8U, false};
        case 2:
            return {true, CV_16U, false};
        case 8:
            return {true, CV_32S, true};
        }
        break;
    case 'i':
        switch (descr->elsize) {
        case 1:
            return {true, CV_8S, false};
        case 2:
            return {true, CV_16S, false};
        case 4:
            return {true, CV_32S, false};
        case 8:
            return {true, CV_32S, true};
        }
        break;
    case 'f':
        switch (descr->elsize) {
        case 2:
            return {true, CV_16F, false};
        case 4:
            return {true, CV_32F, false};
        case 8:
            return {true, CV_64F, false};
        }
        break;
    }
    return {};
}

// A Python int as a C int. Values outside its range are refused rather than wrapped, which would
// hand the tracker a different number than the caller gave.
bool read_int(PyObject* obj, int& value, const ArgDesc& arg) {
    int overflow = 0;
    const long long wide = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (wide == -1 && PyErr_Occurred()) {
        return false;
    }
    if (overflow != 0 || wide < INT_MIN || wide > INT_MAX) {
        char message[200];
        std::snprintf(message, sizeof(message), "%s has an integer outside the 32-bit int range",
                      arg.name);
        emit_failmsg(PyExc_OverflowError, message);
        return false;
    }
    value = static_cast<int>(wide);
    return true;
}

// Whether the array is laid out as OpenCV's steps describe a matrix: packed elements along the
// last axis, and along every other axis blocks that follow one another without sharing memory
// (gaps between them are fine). A step smaller than the block it steps over would make rows,
// pixels or planes overlap, and OpenCV, which takes a step as large as the block for a packed
// matrix, would then read past the array's memory.
bool nestedWithoutOverlap(int dims, const npy_intp* shape, const npy_intp* strides,
                          npy_intp elementSize) {
    // Bytes from the start of one block of the inner axes to the end of its last element.
    npy_intp extent = elementSize;
    for (int i = dims - 1; i >= 0; --i) {
        // An axis of one entry is never stepped along, so its stride does not matter.
        if (shape[i] <= 1) {
            continue;
        }
        if (i == dims - 1 ? strides[i] != elementSize : strides[i] < extent) {
            return false;
        }
        npy_intp span = 0;
        if (__builtin_mul_overflow(strides[i], shape[i] - 1, &span) ||
            __builtin_add_overflow(span, extent, &extent)) {
            return false;
        }
    }
    return true;
}

bool report_unsupported_type(const PyArray_Descr* descr, const ArgDesc& arg) {
    OwnedRef text(PyObject_Str(reinterpret_cast<PyObject*>(const_cast<PyArray_Descr*>(descr))));
    std::string name;
    if (text.get() && get_utf8_string(text.get(), name)) {
        return report_failmsg("%s data type = %s is not supported", arg.name, name.c_str());
    }
    return report_failmsg("%s data type = %d is not supported", arg.name, descr->type_num);
}

bool convert_scalar_or_tuple(PyObject* obj, cv::Mat& m, const ArgDesc& arg) {
    if (PyLong_Check(obj)) {
        int value = 0;
        if (!read_int(obj, value, arg)) {
            return false;
        }
        m = cv::Mat(cv::Vec4d(value, 0, 0, 0));
        return true;
    }
    if (PyFloat_Check(obj)) {
        m = cv::Mat(cv::Vec4d(PyFloat_AS_DOUBLE(obj), 0, 0, 0));
        return true;
    }
    const Py_ssize_t count = PyTuple_GET_SIZE(obj);
    m = cv::Mat(static_cast<int>(count), 1, CV_64F, cv::Scalar(0));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyTuple_GET_ITEM(obj, i);
        double& target = m.at<double>(static_cast<int>(i));
        if (PyLong_Check(item)) {
            int value = 0;
            if (!read_int(item, value, arg)) {
                m.release();
                return false;
            }
            target = value;
        } else if (PyFloat_Check(item)) {
            target = PyFloat_AS_DOUBLE(item);
        } else {
            m.release();
            return report_failmsg("%s is not a numerical tuple", arg.name);
        }
    }
    return true;
}

} // namespace

NumpyAllocator::NumpyAllocator() : stdAllocator(cv::Mat::getStdAllocator()) {}

cv::UMatData* NumpyAllocator::allocate(PyObject* array, int dims, const int* sizes, int type,
                                       size_t* step) const {
    cv::UMatData* u = nullptr;
    try {
        u = new cv::UMatData(this);
    } catch (...) {
        Py_DECREF(array);
        throw;
    }
    PyArrayObject* a = reinterpret_cast<PyArrayObject*>(array);
    u->data = u->origdata = static_cast<uchar*>(PyArray_DATA(a));
    const npy_intp* strides = PyArray_STRIDES(a);
    for (int i = 0; i < dims - 1; ++i) {
        step[i] = static_cast<size_t>(strides[i]);
    }
    step[dims - 1] = CV_ELEM_SIZE(type);
    u->size = sizes[0] * step[0];
    u->userdata = array;
    return u;
}

cv::UMatData* NumpyAllocator::allocate(int dims, const int* sizes, int type, void* data,
                                       size_t* step, cv::AccessFlag flags,
                                       cv::UMatUsageFlags usageFlags) const {
    if (data) {
        return stdAllocator->allocate(dims, sizes, type, data, step, flags, usageFlags);
    }
    const GilLock gil;
    const int typenum = kNumpyTypeOfDepth[CV_MAT_DEPTH(type)];
    const int channels = CV_MAT_CN(type);
    npy_intp shape[kMaxDims + 1];
    int arrayDims = 0;
    for (; arrayDims < dims; ++arrayDims) {
        shape[arrayDims] = sizes[arrayDims];
    }
    if (channels > 1) {
        shape[arrayDims++] = channels;
    }
    PyObject* array = PyArray_SimpleNew(arrayDims, shape, typenum);
    if (!array) {
        // The failure travels as the cv::Exception; a Python error left behind on this thread
        // would surface later, in some unrelated call.
        PyErr_Clear();
        cv::error(cv::Error::StsError,
                  cv::format("The numpy array of typenum=%d, ndims=%d can not be created", typenum,
                             arrayDims),
                  "NumpyAllocator::allocate", __FILE__, __LINE__);
    }
    return allocate(array, dims, sizes, type, step);
}

bool NumpyAllocator::allocate(cv::UMatData* u, cv::AccessFlag accessFlags,
                              cv::UMatUsageFlags usageFlags) const {
    return stdAllocator->allocate(u, accessFlags, usageFlags);
}

void NumpyAllocator::deallocate(cv::UMatData* u) const {
    if (!u) {
        return;
    }
    const GilLock gil;
    if (u->urefcount < 0) {
        cv::error(cv::Error::StsAssert, "u->urefcount >= 0", "NumpyAllocator::deallocate", __FILE__,
                  __LINE__);
    }
    if (u->refcount < 0) {
        cv::error(cv::Error::StsAssert, "u->refcount >= 0", "NumpyAllocator::deallocate", __FILE__,
                  __LINE__);
    }
    if (u->refcount == 0) {
        Py_XDECREF(static_cast<PyObject*>(u->userdata));
        delete u;
    }
}

NumpyAllocator& numpy_allocator() {
    static NumpyAllocator instance;
    return instance;
}

bool convert_to_mat(PyObject* obj, cv::Mat& m, const ArgDesc& arg) {
    if (!obj || obj == Py_None) {
        if (!m.data) {
            m.allocator = &numpy_allocator();
        }
        return true;
    }
    if (PyLong_Check(obj) || PyFloat_Check(obj) || PyTuple_Check(obj)) {
        return convert_scalar_or_tuple(obj, m, arg);
    }
    if (!PyArray_Check(obj)) {
        return report_failmsg("%s is not a numpy array, neither a scalar", arg.name);
    }

    PyArrayObject* array = reinterpret_cast<PyArrayObject*>(obj);
    const PyArray_Descr* descr = PyArray_DESCR(array);
    const DepthMapping mapping = depth_of(descr);
    if (!mapping.supported) {
        return report_unsupported_type(descr, arg);
    }
    int dims = PyArray_NDIM(array);
    if (dims >= kMaxDims) {
        return report_failmsg("%s dimensionality (=%d) is too high", arg.name, dims);
    }
    const npy_intp* shape = PyArray_DIMS(array);
    for (int i = 0; i < dims; ++i) {
        if (shape[i] > INT_MAX) {
            return report_failmsg("%s dimension %d is too long (=%lld)", arg.name, i,
                                  static_cast<long long>(shape[i]));
        }
    }

    // OpenCV reads elements in native order at their natural alignment, and walks every axis
    // forwards; anything else is handed over as a copy.
    bool needsCopy = mapping.needsCast || !PyArray_ISNOTSWAPPED(array) || !PyArray_ISALIGNED(array);
    size_t elementSize = CV_ELEM_SIZE1(mapping.depth);
    const npy_intp* strides = PyArray_STRIDES(array);
    if (!needsCopy) {
        needsCopy = !nestedWithoutOverlap(dims, shape, strides, npy_intp(elementSize));
    }
    // An empty last axis would make a type with no channels, so such an array stays 3-D.
    const bool multichannel = dims == 3 && shape[2] >= 1 && shape[2] <= CV_CN_MAX;
    int type = mapping.depth;
    if (multichannel) {
        const int channels = static_cast<int>(shape[2]);
        dims = 2;
        type = CV_MAKETYPE(mapping.depth, channels);
        if (strides[1] != npy_intp(elementSize * channels)) {
            needsCopy = true;
        }
        elementSize *= channels;
    }

    OwnedRef copy;
    if (needsCopy) {
        PyArray_Descr* target =
            PyArray_DescrFromType(mapping.needsCast ? NPY_INT32 : descr->type_num);
        // Returns the array itself when it already has the wanted form; the type is consumed.
        copy.reset(PyArray_FromArray(
            array, target, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED | NPY_ARRAY_FORCECAST));
        if (!copy.get()) {
            return false;
        }
        array = reinterpret_cast<PyArrayObject*>(copy.get());
        shape = PyArray_DIMS(array);
        strides = PyArray_STRIDES(array);
    }

    // A step for every axis; an axis of one entry (or none) gets the step it would have if the
    // array were packed, as OpenCV expects.
    int sizes[kMaxDims + 1] = {};
    size_t steps[kMaxDims + 1] = {};
    size_t packed = elementSize;
    for (int i = dims - 1; i >= 0; --i) {
        sizes[i] = static_cast<int>(shape[i]);
        if (shape[i] > 1) {
            steps[i] = static_cast<size_t>(strides[i]);
            packed = steps[i] * sizes[i];
        } else {
            steps[i] = packed;
            packed *= sizes[i];
        }
    }
    if (dims == 0) {
        dims = 1;
        sizes[0] = 1;
        steps[0] = elementSize;
    }

    m = cv::Mat(dims, sizes, type, PyArray_DATA(array), steps);
    PyObject* owner = copy.get() ? copy.release() : Py_NewRef(obj);
    m.u = numpy_allocator().allocate(owner, dims, sizes, type, steps);
    m.addref();
    m.allocator = &numpy_allocator();
    return true;
}

bool get_utf8_string(PyObject* obj, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        return false;
    }
    OwnedRef bytes(PyUnicode_AsUTF8String(obj));
    if (!bytes.get()) {
        PyErr_Clear();
        return false;
    }
    out.assign(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()));
    return true;
}

PyObject* convert_from_vector(const std::vector<double>& values) {
    if (values.empty()) {
        return PyTuple_New(0);
    }
    npy_intp count = static_cast<npy_intp>(values.size());
    PyObject* array = PyArray_SimpleNew(1, &count, NPY_FLOAT64);
    if (!array) {
        char shape[32];
        std::snprintf(shape, sizeof(shape), "(%d)", static_cast<int>(count));
        char message[128];
        std::snprintf(message, sizeof(message),
                      "Can't allocate NumPy array for vector with dtype=%d and shape=%s",
                      NPY_FLOAT64, shape);
        emit_failmsg(PyExc_MemoryError, message);
        return nullptr;
    }
    std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)), values.data(),
                values.size() * sizeof(double));
    return array;
}

} // namespace wyr::zok
