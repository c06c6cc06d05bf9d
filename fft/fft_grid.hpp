#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <fftw3.h>
#include <opencv2/core.hpp>

namespace wyr::zok {

// The transform length for a window side: the smallest length >= `length` of the form 2^a m
// with 2^a >= 4 and m one of 1, 3, 5, 7, 9, 15, 21. Any 2-3-5-7-smooth length would do, but
// FFTW is two to three times slower on lengths made mostly of odd factors (3^5 = 243, or
// 3 5^2 7 = 525) than on one of these a few per cent longer (256, or 576).
int transformLength(int length);

// `count` zero-filled elements from fftwf_malloc, so aligned for any plan; raises cv::Exception
// (StsNoMem) when FFTW cannot allocate them. Free them with fftwf_free.
template <class T>
T* fftwAllocateZeroed(size_t count) {
    T* p = static_cast<T*>(fftwf_malloc(count * sizeof(T)));
    if (p == nullptr) {
        CV_Error(cv::Error::StsNoMem, "FFTW could not allocate a transform array");
    }
    std::memset(static_cast<void*>(p), 0, count * sizeof(T));
    return p;
}

// How FFTW plans the transforms of a new grid. FFTW_ESTIMATE plans from FFTW's own heuristics
// in a few milliseconds; FFTW_MEASURE times candidate algorithms, which took 0.4 s on the first
// frame of a 321 x 241 window and won nothing measurable on the frames after it.
inline constexpr unsigned DEFAULT_PLAN_FLAGS = FFTW_ESTIMATE;

// Single-precision real arrays of one grid size and their half spectra (rows x (cols/2 + 1)),
// with the plans of the forward and inverse 2-D transforms between them. Arrays are made with
// fftwf_malloc, so every one has the alignment the plans were made for and any of them may be
// passed to forward() and inverse(). FFTW's planner is not thread-safe, so planning and
// destroying plans take one process-wide lock; executing a plan needs none.
class FftGrid {
public:
    FftGrid(const cv::Size& size, unsigned planFlags);
    ~FftGrid();
    FftGrid(const FftGrid&) = delete;
    FftGrid& operator=(const FftGrid&) = delete;

    const cv::Size& size() const { return size_; }
    int stride() const { return size_.width; }
    size_t realLength() const { return size_t(size_.area()); }
    size_t spectrumLength() const { return size_t(size_.height) * size_t(size_.width / 2 + 1); }

    // The index-th real array or spectrum, made (zero-filled) on first use and kept.
    float* real(size_t index);
    fftwf_complex* spectrum(size_t index);

    void forward(float* in, fftwf_complex* out) const;
    // The same transform of an array that is zero below its first `rows` rows, which skips the
    // row transforms of the zero rows (a template is a small corner of its grid).
    void forwardTopRows(float* in, int rows, fftwf_complex* out);
    // Unnormalised (the result is rows * cols times the inverse) and overwrites `in`.
    void inverse(fftwf_complex* in, float* out) const;

private:
    struct Free {
        void operator()(void* p) const { fftwf_free(p); }
    };

    cv::Size size_;
    std::vector<std::unique_ptr<float[], Free>> reals_;
    std::vector<std::unique_ptr<fftwf_complex[], Free>> spectra_;
    fftwf_plan forward_ = nullptr;
    fftwf_plan inverse_ = nullptr;
    // forwardTopRows(): row transforms of the first rows, planned per row count, into an array
    // that stays zero below them, then the column transforms.
    std::vector<std::pair<int, fftwf_plan>> rowPlans_;
    fftwf_plan columns_ = nullptr;
    std::unique_ptr<fftwf_complex[], Free> rowSpectra_;
    int rowSpectraRows_ = 0;
    unsigned planFlags_;
};

// Takes the lock that serialises FFTW's planner, for code outside FftGrid that touches it (a
// benchmark that forgets FFTW's wisdom between runs, say).
std::unique_lock<std::mutex> lockFftwPlanner();

} // namespace wyr::zok
