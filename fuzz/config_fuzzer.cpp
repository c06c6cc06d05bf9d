// Feeds arbitrary bytes to ZokConfig::LoadFromJson as a file. A refused file must leave both
// records exactly as they were, field by field; a file that loads must nest no deeper than
// CONFIG_MAX_NESTING; and no load may keep a descriptor open.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "config/tracker_dcf_fields.hpp"
#include "zok/zok_config.hpp"

namespace {

using wyr::zok::TrackerCorr;
using wyr::zok::TrackerDcf;

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
           a.zeroMean == b.zeroMean && sameBits(a.updateThreshold, b.updateThreshold) &&
           sameBits(a.redetectThreshold, b.redetectThreshold);
}

// Collects the bytes of every field it is handed.
struct FieldBytes {
    std::vector<unsigned char> bytes;
    template <typename T>
    void add(const T& field) {
        const auto* first = reinterpret_cast<const unsigned char*>(&field);
        bytes.insert(bytes.end(), first, first + sizeof(T));
    }
    void number(const char*, const float& field) { add(field); }
    void number(const char*, const double& field) { add(field); }
    void flag(const char*, const bool& field) { add(field); }
    void integer(const char*, const int& field) { add(field); }
    void count(const char*, const size_t& field) { add(field); }
};

// The bytes of every field of the learned tracker's record, in the order of its field list.
std::vector<unsigned char> fieldBytes(const TrackerDcf::Params& params) {
    FieldBytes collector;
    wyr::zok::visitDcfFields(params, collector);
    return collector.bytes;
}

// Every field of the learned tracker's record away from its default.
TrackerDcf::Params distinctDcfParams() {
    struct Changer {
        void number(const char*, float& field) { field = field * 2.0f + 1.0f; }
        void number(const char*, double& field) { field = field * 2.0 + 1.0; }
        void flag(const char*, bool& field) { field = !field; }
        void integer(const char*, int& field) { field += 3; }
        void count(const char*, size_t& field) { field += 2; }
    };
    TrackerDcf::Params params;
    wyr::zok::visitDcfFields(params, Changer{});
    return params;
}

// How deep the arrays and objects of a JSON text nest, the root being level 1; the text must be
// JSON, so that a bracket is either in a string or structure.
size_t nesting(const uint8_t* data, size_t size) {
    size_t depth = 0;
    size_t deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
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
    config.trackerDcf = distinctDcfParams();
    const int freeBefore = lowestFreeDescriptor();

    const bool loaded = config.LoadFromJson(configPath.c_str());

    if (lowestFreeDescriptor() != freeBefore) {
        std::fprintf(stderr, "LoadFromJson left a descriptor open\n");
        std::abort();
    }
    if (!loaded && (!sameParams(config.trackerCorr, distinctParams()) ||
                    fieldBytes(config.trackerDcf) != fieldBytes(distinctDcfParams()))) {
        std::fprintf(stderr, "a refused file changed the record\n");
        std::abort();
    }
    if (loaded && nesting(data, size) > wyr::zok::CONFIG_MAX_NESTING) {
        std::fprintf(stderr, "a file nesting deeper than the bound was loaded\n");
        std::abort();
    }
    return 0;
}
