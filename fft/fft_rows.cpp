#include "fft/fft_rows.hpp"

#include <cstring>
#include <mutex>

#include "fft/fft_grid.hpp"

namespace wyr::zok {

FftRows::FftRows(int length, int rows) : length_(length), rows_(rows) {
    CV_Assert(length > 0 && rows > 0);
    const size_t bins = size_t(length / 2 + 1);
    real_.reset(fftwAllocateZeroed<float>(size_t(length) * size_t(rows)));
    spectrum_.reset(fftwAllocateZeroed<fftwf_complex>(bins * size_t(rows)));
    rowReal_.reset(fftwAllocateZeroed<float>(size_t(length)));
    rowSpectrum_.reset(fftwAllocateZeroed<fftwf_complex>(bins));
    const std::unique_lock<std::mutex> lock = lockFftwPlanner();
    forward_ = fftwf_plan_many_dft_r2c(1, &length_, rows, real_.get(), nullptr, 1, length,
                                       spectrum_.get(), nullptr, 1, int(bins), DEFAULT_PLAN_FLAGS);
    inverse_ =
        fftwf_plan_dft_c2r_1d(length, rowSpectrum_.get(), rowReal_.get(), DEFAULT_PLAN_FLAGS);
    if (forward_ == nullptr || inverse_ == nullptr) {
        for (const fftwf_plan plan : {forward_, inverse_}) {
            if (plan != nullptr) {
                fftwf_destroy_plan(plan);
            }
        }
        CV_Error(cv::Error::StsError, "FFTW could not plan a transform");
    }
    // Planning may have scribbled over the arrays.
    std::memset(static_cast<void*>(real_.get()), 0, size_t(length) * size_t(rows) * sizeof(float));
}

FftRows::~FftRows() {
    const std::unique_lock<std::mutex> lock = lockFftwPlanner();
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
}

void FftRows::forward() {
    fftwf_execute(forward_);
}

void FftRows::inverseRow() {
    fftwf_execute(inverse_);
}

} // namespace wyr::zok
