#pragma once

#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

namespace zok_track {

enum class Format { Csv, JsonLines };

// What the tool reports for one frame.
struct FrameResult {
    int frame = 0;              // index in the input, skipped frames counted
    bool found = false;         // the first frame counts as found
    cv::Rect box;               // the tracker's box; unchanged from the last frame when not found
    cv::Point offset;           // the box centre's offset from the image centre
    std::vector<double> scores; // the scores of the frame's searches, in search order
};

// One line per frame, as CSV (with a header line) or as JSON lines.
class ResultWriter {
public:
    ResultWriter(std::ostream& out, Format format);
    void write(const FrameResult& result);

private:
    std::ostream& out_;
    Format format_;
};

} // namespace zok_track
