#include <algorithm>
#include <cmath>

#include "geometry/geometry.hpp"
#include "tracker/empty_boxes.hpp"
#include "tracker/sub_pixel.hpp"
#include "tracker/tracker_corr_impl.hpp"
#include "tracker/weight_mask.hpp"

namespace wyr::zok {

namespace {

bool searchable(const cv::Mat& templ) {
    return !templ.empty() && templ.rows >= TrackerCorrImpl::MIN_TEMPLATE_SIDE &&
           templ.cols >= TrackerCorrImpl::MIN_TEMPLATE_SIDE;
}

// A frame must hold the whole template: cv::matchTemplate would otherwise correlate the other
// way round, the frame inside the template, and the box found would stick out of the frame.
bool holds(const cv::Mat& image, const cv::Mat& templ) {
    return !image.empty() && image.cols >= templ.cols && image.rows >= templ.rows;
}

struct Peak {
    double score = 0.0;
    cv::Point location;
};

Peak strongestResponse(const cv::Mat& response) {
    Peak peak;
    cv::minMaxLoc(response, nullptr, &peak.score, nullptr, &peak.location);
    return peak;
}

// The weaker of the two axes' scores; a NaN on either axis makes the whole match NaN, which
// never counts as found.
double weakerScore(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::nan("");
    }
    return std::min(a, b);
}

// Rounding can carry a perfect match a little beyond 1; anything further is no correlation.
constexpr double kScoreSlack = 1e-3;

// Bicubic interpolation overshoots next to a steep peak: a refined peak of a perfect match lies
// beyond 1, which no correlation reaches.
double refinedScore(const RefinedPeak& refined) {
    return std::clamp(refined.value, -1.0, 1.0);
}

} // namespace

TrackerCorrImpl::Weights TrackerCorrImpl::weightsFor(const cv::Size& size) const {
    if (!(sigmaExp < SIGMA_EXP_MAX) || weightMask.size() == size) {
        return {weightMask, maskSupport};
    }
    Weights weights{buildWeightMask(size.height, size.width, sigmaExp), cv::Rect()};
    weights.support = weightSupport(weights.mask);
    return weights;
}

cv::Mat TrackerCorrImpl::respond(const cv::Mat& window, const cv::Mat& templ) const {
    const Weights weights = weightsFor(templ.size());
    cv::Mat response = correlator->correlate(window, templ, weights.mask);
    CV_Assert(response.type() == CV_32FC1);
    // Over a window that is exactly zero under the template the normaliser is zero, and the
    // engines' quotients are rounding: an engine's own exact sums settle that only for
    // unweighted 8-bit windows.
    if (!weights.mask.empty()) {
        markEmptyBoxes(window, weights.support, response);
    } else if (window.depth() != CV_8U) {
        markEmptyBoxes(window, cv::Rect(cv::Point(), templ.size()), response);
    }
    // cv::matchTemplate's weighted quotients are unguarded: a window without energy (or, with
    // zeroMean, without spread) gives NaN or infinity, a nearly flat one values far beyond 1.
    // None of them is a score.
    for (int r = 0; r < response.rows; ++r) {
        float* row = response.ptr<float>(r);
        for (int c = 0; c < response.cols; ++c) {
            const float v = row[c];
            row[c] = std::abs(v) <= 1.0f                        ? v
                     : std::abs(v) <= 1.0f + float(kScoreSlack) ? std::copysign(1.0f, v)
                                                                : 0.0f;
        }
    }
    return response;
}

bool TrackerCorrImpl::adoptsRefinement(const RefinedPeak& refined) const {
    // Plain correlation has always taken a refined score of 0 or less for no refinement; a
    // correlation coefficient is below 0 wherever the patch is inverted, so there only the
    // refinement itself decides.
    return refined.refined && (zeroMean || refined.value > 0);
}

bool TrackerCorrImpl::passesVarianceFilter(const cv::Mat& image, SearchState& state) const {
    if (!(effectiveVarianceThreshold > 0)) {
        return true;
    }
    state.patchVariance = maxLocalVariance(varianceSettings, image(state.found));
    return !(effectiveVarianceThreshold > state.patchVariance);
}

double TrackerCorrImpl::search2D(const cv::Mat& image, float factor, SearchState& state) const {
    const TemplateEntry& reference = history.oldest();
    if (!searchable(reference.templ) || !holds(image, reference.templ)) {
        return 0.0;
    }
    const cv::Point centre = imageCentre(image.size());
    const cv::Size templSize = reference.templ.size();
    const cv::Point templCentre = imageCentre(templSize);
    const cv::Rect window =
        searchWindow(templSize, factor, centre + reference.offset, image.size());
    const cv::Mat response = respond(image(window), reference.templ);
    Peak peak = strongestResponse(response);

    state.position = window.tl() + peak.location + templCentre - centre;
    if (zoomFactor == 1) {
        state.subPixel = {0, 0};
    } else {
        const RefinedPeak refined = refineSubPixel(response, peak.location, zoomFactor);
        state.subPixel = refined.offset + reference.subPixel;
        if (adoptsRefinement(refined)) {
            peak.score = refinedScore(refined);
            carrySubPixel(state.subPixel.x, state.position.x, zoomFactor);
            carrySubPixel(state.subPixel.y, state.position.y, zoomFactor);
        }
    }
    state.found =
        shiftInside(cv::Rect(centre + state.position - templCentre, templSize), image.size());
    if (!passesVarianceFilter(image, state)) {
        return 0.0;
    }
    return peak.score;
}

double TrackerCorrImpl::search1D(const cv::Mat& image, float factor, SearchState& state) const {
    const AxisTemplateEntry& referenceX = historyX.oldest();
    const AxisTemplateEntry& referenceY = historyY.oldest();
    if (!searchable(referenceX.templ) || !searchable(referenceY.templ) ||
        !holds(image, referenceX.templ) || !holds(image, referenceY.templ)) {
        return 0.0;
    }
    const cv::Point centre = imageCentre(image.size());
    const cv::Point expected = centre + cv::Point(referenceX.offset, referenceY.offset);
    const cv::Point templCentreX = imageCentre(referenceX.templ.size());
    const cv::Point templCentreY = imageCentre(referenceY.templ.size());

    const cv::Rect windowX = searchWindow(referenceX.templ.size(), factor, expected, image.size());
    const cv::Mat responseX = respond(image(windowX), referenceX.templ);
    Peak peakX = strongestResponse(responseX);
    const cv::Rect windowY = searchWindow(referenceY.templ.size(), factor, expected, image.size());
    const cv::Mat responseY = respond(image(windowY), referenceY.templ);
    Peak peakY = strongestResponse(responseY);

    // Each match answers for its own axis only.
    state.position.x = windowX.x + peakX.location.x + templCentreX.x - centre.x;
    state.position.y = windowY.y + peakY.location.y + templCentreY.y - centre.y;
    if (zoomFactor == 1) {
        state.subPixel = {0, 0};
    } else {
        const RefinedPeak refinedX = refineSubPixel(responseX, peakX.location, zoomFactor);
        const RefinedPeak refinedY = refineSubPixel(responseY, peakY.location, zoomFactor);
        state.subPixel.x = refinedX.offset.x + referenceX.subPixel;
        state.subPixel.y = refinedY.offset.y + referenceY.subPixel;
        if (adoptsRefinement(refinedX)) {
            peakX.score = refinedScore(refinedX);
            carrySubPixel(state.subPixel.x, state.position.x, zoomFactor);
        }
        if (adoptsRefinement(refinedY)) {
            peakY.score = refinedScore(refinedY);
            carrySubPixel(state.subPixel.y, state.position.y, zoomFactor);
        }
    }
    const cv::Rect found(centre.x + state.position.x - templCentreX.x,
                         centre.y + state.position.y - templCentreY.y, referenceX.templ.cols,
                         referenceY.templ.rows);
    state.found = shiftInside(found, image.size());
    if (!passesVarianceFilter(image, state)) {
        return 0.0;
    }
    return weakerScore(peakX.score, peakY.score);
}

} // namespace wyr::zok
