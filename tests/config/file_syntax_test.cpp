// What the loader accepts as a file, and what it says when it does not.
#include <climits>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "config/config_files.hpp"

namespace wyr::zok::testing {
namespace {

enum class Outcome {
    Loaded,     // true, silent
    NotObject,  // false, silent
    ParseError, // false, the parse message
};

struct SyntaxCase {
    const char* name;
    std::string text;
    Outcome outcome;
};

void PrintTo(const SyntaxCase& c, std::ostream* os) {
    *os << c.name;
}

class FileSyntax : public ::testing::TestWithParam<SyntaxCase> {};

// No case changes a field, so the record must come out as it went in, whatever the result.
TEST_P(FileSyntax, GivesItsOutcomeAndLeavesTheRecordAlone) {
    const SyntaxCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();

    const LoadOutcome outcome = load(config, path);

    EXPECT_EQ(c.outcome == Outcome::Loaded, outcome.result);
    EXPECT_EQ(c.outcome == Outcome::ParseError ? parseError(path) : "", outcome.errors);
    expectSameParams(distinctParams(), config.trackerCorr);
}

const std::string BOM = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Loader, FileSyntax,
    ::testing::Values(
        SyntaxCase{"EmptyObject", "{}", Outcome::Loaded},
        SyntaxCase{"EmptyTrackerCorr", "{\"TrackerCorr\":{}}", Outcome::Loaded},
        SyntaxCase{"AllFourWhitespaces", " \t\r\n{ \t\r\n} \t\r\n", Outcome::Loaded},
        SyntaxCase{"OtherRootMembersOfAnyType",
                   "{\"a\":[1,{\"b\":null}],\"c\":\"x\",\"d\":1e39,\"e\":-0}", Outcome::Loaded},
        SyntaxCase{"RootArray", "[1,2]", Outcome::NotObject},
        SyntaxCase{"RootString", "\"TrackerCorr\"", Outcome::NotObject},
        SyntaxCase{"RootNumber", "42", Outcome::NotObject},
        SyntaxCase{"RootNull", "null", Outcome::NotObject},
        SyntaxCase{"Empty", "", Outcome::ParseError},
        SyntaxCase{"OnlyWhitespace", " \t\r\n ", Outcome::ParseError},
        SyntaxCase{"ByteOrderMark", BOM + "{}", Outcome::ParseError},
        SyntaxCase{"FormFeed", "\f{}", Outcome::ParseError},
        SyntaxCase{"TrailingCommaInObject", "{\"a\":1,}", Outcome::ParseError},
        SyntaxCase{"TrailingCommaInArray", "{\"a\":[1,2,]}", Outcome::ParseError},
        SyntaxCase{"LineComment", "// settings\n{}", Outcome::ParseError},
        SyntaxCase{"BlockComment", "{} /* end */", Outcome::ParseError},
        SyntaxCase{"Unclosed", "{\"a\":1", Outcome::ParseError},
        SyntaxCase{"TwoRoots", "{} {}", Outcome::ParseError},
        SyntaxCase{"TextAfterRoot", "{} x", Outcome::ParseError},
        // A NUL byte is no end of file: what follows the root is still there.
        SyntaxCase{"NulThenTextAfterRoot",
                   std::string("{\"TrackerCorr\":{\"threshold\":0.25}}") + '\0' + "any text",
                   Outcome::ParseError},
        SyntaxCase{"NulAfterRoot", std::string("{}") + '\0', Outcome::ParseError},
        SyntaxCase{"NulInWhitespaceAfterRoot", std::string("{} \n") + '\0' + " \n",
                   Outcome::ParseError},
        SyntaxCase{"NulInsideRoot", std::string("{") + '\0' + "}", Outcome::ParseError},
        SyntaxCase{"NaN", "{\"a\":NaN}", Outcome::ParseError},
        SyntaxCase{"Infinity", "{\"a\":Infinity}", Outcome::ParseError},
        SyntaxCase{"MinusInfinity", "{\"a\":-Infinity}", Outcome::ParseError},
        // Too large for a double: the whole file fails, even outside "TrackerCorr".
        SyntaxCase{"NumberBeyondDouble", "{\"a\":1e400}", Outcome::ParseError},
        SyntaxCase{"NegativeNumberBeyondDouble", "{\"a\":-1e400}", Outcome::ParseError},
        // A syntax error after valid keys must not leave those keys applied.
        SyntaxCase{"ErrorAfterValidKeys", "{\"TrackerCorr\":{\"depth\":3,\"threshold\":0.1,}}",
                   Outcome::ParseError},
        SyntaxCase{"BeyondDoubleAfterValidKeys",
                   "{\"TrackerCorr\":{\"depth\":3,\"sigmaExp\":1e400}}", Outcome::ParseError}),
    [](const ::testing::TestParamInfo<SyntaxCase>& info) { return std::string(info.param.name); });

TEST(FileOpening, MissingFileNamesThePathInQuotes) {
    TempDir dir;
    const std::string path = dir.path("no such file.json");
    ZokConfig config;
    config.trackerCorr = distinctParams();

    const LoadOutcome outcome = load(config, path);

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(openError(path), outcome.errors);
    expectSameParams(distinctParams(), config.trackerCorr);
}

TEST(FileOpening, PathIsPrintedExactlyAsGiven) {
    const std::string path = "./it's/../missing \"config\".json";
    ZokConfig config;
    EXPECT_EQ(openError(path), load(config, path).errors);
}

TEST(FileOpening, NullPathIsAnUnopenableFile) {
    ZokConfig config;
    config.trackerCorr = distinctParams();

    const LoadOutcome outcome = load(config, nullptr);

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(openError(""), outcome.errors);
    expectSameParams(distinctParams(), config.trackerCorr);
}

// The file is read in blocks of 2048 bytes: tokens cut by a block boundary must come out whole.
TEST(FileReading, TokensAcrossBlockBoundariesAreReadWhole) {
    TempDir dir;
    const std::string head = "{\"TrackerCorr\":{";
    for (size_t padding : {2020u, 2024u, 2027u, 2028u, 2030u, 2031u, 2035u, 4070u, 6000u}) {
        SCOPED_TRACE(padding);
        const std::string path =
            dir.write("config.json", head + std::string(padding, ' ') + "\"depth\":4294967295}}" +
                                         std::string(padding, '\n'));
        ZokConfig config;
        const LoadOutcome outcome = load(config, path);
        EXPECT_TRUE(outcome.result);
        EXPECT_EQ("", outcome.errors);
        EXPECT_EQ(size_t(4294967295u), config.trackerCorr.depth);
    }
}

#if defined(__linux__)
size_t openDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

struct ExitCase {
    const char* name;
    const char* text;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class FileClosing : public ::testing::TestWithParam<ExitCase> {};

TEST_P(FileClosing, EveryWayOutClosesTheFile) {
    TempDir dir;
    const std::string path = dir.write("config.json", GetParam().text);
    ZokConfig config;
    load(config, path); // warm up: the first capture of stderr may open files of its own
    const size_t before = openDescriptors();
    for (int i = 0; i < 8; ++i) {
        load(config, path);
    }
    EXPECT_EQ(before, openDescriptors());
}

INSTANTIATE_TEST_SUITE_P(
    Loader, FileClosing,
    ::testing::Values(ExitCase{"Loaded", "{\"TrackerCorr\":{\"depth\":2}}"},
                      ExitCase{"NotObject", "[1,2]"}, ExitCase{"ParseError", "{,}"},
                      ExitCase{"InvalidValue", "{\"TrackerCorr\":{\"depth\":-2}}"}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });
#endif

} // namespace
} // namespace wyr::zok::testing
