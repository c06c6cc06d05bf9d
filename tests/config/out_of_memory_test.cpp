// Running out of memory inside the parser is reported as a parse failure, not a crash.
#include <gtest/gtest.h>

#include "config/config_files.hpp"

// AddressSanitizer reserves more address space than any limit set here would allow.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <cstdlib>
#include <fstream>

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
// exit code whether the load failed with the parse message and left the record alone.
[[noreturn]] void loadUnderMemoryCap(const std::string& path) {
    ZokConfig config;
    config.trackerCorr = distinctParams();
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    rlimit capped = saved;
    capped.rlim_cur = addressSpaceInUse() + (32u << 20);
    ::testing::internal::CaptureStderr();
    setrlimit(RLIMIT_AS, &capped);
    const bool result = config.LoadFromJson(path.c_str());
    setrlimit(RLIMIT_AS, &saved);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    const bool unchanged = config.trackerCorr.depth == distinctParams().depth;
    std::_Exit(!result && errors == parseError(path) && unchanged ? 0 : 1);
}

TEST(OutOfMemory, ParserRunningOutIsAParseFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    // 2 bytes of text per element, but 16 bytes per element in the parsed document.
    const size_t elements = 8u << 20;
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

    EXPECT_EXIT(loadUnderMemoryCap(path), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace wyr::zok::testing
#endif
