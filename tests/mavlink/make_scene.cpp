// Writes the scene the ground-station test plays to zok-mavlink, as numbered PNG images:
//   make_scene FOLDER
// 640 x 480, a 40 x 30 target: still right of and below the centre (frames 0-49), gliding to
// the left of and above it (50-99), hidden (100-124), and back where it was last (125-149).
// Prints the target's box per frame as JSON lines, null while hidden.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "synthetic/synthetic.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_scene FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    wyr::zok::synthetic::SceneOptions options;
    options.type = CV_8UC3;
    options.seed = 23;
    const wyr::zok::synthetic::Scene scene(options);
    const cv::Point2d right(420, 300);
    const cv::Point2d left(180, 140);
    for (int i = 0; i < 150; ++i) {
        const double t = std::clamp((i - 50) / 49.0, 0.0, 1.0);
        const cv::Point2d at = right + (left - right) * t;
        const bool visible = i < 100 || i >= 125;
        char name[32];
        std::snprintf(name, sizeof name, "frame%03d.png", i);
        if (!cv::imwrite((folder / name).string(), scene.render(at, visible))) {
            std::cerr << "make_scene: cannot write " << (folder / name) << "\n";
            return 1;
        }
        if (visible) {
            std::cout << "[" << at.x << "," << at.y << ",40,30]\n";
        } else {
            std::cout << "null\n";
        }
    }
    return 0;
}
