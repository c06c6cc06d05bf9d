// The bounds on what a file can make the loader hold: its size and its nesting.
#include <string>

#include <gtest/gtest.h>

#include "config/config_files.hpp"

#if defined(__linux__)
#include <cstdlib>

#include <sys/resource.h>
#endif

namespace wyr::zok::testing {
namespace {

enum class Outcome { Loaded, NotObject, ParseError, TooLarge, TooDeep };

struct BoundCase {
    const char* name;
    std::string text;
    Outcome outcome;
};

void PrintTo(const BoundCase& c, std::ostream* os) {
    *os << c.name;
}

std::string nested(size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

// `levels` objects, one the only member of the other.
std::string nestedObjects(size_t levels) {
    std::string text;
    for (size_t i = 0; i < levels; ++i) {
        text += "{\"a\":";
    }
    return text + "0" + std::string(levels, '}');
}

// A file of `size` bytes: `text`, padded with spaces (or `padding`) after it.
std::string ofSize(const std::string& text, size_t size, char padding = ' ') {
    return text + std::string(size - text.size(), padding);
}

const std::string SETS_DEPTH = "\"TrackerCorr\":{\"depth\":9}";

class FileBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(FileBounds, GiveTheirOutcomeAndMessage) {
    const BoundCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();

    const LoadOutcome outcome = load(config, path);

    EXPECT_EQ(c.outcome == Outcome::Loaded, outcome.result);
    switch (c.outcome) {
    case Outcome::Loaded:
    case Outcome::NotObject:
        EXPECT_EQ("", outcome.errors);
        break;
    case Outcome::ParseError:
        EXPECT_EQ(parseError(path), outcome.errors);
        break;
    case Outcome::TooLarge:
        EXPECT_EQ(sizeError(path), outcome.errors);
        break;
    case Outcome::TooDeep:
        EXPECT_EQ(nestingError(path), outcome.errors);
        break;
    }
    EXPECT_EQ(c.outcome == Outcome::Loaded ? 9u : distinctParams().depth, config.trackerCorr.depth);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, FileBounds,
    ::testing::Values(
        // The root object is level 1.
        BoundCase{"RootAtTheBound", nested(128), Outcome::NotObject},
        BoundCase{"RootBeyondTheBound", nested(129), Outcome::TooDeep},
        BoundCase{"MemberAtTheBound", "{\"x\":" + nested(127) + "," + SETS_DEPTH + "}",
                  Outcome::Loaded},
        BoundCase{"MemberBeyondTheBound", "{\"x\":" + nested(128) + "," + SETS_DEPTH + "}",
                  Outcome::TooDeep},
        BoundCase{"ObjectsAtTheBound", "{" + SETS_DEPTH + ",\"x\":" + nestedObjects(127) + "}",
                  Outcome::Loaded},
        BoundCase{"ObjectsBeyondTheBound", "{" + SETS_DEPTH + ",\"x\":" + nestedObjects(128) + "}",
                  Outcome::TooDeep},
        // A million levels, each a record to the parser, refused at the first one too deep:
        // what follows, unclosed, is never read.
        BoundCase{"MillionOpeningBrackets", std::string(1000000, '['), Outcome::TooDeep},
        BoundCase{"BracketsInAStringAreText",
                  "{\"x\":\"" + std::string(1000, '[') + "\"," + SETS_DEPTH + "}", Outcome::Loaded},
        // A fault met first is the one reported.
        BoundCase{"SyntaxErrorBeforeTheDepth", "{\"x\":[}" + nested(200), Outcome::ParseError},
        BoundCase{"DepthBeforeTheSize", ofSize(nested(129), (1u << 20) + 1), Outcome::TooDeep},
        BoundCase{"FileAtTheBound", ofSize("{" + SETS_DEPTH + "}", 1u << 20), Outcome::Loaded},
        BoundCase{"FileAtTheBoundEndingInTheRoot",
                  "{\"x\":\"" + std::string((1u << 20) - 9 - SETS_DEPTH.size(), 'a') + "\"," +
                      SETS_DEPTH + "}",
                  Outcome::Loaded},
        BoundCase{"OneByteBeyond", ofSize("{" + SETS_DEPTH + "}", (1u << 20) + 1),
                  Outcome::TooLarge},
        BoundCase{"OneNewlineBeyond", ofSize("{" + SETS_DEPTH + "}", (1u << 20) + 1, '\n'),
                  Outcome::TooLarge},
        BoundCase{"StringAcrossTheBound", "{\"x\":\"" + std::string(1u << 20, 'a') + "\"}",
                  Outcome::TooLarge},
        BoundCase{"SyntaxErrorBeforeTheSize", ofSize("{,}", (1u << 20) + 1), Outcome::ParseError},
        BoundCase{"NulBeforeTheSize", ofSize(std::string("{}") + '\0', (1u << 20) + 1),
                  Outcome::ParseError}),
    [](const ::testing::TestParamInfo<BoundCase>& info) { return std::string(info.param.name); });

TEST(FileBounds, DocumentedInThePublicHeader) {
    EXPECT_EQ(size_t(1048576), CONFIG_FILE_MAX_BYTES);
    EXPECT_EQ(size_t(128), CONFIG_MAX_NESTING);
}

// AddressSanitizer keeps freed blocks and their shadow resident, so there the peak measures the
// sanitizer more than the loader.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Loads `path` in a forked child and exits 0 when the load failed and the child's peak resident
// size grew by less than `limitMb` on the way.
[[noreturn]] void loadWithinPeak(const std::string& path, long limitMb) {
    ZokConfig config;
    const long before = peakKilobytes();
    const bool result = config.LoadFromJson(path.c_str());
    std::_Exit(!result && peakKilobytes() - before < limitMb * 1024 ? 0 : 1);
}

struct PeakCase {
    const char* name;
    std::string head;
    std::string unit;
    std::string tail;
};

void PrintTo(const PeakCase& c, std::ostream* os) {
    *os << c.name;
}

class FilePeak : public ::testing::TestWithParam<PeakCase> {};

// Eight megabytes of text made the parser hold twenty to thirty times as much.
TEST_P(FilePeak, LargeFilesAreRefusedWithinAFewMegabytes) {
    const PeakCase& c = GetParam();
    TempDir dir;
    std::string text = c.head;
    const size_t units = (8u << 20) / c.unit.size();
    text.reserve(text.size() + units * c.unit.size() + c.tail.size());
    for (size_t i = 0; i < units; ++i) {
        text += c.unit;
    }
    text += c.tail;
    const std::string path = dir.write("large.json", text);
    EXPECT_EXIT(loadWithinPeak(path, 48), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(
    Loader, FilePeak,
    ::testing::Values(PeakCase{"OpeningBrackets", "", "[", ""},
                      PeakCase{"NumbersInAnArray", "{\"x\":[", "1,", "1]}"},
                      PeakCase{"MembersOfAnObject", "{\"x\":{", "\"\":0,", "\"\":0}}"}),
    [](const ::testing::TestParamInfo<PeakCase>& info) { return std::string(info.param.name); });
#endif

} // namespace
} // namespace wyr::zok::testing
