// Tracks a target through a generated sequence whose truth is known, printing each frame's
// result and a summary.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "synthetic/synthetic.hpp"
#include "zok/tracker_corr.hpp"

namespace {

namespace synthetic = wyr::zok::synthetic;
using wyr::zok::TrackerCorr;

constexpr int kFrames = 200;
constexpr int kMaxStep = 12;

} // namespace

int main() {
    synthetic::SceneOptions options;
    options.type = CV_8UC3;
    const synthetic::Scene scene(options);
    const std::vector<cv::Point> truth =
        synthetic::randomWalk(options, cv::Point(300, 220), kFrames, kMaxStep, 7);

    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(TrackerCorr::Params());
    cv::Rect box(truth.front(), options.targetSize);
    tracker->init(scene.render(truth.front()), box);
    std::printf("frame,found,x,y,width,height,score\n");
    std::printf("0,1,%d,%d,%d,%d,\n", box.x, box.y, box.width, box.height);

    int found = 0;
    double errorSum = 0.0;
    std::chrono::duration<double> trackerTime{0};
    for (int frame = 1; frame < kFrames; ++frame) {
        const cv::Mat image = scene.render(truth[frame]);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = tracker->update(image, box);
        trackerTime += std::chrono::steady_clock::now() - start;
        found += ok ? 1 : 0;
        const cv::Point error = box.tl() - truth[frame];
        errorSum += std::hypot(error.x, error.y);
        std::printf("%d,%d,%d,%d,%d,%d,%.6f\n", frame, ok ? 1 : 0, box.x, box.y, box.width,
                    box.height, tracker->matches().back());
    }
    const int updates = kFrames - 1;
    std::printf(
        "\nframes %d, found %d, mean error %.3f px, %.0f frames per second (tracker only)\n",
        kFrames, found, errorSum / updates, updates / trackerTime.count());
    return found == updates ? 0 : 1;
}
