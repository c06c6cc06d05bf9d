#include "tracker/tracker_corr_impl.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "geometry/geometry.hpp"
#include "tracker/empty_boxes.hpp"
#include "tracker/weight_mask.hpp"

namespace wyr::zok {

namespace {

size_t appliedDepth(size_t depth) {
    return std::min(std::max<size_t>(depth, 1), TrackerCorrImpl::MAX_DEPTH);
}

// The test init() makes where it cuts the template out, with the same error: cv::Mat has no
// regions of a matrix of more than two dimensions.
void requirePlane(const cv::Mat& frame) {
    static_cast<void>(frame(cv::Rect()));
}

} // namespace

TrackerCorrImpl::TrackerCorrImpl(const Params& params)
    : searchRadiusFactor(std::max(MIN_SEARCH_RADIUS_FACTOR, params.searchRadiusFactor)),
      threshold(params.threshold), altSearchRadiiFactors(params.altSearchRadiiFactors),
      varianceThreshold(params.varianceFilter.threshold),
      effectiveVarianceThreshold(params.varianceFilter.threshold),
      varianceRatio(0.5), varianceSettings{params.varianceFilter.kSize,
                                           params.varianceFilter.greyscale},
      history(params.mode1D ? 1 : appliedDepth(params.depth)),
      historyX(params.mode1D ? appliedDepth(params.depth) : 1),
      historyY(params.mode1D ? appliedDepth(params.depth) : 1),
      zoomFactor(std::clamp(params.zoomFactor, 1, MAX_ZOOM_FACTOR)), sigmaExp(params.sigmaExp),
      cloneImage(params.cloneImage), mode1D(params.mode1D), lastVariance(0.0),
      zeroMean(params.zeroMean), updateThreshold(params.updateThreshold),
      redetectThreshold(params.redetectThreshold),
      correlator(Correlator::create(params.engine,
                                    params.zeroMean ? cv::TM_CCOEFF_NORMED : cv::TM_CCORR_NORMED)) {
    matchScores.reserve(altSearchRadiiFactors.size() + 1);
    // Views onto the caller's frames would change under older templates as the caller reuses
    // its buffers, so a history of more than one template always keeps copies.
    if ((mode1D ? historyX.capacity() : history.capacity()) > 1) {
        cloneImage = true;
    }
}

void TrackerCorrImpl::init(cv::InputArray image, const cv::Rect& boundingBox) {
    // Everything that can fail comes first, into locals, so that a refused init leaves no trace;
    // the box filter's buffers grow with its size, so that is checked before any allocation.
    if (varianceThreshold > 0 && varianceSettings.kSize > VARIANCE_KSIZE_MAX) {
        CV_Error(cv::Error::StsOutOfRange,
                 cv::format("varianceFilter.kSize %d is above the largest size, %d",
                            varianceSettings.kSize, VARIANCE_KSIZE_MAX));
    }
    const cv::Mat frame = image.getMat();
    CV_Assert(liesInside(boundingBox, frame.size()));
    const cv::Mat region = frame(boundingBox);
    const cv::Mat templ = cloneImage ? region.clone() : region;
    const cv::Point offset = centreOffset(boundingBox, frame.size());
    const double templateVariance =
        varianceThreshold > 0 ? maxLocalVariance(varianceSettings, templ) : 0.0;
    cv::Mat mask = weightMask;
    cv::Rect support = maskSupport;
    if (sigmaExp < SIGMA_EXP_MAX &&
        (weightMask.rows != boundingBox.height || weightMask.cols != boundingBox.width)) {
        mask = buildWeightMask(boundingBox.height, boundingBox.width, sigmaExp);
        support = weightSupport(mask);
    }

    if (mode1D) {
        historyX.push({templ, offset.x, 0});
        historyY.push({templ, offset.y, 0});
    } else {
        history.push({templ, offset, {0, 0}});
    }
    if (varianceThreshold > 0) {
        lastVariance = templateVariance;
        effectiveVarianceThreshold = std::min(varianceThreshold, templateVariance * varianceRatio);
    }
    weightMask = mask;
    maskSupport = support;
    matchScores.clear();
}

bool TrackerCorrImpl::update(cv::InputArray image, cv::Rect& boundingBox) {
    const cv::Mat frame = image.getMat();
    // init() refuses such a frame where it cuts the template; a search would cut its window the
    // same way, but only once it has a template, so the check comes first.
    requirePlane(frame);
    SearchState state;
    matchScores.clear();
    double score = search(frame, searchRadiusFactor, state);
    matchScores.push_back(score);
    // A wider search reaches ground the target was never near: what it finds counts only at a
    // level of its own.
    double level = threshold;
    if (retriesAfter(score, threshold)) {
        const double redetectLevel = std::isnan(redetectThreshold) ? threshold : redetectThreshold;
        for (const float factor : altSearchRadiiFactors) {
            if (!(factor > searchRadiusFactor)) {
                continue;
            }
            score = search(frame, factor, state);
            matchScores.push_back(score);
            level = redetectLevel;
            if (score >= level || !retriesAfter(score, level)) {
                break;
            }
        }
    }
    if (!(score >= level)) {
        recordFailure();
        return false;
    }
    if (score < updateThreshold) {
        recordUncertain(state);
    } else {
        recordSuccess(frame, state);
    }
    boundingBox = state.found;
    return true;
}

bool TrackerCorrImpl::retriesAfter(double score, double level) const {
    if (zeroMean) {
        // A featureless window scores exactly 0 here, and a wider one may reach the target.
        // Without a template or a frame every search gives 0 at once, so trying on is cheap.
        return score < level;
    }
    // A score of exactly 0 means there was nothing to search with (or the patch was too flat):
    // wider windows cannot help then.
    return score > 0 && score < level;
}

double TrackerCorrImpl::search(const cv::Mat& image, float factor, SearchState& state) const {
    return mode1D ? search1D(image, factor, state) : search2D(image, factor, state);
}

void TrackerCorrImpl::recordSuccess(const cv::Mat& image, const SearchState& state) {
    const cv::Mat region = image(state.found);
    const cv::Mat templ = cloneImage ? region.clone() : region;
    lastVariance = state.patchVariance;
    // A history stays one run of templates taken at the same whole-pixel offset: when the target
    // has moved, the template just taken becomes the only one, and so the next reference.
    if (mode1D) {
        historyX.push({templ, state.position.x, state.subPixel.x});
        historyY.push({templ, state.position.y, state.subPixel.y});
        if (historyX.oldest().offset != state.position.x) {
            historyX.collapse();
        }
        if (historyY.oldest().offset != state.position.y) {
            historyY.collapse();
        }
    } else {
        history.push({templ, state.position, state.subPixel});
        if (history.oldest().offset != state.position) {
            history.collapse();
        }
    }
}

void TrackerCorrImpl::recordUncertain(const SearchState& state) {
    lastVariance = state.patchVariance;
    // The remainder stays the reference's own: it says where the target lay within the pixels
    // kept, while the offset only says where to search next.
    if (mode1D) {
        const AxisTemplateEntry referenceX = historyX.oldest();
        const AxisTemplateEntry referenceY = historyY.oldest();
        historyX.push({referenceX.templ, state.position.x, referenceX.subPixel});
        historyY.push({referenceY.templ, state.position.y, referenceY.subPixel});
        historyX.collapse();
        historyY.collapse();
    } else {
        // A copy of the entry: pushing may overwrite the slot it lives in.
        const TemplateEntry reference = history.oldest();
        history.push({reference.templ, state.position, reference.subPixel});
        history.collapse();
    }
}

void TrackerCorrImpl::recordFailure() {
    if (mode1D) {
        historyX.pushNewestAgain();
        historyY.pushNewestAgain();
    } else {
        history.pushNewestAgain();
    }
}

} // namespace wyr::zok
