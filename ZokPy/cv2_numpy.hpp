#pragma once

// numpy arrays as OpenCV matrices and back. numpy's API table must have been imported (the
// module's initialisation does it) before anything here runs.
#include <Python.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ZokPy/arg_desc.hpp"

namespace wyr::zok {

// A cv::MatAllocator whose buffers are numpy arrays. A matrix over an array carries this
// allocator and a buffer record that owns one reference to the array, so the array lives as long
// as any matrix sharing it. OpenCV may create or release such matrices on any thread, so the
// operations that touch Python objects take the GIL themselves.
class NumpyAllocator final : public cv::MatAllocator {
public:
    NumpyAllocator();
    ~NumpyAllocator() override = default;

    // The buffer record for `array`, taking over the caller's reference to it. Writes the array's
    // strides into step[0 .. dims-2] and the full element size into step[dims-1]. The GIL must be
    // held.
    cv::UMatData* allocate(PyObject* array, int dims, const int* sizes, int type,
                           size_t* step) const;
    // A new buffer is a new C-ordered numpy array, with the channels as one more, last axis;
    // external `data` is left to OpenCV's own allocator. Raises cv::Exception (StsError) when
    // numpy cannot make the array.
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usageFlags) const override;
    bool allocate(cv::UMatData* u, cv::AccessFlag accessFlags,
                  cv::UMatUsageFlags usageFlags) const override;
    // Drops the record and its array reference once no matrix refers to it.
    void deallocate(cv::UMatData* u) const override;

    const cv::MatAllocator* stdAllocator; // not owned
};

// The one NumpyAllocator of the process, created on first use.
NumpyAllocator& numpy_allocator();

// Turns an image argument into a matrix:
//   - None (or null): `m` is left alone; an `m` without data gets the numpy allocator.
//   - an int or float: the 4x1 CV_64F column (value, 0, 0, 0).
//   - a tuple of ints and floats: an n x 1 CV_64F column of them.
//   - a numpy array of 8-, 16- or 32-bit integers or 16-, 32- or 64-bit floats: a header over
//     the array's own memory when its layout allows (rows may lie apart), else over a C-ordered
//     copy in native byte order; 64-bit integers are cast to int32 copies. A 3-D array whose
//     last axis has 1 to 512 entries becomes a 2-D multichannel matrix.
// False means a Python exception is set (a TypeError, or an OverflowError for an int outside
// int's range); `m` is then unchanged, except that a failed tuple leaves it empty.
bool convert_to_mat(PyObject* obj, cv::Mat& m, const ArgDesc& arg);

// The UTF-8 text of a Python str. False, with `out` unchanged and no exception set, for anything
// else or for a str that cannot be encoded.
bool get_utf8_string(PyObject* obj, std::string& out);

// A new 1-D float64 array holding a copy of `values`; a new empty tuple when `values` is empty.
// Null with a MemoryError set when numpy cannot make the array.
PyObject* convert_from_vector(const std::vector<double>& values);

} // namespace wyr::zok
