#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include <fftw3.h>
#include <opencv2/core.hpp>

namespace wyr::zok {

// The smallest length >= `length` whose only prime factors are 2, 3, 5 and 7: FFTW transforms
// such lengths fast, and the next one is never far away.
int smoothLength(int length);

// How FFTW plans the transforms of a new grid: FFTW_ESTIMATE plans in microseconds from FFTW's
// own heuristics; FFTW_MEASURE times candidate algorithms on the first frame of every new size,
// which costs far more than the few per cent it can win per frame.
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
};

// Takes the lock that serialises FFTW's planner, for code outside FftGrid that touches it (a
// benchmark that forgets FFTW's wisdom between runs, say).
std::unique_lock<std::mutex> lockFftwPlanner();

} // namespace wyr::zok
