// How each key of the file reaches its field, and which values are refused.
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "config/config_files.hpp"

namespace wyr::zok::testing {
namespace {

using Params = TrackerCorr::Params;

constexpr float INF = std::numeric_limits<float>::infinity();

struct ValueCase {
    const char* name;
    std::string text;
    // Applied to distinctParams() to give the record the load must produce.
    std::function<void(Params&)> change;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(StoredValue, ChangesExactlyItsField) {
    const ValueCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();
    Params expected = distinctParams();
    c.change(expected);

    const LoadOutcome outcome = load(config, path);

    EXPECT_TRUE(outcome.result);
    EXPECT_EQ("", outcome.errors);
    expectSameParams(expected, config.trackerCorr);
}

const auto unchanged = [](Params&) {};

std::string tc(const std::string& members) {
    return trackerCorrFile(members);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, StoredValue,
    ::testing::Values(
        ValueCase{"EmptyVarianceFilter", tc("\"VarianceFilter\":{}"), unchanged},
        ValueCase{"FloatFromFraction", tc("\"searchRadiusFactor\":2.5"),
                  [](Params& p) { p.searchRadiusFactor = 2.5f; }},
        ValueCase{"FloatFromInteger", tc("\"searchRadiusFactor\":3"),
                  [](Params& p) { p.searchRadiusFactor = 3.0f; }},
        // Read as the double 0.1 and then rounded, which is the float nearest to 0.1.
        ValueCase{"FloatRoundedFromDouble", tc("\"searchRadiusFactor\":0.1"),
                  [](Params& p) { p.searchRadiusFactor = float(0.1); }},
        ValueCase{"FloatBeyondRangeIsInfinite", tc("\"sigmaExp\":1e39"),
                  [](Params& p) { p.sigmaExp = INF; }},
        ValueCase{"NegativeFloatBeyondRange", tc("\"sigmaExp\":-1e39"),
                  [](Params& p) { p.sigmaExp = -INF; }},
        // Just above the largest float, but nearer to it than to the next power of two.
        ValueCase{"FloatMaxRoundsDown", tc("\"sigmaExp\":3.4028235e38"),
                  [](Params& p) { p.sigmaExp = std::numeric_limits<float>::max(); }},
        ValueCase{"DoubleFromInteger", tc("\"threshold\":1"), [](Params& p) { p.threshold = 1.0; }},
        ValueCase{"DoubleFromFraction", tc("\"threshold\":0.3"),
                  [](Params& p) { p.threshold = 0.3; }},
        ValueCase{"DoubleFromLargestUnsigned64", tc("\"threshold\":18446744073709551615"),
                  [](Params& p) { p.threshold = 18446744073709551616.0; }},
        ValueCase{"DoubleFromSmallestSigned64", tc("\"threshold\":-9223372036854775808"),
                  [](Params& p) { p.threshold = -9223372036854775808.0; }},
        ValueCase{"DoubleFromIntegerBeyond64Bits", tc("\"threshold\":36893488147419103232"),
                  [](Params& p) { p.threshold = 36893488147419103232.0; }},
        ValueCase{"DoubleRoundsIntegerAbove2To53", tc("\"threshold\":9007199254740993"),
                  [](Params& p) { p.threshold = 9007199254740992.0; }},
        ValueCase{"VarianceThreshold", tc("\"VarianceFilter\":{\"threshold\":12.5}"),
                  [](Params& p) { p.varianceFilter.threshold = 12.5; }},
        ValueCase{"TrueLiteral", tc("\"cloneImage\":true"), [](Params& p) { p.cloneImage = true; }},
        ValueCase{"FalseLiteral", tc("\"mode1D\":false"), [](Params& p) { p.mode1D = false; }},
        ValueCase{"OneIsFalse", tc("\"mode1D\":1"), [](Params& p) { p.mode1D = false; }},
        ValueCase{"StringTrueIsFalse", tc("\"mode1D\":\"true\""),
                  [](Params& p) { p.mode1D = false; }},
        ValueCase{"NullIsFalse", tc("\"mode1D\":null"), [](Params& p) { p.mode1D = false; }},
        ValueCase{"ObjectIsFalse", tc("\"VarianceFilter\":{\"greyscale\":{}}"),
                  [](Params& p) { p.varianceFilter.greyscale = false; }},
        ValueCase{"DepthLargest", tc("\"depth\":4294967295"),
                  [](Params& p) { p.depth = 4294967295u; }},
        ValueCase{"DepthZero", tc("\"depth\":0"), [](Params& p) { p.depth = 0; }},
        ValueCase{"IntSmallest", tc("\"zoomFactor\":-2147483648"),
                  [](Params& p) { p.zoomFactor = std::numeric_limits<int>::min(); }},
        ValueCase{"IntLargest", tc("\"VarianceFilter\":{\"kSize\":2147483647}"),
                  [](Params& p) { p.varianceFilter.kSize = std::numeric_limits<int>::max(); }},
        ValueCase{"ListAppended", tc("\"altSearchRadiiFactors\":[1.5,2]"),
                  [](Params& p) {
                      p.altSearchRadiiFactors = {3.0f, 1.5f, 2.0f};
                  }},
        ValueCase{"ListElementsRounded", tc("\"altSearchRadiiFactors\":[0.1,1e39,-7]"),
                  [](Params& p) {
                      p.altSearchRadiiFactors = {3.0f, float(0.1), INF, -7.0f};
                  }},
        ValueCase{"EmptyListLeavesList", tc("\"altSearchRadiiFactors\":[]"), unchanged},
        ValueCase{"EveryKey",
                  tc("\"searchRadiusFactor\":2,\"threshold\":0.5,\"altSearchRadiiFactors\":[8]"
                     ","
                     "\"cloneImage\":true,\"depth\":3,\"zoomFactor\":6,\"mode1D\":false,"
                     "\"VarianceFilter\":{\"threshold\":9,\"kSize\":7,\"greyscale\":false},"
                     "\"sigmaExp\":0.25"),
                  [](Params& p) {
                      p.searchRadiusFactor = 2.0f;
                      p.threshold = 0.5;
                      p.altSearchRadiiFactors = {3.0f, 8.0f};
                      p.cloneImage = true;
                      p.depth = 3;
                      p.zoomFactor = 6;
                      p.mode1D = false;
                      p.varianceFilter = Params::VarianceFilter();
                      p.varianceFilter.threshold = 9.0;
                      p.varianceFilter.kSize = 7;
                      p.sigmaExp = 0.25f;
                  }},
        ValueCase{"EngineOpencv", tc("\"engine\":\"opencv\""),
                  [](Params& p) { p.engine = TrackerCorr::Engine::OPENCV; }},
        ValueCase{"EngineEscapedName", tc("\"engine\":\"open\\u0063v\""),
                  [](Params& p) { p.engine = TrackerCorr::Engine::OPENCV; }},
        ValueCase{"ZeroMeanFalse", tc("\"zeroMean\":false"), [](Params& p) { p.zeroMean = false; }},
        ValueCase{"ZeroMeanOneIsFalse", tc("\"zeroMean\":1"),
                  [](Params& p) { p.zeroMean = false; }},
        ValueCase{"UpdateThresholdFraction", tc("\"updateThreshold\":0.9"),
                  [](Params& p) { p.updateThreshold = 0.9; }},
        ValueCase{"UpdateThresholdInteger", tc("\"updateThreshold\":-1"),
                  [](Params& p) { p.updateThreshold = -1.0; }},
        ValueCase{"EveryNewKey",
                  tc("\"engine\":\"opencv\",\"zeroMean\":false,\"updateThreshold\":0.5"),
                  [](Params& p) {
                      p.engine = TrackerCorr::Engine::OPENCV;
                      p.zeroMean = false;
                      p.updateThreshold = 0.5;
                  }},
        ValueCase{"EngineAuto", tc("\"engine\":\"auto\""),
                  [](Params& p) { p.engine = TrackerCorr::Engine::AUTO; }},
        ValueCase{"RedetectThresholdFraction", tc("\"redetectThreshold\":0.875"),
                  [](Params& p) { p.redetectThreshold = 0.875; }},
        ValueCase{"RedetectThresholdBelowThreshold", tc("\"redetectThreshold\":-2"),
                  [](Params& p) { p.redetectThreshold = -2.0; }},
        ValueCase{"RedetectKeyCapitalisedIgnored", tc("\"RedetectThreshold\":0.9"), unchanged},
        ValueCase{"NewKeysCapitalisedIgnored",
                  tc("\"Engine\":\"x\",\"ZeroMean\":false,\"UpdateThreshold\":\"x\""), unchanged},
        // Keys match byte for byte, over their whole length, after unescaping.
        ValueCase{"CapitalisedKeyIgnored", tc("\"SearchRadiusFactor\":2"), unchanged},
        ValueCase{"LowerCaseKeyIgnored", tc("\"searchradiusfactor\":2"), unchanged},
        ValueCase{"KeyWithTrailingSpaceIgnored", tc("\"depth \":2"), unchanged},
        ValueCase{"KeyWithEmbeddedNulIgnored", tc("\"depth\\u0000\":2,\"depth\\u0000x\":3"),
                  unchanged},
        ValueCase{"EscapedKeyMatches", tc("\"dep\\u0074h\":2"), [](Params& p) { p.depth = 2; }},
        ValueCase{"KeyInRootIgnored", "{\"searchRadiusFactor\":2,\"TrackerCorr\":{}}", unchanged},
        ValueCase{"KeyInWrongObjectIgnored", tc("\"VarianceFilter\":{\"depth\":2}"), unchanged},
        ValueCase{"FilterKeyOutsideFilterIgnored", tc("\"kSize\":9,\"greyscale\":false"),
                  unchanged},
        // Neither the content nor the type of an ignored member matters.
        ValueCase{"LowerCaseTrackerCorrIgnored", "{\"trackerCorr\":{\"depth\":\"x\"}}", unchanged},
        ValueCase{"UnknownMembersIgnored", tc("\"speed\":\"fast\",\"depthh\":[],\"z\":{}"),
                  unchanged},
        // Of a repeated key only the first counts; later ones are not even looked at.
        ValueCase{"RepeatedKeyFirstWins", tc("\"depth\":2,\"depth\":7"),
                  [](Params& p) { p.depth = 2; }},
        ValueCase{"RepeatedKeyLaterInvalidIgnored", tc("\"depth\":2,\"depth\":\"seven\""),
                  [](Params& p) { p.depth = 2; }},
        ValueCase{"RepeatedListFirstWins",
                  tc("\"altSearchRadiiFactors\":[5],\"altSearchRadiiFactors\":[6,7]"),
                  [](Params& p) {
                      p.altSearchRadiiFactors = {3.0f, 5.0f};
                  }},
        ValueCase{"RepeatedTrackerCorrFirstWins",
                  "{\"TrackerCorr\":{\"depth\":2},\"TrackerCorr\":{\"depth\":7,"
                  "\"zoomFactor\":9}}",
                  [](Params& p) { p.depth = 2; }},
        ValueCase{"RepeatedVarianceFilterFirstWins",
                  tc("\"VarianceFilter\":{\"kSize\":9},\"VarianceFilter\":{\"threshold\":1}"),
                  [](Params& p) { p.varianceFilter.kSize = 9; }}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string text;
    const char* key; // as named in the message
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedValue : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedValue, FailsTheWholeLoadNamingTheKey) {
    const RefusedCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();

    const LoadOutcome outcome = load(config, path);

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(invalidValueError(c.key, path), outcome.errors);
    expectSameParams(distinctParams(), config.trackerCorr);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, RefusedValue,
    ::testing::Values(
        RefusedCase{"TrackerCorrArray", "{\"TrackerCorr\":[]}", "TrackerCorr"},
        RefusedCase{"TrackerCorrNull", "{\"TrackerCorr\":null}", "TrackerCorr"},
        RefusedCase{"TrackerCorrString", "{\"TrackerCorr\":\"{}\"}", "TrackerCorr"},
        RefusedCase{"VarianceFilterNumber", tc("\"VarianceFilter\":3"), "VarianceFilter"},
        RefusedCase{"NumberAsString", tc("\"searchRadiusFactor\":\"2\""), "searchRadiusFactor"},
        RefusedCase{"NumberAsNull", tc("\"threshold\":null"), "threshold"},
        RefusedCase{"NumberAsTrue", tc("\"threshold\":true"), "threshold"},
        RefusedCase{"NumberAsArray", tc("\"sigmaExp\":[1]"), "sigmaExp"},
        RefusedCase{"FilterNumberAsObject", tc("\"VarianceFilter\":{\"threshold\":{}}"),
                    "VarianceFilter/threshold"},
        RefusedCase{"DepthNegative", tc("\"depth\":-1"), "depth"},
        RefusedCase{"DepthBeyond32Bits", tc("\"depth\":4294967296"), "depth"},
        RefusedCase{"DepthWithFraction", tc("\"depth\":2.0"), "depth"},
        RefusedCase{"DepthWithExponent", tc("\"depth\":1e2"), "depth"},
        RefusedCase{"DepthAsString", tc("\"depth\":\"3\""), "depth"},
        RefusedCase{"IntAboveRange", tc("\"zoomFactor\":2147483648"), "zoomFactor"},
        RefusedCase{"IntBelowRange", tc("\"zoomFactor\":-2147483649"), "zoomFactor"},
        RefusedCase{"IntWithFraction", tc("\"zoomFactor\":1.5"), "zoomFactor"},
        RefusedCase{"FilterIntWithFraction", tc("\"VarianceFilter\":{\"kSize\":3.0}"),
                    "VarianceFilter/kSize"},
        RefusedCase{"ListAsNumber", tc("\"altSearchRadiiFactors\":2"), "altSearchRadiiFactors"},
        RefusedCase{"ListAsObject", tc("\"altSearchRadiiFactors\":{}"), "altSearchRadiiFactors"},
        // Nothing of a list is appended when one of its elements is refused.
        RefusedCase{"ListWithString", tc("\"altSearchRadiiFactors\":[1.5,\"2\"]"),
                    "altSearchRadiiFactors"},
        RefusedCase{"ListWithNull", tc("\"altSearchRadiiFactors\":[null]"),
                    "altSearchRadiiFactors"},
        RefusedCase{"ListOfLists", tc("\"altSearchRadiiFactors\":[[1]]"), "altSearchRadiiFactors"},
        RefusedCase{"EngineCapitalised", tc("\"engine\":\"OpenCV\""), "engine"},
        RefusedCase{"EngineAutoCapitalised", tc("\"engine\":\"Auto\""), "engine"},
        RefusedCase{"RedetectThresholdAsString", tc("\"redetectThreshold\":\"0.9\""),
                    "redetectThreshold"},
        RefusedCase{"RedetectThresholdAsNull", tc("\"redetectThreshold\":null"),
                    "redetectThreshold"},
        RefusedCase{"EngineUnknown", tc("\"engine\":\"cuda\""), "engine"},
        RefusedCase{"EngineWithSpace", tc("\"engine\":\"fft \""), "engine"},
        RefusedCase{"EngineWithEmbeddedNul", tc("\"engine\":\"fft\\u0000\""), "engine"},
        RefusedCase{"EngineEmpty", tc("\"engine\":\"\""), "engine"},
        RefusedCase{"EngineAsNumber", tc("\"engine\":1"), "engine"},
        RefusedCase{"EngineAsNull", tc("\"engine\":null"), "engine"},
        RefusedCase{"EngineAsFalse", tc("\"engine\":false"), "engine"},
        RefusedCase{"EngineAsList", tc("\"engine\":[\"fft\"]"), "engine"},
        RefusedCase{"EngineAsObject", tc("\"engine\":{}"), "engine"},
        RefusedCase{"UpdateThresholdAsString", tc("\"updateThreshold\":\"0.9\""),
                    "updateThreshold"},
        RefusedCase{"UpdateThresholdAsNull", tc("\"updateThreshold\":null"), "updateThreshold"},
        RefusedCase{"UpdateThresholdAsTrue", tc("\"updateThreshold\":true"), "updateThreshold"},
        RefusedCase{"NewKeyAfterValidKeys",
                    tc("\"zeroMean\":false,\"threshold\":0.2,\"engine\":\"opencv\","
                       "\"updateThreshold\":[]"),
                    "updateThreshold"},
        RefusedCase{"EngineReadBeforeUpdateThreshold",
                    tc("\"updateThreshold\":\"x\",\"engine\":\"gpu\""), "engine"},
        RefusedCase{"FirstOccurrenceInvalid", tc("\"depth\":\"seven\",\"depth\":2"), "depth"},
        // Values taken before the refused one must not survive in the record.
        RefusedCase{"AfterValidKeys",
                    tc("\"searchRadiusFactor\":2,\"altSearchRadiiFactors\":[5],\"depth\":3,"
                       "\"VarianceFilter\":{\"kSize\":9},\"sigmaExp\":\"low\""),
                    "sigmaExp"},
        // The first refused key in reading order is named, whatever the order in the file.
        RefusedCase{"FirstInReadingOrderNamed", tc("\"sigmaExp\":\"x\",\"depth\":-1"), "depth"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST(Overlay, AbsentKeysKeepTheDefaults) {
    TempDir dir;
    ZokConfig config;
    ASSERT_TRUE(load(config, dir.write("config.json", tc("\"threshold\":0.5"))).result);

    Params expected;
    expected.threshold = 0.5;
    expectSameParams(expected, config.trackerCorr);
}

TEST(Overlay, EngineNamesSelectTheirEngine) {
    TempDir dir;
    ZokConfig config;
    ASSERT_TRUE(load(config, dir.write("fft.json", tc("\"engine\":\"fft\""))).result);
    EXPECT_EQ(config.trackerCorr.engine, TrackerCorr::Engine::FFT);
    ASSERT_TRUE(load(config, dir.write("other.json", tc("\"zeroMean\":true"))).result);
    EXPECT_EQ(config.trackerCorr.engine, TrackerCorr::Engine::FFT);
    EXPECT_TRUE(config.trackerCorr.zeroMean);
    ASSERT_TRUE(load(config, dir.write("opencv.json", tc("\"engine\":\"opencv\""))).result);
    EXPECT_EQ(config.trackerCorr.engine, TrackerCorr::Engine::OPENCV);
}

TEST(Overlay, EachLoadAppendsTheListAgain) {
    TempDir dir;
    const std::string path = dir.write("config.json", tc("\"altSearchRadiiFactors\":[1.5,2]"));
    ZokConfig config;

    ASSERT_TRUE(load(config, path).result);
    EXPECT_EQ((std::vector<float>{1.5f, 2.0f}), config.trackerCorr.altSearchRadiiFactors);
    ASSERT_TRUE(load(config, path).result);
    EXPECT_EQ((std::vector<float>{1.5f, 2.0f, 1.5f, 2.0f}),
              config.trackerCorr.altSearchRadiiFactors);
}

TEST(Overlay, LaterFilesOverlayEarlierOnes) {
    TempDir dir;
    ZokConfig config;
    ASSERT_TRUE(load(config, dir.write("a.json", tc("\"depth\":3,\"zoomFactor\":2"))).result);
    ASSERT_TRUE(load(config, dir.write("b.json", tc("\"zoomFactor\":5"))).result);
    EXPECT_EQ(3u, config.trackerCorr.depth);
    EXPECT_EQ(5, config.trackerCorr.zoomFactor);
}

} // namespace
} // namespace wyr::zok::testing
