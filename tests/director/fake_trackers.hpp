#pragma once

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "zok/tracker_corr.hpp"

namespace wyr::zok::testing {

// A tracker whose answers the test sets and which records what the director handed it.
class ScriptedTracker : public cv::Tracker {
public:
    void init(cv::InputArray image, const cv::Rect& boundingBox) override {
        initBoxes.push_back(boundingBox);
        lastPixels = image.getMat().data;
    }

    bool update(cv::InputArray image, cv::Rect& boundingBox) override {
        ++updates;
        lastPixels = image.getMat().data;
        if (echo) {
            boundingBox = initBoxes.back();
            return true;
        }
        // Written even on failure: a director must not read a box from a failed update.
        boundingBox = box;
        return found;
    }

    bool echo = false; // answer the last init box with success
    bool found = true;
    cv::Rect box;

    std::vector<cv::Rect> initBoxes;
    int updates = 0;
    const uchar* lastPixels = nullptr;
};

// A correlation tracker in name only, with scores set by the test.
class ScriptedCorr : public TrackerCorr {
public:
    explicit ScriptedCorr(std::vector<double> scores) : scores(std::move(scores)) {}
    void init(cv::InputArray, const cv::Rect&) override {}
    bool update(cv::InputArray, cv::Rect&) override { return false; }
    double variance() override { return 0.0; }
    const std::vector<double>& matches() override { return scores; }

    std::vector<double> scores;
};

} // namespace wyr::zok::testing
