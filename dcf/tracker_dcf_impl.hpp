#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "dcf/aspect_filter.hpp"
#include "dcf/camera_motion.hpp"
#include "dcf/colour_model.hpp"
#include "dcf/confidence.hpp"
#include "dcf/features.hpp"
#include "dcf/filter.hpp"
#include "dcf/motion_support.hpp"
#include "dcf/region.hpp"
#include "dcf/response_variation.hpp"
#include "dcf/scale_filter.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

// The parameters as the tracker applies them, every one clamped.
TrackerDcf::Params appliedParams(const TrackerDcf::Params& params);

class TrackerDcfImpl final : public TrackerDcf {
public:
    explicit TrackerDcfImpl(const Params& params);

    void init(cv::InputArray image, const cv::Rect& boundingBox) override;
    bool update(cv::InputArray image, cv::Rect& boundingBox) override;
    double confidence() const override { return confidence_; }

    const Params& params() const { return params_; }
    // The target's centre (continuous coordinates: pixel i covers [i, i + 1)) and size.
    cv::Point2f centre() const { return track_.centre; }
    cv::Size2f targetSize() const { return shapedBase() * track_.scale; }
    bool lost() const { return track_.lost; }

private:
    // Where the target is and how it moves; a plain value, so that a refused call keeps it.
    struct Track {
        cv::Point2f centre;
        cv::Size2f base;      // the target's size at init()
        float scale = 1.0f;   // of base
        float aspect = 1.0f;  // the width-to-height ratio relative to base's (AspectFilter)
        float regionSide = 0; // of the search region at scale 1, in frame pixels
        cv::Point2f velocity; // pixels per frame, relative to the background with cameraMotion
        bool lost = false;
        int framesLost = 0;
        cv::Point2f pendingCentre; // a lost target's candidate, and the frames it has held
        int pendingFrames = 0;
        int tileCursor = 0; // the next window of the outer rings, and of the first ring
        int innerCursor = 0;
        int weakFrames = 0; // found, but below the learning level, in a row
        float colourTrust = 0.0f;
    };
    // The outcome of one search window.
    struct Search {
        ResponsePeak peak;
        double confidence = 0.0;
        cv::Point2f found; // the target's centre the peak puts it at
    };

    Search searchAt(const cv::Mat& frame, const cv::Point2f& centre, float scale);
    // Colour, on frames with it: whether it is used, the last sample at the colour model's
    // resolution, the merge of its response into the filter's, and its learning from the colour
    // patch last made, with the target shifted by `shift` cells.
    bool usesColour(int frameType) const;
    void makeColourPatch(const CorrelationFilter::Settings& grid);
    void mergeColour(const CorrelationFilter::Settings& grid, cv::Mat& response);
    // Returns how well the colours learned separate the target from its surroundings (0..1),
    // which scales the colour's weight.
    float learnColour(ColourModel& model, const CorrelationFilter::Settings& grid,
                      const cv::Point2f& shift, float rate);
    // `camera`: the image's shift since the last frame. follow() searches near a target found
    // on the last frame, redetect() for a lost one.
    bool follow(const cv::Mat& frame, const cv::Point2f& camera, cv::Rect& boundingBox);
    // Replaces the search `s` made around `predicted` (from response_) by the peak where the
    // target stood still in the image, when the camera moved, the peak moved with the
    // background, and the still place scores nearly as well (Params::stillPreference).
    void preferStill(const cv::Point2f& camera, const cv::Point2f& predicted, Search& s) const;
    // Whether the response of search `s` (response_) changed its shape abruptly while the match
    // is not confident (Params::maxResponseVariation); if so, lowers its confidence.
    bool aberrant(Search& s);
    bool redetect(const cv::Mat& frame, const cv::Point2f& camera, cv::Rect& boundingBox);
    cv::Rect box() const;
    // `p` moved to the nearest point of the frame (its far edges included).
    cv::Point2f inFrame(const cv::Point2f& p) const;
    // The target's size at scale 1: base at the current aspect.
    cv::Size2f shapedBase() const { return AspectFilter::shaped(track_.base, track_.aspect); }
    float clampScale(float scale, const cv::Size2f& shapedBase) const;

    Params params_;
    bool initialised_ = false;
    cv::Size frameSize_;
    int frameType_ = -1;
    Track track_;
    CorrelationFilter filter_;
    ScaleFilter scaleFilter_;
    AspectFilter aspectFilter_;
    ColourModel colour_;
    ConfidenceHistory history_;
    ResponseVariation variation_;
    CameraMotion camera_;
    MotionSupport motion_;
    FeatureExtractor features_;
    std::vector<cv::Mat> planes_;
    cv::Mat sample_, response_;
    SampleScratch scratch_;
    cv::Mat colourPatch_, likelihood_, colourScores_;
    double confidence_ = 1.0;
};

} // namespace wyr::zok
