#pragma once

#include <memory>

#include "tracker/correlator.hpp"

namespace wyr::zok {

// The reference engine: cv::matchTemplate itself.
std::unique_ptr<Correlator> makeOpenCvCorrelator(int method);

} // namespace wyr::zok
