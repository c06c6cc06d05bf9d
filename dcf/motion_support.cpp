#include "dcf/motion_support.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/video/tracking.hpp>

#include "dcf/region.hpp"

namespace wyr::zok {

namespace {

// The flow's window and pyramid: a window a little larger than most cells, and levels enough
// for the tens of pixels a fast target moves between two frames.
const cv::Size FLOW_WINDOW(15, 15);
constexpr int FLOW_LEVELS = 3;
// Fewer followed points than these, around the box or in it, say nothing.
constexpr size_t LEAST_SURROUNDING = 10;
constexpr int LEAST_IN_BOX = 8;

float median(std::vector<float>& v) {
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

cv::Mat MotionSupport::greyOf(const cv::Mat& frame) const {
    cv::Mat grey, out;
    toGrey(frame(area_), grey);
    grey.convertTo(out, CV_8U, gain_, offset_);
    return out;
}

void MotionSupport::start(const cv::Mat& frame, const cv::Point2f& centre, float side, int cells) {
    pending_ = false;
    first_.release();
    cell_ = side / float(cells);
    origin_ = centre - cv::Point2f(side, side) * 0.5f + cv::Point2f(cell_, cell_) * 0.5f;
    const float margin = float(FLOW_WINDOW.width);
    const cv::Rect2f wanted(centre.x - side / 2 - margin, centre.y - side / 2 - margin,
                            side + 2 * margin, side + 2 * margin);
    area_ = cv::Rect(cv::Point(int(std::floor(wanted.x)), int(std::floor(wanted.y))),
                     cv::Point(int(std::ceil(wanted.br().x)), int(std::ceil(wanted.br().y)))) &
            cv::Rect(0, 0, frame.cols, frame.rows);
    if (area_.width < FLOW_WINDOW.width || area_.height < FLOW_WINDOW.height) {
        return;
    }
    cv::Mat grey;
    toGrey(frame(area_), grey);
    offset_ = 0.0;
    gain_ = 1.0;
    if (frame.depth() != CV_8U) {
        // A float frame's levels, whatever their scale, onto the 8 bits the flow works in.
        double lo = 0, hi = 0;
        cv::minMaxLoc(grey, &lo, &hi);
        if (!(hi - lo > 0) || !std::isfinite(hi - lo)) {
            return;
        }
        gain_ = 255.0 / (hi - lo);
        offset_ = -lo * gain_;
    }
    grey.convertTo(first_, CV_8U, gain_, offset_);
    pending_ = true;
}

bool MotionSupport::cut(const cv::Mat& frame, const cv::Mat& support, cv::Mat& cut) {
    if (!pending_) {
        return false;
    }
    pending_ = false;
    const cv::Mat first = std::move(first_); // nothing of the first frame is kept once compared
    const cv::Mat next = greyOf(frame);
    // One point at the centre of every cell of the grid that lies in the region kept.
    std::vector<cv::Point2f> from, to, back;
    std::vector<int> cellOf; // the box cell's index, or -1 for a point of the surroundings
    const cv::Point2f areaOrigin(float(area_.x), float(area_.y));
    for (int y = 0; y < support.rows; ++y) {
        for (int x = 0; x < support.cols; ++x) {
            const cv::Point2f p = origin_ + cv::Point2f(float(x), float(y)) * cell_ - areaOrigin;
            if (p.x >= 0 && p.y >= 0 && p.x < float(area_.width) && p.y < float(area_.height)) {
                from.push_back(p);
                cellOf.push_back(support.at<float>(y, x) > 0 ? y * support.cols + x : -1);
            }
        }
    }
    if (from.empty()) {
        return false;
    }
    std::vector<uchar> forward, backward;
    std::vector<float> errors;
    cv::calcOpticalFlowPyrLK(first, next, from, to, forward, errors, FLOW_WINDOW, FLOW_LEVELS);
    cv::calcOpticalFlowPyrLK(next, first, to, back, backward, errors, FLOW_WINDOW, FLOW_LEVELS);
    const auto followed = [&](size_t i) {
        return forward[i] && backward[i] && cv::norm(back[i] - from[i]) < MAX_ROUND_TRIP;
    };
    std::vector<float> aroundX, aroundY;
    for (size_t i = 0; i < from.size(); ++i) {
        if (cellOf[i] < 0 && followed(i)) {
            aroundX.push_back(to[i].x - from[i].x);
            aroundY.push_back(to[i].y - from[i].y);
        }
    }
    if (aroundX.size() < LEAST_SURROUNDING) {
        return false;
    }
    const cv::Point2f surroundings(median(aroundX), median(aroundY));
    std::vector<int> withSurroundings;
    int inBox = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        if (cellOf[i] >= 0 && followed(i)) {
            ++inBox;
            if (cv::norm(to[i] - from[i] - surroundings) <= WITH_SURROUNDINGS) {
                withSurroundings.push_back(cellOf[i]);
            }
        }
    }
    const float apart = inBox > 0 ? 1.0f - float(withSurroundings.size()) / float(inBox) : 0.0f;
    if (inBox < LEAST_IN_BOX || apart < LEAST_APART || apart > MOST_APART) {
        return false;
    }
    support.copyTo(cut);
    for (const int k : withSurroundings) {
        cut.at<float>(k / support.cols, k % support.cols) = 0.0f;
    }
    return true;
}

} // namespace wyr::zok
