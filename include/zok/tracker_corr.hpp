#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "zok/export.hpp"

namespace wyr::zok {

/// A `sigmaExp` at or above this value switches the Gaussian weighting of the template off.
inline constexpr float SIGMA_EXP_MAX = 5.0f;

/// The largest `varianceFilter.kSize` that init() takes while the variance filter is on. The
/// filter measures texture over neighbourhoods inside a template, and no template is wider than
/// its frame: 8191 is beyond the side of any frame in use (8K video is 7680 pixels wide), so
/// every size that fits a template keeps its result, while the box filter's buffers and time,
/// which grow with the size, stay within tens of megabytes and a fraction of a second.
inline constexpr int VARIANCE_KSIZE_MAX = 8191;

/// A single-target tracker that finds its reference template again in each frame by normalised
/// cross-correlation (cv::TM_CCORR_NORMED, or with Params::zeroMean the zero-mean
/// cv::TM_CCOEFF_NORMED) inside a window around the target's last offset from the image centre.
///
/// Use: create() it, init() it once with the first frame and the target's box, then call update()
/// once per frame. variance() and matches() may be read after either.
///
/// A later init() adds a template to the history rather than replacing it: with a depth of 1
/// the new template is the only one, but with a depth of 2 or more the older templates stay
/// live, and the oldest of them stays the reference of the search until the target is found
/// at another position; with the weight mask on, each template is weighted by the mask of its
/// own size. To start afresh on another target, create a new tracker.
class TrackerCorr : public cv::Tracker {
public:
    /// How the correlation of the template with the search window is computed. Every engine
    /// gives the same scores (within 1e-5) and so the same boxes and flags, except at ties:
    /// where the best two positions score within 1e-5 of each other, or a score lies within
    /// 1e-5 of a threshold.
    enum class Engine {
        /// cv::matchTemplate.
        OPENCV = 0,
        /// Fast Fourier transforms (FFTW), planned on the first frame of each window size and
        /// allocation-free on later frames of that size. Only in builds with FFTW
        /// (-DZOK_WITH_FFTW=ON, the default); inputs it does not cover go to cv::matchTemplate,
        /// and so do weight masks too narrow for its single precision (those whose sum of
        /// squared weights is below 32: with a template of 44 x 36, sigmaExp below about -1.9).
        FFT = 1,
        /// FFT in builds that have it, OPENCV otherwise; engineRun() says which.
        AUTO = 2,
    };

    /// The engine a tracker created with `engine` runs: FFT or OPENCV for AUTO, as the build
    /// has them, and `engine` itself otherwise (even one the build lacks, which create()
    /// refuses).
    ZOK_EXPORT static Engine engineRun(Engine engine);

    /// The tracker's parameters. A plain value: create() never refuses a value, the tracker
    /// clamps them when it is constructed and never writes the clamped values back. The one
    /// value that cannot be clamped without changing results, varianceFilter.kSize, is checked
    /// where it is used: init() refuses one above VARIANCE_KSIZE_MAX.
    struct Params {
        /// Rejection of matches on featureless patches.
        struct VarianceFilter {
            ZOK_EXPORT VarianceFilter();

            /// Smallest acceptable maximum local variance of a matched patch (pixel values keep
            /// their scale, so 0..255^2 for 8-bit frames). Default 0.0; 0 or less switches the
            /// filter off. At each init() it is capped to half the template's own variance.
            double threshold;
            /// Side of the square box filter of the local variance. Default 3; passed to
            /// cv::blur unchanged, so a size that OpenCV refuses (0 or less) raises its error.
            /// Not clamped: while the filter is on, init() refuses a size above
            /// VARIANCE_KSIZE_MAX (8191) with cv::Exception (StsOutOfRange) before it allocates
            /// or changes anything. With the filter off the size is never used or checked.
            int kSize;
            /// Measure the variance on a grey conversion of the patch. Default false; when set,
            /// frames must have 3 or 4 channels in BGR(A) order.
            bool greyscale;
        };

        ZOK_EXPORT Params();

        /// Half-width and half-height of the search window as multiples of the template's width
        /// and height. Default 4.0; values below 1.25 are raised to 1.25.
        float searchRadiusFactor;
        /// Smallest score that counts as a match: normalised cross-correlation, 0..1 for
        /// frames without negative values, or with zeroMean a correlation coefficient, -1..1.
        /// Default 0.85; used unchanged, so 0 or less accepts every search (with zeroMean, -1 or
        /// less does). A wider search is held to `redetectThreshold` instead.
        double threshold;
        /// Wider search factors, tried in list order after a first score below `threshold`
        /// that is not exactly 0, until one reaches `redetectThreshold` or scores exactly 0.
        /// With zeroMean they are tried after any first score below `threshold`, 0 included, and
        /// a score of 0 does not stop them: there a window of featureless ground scores 0, and
        /// a wider one may reach the target.
        /// A NaN score is never retried. Default empty; entries not strictly greater than the
        /// applied searchRadiusFactor are skipped.
        std::vector<float> altSearchRadiiFactors;
        /// Width of the Gaussian weighting of the template: its standard deviation is
        /// e^sigmaExp times half the larger box side. Default 5.0; weighting is on only below
        /// SIGMA_EXP_MAX (5.0), so the default means unweighted matching.
        float sigmaExp;
        /// Capture templates as deep copies instead of views onto the caller's pixels.
        /// Default true; forced to true whenever the applied depth exceeds 1.
        bool cloneImage;
        /// Capacity of the template history. Default 1; 0 becomes 1, values above 32 become 32.
        size_t depth;
        /// Sub-pixel steps per pixel used to refine the match position; 1 means no refinement.
        /// Default 1; clamped into 1..20.
        int zoomFactor;
        /// Keep separate template histories for the horizontal and the vertical coordinate.
        /// Default false.
        bool mode1D;
        /// See VarianceFilter; off by default.
        VarianceFilter varianceFilter;
        /// How the correlation is computed. Default Engine::OPENCV; create() raises
        /// cv::Exception (StsNotImplemented) for an engine this build does not have.
        Engine engine;
        /// Score by the zero-mean normalised correlation cv::TM_CCOEFF_NORMED (with the weight
        /// mask of sigmaExp, OpenCV's masked form of it) instead of cv::TM_CCORR_NORMED.
        /// Default false. Without the means, any textured patch scores high against any other
        /// and flat ground close to 1, so a hidden target is never reported lost; with them,
        /// unrelated texture scores near 0, a featureless window exactly 0 and an inverted
        /// patch below 0. Sub-pixel refinement then also refines peaks of 0 or less; without
        /// zeroMean a refined score of 0 or less keeps the whole-pixel peak and its score, as
        /// it always did.
        ///
        /// With either method, a position has no score, and counts as 0, where the
        /// correlation is undefined or lost in rounding: a window exactly zero under the
        /// template (under its positive weights when weighted) in every channel, and any value
        /// an engine gives that is not a correlation (NaN and infinities from OpenCV's
        /// unguarded weighted quotients over a window without energy or spread, magnitudes
        /// beyond 1.001 from cancellation on a nearly flat one). Rounding just past ±1 is
        /// clamped to ±1. So every score lies in -1..1.
        bool zeroMean;
        /// Second, higher score level below which a match may move the search but not renew
        /// the template. Default 0.0; 0 or less switches it off, so that every match renews the
        /// template as before. A match that reaches `threshold` but scores below
        /// `updateThreshold` still returns true, writes the box and moves the next search to
        /// where it was found; but the template it matched, the reference (the oldest in the
        /// history), stays the reference: the history is left holding that template alone,
        /// recorded at the match's whole-pixel offset with the sub-pixel remainder it was
        /// taken with, since that remainder belongs to its pixels and not to the frame. The
        /// next match reaching `updateThreshold` starts a run of templates again. The patch an
        /// uncertain match found (a partly hidden target, the occluder itself) is never taken.
        /// variance() is still updated. Used unchanged; with zeroMean, a level between
        /// `threshold` and the scores of the target seen whole (0.8-0.9) suits most footage.
        double updateThreshold;
        /// Smallest score at which a match found by a wider search (altSearchRadiiFactors)
        /// counts as found; the first search is held to `threshold` alone. Default NaN, which
        /// means the same level as `threshold`, so that wider searches behave as they always
        /// did; any other value is used unchanged, even one below `threshold`. One level cannot
        /// serve both questions: whether the target is still where it was (a partly hidden
        /// target scores well below its full view), and whether a patch far away is the target
        /// (textured background scores well above noise there). With zeroMean, 0.7-0.8 passes a
        /// target coming back into view and not the background; above that, a template renewed
        /// while the target was partly hidden may no longer reach it.
        double redetectThreshold;
    };

    ~TrackerCorr() override = default;

    /// Takes the target's first template: the region `boundingBox` of `image`, which must lie
    /// wholly inside the image (cv::Exception with StsAssert otherwise, as OpenCV raises for a
    /// region outside a matrix; edges are computed without overflow, so a box whose far edge
    /// lies beyond int is refused too). With the variance filter on, measures the template's
    /// texture, and raises what that measure raises (a greyscale filter on a frame that is not
    /// BGR(A), a kSize OpenCV refuses) or StsOutOfRange for a kSize above VARIANCE_KSIZE_MAX.
    /// An empty box (an empty image with the box (0, 0, 0, 0) among them) gives an empty
    /// template, with or without the weight mask: every search scores 0 until it is replaced.
    /// All or nothing: when init() raises, the tracker is exactly as it was before the call
    /// (history, variance, thresholds, weight mask and matches).
    void init(cv::InputArray image, const cv::Rect& boundingBox) override = 0;

    /// Finds the target in a new frame. The incoming value of `boundingBox` is never read: the
    /// search is centred where the reference template was found, relative to the image centre.
    /// Returns true and writes the new box when the score reaches `threshold` (a wider
    /// search's, `redetectThreshold`); returns false and leaves `boundingBox` untouched
    /// otherwise. Frames must have the first frame's type. A matrix of more than two
    /// dimensions is refused with the error init() gives (StsAssert), the tracker unchanged.
    bool update(cv::InputArray image, cv::Rect& boundingBox) override = 0;

    /// The last recorded maximum local variance: of the template after an init() with the
    /// variance filter on, of the matched patch after a successful update() (0.0 when no variance
    /// threshold was in force), 0.0 before anything was recorded.
    virtual double variance() = 0;

    /// The scores of the searches made by the last update(), in the order made: the first search,
    /// then each wider search tried. Empty after init(). Higher is better, and every score lies
    /// in -1..1 (see zeroMean); 0 means no usable template, an empty frame (or one smaller
    /// than the template), a patch rejected by the variance filter or no position with a
    /// score, and with zeroMean also a featureless window; only zeroMean scores go below 0 on
    /// 8-bit frames.
    virtual const std::vector<double>& matches() = 0;

    /// Constructs a tracker from `params`, which are copied (only read).
    ZOK_EXPORT static cv::Ptr<TrackerCorr> create(const Params& params);
};

} // namespace wyr::zok
