#pragma once

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "zok/export.hpp"

namespace wyr::zok {

/// The smallest target side, in pixels, that init() takes: a box narrower or lower than this
/// holds too few pixels to describe by gradients and is refused.
inline constexpr int DCF_MIN_TARGET_SIDE = 4;

/// A single-target tracker that learns a discriminative correlation filter of the target and
/// its surroundings online, on gradient (fHOG), grey and colour features, with its own estimate
/// of the target's scale, a confidence measure judged against its own recent history and a
/// fixed floor, and a re-detection search while the target is lost.
///
/// Use: create() it, init() it with the first frame and the target's box, then call update()
/// once per frame with frames of the first frame's size and type. update() returns false while
/// the target is judged lost; the box it leaves is then the last box found. confidence() tells
/// how sure the last update was.
///
/// Cost: the features are computed on a grid of bounded size, so the time of an update does not
/// grow with the target's size in pixels. After the first frame of a size, updates reuse the
/// tracker's buffers and transform plans (only OpenCV's resampling may take small temporary
/// buffers of its own). Trackers share no mutable state, so each thread may run trackers of its
/// own; one tracker is used by one thread at a time. Needs a build with FFTW (-DZOK_WITH_FFTW=ON,
/// the default): create() raises cv::Exception (StsNotImplemented) otherwise.
class TrackerDcf : public cv::Tracker {
public:
    /// The tracker's parameters: a plain value, copied by create(), which never refuses a
    /// value; the tracker clamps each one as documented when it is constructed (a NaN takes
    /// the default).
    struct Params {
        ZOK_EXPORT Params();

        /// Side of the square region searched and learned around the target, as a multiple of
        /// the square root of the target's area (and at least 1.25 times its longer side).
        /// Larger regions follow larger steps and learn more background, at the same cost.
        /// Default 4.0; clamped into 2..8.
        float padding;
        /// Side of the feature grid, in cells of 4 x 4 pixels: the region is resampled to
        /// 4 * gridCells pixels a side, whatever the target's size. Sets the cost of an update.
        /// Default 48; clamped into 16..96 and rounded up to an even length FFTW transforms
        /// fast.
        int gridCells;
        /// Width of the Gaussian label the filter learns to give, as a fraction of the square
        /// root of the target's area in cells. Default 0.0625 (1/16); clamped into 0.01..0.5.
        float labelSigma;
        /// Rate at which the learned model follows each confident frame: 0 keeps the first
        /// frame's model, 1 keeps only the last frame's. Default 0.02; clamped into 0..1.
        float learningRate;
        /// Iterations of the spatially constrained training, which limits the filter to the
        /// target's box while it learns from the whole region. 0 trains a plain correlation
        /// filter over the whole region. Default 1 (a second iteration costs 0.5 ms an update
        /// and measured no better); clamped into 0..10.
        int admmIterations;
        /// Weigh the filter's response by a colour-histogram likelihood of target against
        /// surroundings, on frames with 3 or 4 channels (ignored on grey frames). Default true.
        bool colour;
        /// How strongly colour weighs the response: each score is multiplied by
        /// 1 + colourWeight * t * (2 p - 1), where p (0..1) is the mean likelihood that the
        /// colours of a box there are the target's, and t (0..1) how well the colours learned
        /// have separated the target from its surroundings so far. Colour so never makes a peak
        /// where the filter has none. Default 0.3; clamped into 0..1.
        float colourWeight;
        /// Rate at which the colour histograms follow each confident frame. Default 0.04;
        /// clamped into 0..1.
        float colourLearningRate;
        /// Estimate the target's scale with a separate one-dimensional scale filter; with it
        /// off the box keeps its first size. Width and height change together. Default true.
        bool scaleFilter;
        /// Number of scales the scale filter compares. Default 17; clamped into 3..33 and made
        /// odd (an even count takes one more).
        int scales;
        /// Ratio between neighbouring scales of the scale filter. Default 1.02; clamped into
        /// 1.005..1.2.
        float scaleStep;
        /// Rate at which the scale filter follows each confident frame. Default 0.025; clamped
        /// into 0..1.
        float scaleLearningRate;
        /// Centre the search where the target's recent motion predicts it, rather than where it
        /// was last found. Default true.
        bool motionPrediction;
        /// Share of the recent velocity carried into the prediction (a damped constant
        /// velocity). Default 0.8; clamped into 0..1.
        float motionDamping;
        /// While the target is lost, search every frame a region that grows with the frames
        /// lost, in windows of the usual size, until it covers the whole frame. With it off, a
        /// lost target is searched for only around where it was last found. Default true.
        bool redetection;
        /// Confidence below which the target is judged lost: update() returns false, the box
        /// stays and nothing is learned. Default 0.2; clamped into 0..10.
        float lostConfidence;
        /// Confidence below which a found target is not learned from (a partly hidden or
        /// blurred view). Default 0.3; clamped into lostConfidence..10.
        float learnConfidence;
        /// Confidence a match must reach, while the target is lost, to be taken as the target
        /// again. Default 0.4; clamped into lostConfidence..10.
        float redetectConfidence;
        /// Number of frames in a row, at one place, on which a lost target's match must reach
        /// redetectConfidence before it is reported found. Default 2; clamped into 1..10.
        int redetectFrames;
        /// Measure the camera's motion between frames (one translation of the whole image, by
        /// phase correlation of the frames shrunk to 160 pixels wide) and predict the target's
        /// place from its motion relative to the background: a panning or shaking camera moves
        /// the search with the image, a lost target is looked for where the background has
        /// carried it, and a target the camera follows is not dragged along with the streaming
        /// background. Reads a few thousand pixels of each frame. Default false: on real
        /// footage it measured worse than the plain prediction.
        bool cameraMotion;
        /// The least sharpness (peak-to-correlation energy) of a response that counts as a
        /// full peak whatever the tracker's history: below it the confidence is scaled down in
        /// proportion, so that it falls where the target is hidden or out of view even when the
        /// recent peaks were weak too. 0 judges against the history alone. Default 20; clamped
        /// into 0..1000.
        float minSharpness;
        /// With cameraMotion, while the camera moves by two feature cells or more a frame: when
        /// the response's peak lies where the background has carried the target, a peak where
        /// the target stood still in the image that reaches this share of it is taken instead
        /// (a target the camera follows, over a streaming background that the filter learned
        /// beside it). 0 never. Default 0.5; clamped into 0..1.
        float stillPreference;
        /// With scaleFilter, estimate the box's shape too, with a second one-dimensional
        /// filter over aspect ratios (width to height) at the target's current area: the box's
        /// width and height may then change apart. The shape is the box's alone: the search
        /// region and the scale filter keep the first box's shape, so that a wrong shape cannot
        /// carry the tracker off. The aspect moves only on frames confident enough to learn
        /// from (learnConfidence), its model follows them at scaleLearningRate, and it stays
        /// within 1 / aspectLimit .. aspectLimit of the first box's and within what the search
        /// region holds (sides up to 1 / 1.25 of the region's). Adds about 0.3 ms an update.
        /// Default false: on real footage it measured only a little better.
        bool aspectFilter;
        /// Number of aspect ratios the aspect filter compares. Default 9; clamped into 3..33
        /// and made odd (an even count takes one more).
        int aspects;
        /// Ratio between neighbouring aspect ratios of the aspect filter (the width grows, and
        /// the height shrinks, by its square root). Default 1.04; clamped into 1.005..1.2.
        float aspectStep;
        /// How far the aspect may move from the first box's, as a factor either way. Default
        /// 3; clamped into 1..10 (1 keeps the first shape).
        float aspectLimit;
        /// Share of the change of aspect the aspect filter measures that the box takes on each
        /// confident frame: lower values steady the shape, higher ones follow fast changes.
        /// Default 0.5; clamped into 0..1 (0 keeps the first shape).
        float aspectRate;
        /// On frames with colour (3 or 4 channels), the filter also learns six colour planes
        /// per feature cell besides the gradient and grey ones: the cell's membership of six
        /// hues, judged on its chroma divided by its brightness, so that a change of light
        /// changes them little while two colours of one grey level differ. Grey frames are
        /// unaffected. Costs about 0.2-0.4 ms an update (the filter's cost grows with its
        /// planes), the same for every target size. No clamp. Default true.
        bool colourFeatures;
        /// Judge, besides the peak, how much the whole response changed its shape since the last
        /// frame learned from (both aligned on their peaks and scaled to a peak of 1), against the
        /// running mean of that change over recent learned frames. Where it changed more than
        /// this many times the usual and the confidence is below 0.6, the frame is taken for an
        /// occluder entering the view, not a change of the target's look: it is not learned from,
        /// and the confidence reported is divided by the excess (the change over this limit), so
        /// that a target hidden for long is reported lost. 0 never. Costs one pass over the
        /// response a frame. Default 0; clamped into 0..1000.
        float maxResponseVariation;
        /// At the first update, follow the points of the first box and of its surroundings
        /// between the first two frames (optical flow, kept where it agrees forward and back),
        /// and leave the box's cells that move with the surroundings out of the filter's
        /// support: the background the first box holds is not learned as the target. Nothing
        /// is cut where the two cannot be told apart: fewer than a fifth of the box's cells
        /// move apart from the surroundings (a still target, or one the whole image moves
        /// with), or nearly all do, or too little is textured to follow. Costs one flow of a
        /// few hundred points, once. Default false.
        bool motionSupport;
    };

    ~TrackerDcf() override = default;

    /// Learns the first model from the region `boundingBox` of `image`. The frame must be a
    /// 2-D matrix, 8-bit or float (without NaN or infinite pixels in the target's
    /// surroundings) with 1, 3 or 4 channels (BGR(A) order), and the box must lie wholly inside
    /// it with each side at least DCF_MIN_TARGET_SIDE (4) pixels. Float pixels are on the 8-bit
    /// scale; every finite value is taken, and values beyond +-1e9 count as +-1e9. Raises
    /// cv::Exception otherwise (StsBadArg for an empty frame, StsUnsupportedFormat for a type or
    /// for an array of more than two dimensions, StsBadSize for a box, StsBadArg for NaN or
    /// infinite pixels) and leaves the tracker exactly as it was. A later init() starts afresh
    /// on the new box.
    void init(cv::InputArray image, const cv::Rect& boundingBox) override = 0;

    /// Finds the target in a new frame, which must have the size and type of the frame given to
    /// init() (cv::Exception otherwise: StsError before init(), StsBadArg for an empty frame
    /// or NaN or infinite pixels where the tracker looks, StsUnsupportedFormat for an array of
    /// more than two dimensions, StsUnmatchedSizes, StsUnmatchedFormats; the tracker is then
    /// exactly as it was, also while it searches for a lost target). The incoming value of
    /// `boundingBox` is never read. Returns true and writes the new box when the target is found;
    /// returns false and writes the last box found when it is judged lost. The box written is the
    /// target's box cut to the frame (never empty: the target's centre is kept inside the frame).
    bool update(cv::InputArray image, cv::Rect& boundingBox) override = 0;

    /// The confidence of the last update(): 1.0 after init(), then the strength of the
    /// response peak relative to its own recent history, 0 or more, scaled down in proportion
    /// where the response's sharpness falls below Params::minSharpness. 0 means no peak at all
    /// (a featureless view, such as a frame of one grey level, always gives 0); values near 1
    /// or above mean a peak as strong as the target's usual ones. Below
    /// Params::lostConfidence the target is reported lost.
    virtual double confidence() const = 0;

    /// Constructs a tracker from `params`.
    ZOK_EXPORT static cv::Ptr<TrackerDcf> create(const Params& params = Params());
};

} // namespace wyr::zok
