#pragma once

#include <cmath>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "zok/tracker_corr.hpp"
#include "zok/zok_config.hpp"

namespace wyr::zok::testing {

// A fresh directory for one test's files, removed with its contents when the test ends.
// Creating a directory is atomic, so test processes running side by side never share one.
class TempDir {
public:
    // A fresh directory of its own: test processes run side by side, and one that cleans up
    // must never pull a directory from under another.
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zok-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary directory");
        }
        dir_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Writes `bytes` unchanged (no newline translation) and returns the file's path.
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

private:
    std::filesystem::path dir_;
};

struct LoadOutcome {
    bool result;
    std::string errors; // everything written to standard error during the load
};

inline LoadOutcome load(ZokConfig& config, const char* path) {
    ::testing::internal::CaptureStderr();
    const bool result = config.LoadFromJson(path);
    return {result, ::testing::internal::GetCapturedStderr()};
}

inline LoadOutcome load(ZokConfig& config, const std::string& path) {
    return load(config, path.c_str());
}

inline std::string openError(const std::string& path) {
    return "Error: failed to open configuration file '" + path + "'\n";
}

inline std::string parseError(const std::string& path) {
    return "Error: failed to parse JSON configuration from '" + path + "'\n";
}

inline std::string sizeError(const std::string& path) {
    return "Error: configuration file '" + path + "' is larger than 1048576 bytes\n";
}

inline std::string nestingError(const std::string& path) {
    return "Error: configuration file '" + path +
           "' nests arrays and objects deeper than 128 levels\n";
}

inline std::string invalidValueError(const std::string& key, const std::string& path) {
    return "Error: invalid value for \"" + key + "\" in configuration file '" + path + "'\n";
}

// A file whose "TrackerCorr" object holds `members`.
inline std::string trackerCorrFile(const std::string& members) {
    return "{\"TrackerCorr\":{" + members + "}}";
}

// A record in which every field differs from its default and every boolean can be seen to
// change, so that a load that resets or touches a field it should not is caught.
inline TrackerCorr::Params distinctParams() {
    TrackerCorr::Params params;
    params.searchRadiusFactor = 6.5f;
    params.threshold = 0.6;
    params.altSearchRadiiFactors = {3.0f};
    params.sigmaExp = 1.5f;
    params.cloneImage = false;
    params.depth = 5;
    params.zoomFactor = 4;
    params.mode1D = true;
    params.varianceFilter.threshold = 7.0;
    params.varianceFilter.kSize = 5;
    params.varianceFilter.greyscale = true;
    params.engine = TrackerCorr::Engine::FFT;
    params.zeroMean = true;
    params.updateThreshold = 0.25;
    params.redetectThreshold = 0.75;
    return params;
}

inline void expectSameParams(const TrackerCorr::Params& expected,
                             const TrackerCorr::Params& actual) {
    EXPECT_EQ(expected.searchRadiusFactor, actual.searchRadiusFactor);
    EXPECT_EQ(expected.threshold, actual.threshold);
    EXPECT_EQ(expected.altSearchRadiiFactors, actual.altSearchRadiiFactors);
    EXPECT_EQ(expected.sigmaExp, actual.sigmaExp);
    EXPECT_EQ(expected.cloneImage, actual.cloneImage);
    EXPECT_EQ(expected.depth, actual.depth);
    EXPECT_EQ(expected.zoomFactor, actual.zoomFactor);
    EXPECT_EQ(expected.mode1D, actual.mode1D);
    EXPECT_EQ(expected.varianceFilter.threshold, actual.varianceFilter.threshold);
    EXPECT_EQ(expected.varianceFilter.kSize, actual.varianceFilter.kSize);
    EXPECT_EQ(expected.varianceFilter.greyscale, actual.varianceFilter.greyscale);
    EXPECT_EQ(expected.engine, actual.engine);
    EXPECT_EQ(expected.zeroMean, actual.zeroMean);
    EXPECT_EQ(expected.updateThreshold, actual.updateThreshold);
    // NaN, the default, compares unequal to itself.
    EXPECT_TRUE(expected.redetectThreshold == actual.redetectThreshold ||
                (std::isnan(expected.redetectThreshold) && std::isnan(actual.redetectThreshold)))
        << expected.redetectThreshold << " vs " << actual.redetectThreshold;
}

} // namespace wyr::zok::testing
