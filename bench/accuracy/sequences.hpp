#pragma once

#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::accuracy {

// How much of the target a frame shows.
enum class Visibility { FULL, PARTIAL, HIDDEN };

// One frame of a sequence: its pixels and the truth.
struct Frame {
    cv::Mat image;
    cv::Rect2d truth; // the target's box, also where it is hidden
    Visibility visibility = Visibility::FULL;
};

// A generated sequence whose truth is exact: every frame is drawn on demand from a fixed seed,
// so that trackers can be fed the same frames in turn without holding the whole sequence.
class Sequence {
public:
    struct Motion {
        cv::Point2d target; // target's top-left in the world at this frame
        cv::Point2d camera; // the frame's top-left in the world
        double scale = 1.0; // target size relative to its first frame
        double gain = 1.0;  // illumination: value * gain + bias, on the whole frame
        double bias = 0.0;
        double blur = 0.0;    // length of a horizontal motion blur of the target, in pixels
        cv::Point2d occluder; // top-left of the occluder in the frame (when occluded)
        bool occluded = false;
    };

    std::string name;
    std::string what; // one line for the table
    cv::Size frameSize;
    int type = CV_8UC1;
    int frames = 0;
    cv::Size targetSize{40, 30};
    uint64_t seed = 1;
    std::vector<cv::Rect> flatGround; // world regions painted flat grey
    std::function<Motion(int)> motion;

    // Draws the textures; call once before frame().
    void prepare();
    Frame frame(int k) const;

private:
    cv::Mat world_;
    cv::Mat target_;
    cv::Mat occluder_;
};

// The benchmark's sequences, in table order.
std::vector<Sequence> makeSequences();

} // namespace wyr::zok::accuracy
