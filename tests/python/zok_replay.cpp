// Tracks through frames stored raw in a file, on the native road, so that tests can hold the
// Python module's results against it frame by frame.
//   zok-replay <frames> <count> <rows> <cols> <channels> <x> <y> <width> <height> [field=value...]
// The file holds `count` frames of rows x cols x channels bytes each, row-major. Fields are the
// Params fields by name (varianceFilter.* for the filter, altSearchRadiiFactors as a
// comma-separated list). Prints one line per update: found, x, y, width, height, then the
// search scores.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zok/tracker_corr.hpp"

namespace {

using wyr::zok::TrackerCorr;

bool setField(TrackerCorr::Params& params, const std::string& name, const std::string& value) {
    if (name == "searchRadiusFactor") {
        params.searchRadiusFactor = std::stof(value);
    } else if (name == "threshold") {
        params.threshold = std::stod(value);
    } else if (name == "altSearchRadiiFactors") {
        std::stringstream list(value);
        std::string item;
        params.altSearchRadiiFactors.clear();
        while (std::getline(list, item, ',')) {
            params.altSearchRadiiFactors.push_back(std::stof(item));
        }
    } else if (name == "sigmaExp") {
        params.sigmaExp = std::stof(value);
    } else if (name == "cloneImage") {
        params.cloneImage = std::stoi(value) != 0;
    } else if (name == "depth") {
        params.depth = std::stoul(value);
    } else if (name == "zoomFactor") {
        params.zoomFactor = std::stoi(value);
    } else if (name == "mode1D") {
        params.mode1D = std::stoi(value) != 0;
    } else if (name == "varianceFilter.threshold") {
        params.varianceFilter.threshold = std::stod(value);
    } else if (name == "varianceFilter.kSize") {
        params.varianceFilter.kSize = std::stoi(value);
    } else if (name == "varianceFilter.greyscale") {
        params.varianceFilter.greyscale = std::stoi(value) != 0;
    } else if (name == "engine") {
        params.engine = wyr::zok::TrackerCorr::Engine(std::stoi(value));
    } else if (name == "zeroMean") {
        params.zeroMean = std::stoi(value) != 0;
    } else if (name == "updateThreshold") {
        params.updateThreshold = std::stod(value);
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 10) {
        std::fprintf(stderr,
                     "usage: %s frames count rows cols channels x y width height "
                     "[field=value...]\n",
                     argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const int rows = std::atoi(argv[3]);
    const int cols = std::atoi(argv[4]);
    const int channels = std::atoi(argv[5]);
    cv::Rect box(std::atoi(argv[6]), std::atoi(argv[7]), std::atoi(argv[8]), std::atoi(argv[9]));
    TrackerCorr::Params params;
    for (int i = 10; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        if (equals == std::string::npos ||
            !setField(params, arg.substr(0, equals), arg.substr(equals + 1))) {
            std::fprintf(stderr, "unknown parameter '%s'\n", argv[i]);
            return 2;
        }
    }

    std::ifstream file(argv[1], std::ios::binary);
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        cv::Mat frame(rows, cols, CV_8UC(channels));
        file.read(reinterpret_cast<char*>(frame.data), std::streamsize(frame.total() * channels));
        if (!file) {
            std::fprintf(stderr, "%s holds fewer than %d frames\n", argv[1], count);
            return 2;
        }
        frames.push_back(frame);
    }

    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    tracker->init(frames[0], box);
    for (int i = 1; i < count; ++i) {
        const bool found = tracker->update(frames[i], box);
        std::printf("%d %d %d %d %d", found ? 1 : 0, box.x, box.y, box.width, box.height);
        for (const double score : tracker->matches()) {
            std::printf(" %.17g", score);
        }
        std::printf("\n");
    }
    return 0;
}
