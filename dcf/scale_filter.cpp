#include "dcf/scale_filter.hpp"

#include <algorithm>
#include <cmath>

#include "dcf/region.hpp"

namespace wyr::zok {

namespace {

// Pixels of the model a scale sample is resized to: enough cells to describe a shape, few
// enough that the whole ladder costs less than the translation search.
constexpr float MODEL_AREA = 32.0f * 32.0f;
constexpr int MODEL_MIN_SIDE = 2 * DCF_CELL_SIZE;
constexpr float REGULARISER = 0.01f;
// Each sample takes in a margin around the box, so that the target's outline lies inside it
// whichever way the size changed: a box-only sample of a shrinking target shows no edge.
constexpr float CONTEXT = 1.0f;

int cellMultiple(float v) {
    return std::max(MODEL_MIN_SIDE, int(std::lround(v / DCF_CELL_SIZE)) * DCF_CELL_SIZE);
}

} // namespace

void ScaleFilter::configure(const Settings& settings) {
    settings_ = settings;
    const float k = std::sqrt(MODEL_AREA / std::max(1.0f, settings.target.area())) * CONTEXT;
    modelSize_ =
        cv::Size(cellMultiple(settings.target.width * k), cellMultiple(settings.target.height * k));
    const int cells = (modelSize_.width / DCF_CELL_SIZE) * (modelSize_.height / DCF_CELL_SIZE);
    const int dims = cells * FeatureExtractor::PLANES;
    const int n = settings.scales;
    rows_ = std::make_unique<FftRows>(n, dims);
    const int centre = n / 2;
    widthFactors_.resize(size_t(n));
    heightFactors_.resize(size_t(n));
    window_.resize(size_t(n));
    std::vector<float> label(static_cast<size_t>(n));
    const float sigma = float(n) / std::sqrt(33.0f) / 4.0f;
    for (int i = 0; i < n; ++i) {
        widthFactors_[size_t(i)] = std::pow(settings.step, float(i - centre) * settings.widthPower);
        heightFactors_[size_t(i)] =
            std::pow(settings.step, float(i - centre) * settings.heightPower);
        window_[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * CV_PI * (i + 0.5) / n));
        const float d = float(i - centre);
        label[size_t(i)] = std::exp(-0.5f * d * d / (sigma * sigma));
    }
    span_ = {*std::max_element(widthFactors_.begin(), widthFactors_.end()) * CONTEXT,
             *std::max_element(heightFactors_.begin(), heightFactors_.end()) * CONTEXT};
    const int bins = rows_->bins();
    label_.assign(size_t(bins), Complex());
    // The label's spectrum by a direct sum: one short transform, once.
    for (int u = 0; u < bins; ++u) {
        Complex s;
        for (int i = 0; i < n; ++i) {
            const double a = -2 * CV_PI * u * i / n;
            s += label[size_t(i)] * Complex(float(std::cos(a)), float(std::sin(a)));
        }
        label_[size_t(u)] = s;
    }
    shifted_.assign(size_t(bins), Complex());
    energy_.assign(size_t(bins), 0.0f);
    numerator_.assign(size_t(dims) * size_t(bins), Complex());
    denominator_.assign(size_t(bins), Complex());
}

void ScaleFilter::loadSamples(const cv::Mat& frame, const cv::Point2f& centre,
                              const cv::Size2f& target) {
    const int n = settings_.scales;
    // The box spanning every rung of the ladder is resampled once, at 1.5 times the model's
    // size; every rung is then taken from it by interpolation from between 1.1 and 1.5 of its
    // pixels to one, so that the cost does not grow with the target's size and no scale is
    // quantised.
    const cv::Size2f wideRegion(target.width * span_.width, target.height * span_.height);
    const cv::Size wideSize(int(std::ceil(1.5f * modelSize_.width)),
                            int(std::ceil(1.5f * modelSize_.height)));
    if (!sampleFiniteRegion(frame, centre, wideRegion, wideSize, wide_, scratch_)) {
        CV_Error(cv::Error::StsBadArg, "the frame holds NaN or infinite pixels around the target");
    }
    const cv::Point2f wideCentre(wideSize.width / 2.0f, wideSize.height / 2.0f);
    const float perPixelX = wideSize.width / wideRegion.width;
    const float perPixelY = wideSize.height / wideRegion.height;
    float* real = rows_->real();
    for (int s = 0; s < n; ++s) {
        const cv::Size2f region(target.width * widthFactors_[size_t(s)] * CONTEXT * perPixelX,
                                target.height * heightFactors_[size_t(s)] * CONTEXT * perPixelY);
        sampleRegion(wide_, wideCentre, region, modelSize_, sample_, scratch_);
        features_.compute(sample_, planes_);
        size_t row = 0;
        for (const cv::Mat& p : planes_) {
            for (int y = 0; y < p.rows; ++y) {
                const float* v = p.ptr<float>(y);
                for (int x = 0; x < p.cols; ++x) {
                    real[row * size_t(n) + size_t(s)] = v[x] * window_[size_t(s)];
                    ++row;
                }
            }
        }
    }
    rows_->forward();
}

float ScaleFilter::estimate() {
    const int n = settings_.scales;
    const int bins = rows_->bins();
    const auto* z = reinterpret_cast<const Complex*>(rows_->spectrum());
    auto* sum = reinterpret_cast<Complex*>(rows_->rowSpectrum());
    std::fill(sum, sum + bins, Complex());
    for (int d = 0; d < rows_->rows(); ++d) {
        const Complex* a = numerator_.data() + size_t(d) * size_t(bins);
        const Complex* zd = z + size_t(d) * size_t(bins);
        // conj(a) * z, written out: std::complex's product checks for NaNs in a library call.
        for (int u = 0; u < bins; ++u) {
            const float re = a[u].real() * zd[u].real() + a[u].imag() * zd[u].imag();
            const float im = a[u].real() * zd[u].imag() - a[u].imag() * zd[u].real();
            sum[u] += Complex(re, im);
        }
    }
    float total = 0.0f;
    for (int u = 0; u < bins; ++u) {
        total += denominator_[size_t(u)].real();
    }
    const float reg = REGULARISER * total / float(bins);
    for (int u = 0; u < bins; ++u) {
        sum[u] /= denominator_[size_t(u)].real() + reg;
    }
    rows_->inverseRow();
    const float* r = rows_->rowReal();
    const int best = int(std::max_element(r, r + n) - r);
    float offset = float(best);
    if (best > 0 && best < n - 1) {
        const float denom = r[best - 1] - 2 * r[best] + r[best + 1];
        if (denom < 0) {
            offset += 0.5f * (r[best - 1] - r[best + 1]) / denom;
        }
    }
    return offset - float(n / 2);
}

void ScaleFilter::learn(float rate, float offset) {
    const int n = settings_.scales;
    const int bins = rows_->bins();
    // The label moved to the target's place on the ladder: a phase ramp on its spectrum.
    for (int u = 0; u < bins; ++u) {
        const double a = -2 * CV_PI * u * offset / n;
        shifted_[size_t(u)] = label_[size_t(u)] * Complex(float(std::cos(a)), float(std::sin(a)));
    }
    // Over interleaved floats, with the label and the energies in arrays of their own, so that
    // the loop over a row's bins carries no complex arithmetic and no aliasing.
    const float* x = &rows_->spectrum()[0][0];
    float* a = reinterpret_cast<float*>(numerator_.data());
    const float* y = reinterpret_cast<const float*>(shifted_.data());
    float* energy = energy_.data();
    std::fill(energy_.begin(), energy_.end(), 0.0f);
    const float keep = 1.0f - rate;
    for (int d = 0; d < rows_->rows(); ++d) {
        const float* xd = x + size_t(d) * size_t(2 * bins);
        float* ad = a + size_t(d) * size_t(2 * bins);
        for (int u = 0; u < bins; ++u) {
            const float xr = xd[2 * u];
            const float xi = xd[2 * u + 1];
            const float yr = y[2 * u];
            const float yi = y[2 * u + 1];
            ad[2 * u] = keep * ad[2 * u] + rate * (xr * yr + xi * yi);
            ad[2 * u + 1] = keep * ad[2 * u + 1] + rate * (xi * yr - xr * yi);
            energy[u] += xr * xr + xi * xi;
        }
    }
    for (int u = 0; u < bins; ++u) {
        denominator_[size_t(u)] = keep * denominator_[size_t(u)] + rate * energy[u];
    }
}

} // namespace wyr::zok
