#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "fft/fft_grid.hpp"

namespace wyr::zok {

// A multi-channel correlation filter on a square grid of feature cells, learned in the Fourier
// domain from a running average of the samples (the model) towards a Gaussian label at zero
// shift. With constrained iterations it is trained by ADMM so that its spatial support is the
// target's box at the grid's centre, while the data term covers the whole (windowed) region: the
// region's background then acts as negative samples rather than as part of the template.
class CorrelationFilter {
public:
    struct Settings {
        int gridSide = 48; // cells, even
        int channels = 1;
        cv::Size2f targetCells;     // the target's size in cells
        float labelSigma = 0.0625f; // of sqrt(target area in cells)
        int iterations = 2;         // 0: plain filter over the whole region
    };

    // Plans the transforms and builds the window, label and mask. Allocates; afterwards nothing
    // else does.
    void configure(const Settings& settings);
    const Settings& settings() const { return settings_; }
    int side() const { return settings_.gridSide; }

    // Windows the planes (each gridSide x gridSide CV_32FC1) and transforms them as the sample.
    void loadSample(const std::vector<cv::Mat>& planes);
    // The correlation of the sample with the filter: `response` (gridSide x gridSide CV_32FC1)
    // holds at (y, x) the score of the target moved by (x, y) cells, indices wrapping round, so
    // that negative shifts sit at the far end.
    void respond(cv::Mat& response);
    // Moves the sample's content by `shift` cells (circularly, fractional shifts allowed).
    void shiftSample(const cv::Point2f& shift);
    // Blends the sample into the model at `rate` (1 replaces it) and retrains the filter; at 0 it
    // only retrains it, as after a new support.
    void learn(float rate);
    // The filter's spatial support for the constrained training: gridSide x gridSide CV_32F,
    // the target's box at the grid's centre 1 and the rest 0 as configured. A new support (of
    // that size and type; weights in 0..1) takes effect at the next learn().
    const cv::Mat& support() const { return mask_; }
    void setSupport(const cv::Mat& support);

    bool configured() const { return grid_ != nullptr; }

private:
    void solveData(float regulariser, bool withPrior);

    Settings settings_;
    std::unique_ptr<FftGrid> grid_;
    // Per channel: the sample, the model, the filter, its projection onto the box and the
    // scaled dual of the constraint; all of the grid's half-spectrum length.
    std::vector<fftwf_complex*> sample_, model_, filter_, projected_, dual_;
    fftwf_complex* scratch_ = nullptr;
    fftwf_complex* label_ = nullptr; // the label's spectrum
    cv::Mat window_, mask_;
    std::vector<float> energy_;          // sum over channels of |model|^2, per frequency
    std::vector<float> gain_;            // per frequency, interleaved re, im
    std::vector<float> phaseX_, phaseY_; // interleaved re, im
};

} // namespace wyr::zok
