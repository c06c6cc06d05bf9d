#include "dcf/filter.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace wyr::zok {

namespace {

// Relative to the model's mean spectral energy, so that the training does not depend on the
// features' scale: the plain filter's regulariser, the constrained training's penalty (raised
// by a factor each iteration) and the weight decay of the constrained filter.
constexpr float PLAIN_REGULARISER = 0.01f;
constexpr float PENALTY_START = 1.0f;
constexpr float PENALTY_GROWTH = 3.0f;
constexpr float SUPPORT_DECAY = 0.01f;

// Signed frequency (or shift) of index i on a cyclic axis of n.
int wrapped(int i, int n) {
    return i < (n + 1) / 2 ? i : i - n;
}

} // namespace

CorrelationFilter::Complex* CorrelationFilter::spectrum(size_t index) {
    return reinterpret_cast<Complex*>(grid_->spectrum(index));
}

void CorrelationFilter::configure(const Settings& settings) {
    settings_ = settings;
    const int n = settings.gridSide;
    if (!grid_ || grid_->size() != cv::Size(n, n)) {
        grid_ = std::make_unique<FftGrid>(cv::Size(n, n), DEFAULT_PLAN_FLAGS);
    }
    // Every spectrum is made now, so that learning and detection never allocate.
    for (size_t i = 0; i <= size_t(5 * settings.channels); ++i) {
        std::memset(static_cast<void*>(grid_->spectrum(i)), 0,
                    grid_->spectrumLength() * sizeof(fftwf_complex));
    }
    grid_->real(0);
    window_.create(n, n, CV_32F);
    // A Hann window sampled at the cells' centres: symmetric about the grid's centre (n / 2),
    // where the target sits, and non-zero on every cell.
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const double wy = 0.5 - 0.5 * std::cos(2 * CV_PI * (y + 0.5) / n);
            const double wx = 0.5 - 0.5 * std::cos(2 * CV_PI * (x + 0.5) / n);
            window_.at<float>(y, x) = float(wx * wy);
        }
    }
    mask_.create(n, n, CV_32F);
    const float halfW = std::max(1.0f, settings.targetCells.width) / 2.0f;
    const float halfH = std::max(1.0f, settings.targetCells.height) / 2.0f;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float cx = x + 0.5f - n / 2.0f;
            const float cy = y + 0.5f - n / 2.0f;
            mask_.at<float>(y, x) = std::abs(cx) < halfW + 0.5f && std::abs(cy) < halfH + 0.5f;
        }
    }
    const float sigma =
        std::max(0.25f, settings.labelSigma * std::sqrt(settings.targetCells.area()));
    float* real = grid_->real(0);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const int dx = wrapped(x, n);
            const int dy = wrapped(y, n);
            real[y * n + x] = std::exp(-0.5f * float(dx * dx + dy * dy) / (sigma * sigma));
        }
    }
    const size_t length = grid_->spectrumLength();
    label_.assign(length, Complex());
    grid_->forward(real, reinterpret_cast<fftwf_complex*>(label_.data()));
    energy_.assign(length, 0.0f);
    phaseX_.assign(size_t(n / 2 + 1), Complex());
    phaseY_.assign(size_t(n), Complex());
}

void CorrelationFilter::loadSample(const std::vector<cv::Mat>& planes) {
    CV_Assert(int(planes.size()) == settings_.channels);
    const int n = settings_.gridSide;
    float* real = grid_->real(0);
    for (int k = 0; k < settings_.channels; ++k) {
        const cv::Mat& p = planes[size_t(k)];
        CV_Assert(p.type() == CV_32FC1 && p.rows == n && p.cols == n);
        for (int y = 0; y < n; ++y) {
            const float* src = p.ptr<float>(y);
            const float* w = window_.ptr<float>(y);
            float* dst = real + y * n;
            for (int x = 0; x < n; ++x) {
                dst[x] = src[x] * w[x];
            }
        }
        grid_->forward(real, reinterpret_cast<fftwf_complex*>(sample(k)));
    }
}

void CorrelationFilter::respond(cv::Mat& response) {
    const int n = settings_.gridSide;
    const size_t length = grid_->spectrumLength();
    Complex* sum = scratchSpectrum();
    std::fill(sum, sum + length, Complex());
    for (int k = 0; k < settings_.channels; ++k) {
        const Complex* g = filter(k);
        const Complex* z = sample(k);
        for (size_t i = 0; i < length; ++i) {
            sum[i] += std::conj(g[i]) * z[i];
        }
    }
    response.create(n, n, CV_32F);
    CV_Assert(response.isContinuous());
    float* real = grid_->real(0);
    grid_->inverse(reinterpret_cast<fftwf_complex*>(sum), real);
    const float scale = 1.0f / float(n * n);
    float* out = response.ptr<float>();
    for (size_t i = 0; i < grid_->realLength(); ++i) {
        out[i] = real[i] * scale;
    }
}

void CorrelationFilter::shiftSample(const cv::Point2f& shift) {
    const int n = settings_.gridSide;
    const int half = n / 2 + 1;
    // Moving the content by d multiplies frequency u by exp(-2 pi i u d / n).
    for (int u = 0; u < half; ++u) {
        const double a = -2 * CV_PI * wrapped(u, n) * shift.x / n;
        phaseX_[size_t(u)] = Complex(float(std::cos(a)), float(std::sin(a)));
    }
    for (int v = 0; v < n; ++v) {
        const double a = -2 * CV_PI * wrapped(v, n) * shift.y / n;
        phaseY_[size_t(v)] = Complex(float(std::cos(a)), float(std::sin(a)));
    }
    for (int k = 0; k < settings_.channels; ++k) {
        Complex* s = sample(k);
        for (int v = 0; v < n; ++v) {
            for (int u = 0; u < half; ++u) {
                s[v * half + u] *= phaseY_[size_t(v)] * phaseX_[size_t(u)];
            }
        }
    }
}

void CorrelationFilter::solveData(float regulariser, bool withPrior) {
    // Per frequency, the filter over channels that fits the model to the label, pulled towards
    // the prior (the projected filter less the scaled dual): with x the channels' model, v the
    // prior and y the label, g = v + x (conj(y) - x^H v) / (regulariser + x^H x).
    const size_t length = grid_->spectrumLength();
    const int channels = settings_.channels;
    for (size_t i = 0; i < length; ++i) {
        Complex q = std::conj(label_[i]);
        if (withPrior) {
            for (int k = 0; k < channels; ++k) {
                q -= std::conj(model(k)[i]) * (projected(k)[i] - dual(k)[i]);
            }
        }
        const Complex gain = q / (regulariser + energy_[i]);
        for (int k = 0; k < channels; ++k) {
            const Complex prior = withPrior ? projected(k)[i] - dual(k)[i] : Complex();
            filter(k)[i] = prior + model(k)[i] * gain;
        }
    }
}

void CorrelationFilter::learn(float rate) {
    const size_t length = grid_->spectrumLength();
    const int channels = settings_.channels;
    std::fill(energy_.begin(), energy_.end(), 0.0f);
    for (int k = 0; k < channels; ++k) {
        Complex* m = model(k);
        const Complex* s = sample(k);
        for (size_t i = 0; i < length; ++i) {
            m[i] = (1.0f - rate) * m[i] + rate * s[i];
            energy_[i] += std::norm(m[i]);
        }
    }
    double total = 0.0;
    for (const float e : energy_) {
        total += e;
    }
    const float mean = std::max(1e-12f, float(total / double(length)));
    if (settings_.iterations == 0) {
        solveData(PLAIN_REGULARISER * mean, false);
        return;
    }
    for (int k = 0; k < channels; ++k) {
        std::fill(projected(k), projected(k) + length, Complex());
        std::fill(dual(k), dual(k) + length, Complex());
    }
    const int n = settings_.gridSide;
    float penalty = PENALTY_START;
    float* real = grid_->real(0);
    Complex* scratch = scratchSpectrum();
    for (int it = 0; it <= settings_.iterations; ++it) {
        solveData(penalty * mean, it > 0);
        if (it == settings_.iterations) {
            break;
        }
        // Projection onto the target's box, with a weight decay, then the dual step.
        const float keep = penalty / (penalty + SUPPORT_DECAY) / float(n * n);
        for (int k = 0; k < channels; ++k) {
            const Complex* g = filter(k);
            const Complex* u = dual(k);
            for (size_t i = 0; i < length; ++i) {
                scratch[i] = g[i] + u[i];
            }
            grid_->inverse(reinterpret_cast<fftwf_complex*>(scratch), real);
            const float* m = mask_.ptr<float>();
            for (size_t i = 0; i < grid_->realLength(); ++i) {
                real[i] *= m[i] * keep;
            }
            Complex* h = projected(k);
            grid_->forward(real, reinterpret_cast<fftwf_complex*>(h));
            Complex* uu = dual(k);
            for (size_t i = 0; i < length; ++i) {
                uu[i] += g[i] - h[i];
            }
        }
        // The dual is scaled by the penalty, so raising the penalty shrinks it.
        const float next = penalty * PENALTY_GROWTH;
        for (int k = 0; k < channels; ++k) {
            Complex* uu = dual(k);
            for (size_t i = 0; i < length; ++i) {
                uu[i] *= penalty / next;
            }
        }
        penalty = next;
    }
}

} // namespace wyr::zok
