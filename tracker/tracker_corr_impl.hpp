#pragma once

#include <memory>
#include <vector>

#include "tracker/correlator.hpp"
#include "tracker/sub_pixel.hpp"
#include "tracker/template_ring.hpp"
#include "tracker/variance.hpp"
#include "zok/tracker_corr.hpp"

namespace wyr::zok {

// What one search found. Shared by all searches of one update, which overwrite it in turn.
struct SearchState {
    cv::Point position{0, 0}; // found box centre's offset from the image centre
    cv::Point subPixel{0, 0}; // remainder finer than a pixel, in 1/zoomFactor steps
    cv::Rect found{0, 0, 0, 0};
    double patchVariance = 0.0;
};

// The correlation tracker. Members are public so that the search functions stay plain functions
// of their inputs and so that tests can observe the history; callers only ever see TrackerCorr.
class TrackerCorrImpl final : public TrackerCorr {
public:
    static constexpr size_t MAX_DEPTH = 32;
    static constexpr int MAX_ZOOM_FACTOR = 20;
    static constexpr float MIN_SEARCH_RADIUS_FACTOR = 1.25f;
    static constexpr int MIN_TEMPLATE_SIDE = 7;

    explicit TrackerCorrImpl(const Params& params);

    void init(cv::InputArray image, const cv::Rect& boundingBox) override;
    bool update(cv::InputArray image, cv::Rect& boundingBox) override;
    double variance() override { return lastVariance; }
    const std::vector<double>& matches() override { return matchScores; }

    // One search with factor `factor`; writes `state` (except when it gives up at once) and
    // returns the score.
    double search2D(const cv::Mat& image, float factor, SearchState& state) const;
    double search1D(const cv::Mat& image, float factor, SearchState& state) const;

    float searchRadiusFactor;
    double threshold;
    std::vector<float> altSearchRadiiFactors;
    double varianceThreshold;
    double effectiveVarianceThreshold;
    double varianceRatio;
    VarianceSettings varianceSettings;
    TemplateRing<TemplateEntry> history;
    TemplateRing<AxisTemplateEntry> historyX;
    TemplateRing<AxisTemplateEntry> historyY;
    int zoomFactor;
    cv::Mat weightMask;
    cv::Rect maskSupport; // where weightMask is positive
    float sigmaExp;
    bool cloneImage;
    bool mode1D;
    double lastVariance;
    bool zeroMean;
    double updateThreshold;
    double redetectThreshold; // NaN: as threshold
    std::vector<double> matchScores;
    std::unique_ptr<Correlator> correlator;

private:
    // A weight mask and the region where it is positive.
    struct Weights {
        cv::Mat mask;
        cv::Rect support;
    };

    double search(const cv::Mat& image, float factor, SearchState& state) const;
    // The weights of a template of `size`: empty when weighting is off; else weightMask, built
    // for the box of the last init, or for an older template of another size, which a history
    // deeper than one keeps as its reference after that init, the same mask built for its size.
    Weights weightsFor(const cv::Size& size) const;
    // The correlation of one search, with every value that is no score replaced by 0.
    cv::Mat respond(const cv::Mat& window, const cv::Mat& templ) const;
    // Whether a refined peak replaces the whole-pixel one.
    bool adoptsRefinement(const RefinedPeak& refined) const;
    // Whether a search that scored `score` against the level `level` is followed by a wider one.
    bool retriesAfter(double score, double level) const;
    // The texture test shared by both searches: false when the patch under the found box is
    // too flat for the threshold in force.
    bool passesVarianceFilter(const cv::Mat& image, SearchState& state) const;
    void recordSuccess(const cv::Mat& image, const SearchState& state);
    // A match below updateThreshold: the reference moves to the match, its pixels stay.
    void recordUncertain(const SearchState& state);
    void recordFailure();
};

} // namespace wyr::zok
