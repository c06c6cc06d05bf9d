#pragma once

#include <cstddef>

#include <fftw3.h>
#include <opencv2/core.hpp>

namespace wyr::zok {

// Moving pixels into transform arrays (rows `stride` floats apart) and combining spectra.

// Each channel of an 8-bit or float image, as floats, into the top-left corner of planes[c].
// `scratch` holds an 8-bit image's float conversion and is kept by the caller.
void deinterleave(const cv::Mat& image, float* const* planes, int stride, cv::Mat& scratch);

// Channel `channel` of a float image into the top-left corner of `plane`.
void copyChannel(const cv::Mat& image, int channel, float* plane, int stride);

// out[i] = the sum over `channels` planes of planes[c][i]^2, for i < length.
void sumOfSquares(const float* const* planes, int channels, size_t length, float* out);

// out = a * conj(b), or out += a * conj(b) when `accumulate`: the spectrum of the correlation of
// a's signal with b's.
void multiplyConjugate(const fftwf_complex* a, const fftwf_complex* b, fftwf_complex* out,
                       size_t length, bool accumulate);

} // namespace wyr::zok
