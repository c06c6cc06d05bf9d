// Running out of memory inside the parser is reported as a parse failure, not a crash.
#include <gtest/gtest.h>

#include "config/config_files.hpp"

// AddressSanitizer reserves more address space than any limit set here would allow.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace wyr::zok::testing {
namespace {

size_t addressSpaceInUse() {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * size_t(sysconf(_SC_PAGESIZE));
}

// Loads `path` with the address space capped a little above what is in use, and tells by the
// exit code whether the load failed and left the record alone. Runs in a forked child that
// shares the parent's files, so the parent's TempDir still cleans up.
[[noreturn]] void loadUnderMemoryCap(const std::string& path) {
    ZokConfig config;
    config.trackerCorr = distinctParams();
    rlimit capped{};
    getrlimit(RLIMIT_AS, &capped);
    capped.rlim_cur = addressSpaceInUse() + (2u << 20);
    setrlimit(RLIMIT_AS, &capped);
    const bool result = config.LoadFromJson(path.c_str());
    std::_Exit(!result && config.trackerCorr.depth == distinctParams().depth ? 0 : 1);
}

// A pattern matching exactly `text`, as the whole of what the child wrote to stderr.
std::string exactly(const std::string& text) {
    std::string pattern = "^";
    for (const char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "$";
}

TEST(OutOfMemory, ParserRunningOutIsAParseFailure) {
    TempDir dir;
    // 2 bytes of text per element, but 16 bytes per element in the parsed document: some 8 MB
    // for a file just below the size bound, beyond the 2 MB the cap leaves.
    const size_t elements = (CONFIG_FILE_MAX_BYTES - 64) / 2;
    std::string text = "{\"TrackerCorr\":{\"depth\":3},\"x\":[";
    text.reserve(text.size() + 2 * elements + 2);
    for (size_t i = 0; i < elements; ++i) {
        text += "1,";
    }
    text.back() = ']';
    text += '}';
    const std::string path = dir.write("big.json", text);

    ZokConfig unlimited;
    ASSERT_TRUE(load(unlimited, path).result) << "the file must load when memory suffices";
    ASSERT_EQ(3u, unlimited.trackerCorr.depth);

    EXPECT_EXIT(loadUnderMemoryCap(path), ::testing::ExitedWithCode(0), exactly(parseError(path)));
}

} // namespace
} // namespace wyr::zok::testing
#endif
