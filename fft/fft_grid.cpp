#include "fft/fft_grid.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace wyr::zok {

namespace {

std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

bool fast(int n) {
    int twos = 1;
    while (n % 2 == 0) {
        n /= 2;
        twos *= 2;
    }
    const bool oddPartFast = n == 1 || n == 3 || n == 5 || n == 7 || n == 9 || n == 15 || n == 21;
    return oddPartFast && (twos >= 4 || n == 1);
}

} // namespace

int transformLength(int length) {
    int n = std::max(length, 1);
    while (!fast(n)) {
        ++n;
    }
    return n;
}

std::unique_lock<std::mutex> lockFftwPlanner() {
    return std::unique_lock<std::mutex>(plannerMutex());
}

FftGrid::FftGrid(const cv::Size& size, unsigned planFlags) : size_(size), planFlags_(planFlags) {
    float* in = real(0);
    fftwf_complex* out = spectrum(0);
    const std::lock_guard<std::mutex> lock(plannerMutex());
    // Planning may overwrite both arrays; nothing is in them yet.
    forward_ = fftwf_plan_dft_r2c_2d(size.height, size.width, in, out, planFlags);
    inverse_ = fftwf_plan_dft_c2r_2d(size.height, size.width, out, in, planFlags);
    // The columns of a half spectrum, (cols / 2 + 1) apart, from the row spectra to `out`.
    const int half = size.width / 2 + 1;
    rowSpectra_.reset(fftwAllocateZeroed<fftwf_complex>(spectrumLength()));
    columns_ = fftwf_plan_many_dft(1, &size.height, half, rowSpectra_.get(), nullptr, half, 1, out,
                                   nullptr, half, 1, FFTW_FORWARD, planFlags);
    if (forward_ == nullptr || inverse_ == nullptr || columns_ == nullptr) {
        for (const fftwf_plan plan : {forward_, inverse_, columns_}) {
            if (plan != nullptr) {
                fftwf_destroy_plan(plan);
            }
        }
        CV_Error(cv::Error::StsError, "FFTW could not plan a transform");
    }
    // Planning may have scribbled over the arrays; they start out zero like every later one.
    std::memset(static_cast<void*>(in), 0, realLength() * sizeof(float));
    std::memset(static_cast<void*>(rowSpectra_.get()), 0, spectrumLength() * sizeof(fftwf_complex));
}

FftGrid::~FftGrid() {
    const std::lock_guard<std::mutex> lock(plannerMutex());
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
    fftwf_destroy_plan(columns_);
    for (const auto& [rows, plan] : rowPlans_) {
        fftwf_destroy_plan(plan);
    }
}

float* FftGrid::real(size_t index) {
    while (reals_.size() <= index) {
        reals_.emplace_back(fftwAllocateZeroed<float>(realLength()));
    }
    return reals_[index].get();
}

fftwf_complex* FftGrid::spectrum(size_t index) {
    while (spectra_.size() <= index) {
        spectra_.emplace_back(fftwAllocateZeroed<fftwf_complex>(spectrumLength()));
    }
    return spectra_[index].get();
}

void FftGrid::forward(float* in, fftwf_complex* out) const {
    fftwf_execute_dft_r2c(forward_, in, out);
}

void FftGrid::forwardTopRows(float* in, int rows, fftwf_complex* out) {
    const int half = size_.width / 2 + 1;
    auto found = std::find_if(rowPlans_.begin(), rowPlans_.end(),
                              [rows](const auto& p) { return p.first == rows; });
    if (found == rowPlans_.end()) {
        const std::lock_guard<std::mutex> lock(plannerMutex());
        // Planning may overwrite its arrays, so it gets scratch ones of the same alignment.
        std::unique_ptr<float[], Free> scratchIn(fftwAllocateZeroed<float>(realLength()));
        std::unique_ptr<fftwf_complex[], Free> scratchOut(
            fftwAllocateZeroed<fftwf_complex>(spectrumLength()));
        const fftwf_plan plan =
            fftwf_plan_many_dft_r2c(1, &size_.width, rows, scratchIn.get(), nullptr, 1, size_.width,
                                    scratchOut.get(), nullptr, 1, half, planFlags_);
        if (plan == nullptr) {
            CV_Error(cv::Error::StsError, "FFTW could not plan a transform");
        }
        rowPlans_.emplace_back(rows, plan);
        found = rowPlans_.end() - 1;
    }
    if (rows < rowSpectraRows_) {
        // Rows below the ones about to be written must be zero for the column transforms.
        std::memset(static_cast<void*>(rowSpectra_.get()), 0,
                    spectrumLength() * sizeof(fftwf_complex));
    }
    rowSpectraRows_ = rows;
    fftwf_execute_dft_r2c(found->second, in, rowSpectra_.get());
    fftwf_execute_dft(columns_, rowSpectra_.get(), out);
}

void FftGrid::inverse(fftwf_complex* in, float* out) const {
    fftwf_execute_dft_c2r(inverse_, in, out);
}

} // namespace wyr::zok
