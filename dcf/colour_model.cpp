#include "dcf/colour_model.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/geometry.hpp"

namespace wyr::zok {

namespace {

constexpr int kBins = ColourModel::kBinsPerChannel;

void checkPatch(const cv::Mat& patch, const char* function) {
    if (patch.empty()) {
        CV_Error_(cv::Error::StsBadArg, ("%s: the patch is empty", function));
    }
    const int type = patch.type();
    if (type != CV_8UC1 && type != CV_8UC3 && type != CV_32FC1 && type != CV_32FC3) {
        CV_Error_(cv::Error::StsUnsupportedFormat,
                  ("%s: the patch must be CV_8UC1, CV_8UC3, CV_32FC1 or CV_32FC3", function));
    }
}

inline int binOf(uchar v) {
    return v >> 3;
}

inline int binOf(float v) {
    const float q = v * (1.0f / 8.0f);
    // Written so that NaN fails both comparisons and lands in bin 0.
    return q >= float(kBins - 1) ? kBins - 1 : (q > 0.0f ? int(q) : 0);
}

// The histogram bin of each pixel of row y, columns [x0, x1), into bins[0 .. x1 - x0).
template <typename T>
void binRow(const cv::Mat& patch, int y, int x0, int x1, int* bins) {
    const T* const p = patch.ptr<T>(y);
    if (patch.channels() == 1) {
        for (int x = x0; x < x1; ++x) {
            bins[x - x0] = binOf(p[x]);
        }
    } else {
        for (int x = x0; x < x1; ++x) {
            const T* const q = p + 3 * x;
            bins[x - x0] = (binOf(q[0]) * kBins + binOf(q[1])) * kBins + binOf(q[2]);
        }
    }
}

void binRow(const cv::Mat& patch, int y, int x0, int x1, int* bins) {
    if (patch.depth() == CV_8U) {
        binRow<uchar>(patch, y, x0, x1, bins);
    } else {
        binRow<float>(patch, y, x0, x1, bins);
    }
}

int histogramSize(int channels) {
    return channels == 1 ? kBins : kBins * kBins * kBins;
}

} // namespace

ColourModel::ColourModel(float foregroundInset)
    : inset_(foregroundInset > 0.0f ? std::min(foregroundInset, 0.5f) : 0.0f) {}

void ColourModel::learn(const cv::Mat& patch, const cv::Rect& target, float rate) {
    checkPatch(patch, "ColourModel::learn");
    if (!(rate >= 0.0f && rate <= 1.0f)) {
        CV_Error(cv::Error::StsOutOfRange, "ColourModel::learn: the rate must lie in [0, 1]");
    }
    const int channels = patch.channels();
    if (!empty() && channels != channels_ && rate < 1.0f) {
        CV_Error(cv::Error::StsUnmatchedFormats,
                 "ColourModel::learn: the patch's channels differ from the model's; only a "
                 "rate of 1 replaces the model");
    }
    if (target.width < 1 || target.height < 1) {
        CV_Error(cv::Error::StsBadArg, "ColourModel::learn: the target box is empty");
    }
    const cv::Rect whole(0, 0, patch.cols, patch.rows);
    const cv::Rect box = target & whole;
    const double meanSide = 0.5 * (double(target.width) + double(target.height));
    const int inset = int(double(inset_) * meanSide);
    const int width = std::max(1, target.width - 2 * inset);
    const int height = std::max(1, target.height - 2 * inset);
    const cv::Rect foreground = cv::Rect(target.x + halve(target.width - width),
                                         target.y + halve(target.height - height), width, height) &
                                whole;
    if (foreground.empty()) {
        CV_Error(cv::Error::StsBadArg,
                 "ColourModel::learn: the target's foreground has no pixel in the patch");
    }

    countPixels(patch, box, foreground);
    const bool replace = empty() || rate >= 1.0f || channels != channels_;
    const size_t size = size_t(histogramSize(channels));
    foreground_.resize(size, 0.0f);
    background_.resize(size, 0.0f);
    const long long backgroundPixels = (long long)patch.rows * patch.cols - box.area();
    const float toForeground = 1.0f / float(foreground.area());
    const float toBackground = backgroundPixels > 0 ? 1.0f / float(backgroundPixels) : 0.0f;
    const float keep = replace ? 0.0f : 1.0f - rate;
    const float take = replace ? 1.0f : rate;
    for (size_t i = 0; i < size; ++i) {
        foreground_[i] = keep * foreground_[i] + take * toForeground * float(foregroundCount_[i]);
        background_[i] = keep * background_[i] + take * toBackground * float(backgroundCount_[i]);
    }
    channels_ = channels;
    updateTable();
}

void ColourModel::countPixels(const cv::Mat& patch, const cv::Rect& box,
                              const cv::Rect& foreground) {
    const size_t size = size_t(histogramSize(patch.channels()));
    foregroundCount_.assign(size, 0);
    backgroundCount_.assign(size, 0);
    rowBins_.resize(size_t(patch.cols));
    int* const bins = rowBins_.data();
    for (int y = 0; y < patch.rows; ++y) {
        binRow(patch, y, 0, patch.cols, bins);
        const bool boxRow = y >= box.y && y < box.y + box.height;
        const int skipFrom = boxRow ? box.x : patch.cols;
        const int skipTo = boxRow ? box.x + box.width : patch.cols;
        for (int x = 0; x < skipFrom; ++x) {
            ++backgroundCount_[bins[x]];
        }
        for (int x = skipTo; x < patch.cols; ++x) {
            ++backgroundCount_[bins[x]];
        }
        if (y >= foreground.y && y < foreground.y + foreground.height) {
            for (int x = foreground.x; x < foreground.x + foreground.width; ++x) {
                ++foregroundCount_[bins[x]];
            }
        }
    }
}

void ColourModel::updateTable() {
    const size_t size = foreground_.size();
    table_.resize(size);
    for (size_t i = 0; i < size; ++i) {
        const float sum = foreground_[i] + background_[i];
        table_[i] = sum > 0.0f ? foreground_[i] / sum : 0.5f;
    }
}

void ColourModel::likelihood(const cv::Mat& patch, cv::Mat& out) const {
    checkPatch(patch, "ColourModel::likelihood");
    if (!empty() && patch.channels() != channels_) {
        CV_Error(cv::Error::StsUnmatchedFormats,
                 "ColourModel::likelihood: the patch's channels differ from the model's");
    }
    out.create(patch.size(), CV_32FC1);
    if (empty()) {
        out.setTo(0.5);
        return;
    }
    rowBins_.resize(size_t(patch.cols));
    int* const bins = rowBins_.data();
    const float* const table = table_.data();
    for (int y = 0; y < patch.rows; ++y) {
        float* const row = out.ptr<float>(y);
        binRow(patch, y, 0, patch.cols, bins);
        for (int x = 0; x < patch.cols; ++x) {
            row[x] = table[bins[x]];
        }
    }
}

void colourResponse(const cv::Mat& likelihood, cv::Size target, cv::Mat& response) {
    if (likelihood.empty()) {
        CV_Error(cv::Error::StsBadArg, "colourResponse: the likelihood map is empty");
    }
    if (likelihood.type() != CV_32FC1) {
        CV_Error(cv::Error::StsUnsupportedFormat, "colourResponse: the map must be CV_32FC1");
    }
    if (target.width < 1 || target.height < 1) {
        CV_Error(cv::Error::StsBadSize, "colourResponse: the target's sides must be at least 1");
    }
    // A header of our own keeps the input alive when `response` is the same matrix.
    const cv::Mat input = likelihood;
    if (response.data != nullptr && response.datastart < input.dataend &&
        input.datastart < response.dataend) {
        response.release();
    }
    response.create(input.size(), CV_32FC1);

    const int rows = input.rows;
    const int cols = input.cols;
    // Window [p - before, p - before + side) along each axis, cut to the map.
    const int beforeY = halve(target.height);
    const int beforeX = halve(target.width);
    cv::AutoBuffer<double, 3 * 1024 + 1> sums(size_t(3 * cols + 1));
    double* const columnSums = sums.data();
    double* const prefix = columnSums + cols; // cols + 1 entries
    double* const inverseWidth = prefix + cols + 1;
    cv::AutoBuffer<int, 2 * 1024> bounds(size_t(2 * cols));
    int* const left = bounds.data();
    int* const right = left + cols;
    for (int x = 0; x < cols; ++x) {
        left[x] = std::max(0, x - beforeX);
        right[x] = int(std::min<long long>(cols, (long long)x - beforeX + target.width));
        inverseWidth[x] = 1.0 / double(right[x] - left[x]);
    }
    std::fill_n(columnSums, cols, 0.0);
    int top = 0;    // first row in the column sums
    int bottom = 0; // one past the last
    for (int y = 0; y < rows; ++y) {
        const int wantTop = std::max(0, y - beforeY);
        const int wantBottom =
            int(std::min<long long>(rows, (long long)y - beforeY + target.height));
        for (; bottom < wantBottom; ++bottom) {
            const float* const add = input.ptr<float>(bottom);
            for (int x = 0; x < cols; ++x) {
                columnSums[x] += add[x];
            }
        }
        for (; top < wantTop; ++top) {
            const float* const remove = input.ptr<float>(top);
            for (int x = 0; x < cols; ++x) {
                columnSums[x] -= remove[x];
            }
        }
        prefix[0] = 0.0;
        for (int x = 0; x < cols; ++x) {
            prefix[x + 1] = prefix[x] + columnSums[x];
        }
        const double inverseHeight = 1.0 / double(bottom - top);
        float* const out = response.ptr<float>(y);
        for (int x = 0; x < cols; ++x) {
            out[x] = float((prefix[right[x]] - prefix[left[x]]) * inverseHeight * inverseWidth[x]);
        }
    }
}

} // namespace wyr::zok
