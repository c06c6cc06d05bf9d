#include "tracker/engines/fft_correlator.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "fft/fft_arrays.hpp"
#include "fft/fft_grid.hpp"
#include "tracker/engines/opencv_correlator.hpp"
#include "tracker/engines/template_terms.hpp"
#include "tracker/engines/window_sums.hpp"

namespace wyr::zok {

namespace {

constexpr int MAX_CHANNELS = 4;
constexpr int MAX_GRID_AREA = 1 << 24;
constexpr size_t MAX_GRIDS = 4;

// Where the mask leaves few pixels in play, single precision costs the weighted scores more
// than 1e-5: the zero-mean normaliser subtracts nearly equal terms of the window's energy, and
// both methods sum products of very different sizes. Measured over full-range random texture
// and templates of 7 to 90 pixels, zero-mean scores part from OpenCV's by more than 1e-5 once
// the sum of M^2, the mask's effective area, falls below about 24, plain ones in small windows
// below about 2. Masks with a smaller sum go to cv::matchTemplate.
constexpr double MIN_MASK_AREA = 32;

// A transform's rounding error at one position scales with the whole window, not with the box
// it scores. Measured, a numerator is off by at most about 0.75 * FLT_EPSILON times the norms
// of the window and of the kernel, so a score by 0.75 * FLT_EPSILON * sqrt(window energy / box
// energy): 3e-5 where a box holds this share of its window's energy (with zeroMean, of the
// spread), 1e-5 from ten times that. A weighted energy, itself a transform's result, is off by
// about FLT_EPSILON times the norms of the squared window and of M^2. Positions below either
// level (WEIGHTED_ENERGY_ROUNDINGS such errors) are marked RECOMPUTE and scored by
// cv::matchTemplate over the part of the window they need, so that no rounding noise can beat
// a real peak. In most windows no position is marked.
constexpr double MIN_ENERGY_SHARE = 1e-5;
constexpr double WEIGHTED_ENERGY_ROUNDINGS = 16;
constexpr float RECOMPUTE = std::numeric_limits<float>::infinity();

// Real arrays of a grid: the window's channels, then the rest.
enum RealArray : size_t {
    KERNEL_IN = MAX_CHANNELS,
    NUMERATOR,
    ENERGY,
    MEAN_WEIGHTED,                       // cn arrays: the window correlated with M
    SQUARE_WEIGHTED = MEAN_WEIGHTED + 4, // cn arrays: the window correlated with M^2
};
enum SpectrumArray : size_t { WINDOW_SPECTRUM, KERNEL_SPECTRUM, SUM, PRODUCT, MASK2, MASK };

// One transform grid with its arrays and what they currently hold.
struct Grid {
    Grid(const cv::Size& size, unsigned flags) : fft(size, flags) {}

    FftGrid fft;
    cv::Size windowExtent;  // the region of the window arrays that may be non-zero
    int windowChannels = 0; // how many window arrays that applies to
    cv::Size kernelExtent;  // the same for the kernel array
    long maskGeneration = -1;
};

class FftCorrelator final : public Correlator {
public:
    FftCorrelator(int method, unsigned planFlags) : method_(method), planFlags_(planFlags) {}

    cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights) override;

private:
    bool handles(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights) const;
    Grid& gridFor(const cv::Size& window);
    cv::Mat response(const cv::Size& size);
    // Returns the energy of what was staged: the sum over channels of the squared values.
    double stageWindow(Grid& grid, const cv::Mat& window);
    void stageKernel(Grid& grid, const cv::Mat& kernel, int channel);
    void transformMask(Grid& grid);
    // `minEnergy`: the least energy (weighted, or with zeroMean the spread) a box must hold to
    // be scored here; positions below it are marked RECOMPUTE (see MIN_ENERGY_SHARE).
    void unweighted(const cv::Mat& window, const cv::Size& templ, const float* numerator,
                    int stride, float scale, double minEnergy, cv::Mat& out);
    void weightedCcorr(Grid& grid, const float* numerator, float scale, double minEnergy,
                       cv::Mat& out);
    void weightedCcoeff(Grid& grid, const cv::Mat& window, const cv::Size& templ,
                        const float* numerator, float scale, double minEnergy, cv::Mat& out);
    // Scores the positions marked RECOMPUTE with cv::matchTemplate.
    void recompute(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights,
                   cv::Mat& out) const;

    int method_;
    unsigned planFlags_;
    std::vector<std::unique_ptr<Grid>> grids_; // most recently used first
    std::vector<cv::Mat> responses_;
    TemplateTerms terms_;
    WindowSums sums_;
    cv::Mat converted_;
    long maskGeneration_ = 0;
};

bool FftCorrelator::handles(const cv::Mat& window, const cv::Mat& templ,
                            const cv::Mat& weights) const {
    if (method_ != cv::TM_CCORR_NORMED && method_ != cv::TM_CCOEFF_NORMED) {
        return false;
    }
    if (window.dims != 2 || templ.dims != 2 || window.empty() || templ.empty() ||
        window.type() != templ.type() || window.channels() > MAX_CHANNELS ||
        (window.depth() != CV_8U && window.depth() != CV_32F)) {
        return false;
    }
    if (templ.rows > window.rows || templ.cols > window.cols ||
        double(window.rows) * window.cols > MAX_GRID_AREA / 2) {
        return false;
    }
    if (weights.empty()) {
        return true;
    }
    if (weights.dims != 2 || weights.type() != CV_32FC1 || weights.size() != templ.size()) {
        return false;
    }
    // (A NaN sum, from a NaN mask, goes to OpenCV too.)
    return cv::norm(weights, cv::NORM_L2SQR) >= MIN_MASK_AREA;
}

Grid& FftCorrelator::gridFor(const cv::Size& window) {
    const cv::Size size(transformLength(window.width), transformLength(window.height));
    const auto found = std::find_if(grids_.begin(), grids_.end(),
                                    [&](const auto& g) { return g->fft.size() == size; });
    if (found != grids_.end()) {
        std::rotate(grids_.begin(), found, found + 1);
        return *grids_.front();
    }
    if (grids_.size() == MAX_GRIDS) {
        grids_.pop_back();
    }
    grids_.insert(grids_.begin(), std::make_unique<Grid>(size, planFlags_));
    return *grids_.front();
}

cv::Mat FftCorrelator::response(const cv::Size& size) {
    // A response the caller still holds is never written again: only buffers that nobody else
    // references are reused.
    const int area = size.area();
    for (cv::Mat& buffer : responses_) {
        if (buffer.u->refcount == 1) {
            if (buffer.cols < area) {
                buffer.create(1, area, CV_32F);
            }
            return buffer.colRange(0, area).reshape(1, size.height);
        }
    }
    responses_.emplace_back(1, area, CV_32F);
    return responses_.back().reshape(1, size.height);
}

double FftCorrelator::stageWindow(Grid& grid, const cv::Mat& window) {
    const int cn = window.channels();
    if (grid.windowExtent != window.size() || grid.windowChannels != cn) {
        // Values left beyond a smaller window would not change the valid scores, but they would
        // add rounding noise, and an all-zero window must transform to exact zeros.
        for (int c = 0; c < std::max(cn, grid.windowChannels); ++c) {
            std::fill_n(grid.fft.real(size_t(c)), grid.fft.realLength(), 0.0f);
        }
        grid.windowExtent = window.size();
        grid.windowChannels = cn;
    }
    float* planes[MAX_CHANNELS] = {};
    for (int c = 0; c < cn; ++c) {
        planes[c] = grid.fft.real(size_t(c));
    }
    deinterleave(window, planes, grid.fft.stride(), converted_);
    // The zero-mean kernels sum to 0 and the zero-mean normalisers do not see a constant, so
    // the window's mean can be taken out of every channel at no cost to the scores. What it
    // saves is precision: the transforms' rounding scales with what they are given, and the
    // mean of a bright window dwarfs the spread of a dim or weighted box within it.
    const cv::Scalar mean = method_ == cv::TM_CCOEFF_NORMED ? cv::mean(window) : cv::Scalar();
    double energy = 0;
    for (int c = 0; c < cn; ++c) {
        cv::Mat plane(window.rows, window.cols, CV_32F, planes[c],
                      size_t(grid.fft.stride()) * sizeof(float));
        if (method_ == cv::TM_CCOEFF_NORMED) {
            cv::subtract(plane, mean[c], plane);
        }
        energy += cv::norm(plane, cv::NORM_L2SQR);
    }
    return energy;
}

void FftCorrelator::stageKernel(Grid& grid, const cv::Mat& kernel, int channel) {
    float* in = grid.fft.real(KERNEL_IN);
    if (grid.kernelExtent != kernel.size()) {
        std::fill_n(in, grid.fft.realLength(), 0.0f);
        grid.kernelExtent = kernel.size();
    }
    copyChannel(kernel, channel, in, grid.fft.stride());
}

void FftCorrelator::transformMask(Grid& grid) {
    if (grid.maskGeneration == maskGeneration_) {
        return;
    }
    const int rows = terms_.mask().rows;
    stageKernel(grid, terms_.maskSquared(), 0);
    grid.fft.forwardTopRows(grid.fft.real(KERNEL_IN), rows, grid.fft.spectrum(MASK2));
    if (method_ == cv::TM_CCOEFF_NORMED) {
        stageKernel(grid, terms_.mask(), 0);
        grid.fft.forwardTopRows(grid.fft.real(KERNEL_IN), rows, grid.fft.spectrum(MASK));
    }
    grid.maskGeneration = maskGeneration_;
}

cv::Mat FftCorrelator::correlate(const cv::Mat& window, const cv::Mat& templ,
                                 const cv::Mat& weights) {
    if (!handles(window, templ, weights)) {
        cv::Mat out;
        matchTemplateChecked(window, templ, out, method_, weights);
        return out;
    }
    const cv::Size outSize(window.cols - templ.cols + 1, window.rows - templ.rows + 1);
    cv::Mat out = response(outSize);
    terms_.compute(templ, weights, method_);
    if (terms_.flat()) {
        out.setTo(1);
        return out;
    }
    const bool weighted = !weights.empty();
    if (weighted && terms_.maskChanged()) {
        ++maskGeneration_;
    }
    Grid& grid = gridFor(window.size());
    FftGrid& fft = grid.fft;
    const size_t n = fft.spectrumLength();
    const bool meanWeighted = weighted && method_ == cv::TM_CCOEFF_NORMED;
    if (weighted) {
        transformMask(grid);
    }
    const double windowEnergy = stageWindow(grid, window);
    const int cn = window.channels();
    for (int c = 0; c < cn; ++c) {
        fft.forward(fft.real(size_t(c)), fft.spectrum(WINDOW_SPECTRUM));
        stageKernel(grid, terms_.kernel(), c);
        fft.forwardTopRows(fft.real(KERNEL_IN), templ.rows, fft.spectrum(KERNEL_SPECTRUM));
        multiplyConjugate(fft.spectrum(WINDOW_SPECTRUM), fft.spectrum(KERNEL_SPECTRUM),
                          fft.spectrum(SUM), n, c > 0);
        if (meanWeighted) {
            multiplyConjugate(fft.spectrum(WINDOW_SPECTRUM), fft.spectrum(MASK),
                              fft.spectrum(PRODUCT), n, false);
            fft.inverse(fft.spectrum(PRODUCT), fft.real(MEAN_WEIGHTED + size_t(c)));
            multiplyConjugate(fft.spectrum(WINDOW_SPECTRUM), fft.spectrum(MASK2),
                              fft.spectrum(PRODUCT), n, false);
            fft.inverse(fft.spectrum(PRODUCT), fft.real(SQUARE_WEIGHTED + size_t(c)));
        }
    }
    float* numerator = fft.real(NUMERATOR);
    fft.inverse(fft.spectrum(SUM), numerator);
    const float scale = 1.0f / float(fft.realLength());

    if (!weighted) {
        const double minEnergy = MIN_ENERGY_SHARE * windowEnergy;
        unweighted(window, templ.size(), numerator, fft.stride(), scale, minEnergy, out);
        recompute(window, templ, weights, out);
        return out;
    }
    // The window's weighted energy is itself a correlation: of the sum over channels of x^2
    // with M^2.
    float* energy = fft.real(ENERGY);
    const float* planes[MAX_CHANNELS] = {};
    for (int c = 0; c < cn; ++c) {
        planes[c] = fft.real(size_t(c));
    }
    // Over the whole grid, so that the energy array is zero beyond the window too.
    sumOfSquares(planes, cn, fft.realLength(), energy);
    double squaredNorm2 = 0;
    for (size_t i = 0; i < fft.realLength(); ++i) {
        squaredNorm2 += double(energy[i]) * double(energy[i]);
    }
    const double minEnergy =
        std::max(MIN_ENERGY_SHARE * windowEnergy, WEIGHTED_ENERGY_ROUNDINGS * FLT_EPSILON *
                                                      std::sqrt(squaredNorm2) *
                                                      cv::norm(terms_.maskSquared(), cv::NORM_L2));
    fft.forward(energy, fft.spectrum(WINDOW_SPECTRUM));
    multiplyConjugate(fft.spectrum(WINDOW_SPECTRUM), fft.spectrum(MASK2), fft.spectrum(PRODUCT), n,
                      false);
    fft.inverse(fft.spectrum(PRODUCT), energy);
    if (meanWeighted) {
        weightedCcoeff(grid, window, templ.size(), numerator, scale, minEnergy, out);
    } else {
        weightedCcorr(grid, numerator, scale, minEnergy, out);
    }
    recompute(window, templ, weights, out);
    return out;
}

void FftCorrelator::recompute(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights,
                              cv::Mat& out) const {
    cv::Mat marked;
    cv::compare(out, RECOMPUTE, marked, cv::CMP_EQ);
    const cv::Rect positions = cv::boundingRect(marked);
    if (positions.empty()) {
        return;
    }
    const cv::Rect part(positions.tl(), positions.size() + templ.size() - cv::Size(1, 1));
    cv::Mat scores;
    matchTemplateChecked(window(part), templ, scores, method_, weights);
    scores.copyTo(out(positions), marked(positions));
}

// cv::matchTemplate's unweighted rules: no score where the window has (next to) no variance,
// and ratios a little past +-1 from rounding are clamped. Besides, a box whose energy lies
// within the transform's rounding (below `minEnergy`) is marked RECOMPUTE. Written without
// branches so that the loop vectorises; the quotient of a zero t is computed but not used.
template <bool CENTRED>
void normaliseRow(const float* num, const double* sum2, const double* squared, float scale,
                  double invArea, double templNorm, double minEnergy, int cols, float* out) {
    for (int x = 0; x < cols; ++x) {
        const double value = double(num[x] * scale);
        const double wndSum2 = sum2[x];
        const double wndMean2 = CENTRED ? squared[x] * invArea : 0.0;
        const double diff2 = std::max(wndSum2 - wndMean2, 0.0);
        const bool flat = diff2 <= std::min(0.5, 10 * FLT_EPSILON * wndSum2);
        const double t = flat ? 0.0 : std::sqrt(diff2) * templNorm;
        const double magnitude = std::fabs(value);
        const double clamped = magnitude < t * 1.125 ? (value > 0 ? 1.0 : -1.0) : 0.0;
        const float score = float(magnitude < t ? value / t : clamped);
        out[x] = !flat && diff2 <= minEnergy ? RECOMPUTE : score;
    }
}

void FftCorrelator::unweighted(const cv::Mat& window, const cv::Size& templ, const float* numerator,
                               int stride, float scale, double minEnergy, cv::Mat& out) {
    const bool centred = method_ == cv::TM_CCOEFF_NORMED;
    sums_.compute(window, templ, centred);
    const double invArea = 1. / (double(templ.height) * templ.width);
    for (int y = 0; y < out.rows; ++y) {
        const size_t at = size_t(y) * size_t(out.cols);
        const float* num = numerator + size_t(y) * size_t(stride);
        if (centred) {
            normaliseRow<true>(num, sums_.sumSquares() + at, sums_.squaredSums() + at, scale,
                               invArea, terms_.norm(), minEnergy, out.cols, out.ptr<float>(y));
        } else {
            normaliseRow<false>(num, sums_.sumSquares() + at, nullptr, scale, invArea,
                                terms_.norm(), minEnergy, out.cols, out.ptr<float>(y));
        }
    }
}

void FftCorrelator::weightedCcorr(Grid& grid, const float* numerator, float scale, double minEnergy,
                                  cv::Mat& out) {
    // A box whose weighted energy is within the transform's rounding, a window that is zero
    // under the mask included, is left to cv::matchTemplate.
    const float* energy = grid.fft.real(ENERGY);
    const size_t stride = size_t(grid.fft.stride());
    const double templ2 = terms_.norm();
    for (int y = 0; y < out.rows; ++y) {
        float* row = out.ptr<float>(y);
        const float* num = numerator + size_t(y) * stride;
        const float* e = energy + size_t(y) * stride;
        for (int x = 0; x < out.cols; ++x) {
            const double boxEnergy = double(e[x] * scale);
            const float norm = std::sqrt(float(templ2 * boxEnergy));
            row[x] = boxEnergy > minEnergy ? num[x] * scale / norm : RECOMPUTE;
        }
    }
}

void FftCorrelator::weightedCcoeff(Grid& grid, const cv::Mat& window, const cv::Size& templ,
                                   const float* numerator, float scale, double minEnergy,
                                   cv::Mat& out) {
    const int cn = window.channels();
    const size_t stride = size_t(grid.fft.stride());
    const float* energy = grid.fft.real(ENERGY);
    const float* byMask[MAX_CHANNELS] = {};
    const float* byMask2[MAX_CHANNELS] = {};
    for (int c = 0; c < cn; ++c) {
        byMask[c] = grid.fft.real(MEAN_WEIGHTED + size_t(c));
        byMask2[c] = grid.fft.real(SQUARE_WEIGHTED + size_t(c));
    }
    // A box without variance has a zero normaliser: cv::matchTemplate scores it 0 / 0, NaN, and
    // so does this engine, rather than a ratio of two rounding errors. Integer sums of 8-bit
    // windows say so exactly; float sums allow for their rounding.
    sums_.compute(window, templ, true);
    const double area = double(templ.height) * templ.width;
    const double flatTolerance = window.depth() == CV_8U ? 0.0 : 1e-10;
    const cv::Scalar& maskSum = terms_.maskSum();
    const cv::Scalar& mask2Sum = terms_.maskSquaresSum();
    const double templNorm = terms_.norm();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int y = 0; y < out.rows; ++y) {
        float* row = out.ptr<float>(y);
        const size_t line = size_t(y) * stride;
        const double* sum2 = sums_.sumSquares() + size_t(y) * size_t(out.cols);
        const double* squared = sums_.squaredSums() + size_t(y) * size_t(out.cols);
        for (int x = 0; x < out.cols; ++x) {
            const double spread = area * sum2[x] - squared[x];
            if (spread <= flatTolerance * area * sum2[x]) {
                row[x] = nan;
                continue;
            }
            // sum M^2 (I - A / sum(M))^2 over channels, A = the window correlated with M:
            // cv::matchTemplate's weighted normaliser.
            double norm2 = double(energy[line + size_t(x)] * scale);
            for (int c = 0; c < cn; ++c) {
                const double a = double(byMask[c][line + size_t(x)] * scale);
                const double b = double(byMask2[c][line + size_t(x)] * scale);
                norm2 += a / maskSum[c] * (a * (mask2Sum[c] / maskSum[c]) - 2 * b);
            }
            if (!(norm2 > minEnergy)) {
                row[x] = RECOMPUTE;
                continue;
            }
            const float norm = std::sqrt(float(norm2));
            row[x] = float(double(numerator[line + size_t(x)] * scale) / (norm * templNorm));
        }
    }
}

} // namespace

std::unique_ptr<Correlator> makeFftCorrelator(int method, unsigned planFlags) {
    return std::make_unique<FftCorrelator>(method, planFlags);
}

} // namespace wyr::zok
