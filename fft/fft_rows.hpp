#pragma once

#include <memory>

#include <fftw3.h>
#include <opencv2/core.hpp>

namespace wyr::zok {

// One-dimensional real transforms of `rows` rows of `length` floats each (a feature vector per
// row, its samples along the row), with the inverse of one row. The arrays are made with
// fftwf_malloc at construction, so using the object never allocates. Planning takes the
// process-wide planner lock, as FftGrid does.
class FftRows {
public:
    FftRows(int length, int rows);
    ~FftRows();
    FftRows(const FftRows&) = delete;
    FftRows& operator=(const FftRows&) = delete;

    int length() const { return length_; }
    int rows() const { return rows_; }
    int bins() const { return length_ / 2 + 1; }

    // rows x length, and rows x bins.
    float* real() { return real_.get(); }
    fftwf_complex* spectrum() { return spectrum_.get(); }
    // One row's spectrum (bins) and its inverse (length floats), unnormalised.
    fftwf_complex* rowSpectrum() { return rowSpectrum_.get(); }
    float* rowReal() { return rowReal_.get(); }

    // Every row of real() into spectrum().
    void forward();
    // rowSpectrum() into rowReal(), times `length`; overwrites rowSpectrum().
    void inverseRow();

private:
    struct Free {
        void operator()(void* p) const { fftwf_free(p); }
    };
    int length_;
    int rows_;
    std::unique_ptr<float[], Free> real_;
    std::unique_ptr<fftwf_complex[], Free> spectrum_;
    std::unique_ptr<float[], Free> rowReal_;
    std::unique_ptr<fftwf_complex[], Free> rowSpectrum_;
    fftwf_plan forward_ = nullptr;
    fftwf_plan inverse_ = nullptr;
};

} // namespace wyr::zok
