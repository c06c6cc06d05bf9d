// Feeds arbitrary bytes to ZokConfig::LoadFromJson as a file. A refused file must leave the
// record exactly as it was, field by field, and no load may keep a descriptor open.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

#include "zok/zok_config.hpp"

namespace {

using wyr::zok::TrackerCorr;

std::string configPath;

struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
};

// Bit for bit, so that a NaN written over a NaN still counts as unchanged and -0.0 as changed.
template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool sameParams(const TrackerCorr::Params& a, const TrackerCorr::Params& b) {
    if (a.altSearchRadiiFactors.size() != b.altSearchRadiiFactors.size()) {
        return false;
    }
    for (size_t i = 0; i < a.altSearchRadiiFactors.size(); ++i) {
        if (!sameBits(a.altSearchRadiiFactors[i], b.altSearchRadiiFactors[i])) {
            return false;
        }
    }
    return sameBits(a.searchRadiusFactor, b.searchRadiusFactor) &&
           sameBits(a.threshold, b.threshold) && sameBits(a.sigmaExp, b.sigmaExp) &&
           a.cloneImage == b.cloneImage && a.depth == b.depth && a.zoomFactor == b.zoomFactor &&
           a.mode1D == b.mode1D &&
           sameBits(a.varianceFilter.threshold, b.varianceFilter.threshold) &&
           a.varianceFilter.kSize == b.varianceFilter.kSize &&
           a.varianceFilter.greyscale == b.varianceFilter.greyscale && a.engine == b.engine &&
           a.zeroMean == b.zeroMean && sameBits(a.updateThreshold, b.updateThreshold);
}

// Every field away from its default, so that a load that resets a field is seen.
TrackerCorr::Params distinctParams() {
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
    params.updateThreshold = 0.93;
    return params;
}

// The lowest free descriptor: a file left open by a load takes it, so it moves up.
int lowestFreeDescriptor() {
    const int fd = dup(0);
    if (fd >= 0) {
        close(fd);
    }
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/zok-config-fuzz-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) {
        std::abort();
    }
    close(fd);
    configPath = pattern;
    // The loader's messages are expected on refused files; millions of them would only slow
    // the run down.
    static NullBuffer sink;
    std::cerr.rdbuf(&sink);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(configPath.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    wyr::zok::ZokConfig config;
    config.trackerCorr = distinctParams();
    const int freeBefore = lowestFreeDescriptor();

    const bool loaded = config.LoadFromJson(configPath.c_str());

    if (lowestFreeDescriptor() != freeBefore) {
        std::fprintf(stderr, "LoadFromJson left a descriptor open\n");
        std::abort();
    }
    if (!loaded && !sameParams(config.trackerCorr, distinctParams())) {
        std::fprintf(stderr, "a refused file changed the record\n");
        std::abort();
    }
    return 0;
}
