#pragma once

#include <memory>

#include "tracker/correlator.hpp"

namespace wyr::zok {

// The FFT engine: the same scores as cv::matchTemplate for cv::TM_CCORR_NORMED and
// cv::TM_CCOEFF_NORMED, within 1e-5, computed by FFTW on transform grids planned on the first
// window of each size (with `planFlags`, FFTW_ESTIMATE or FFTW_MEASURE) and kept with their
// arrays, so that later frames of that size allocate nothing. Handles 8-bit and float windows
// of 1 to 4 channels, unweighted or with a CV_32FC1 mask of the template's size; anything else
// (another method, depth or mask type, an empty input, a template larger than the window, a
// window of more than 2^23 pixels) goes to cv::matchTemplate unchanged, errors included.
std::unique_ptr<Correlator> makeFftCorrelator(int method, unsigned planFlags);

} // namespace wyr::zok
