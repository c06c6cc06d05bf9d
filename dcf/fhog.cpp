#include "dcf/fhog.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/core/hal/intrin.hpp>

namespace wyr::zok {

namespace {

// Unit vectors of the nine orientations 0, 20, ..., 160 degrees, rounded to four places as in
// the features' original definition, so that a gradient near a bin boundary snaps the same way.
constexpr float kDirX[9] = {1.0000f,  0.9397f,  0.7660f,  0.5000f, 0.1736f,
                            -0.1736f, -0.5000f, -0.7660f, -0.9397f};
constexpr float kDirY[9] = {0.0000f, 0.3420f, 0.6428f, 0.8660f, 0.9848f,
                            0.9848f, 0.8660f, 0.6428f, 0.3420f};

constexpr float kTruncation = 0.2f;
constexpr float kEpsilon = 1e-4f;
// Scales the energy planes as in the original features (twice, since the orientation sums
// below already carry the factor one half).
constexpr float kTextureScale = 2.0f * 0.2357f;

constexpr int kBins = FhogExtractor::kSensitiveBins;

} // namespace

void FhogExtractor::compute(const cv::Mat& image, int cellSize, std::vector<cv::Mat>& planes) {
    if (image.empty()) {
        CV_Error(cv::Error::StsBadArg, "FhogExtractor::compute: the image is empty");
    }
    const int type = image.type();
    if (type != CV_8UC1 && type != CV_8UC3 && type != CV_32FC1 && type != CV_32FC3) {
        CV_Error(cv::Error::StsUnsupportedFormat,
                 "FhogExtractor::compute: the image must be CV_8UC1, CV_8UC3, CV_32FC1 or "
                 "CV_32FC3");
    }
    if (cellSize < 1) {
        CV_Error(cv::Error::StsOutOfRange, "FhogExtractor::compute: cellSize must be at least 1");
    }
    const int cellsY = image.rows / cellSize;
    const int cellsX = image.cols / cellSize;
    if (cellsY < 2 || cellsX < 2) {
        CV_Error(cv::Error::StsBadSize,
                 "FhogExtractor::compute: the image must hold at least 2 x 2 cells");
    }

    const cv::Size area(cellsX * cellSize, cellsY * cellSize);
    loadChannels(image, area);
    prepareScratch(cellsY, cellsX, area.width, cellSize);
    for (int y = 1; y < area.height - 1; ++y) {
        gradientsOfRow(y, area.width);
        binOrientations(area.width, cellsX);
        voteRow(y, area.width, cellSize, cellsX);
    }
    normaliseBlocks(cellsY, cellsX);

    planes.resize(kPlanes);
    for (cv::Mat& plane : planes) {
        plane.create(cellsY, cellsX, CV_32FC1);
    }
    writeFeatures(cellsY, cellsX, planes);
    // Let go of the caller's frame, which channels_ views when it is one float channel.
    for (cv::Mat& view : channels_) {
        view.release();
    }
}

void FhogExtractor::loadChannels(const cv::Mat& image, const cv::Size& area) {
    const cv::Mat roi = image(cv::Rect(cv::Point(0, 0), area));
    channelCount_ = image.channels();
    if (channelCount_ == 1 && image.depth() == CV_32F) {
        channels_[0] = roi; // read in place
        return;
    }
    if (channelCount_ == 1) {
        roi.convertTo(owned_[0], CV_32F);
    } else if (image.depth() == CV_32F) {
        cv::split(roi, owned_.data());
    } else {
        // Splitting the bytes first moves a quarter of the data that splitting floats would.
        cv::split(roi, bytes_.data());
        for (int c = 0; c < 3; ++c) {
            bytes_[c].convertTo(owned_[c], CV_32F);
        }
    }
    for (int c = 0; c < channelCount_; ++c) {
        channels_[c] = owned_[c];
    }
}

void FhogExtractor::prepareScratch(int cellsY, int cellsX, int cols, int cellSize) {
    dx_.assign(cols, 0.0f);
    dy_.assign(cols, 0.0f);
    magnitude_.assign(cols, 0.0f);
    voteIndex_.assign(cols, 0);
    voteLeft_.assign(cols, 0.0f);
    voteRight_.assign(cols, 0.0f);
    voteCell_.assign(cols, 0);
    voteFraction_.assign(cols, 0.0f);
    for (int x = 0; x < cols; ++x) {
        // The pixel's centre in cell units, relative to the centre of cell 0.
        const float position = float((double(x) + 0.5) / double(cellSize) - 0.5);
        const int left = int(std::floor(position));
        voteCell_[x] = left + 1; // padded index
        voteFraction_[x] = position - float(left);
    }
    const int stride = cellsX + 2;
    histogram_.assign(size_t(cellsY + 2) * kBins * stride, 0.0f);
    rowVotes_.assign(size_t(kBins) * stride, 0.0f);
    energy_.assign(size_t(cellsY) * cellsX, 0.0f);
    blockClip_.assign(size_t(cellsY + 1) * (cellsX + 1), 0.0f);
    blockScale_.assign(size_t(cellsY + 1) * (cellsX + 1), 0.0f);
}

// The row kernels take restrict pointers: their arrays never overlap, and without the promise
// the compiler keeps them scalar (or versions them for every pair of pointers).
namespace {

void greyGradients(const float* __restrict up, const float* __restrict mid,
                   const float* __restrict down, float* __restrict dx, float* __restrict dy,
                   float* __restrict mag, int cols) {
    for (int x = 1; x < cols - 1; ++x) {
        const float gx = mid[x + 1] - mid[x - 1];
        const float gy = down[x] - up[x];
        dx[x] = gx;
        dy[x] = gy;
        mag[x] = gx * gx + gy * gy;
    }
}

// Per pixel the gradient of the channel with the largest magnitude. The compiler does not
// turn these selects into vector blends, so they are written with OpenCV's universal
// intrinsics. The strict comparisons keep the earlier channel on a tie.
void strongestChannelGradients(const std::array<const float*, 3>& up,
                               const std::array<const float*, 3>& mid,
                               const std::array<const float*, 3>& down, float* __restrict dx,
                               float* __restrict dy, float* __restrict mag, int cols) {
    int x = 1;
#if CV_SIMD
    using cv::v_float32;
    constexpr int kLanes = v_float32::nlanes;
    for (; x + kLanes <= cols - 1; x += kLanes) {
        v_float32 bestX = cv::vx_load(mid[0] + x + 1) - cv::vx_load(mid[0] + x - 1);
        v_float32 bestY = cv::vx_load(down[0] + x) - cv::vx_load(up[0] + x);
        v_float32 best = bestX * bestX + bestY * bestY;
        for (int c = 1; c < 3; ++c) {
            const v_float32 gx = cv::vx_load(mid[c] + x + 1) - cv::vx_load(mid[c] + x - 1);
            const v_float32 gy = cv::vx_load(down[c] + x) - cv::vx_load(up[c] + x);
            const v_float32 m = gx * gx + gy * gy;
            const v_float32 larger = m > best;
            bestX = cv::v_select(larger, gx, bestX);
            bestY = cv::v_select(larger, gy, bestY);
            best = cv::v_select(larger, m, best);
        }
        cv::v_store(dx + x, bestX);
        cv::v_store(dy + x, bestY);
        cv::v_store(mag + x, best);
    }
#endif
    for (; x < cols - 1; ++x) {
        float best = -1.0f;
        for (int c = 0; c < 3; ++c) {
            const float gx = mid[c][x + 1] - mid[c][x - 1];
            const float gy = down[c][x] - up[c][x];
            const float m = gx * gx + gy * gy;
            if (m > best) {
                dx[x] = gx;
                dy[x] = gy;
                mag[x] = m;
                best = m;
            }
        }
    }
}

// The bin whose direction (or, for bins 9..17, its opposite) has the largest projection
// gx * u + gy * v, the first on a tie; no gradient at all falls in bin 0 with zero weight.
//
// Found without trying all nine directions: |gx| and |gy| fold the gradient into the first
// quadrant, where the projections e_k = |gx| u_k + |gy| v_k on directions 0..4 (0..80 degrees)
// rise to the best one and then fall, so the number of rises is its index. The constants are
// mirror images (u_{9-k} = -u_k, v_{9-k} = v_k), so each folded projection is bit for bit the
// magnitude of an unfolded one: a gradient with gx * gy < 0 is the mirror image of its folded
// one, and its bin is 9 - k. Ties then fall the other way round, except against bin 0.
inline int orientationBin(float gx, float gy) {
    const float a = std::abs(gx);
    const float b = std::abs(gy);
    const float e1 = a * kDirX[1] + b * kDirY[1];
    const float e2 = a * kDirX[2] + b * kDirY[2];
    const float e3 = a * kDirX[3] + b * kDirY[3];
    const float e4 = a * kDirX[4] + b * kDirY[4];
    // Signs compared, not the product, which may underflow to zero.
    const bool mirrored = (gx < 0.0f && gy > 0.0f) || (gx > 0.0f && gy < 0.0f);
    int k = int(e1 > a);
    if (mirrored) {
        k += int(e2 >= e1) + int(e3 >= e2) + int(e4 >= e3);
    } else {
        k += int(e2 > e1) + int(e3 > e2) + int(e4 > e3);
    }
    const int o = mirrored && k > 0 ? 9 - k : k;
    const bool opposite = mirrored ? (k == 0 ? gx < 0.0f : gy < 0.0f) : (gx < 0.0f || gy < 0.0f);
    return o + (opposite ? 9 : 0);
}

// Per pixel of a row: the magnitude's share for the left and the right cell, and the index in
// the row's histogram ([bin][padded cell]) of the left one.
void orientationVotes(const float* __restrict dx, const float* __restrict dy,
                      const float* __restrict squaredMagnitude, const int* __restrict cell,
                      const float* __restrict fraction, int stride, int* __restrict index,
                      float* __restrict left, float* __restrict right, int cols) {
    int x = 1;
#if CV_SIMD
    using cv::v_float32;
    using cv::v_int32;
    constexpr int kLanes = v_float32::nlanes;
    const v_float32 zero = cv::vx_setzero_f32();
    const v_int32 zeroI = cv::vx_setzero_s32();
    const v_int32 nine = cv::vx_setall_s32(9);
    const v_int32 strideV = cv::vx_setall_s32(stride);
    const v_float32 u1 = cv::vx_setall_f32(kDirX[1]), v1 = cv::vx_setall_f32(kDirY[1]);
    const v_float32 u2 = cv::vx_setall_f32(kDirX[2]), v2 = cv::vx_setall_f32(kDirY[2]);
    const v_float32 u3 = cv::vx_setall_f32(kDirX[3]), v3 = cv::vx_setall_f32(kDirY[3]);
    const v_float32 u4 = cv::vx_setall_f32(kDirX[4]), v4 = cv::vx_setall_f32(kDirY[4]);
    for (; x + kLanes <= cols - 1; x += kLanes) {
        const v_float32 gx = cv::vx_load(dx + x);
        const v_float32 gy = cv::vx_load(dy + x);
        const v_float32 a = cv::v_abs(gx);
        const v_float32 b = cv::v_abs(gy);
        const v_float32 e1 = a * u1 + b * v1;
        const v_float32 e2 = a * u2 + b * v2;
        const v_float32 e3 = a * u3 + b * v3;
        const v_float32 e4 = a * u4 + b * v4;
        // Comparison masks are all ones (-1) where true.
        const v_int32 first = cv::v_reinterpret_as_s32(e1 > a);
        const v_int32 strict = first + cv::v_reinterpret_as_s32(e2 > e1) +
                               cv::v_reinterpret_as_s32(e3 > e2) +
                               cv::v_reinterpret_as_s32(e4 > e3);
        const v_int32 loose = first + cv::v_reinterpret_as_s32(e2 >= e1) +
                              cv::v_reinterpret_as_s32(e3 >= e2) +
                              cv::v_reinterpret_as_s32(e4 >= e3);
        const v_int32 gxNegative = cv::v_reinterpret_as_s32(gx < zero);
        const v_int32 gyNegative = cv::v_reinterpret_as_s32(gy < zero);
        const v_int32 mirrored = (gxNegative & cv::v_reinterpret_as_s32(gy > zero)) |
                                 (gyNegative & cv::v_reinterpret_as_s32(gx > zero));
        const v_int32 k = zeroI - cv::v_select(mirrored, loose, strict);
        const v_int32 o = cv::v_select(mirrored & (k > zeroI), nine - k, k);
        const v_int32 opposite = cv::v_select(
            mirrored, cv::v_select(k == zeroI, gxNegative, gyNegative), gxNegative | gyNegative);
        const v_int32 bin = o + (opposite & nine);
        cv::v_store(index + x, bin * strideV + cv::vx_load(cell + x));
        const v_float32 magnitude = cv::v_sqrt(cv::vx_load(squaredMagnitude + x));
        const v_float32 toRight = cv::vx_load(fraction + x) * magnitude;
        cv::v_store(right + x, toRight);
        cv::v_store(left + x, magnitude - toRight);
    }
#endif
    for (; x < cols - 1; ++x) {
        index[x] = orientationBin(dx[x], dy[x]) * stride + cell[x];
        const float magnitude = std::sqrt(squaredMagnitude[x]);
        right[x] = fraction[x] * magnitude;
        left[x] = magnitude - right[x];
    }
}

} // namespace

void FhogExtractor::gradientsOfRow(int y, int cols) {
    if (channelCount_ == 1) {
        greyGradients(channels_[0].ptr<float>(y - 1), channels_[0].ptr<float>(y),
                      channels_[0].ptr<float>(y + 1), dx_.data(), dy_.data(), magnitude_.data(),
                      cols);
        return;
    }
    std::array<const float*, 3> up{};
    std::array<const float*, 3> mid{};
    std::array<const float*, 3> down{};
    for (int c = 0; c < 3; ++c) {
        up[c] = channels_[c].ptr<float>(y - 1);
        mid[c] = channels_[c].ptr<float>(y);
        down[c] = channels_[c].ptr<float>(y + 1);
    }
    strongestChannelGradients(up, mid, down, dx_.data(), dy_.data(), magnitude_.data(), cols);
}

void FhogExtractor::binOrientations(int cols, int cellsX) {
    orientationVotes(dx_.data(), dy_.data(), magnitude_.data(), voteCell_.data(),
                     voteFraction_.data(), cellsX + 2, voteIndex_.data(), voteLeft_.data(),
                     voteRight_.data(), cols);
}

void FhogExtractor::voteRow(int y, int cols, int cellSize, int cellsX) {
    const int stride = cellsX + 2;
    const int* const index = voteIndex_.data();
    const float* const left = voteLeft_.data();
    const float* const right = voteRight_.data();
    float* const votes = rowVotes_.data();

    // Along the row first: two scattered votes per pixel instead of four; the split between
    // the two cell rows is then a dense pass over the row's histogram.
    for (int x = 1; x < cols - 1; ++x) {
        votes[index[x]] += left[x];
        votes[index[x] + 1] += right[x];
    }

    const float position = (float(y) + 0.5f) / float(cellSize) - 0.5f;
    const int top = int(std::floor(position));
    const float weightDown = position - float(top);
    const float weightUp = 1.0f - weightDown;
    const size_t rowLength = size_t(kBins) * stride;
    float* const upper = histogram_.data() + size_t(top + 1) * rowLength;
    float* const lower = upper + rowLength;
    for (size_t i = 0; i < rowLength; ++i) {
        upper[i] += weightUp * votes[i];
        lower[i] += weightDown * votes[i];
        votes[i] = 0.0f;
    }
}

void FhogExtractor::normaliseBlocks(int cellsY, int cellsX) {
    const int stride = cellsX + 2;
    const size_t rowLength = size_t(kBins) * stride;
    for (int cy = 0; cy < cellsY; ++cy) {
        const float* const h = histogram_.data() + size_t(cy + 1) * rowLength + 1;
        float* const e = energy_.data() + size_t(cy) * cellsX;
        for (int o = 0; o < 9; ++o) {
            const float* const a = h + o * stride;
            const float* const b = h + (o + 9) * stride;
            for (int cx = 0; cx < cellsX; ++cx) {
                const float s = a[cx] + b[cx];
                e[cx] += s * s;
            }
        }
    }

    // Block (by, bx) spans cells by..by+1 x bx..bx+1 and sits at (by + 1, bx + 1) of the padded
    // arrays. Truncating the histogram at clip and then scaling equals truncating the
    // normalised histogram at 0.2 and halving it.
    const int blockStride = cellsX + 1;
    for (int by = 0; by < cellsY - 1; ++by) {
        const float* const e0 = energy_.data() + size_t(by) * cellsX;
        const float* const e1 = e0 + cellsX;
        float* const clip = blockClip_.data() + size_t(by + 1) * blockStride + 1;
        float* const scale = blockScale_.data() + size_t(by + 1) * blockStride + 1;
        for (int bx = 0; bx < cellsX - 1; ++bx) {
            const float sum = e0[bx] + e0[bx + 1] + e1[bx] + e1[bx + 1] + kEpsilon;
            clip[bx] = kTruncation * std::sqrt(sum);
            scale[bx] = 0.1f / clip[bx];
        }
    }
    for (std::vector<float>* blocks : {&blockClip_, &blockScale_}) {
        float* const b = blocks->data();
        for (int py = 1; py < cellsY; ++py) {
            b[size_t(py) * blockStride] = b[size_t(py) * blockStride + 1];
            b[size_t(py) * blockStride + cellsX] = b[size_t(py) * blockStride + cellsX - 1];
        }
        std::copy_n(b + blockStride, blockStride, b);
        std::copy_n(b + size_t(cellsY - 1) * blockStride, blockStride,
                    b + size_t(cellsY) * blockStride);
    }
}

namespace {

// The four blocks of a cell: their truncation levels and scales.
template <typename V>
struct Blocks {
    V clipDownRight, scaleDownRight, clipUpRight, scaleUpRight;
    V clipDownLeft, scaleDownLeft, clipUpLeft, scaleUpLeft;
};

// All 31 values of one cell (float) or of a few neighbouring cells (a vector of them), with
// one arithmetic for both, so that the vector loop and its scalar tail agree bit for bit.
// `load(i)` gives histogram row i (bin i) at the cells; `store(p, v)` writes plane p.
template <typename V, typename Load, typename Store, typename Min>
inline void cellFeatures(const Blocks<V>& b, Load load, Store store, Min min, V zero,
                         V textureScale) {
    V t0 = zero, t1 = zero, t2 = zero, t3 = zero;
    for (int o = 0; o < kBins; ++o) {
        const V a = load(o);
        const V downRight = min(a, b.clipDownRight) * b.scaleDownRight;
        const V upRight = min(a, b.clipUpRight) * b.scaleUpRight;
        const V downLeft = min(a, b.clipDownLeft) * b.scaleDownLeft;
        const V upLeft = min(a, b.clipUpLeft) * b.scaleUpLeft;
        store(o, downRight + upRight + downLeft + upLeft);
        t0 = t0 + downRight;
        t1 = t1 + upRight;
        t2 = t2 + downLeft;
        t3 = t3 + upLeft;
    }
    for (int o = 0; o < FhogExtractor::kInsensitiveBins; ++o) {
        const V a = load(o) + load(o + 9);
        store(kBins + o,
              min(a, b.clipDownRight) * b.scaleDownRight + min(a, b.clipUpRight) * b.scaleUpRight +
                  min(a, b.clipDownLeft) * b.scaleDownLeft + min(a, b.clipUpLeft) * b.scaleUpLeft);
    }
    constexpr int first = kBins + FhogExtractor::kInsensitiveBins;
    store(first, t0 * textureScale);
    store(first + 1, t1 * textureScale);
    store(first + 2, t2 * textureScale);
    store(first + 3, t3 * textureScale);
}

} // namespace

void FhogExtractor::writeFeatures(int cellsY, int cellsX, std::vector<cv::Mat>& planes) {
    const int stride = cellsX + 2;
    const size_t rowLength = size_t(kBins) * stride;
    const int blockStride = cellsX + 1;
    std::array<float*, kPlanes> out{};
    for (int cy = 0; cy < cellsY; ++cy) {
        const float* const h = histogram_.data() + size_t(cy + 1) * rowLength + 1;
        // Blocks above the cell's row are at padded row cy, below at cy + 1; left blocks at
        // padded column cx, right ones at cx + 1.
        const float* const clipUp = blockClip_.data() + size_t(cy) * blockStride;
        const float* const clipDown = clipUp + blockStride;
        const float* const scaleUp = blockScale_.data() + size_t(cy) * blockStride;
        const float* const scaleDown = scaleUp + blockStride;
        for (int p = 0; p < kPlanes; ++p) {
            out[p] = planes[p].ptr<float>(cy);
        }
        int cx = 0;
#if CV_SIMD
        using cv::v_float32;
        for (; cx + v_float32::nlanes <= cellsX; cx += v_float32::nlanes) {
            const Blocks<v_float32> blocks{
                cv::vx_load(clipDown + cx + 1), cv::vx_load(scaleDown + cx + 1),
                cv::vx_load(clipUp + cx + 1),   cv::vx_load(scaleUp + cx + 1),
                cv::vx_load(clipDown + cx),     cv::vx_load(scaleDown + cx),
                cv::vx_load(clipUp + cx),       cv::vx_load(scaleUp + cx)};
            cellFeatures<v_float32>(
                blocks, [&](int o) { return cv::vx_load(h + o * stride + cx); },
                [&](int p, const v_float32& v) { cv::v_store(out[p] + cx, v); },
                [](const v_float32& a, const v_float32& b) { return cv::v_min(a, b); },
                cv::vx_setzero_f32(), cv::vx_setall_f32(kTextureScale));
        }
#endif
        for (; cx < cellsX; ++cx) {
            const Blocks<float> blocks{clipDown[cx + 1], scaleDown[cx + 1], clipUp[cx + 1],
                                       scaleUp[cx + 1],  clipDown[cx],      scaleDown[cx],
                                       clipUp[cx],       scaleUp[cx]};
            cellFeatures<float>(
                blocks, [&](int o) { return h[o * stride + cx]; },
                [&](int p, float v) { out[p][cx] = v; },
                [](float a, float b) { return std::min(a, b); }, 0.0f, kTextureScale);
        }
    }
}

} // namespace wyr::zok
