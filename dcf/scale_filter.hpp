#pragma once

#include <complex>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "dcf/features.hpp"
#include "dcf/region.hpp"
#include "fft/fft_rows.hpp"

namespace wyr::zok {

// A one-dimensional correlation filter over scales: the target's box is sampled at a ladder of
// scales around its current size, each sample resized to one small model size and described by
// its feature planes, and the filter learns to peak at the ladder's middle. The scale whose
// sample the new frame matches best gives the change of size.
//
// The ladder can also change the box's two sides by different powers of its step: with powers
// 1/2 and -1/2 it is a ladder of shapes (aspect ratios) at one area, each rung widening the box
// by the step's square root and flattening it by as much.
class ScaleFilter {
public:
    struct Settings {
        int scales = 17; // odd
        float step = 1.02f;
        cv::Size2f target; // the target's size when configured, in frame pixels
        // Rung i (from -scales / 2 to scales / 2) samples a box of width target.width *
        // step^(i widthPower) and height target.height * step^(i heightPower).
        float widthPower = 1.0f;
        float heightPower = 1.0f;
    };

    void configure(const Settings& settings);
    bool configured() const { return rows_ != nullptr; }

    // Samples every scale of a box of `target` size centred on `centre`. Raises StsBadArg when
    // the samples hold NaN or infinite values, before anything the filter learned changes.
    void loadSamples(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& target);
    // The change of size the loaded samples show against the model, in steps of the ladder
    // (0 = unchanged, +1 = larger by one step), within the ladder's range.
    float estimate();
    // Blends the loaded samples into the model at `rate` (1 replaces it), as samples of a
    // target that lies `offset` steps up the ladder from its middle (the size estimate() just
    // found, while the samples were taken at the old one).
    void learn(float rate, float offset);

private:
    using Complex = std::complex<float>;

    Settings settings_;
    cv::Size modelSize_;
    std::unique_ptr<FftRows> rows_;
    FeatureExtractor features_;
    std::vector<cv::Mat> planes_;
    cv::Mat wide_, sample_;
    SampleScratch scratch_;
    std::vector<float> widthFactors_, heightFactors_, window_, energy_;
    cv::Size2f span_; // the widest and the tallest rung with its context, as factors of the box
    std::vector<Complex> label_, shifted_, numerator_, denominator_;
};

} // namespace wyr::zok
