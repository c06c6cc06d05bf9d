#include "tracker/fft_grid.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace wyr::zok {

namespace {

std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

bool smooth(int n) {
    for (const int p : {2, 3, 5, 7}) {
        while (n % p == 0) {
            n /= p;
        }
    }
    return n == 1;
}

template <class T>
T* allocateZeroed(size_t count) {
    T* p = static_cast<T*>(fftwf_malloc(count * sizeof(T)));
    if (p == nullptr) {
        CV_Error(cv::Error::StsNoMem, "FFTW could not allocate a transform array");
    }
    std::memset(static_cast<void*>(p), 0, count * sizeof(T));
    return p;
}

} // namespace

int smoothLength(int length) {
    int n = std::max(length, 1);
    while (!smooth(n)) {
        ++n;
    }
    return n;
}

std::unique_lock<std::mutex> lockFftwPlanner() {
    return std::unique_lock<std::mutex>(plannerMutex());
}

FftGrid::FftGrid(const cv::Size& size, unsigned planFlags) : size_(size) {
    float* in = real(0);
    fftwf_complex* out = spectrum(0);
    const std::lock_guard<std::mutex> lock(plannerMutex());
    // Planning may overwrite both arrays; nothing is in them yet.
    forward_ = fftwf_plan_dft_r2c_2d(size.height, size.width, in, out, planFlags);
    inverse_ = fftwf_plan_dft_c2r_2d(size.height, size.width, out, in, planFlags);
    if (forward_ == nullptr || inverse_ == nullptr) {
        if (forward_ != nullptr) {
            fftwf_destroy_plan(forward_);
        }
        if (inverse_ != nullptr) {
            fftwf_destroy_plan(inverse_);
        }
        CV_Error(cv::Error::StsError, "FFTW could not plan a transform");
    }
    // Planning scribbled over the arrays; they start out zero like every later one.
    std::memset(static_cast<void*>(in), 0, realLength() * sizeof(float));
}

FftGrid::~FftGrid() {
    const std::lock_guard<std::mutex> lock(plannerMutex());
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
}

float* FftGrid::real(size_t index) {
    while (reals_.size() <= index) {
        reals_.emplace_back(allocateZeroed<float>(realLength()));
    }
    return reals_[index].get();
}

fftwf_complex* FftGrid::spectrum(size_t index) {
    while (spectra_.size() <= index) {
        spectra_.emplace_back(allocateZeroed<fftwf_complex>(spectrumLength()));
    }
    return spectra_[index].get();
}

void FftGrid::forward(float* in, fftwf_complex* out) const {
    fftwf_execute_dft_r2c(forward_, in, out);
}

void FftGrid::inverse(fftwf_complex* in, float* out) const {
    fftwf_execute_dft_c2r(inverse_, in, out);
}

} // namespace wyr::zok
