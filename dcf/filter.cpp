#include "dcf/filter.hpp"

#include "fft/fft_arrays.hpp"

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

void CorrelationFilter::configure(const Settings& settings) {
    settings_ = settings;
    const int n = settings.gridSide;
    if (!grid_ || grid_->size() != cv::Size(n, n)) {
        grid_ = std::make_unique<FftGrid>(cv::Size(n, n), DEFAULT_PLAN_FLAGS);
    }
    // Every spectrum is made now, so that learning and detection never allocate.
    const size_t k = size_t(settings.channels);
    for (size_t i = 0; i < 5 * k + 2; ++i) {
        std::memset(static_cast<void*>(grid_->spectrum(i)), 0,
                    grid_->spectrumLength() * sizeof(fftwf_complex));
    }
    for (auto* list : {&sample_, &model_, &filter_, &projected_, &dual_}) {
        list->resize(k);
    }
    for (size_t c = 0; c < k; ++c) {
        sample_[c] = grid_->spectrum(c);
        model_[c] = grid_->spectrum(k + c);
        filter_[c] = grid_->spectrum(2 * k + c);
        projected_[c] = grid_->spectrum(3 * k + c);
        dual_[c] = grid_->spectrum(4 * k + c);
    }
    scratch_ = grid_->spectrum(5 * k);
    label_ = grid_->spectrum(5 * k + 1);
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
    grid_->forward(real, label_);
    energy_.assign(length, 0.0f);
    gain_.assign(2 * length, 0.0f);
    phaseX_.assign(size_t(2 * (n / 2 + 1)), 0.0f);
    phaseY_.assign(size_t(2 * n), 0.0f);
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
        grid_->forward(real, sample_[size_t(k)]);
    }
}

void CorrelationFilter::respond(cv::Mat& response) {
    const int n = settings_.gridSide;
    const size_t length = grid_->spectrumLength();
    std::memset(static_cast<void*>(scratch_), 0, length * sizeof(fftwf_complex));
    // sum over channels of conj(filter) * sample: the correlation of the sample with the filter.
    for (int k = 0; k < settings_.channels; ++k) {
        multiplyConjugate(sample_[size_t(k)], filter_[size_t(k)], scratch_, length, true);
    }
    response.create(n, n, CV_32F);
    CV_Assert(response.isContinuous());
    float* real = grid_->real(0);
    grid_->inverse(scratch_, real);
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
        phaseX_[size_t(2 * u)] = float(std::cos(a));
        phaseX_[size_t(2 * u + 1)] = float(std::sin(a));
    }
    for (int v = 0; v < n; ++v) {
        const double a = -2 * CV_PI * wrapped(v, n) * shift.y / n;
        phaseY_[size_t(2 * v)] = float(std::cos(a));
        phaseY_[size_t(2 * v + 1)] = float(std::sin(a));
    }
    for (int v = 0; v < n; ++v) {
        const float yr = phaseY_[size_t(2 * v)];
        const float yi = phaseY_[size_t(2 * v + 1)];
        for (int u = 0; u < half; ++u) {
            const float pr = yr * phaseX_[size_t(2 * u)] - yi * phaseX_[size_t(2 * u + 1)];
            const float pi = yr * phaseX_[size_t(2 * u + 1)] + yi * phaseX_[size_t(2 * u)];
            for (int k = 0; k < settings_.channels; ++k) {
                fftwf_complex& c = sample_[size_t(k)][v * half + u];
                const float re = c[0] * pr - c[1] * pi;
                c[1] = c[0] * pi + c[1] * pr;
                c[0] = re;
            }
        }
    }
}

void CorrelationFilter::solveData(float regulariser, bool withPrior) {
    // Per frequency, the filter over channels that fits the model to the label, pulled towards
    // the prior (the projected filter less the scaled dual): with x the channels' model, v the
    // prior and y the label, g = v + x (conj(y) - x^H v) / (regulariser + x^H x). The channels
    // are walked one at a time over all frequencies, so that the loops run over contiguous
    // arrays.
    const size_t length = grid_->spectrumLength();
    const int channels = settings_.channels;
    float* q = gain_.data();
    for (size_t i = 0; i < length; ++i) {
        q[2 * i] = label_[i][0];
        q[2 * i + 1] = -label_[i][1];
    }
    if (withPrior) {
        for (int k = 0; k < channels; ++k) {
            const fftwf_complex* x = model_[size_t(k)];
            const fftwf_complex* h = projected_[size_t(k)];
            const fftwf_complex* u = dual_[size_t(k)];
            for (size_t i = 0; i < length; ++i) {
                const float vr = h[i][0] - u[i][0];
                const float vi = h[i][1] - u[i][1];
                q[2 * i] -= x[i][0] * vr + x[i][1] * vi;
                q[2 * i + 1] -= x[i][0] * vi - x[i][1] * vr;
            }
        }
    }
    for (size_t i = 0; i < length; ++i) {
        const float d = 1.0f / (regulariser + energy_[i]);
        q[2 * i] *= d;
        q[2 * i + 1] *= d;
    }
    for (int k = 0; k < channels; ++k) {
        const fftwf_complex* x = model_[size_t(k)];
        const fftwf_complex* h = projected_[size_t(k)];
        const fftwf_complex* u = dual_[size_t(k)];
        fftwf_complex* g = filter_[size_t(k)];
        for (size_t i = 0; i < length; ++i) {
            const float gr = x[i][0] * q[2 * i] - x[i][1] * q[2 * i + 1];
            const float gi = x[i][0] * q[2 * i + 1] + x[i][1] * q[2 * i];
            g[i][0] = withPrior ? h[i][0] - u[i][0] + gr : gr;
            g[i][1] = withPrior ? h[i][1] - u[i][1] + gi : gi;
        }
    }
}

void CorrelationFilter::setSupport(const cv::Mat& support) {
    CV_Assert(support.type() == CV_32FC1 && support.size() == mask_.size());
    support.copyTo(mask_);
}

void CorrelationFilter::learn(float rate) {
    const size_t length = grid_->spectrumLength();
    const int channels = settings_.channels;
    std::fill(energy_.begin(), energy_.end(), 0.0f);
    for (int k = 0; k < channels; ++k) {
        fftwf_complex* m = model_[size_t(k)];
        const fftwf_complex* s = sample_[size_t(k)];
        for (size_t i = 0; i < length; ++i) {
            m[i][0] = (1.0f - rate) * m[i][0] + rate * s[i][0];
            m[i][1] = (1.0f - rate) * m[i][1] + rate * s[i][1];
            energy_[i] += m[i][0] * m[i][0] + m[i][1] * m[i][1];
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
        std::memset(static_cast<void*>(projected_[size_t(k)]), 0, length * sizeof(fftwf_complex));
        std::memset(static_cast<void*>(dual_[size_t(k)]), 0, length * sizeof(fftwf_complex));
    }
    const int n = settings_.gridSide;
    float penalty = PENALTY_START;
    float* real = grid_->real(0);
    const float* mask = mask_.ptr<float>();
    for (int it = 0; it <= settings_.iterations; ++it) {
        solveData(penalty * mean, it > 0);
        if (it == settings_.iterations) {
            break;
        }
        // Projection onto the target's box, with a weight decay, then the dual step; raising
        // the penalty afterwards shrinks the scaled dual by as much.
        const float keep = penalty / (penalty + SUPPORT_DECAY) / float(n * n);
        const float next = penalty * PENALTY_GROWTH;
        const float shrink = penalty / next;
        for (int k = 0; k < channels; ++k) {
            const fftwf_complex* g = filter_[size_t(k)];
            fftwf_complex* u = dual_[size_t(k)];
            fftwf_complex* h = projected_[size_t(k)];
            for (size_t i = 0; i < length; ++i) {
                scratch_[i][0] = g[i][0] + u[i][0];
                scratch_[i][1] = g[i][1] + u[i][1];
            }
            grid_->inverse(scratch_, real);
            for (size_t i = 0; i < grid_->realLength(); ++i) {
                real[i] *= mask[i] * keep;
            }
            grid_->forward(real, h);
            for (size_t i = 0; i < length; ++i) {
                u[i][0] = (u[i][0] + g[i][0] - h[i][0]) * shrink;
                u[i][1] = (u[i][1] + g[i][1] - h[i][1]) * shrink;
            }
        }
        penalty = next;
    }
}

} // namespace wyr::zok
