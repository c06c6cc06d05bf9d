// How each key of the "TrackerDcf" section reaches its field, which values are refused, and how
// the two sections of one file succeed or fail together.
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "config/config_files.hpp"
#include "config/dcf_fields.hpp"

namespace wyr::zok::testing {
namespace {

using DcfParams = TrackerDcf::Params;

std::string td(const std::string& members) {
    return trackerDcfFile(members);
}

struct DcfValueCase {
    const char* name;
    std::string text;
    // Applied to distinctDcfParams() to give the record the load must produce.
    std::function<void(DcfParams&)> change;
};

void PrintTo(const DcfValueCase& c, std::ostream* os) {
    *os << c.name;
}

class DcfStoredValue : public ::testing::TestWithParam<DcfValueCase> {};

TEST_P(DcfStoredValue, ChangesExactlyItsField) {
    const DcfValueCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();
    config.trackerDcf = distinctDcfParams();
    DcfParams expected = distinctDcfParams();
    c.change(expected);

    const LoadOutcome outcome = load(config, path);

    EXPECT_TRUE(outcome.result);
    EXPECT_EQ("", outcome.errors);
    EXPECT_EQ(dcfFieldValues(expected), dcfFieldValues(config.trackerDcf));
    expectSameParams(distinctParams(), config.trackerCorr);
}

const auto unchanged = [](DcfParams&) {};

INSTANTIATE_TEST_SUITE_P(
    Loader, DcfStoredValue,
    ::testing::Values(
        DcfValueCase{"EmptySection", td(""), unchanged},
        // Every key by its name, so that a name misspelt in the loader is caught.
        DcfValueCase{"EveryKey",
                     td("\"padding\":3.5,\"gridCells\":40,\"labelSigma\":0.1,"
                        "\"learningRate\":0.03,\"admmIterations\":3,\"colour\":true,"
                        "\"colourWeight\":0.2,\"colourLearningRate\":0.05,"
                        "\"scaleFilter\":true,\"scales\":21,\"scaleStep\":1.03,"
                        "\"scaleLearningRate\":0.02,\"motionPrediction\":true,"
                        "\"motionDamping\":0.7,\"redetection\":true,\"lostConfidence\":0.25,"
                        "\"learnConfidence\":0.45,\"redetectConfidence\":0.75,"
                        "\"redetectFrames\":3,\"cameraMotion\":false,\"minSharpness\":12,"
                        "\"stillPreference\":0.25,\"aspectFilter\":true,\"aspects\":7,"
                        "\"aspectStep\":1.03,\"aspectLimit\":2.5,\"aspectRate\":0.75,"
                        "\"colourFeatures\":true,\"maxResponseVariation\":6.5,"
                        "\"motionSupport\":true"),
                     [](DcfParams& p) {
                         p.padding = 3.5f;
                         p.gridCells = 40;
                         p.labelSigma = 0.1f;
                         p.learningRate = 0.03f;
                         p.admmIterations = 3;
                         p.colour = true;
                         p.colourWeight = 0.2f;
                         p.colourLearningRate = 0.05f;
                         p.scaleFilter = true;
                         p.scales = 21;
                         p.scaleStep = 1.03f;
                         p.scaleLearningRate = 0.02f;
                         p.motionPrediction = true;
                         p.motionDamping = 0.7f;
                         p.redetection = true;
                         p.lostConfidence = 0.25f;
                         p.learnConfidence = 0.45f;
                         p.redetectConfidence = 0.75f;
                         p.redetectFrames = 3;
                         p.cameraMotion = false;
                         p.minSharpness = 12.0f;
                         p.stillPreference = 0.25f;
                         p.aspectFilter = true;
                         p.aspects = 7;
                         p.aspectStep = 1.03f;
                         p.aspectLimit = 2.5f;
                         p.aspectRate = 0.75f;
                         p.colourFeatures = true;
                         p.maxResponseVariation = 6.5f;
                         p.motionSupport = true;
                     }},
        DcfValueCase{"FloatFromInteger", td("\"padding\":3"), [](DcfParams& p) { p.padding = 3; }},
        DcfValueCase{"IntLargest", td("\"redetectFrames\":2147483647"),
                     [](DcfParams& p) { p.redetectFrames = std::numeric_limits<int>::max(); }},
        // Anything but the literal true is false, as for the other section's flags.
        DcfValueCase{"OneIsFalse", td("\"scaleFilter\":1"),
                     [](DcfParams& p) { p.scaleFilter = false; }},
        DcfValueCase{"CapitalisedKeyIgnored", td("\"Padding\":3,\"gridcells\":20"), unchanged},
        // A key of one section means nothing in the other, or in the root.
        DcfValueCase{"CorrKeyInDcfSectionIgnored", td("\"depth\":\"x\",\"zoomFactor\":2.5"),
                     unchanged},
        DcfValueCase{"DcfKeyInCorrSectionIgnored", trackerCorrFile("\"padding\":3"), unchanged},
        DcfValueCase{"DcfKeyInRootIgnored", "{\"padding\":3,\"TrackerDcf\":{}}", unchanged},
        DcfValueCase{"RepeatedKeyFirstWins", td("\"scales\":9,\"scales\":\"nine\""),
                     [](DcfParams& p) { p.scales = 9; }},
        DcfValueCase{"RepeatedSectionFirstWins",
                     "{\"TrackerDcf\":{\"scales\":9},\"TrackerDcf\":{\"scales\":11,"
                     "\"padding\":2}}",
                     [](DcfParams& p) { p.scales = 9; }}),
    [](const ::testing::TestParamInfo<DcfValueCase>& info) {
        return std::string(info.param.name);
    });

struct DcfRefusedCase {
    const char* name;
    std::string text;
    const char* key; // as named in the message
};

void PrintTo(const DcfRefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class DcfRefusedValue : public ::testing::TestWithParam<DcfRefusedCase> {};

// Whichever section holds the refused value, neither section of the record changes.
TEST_P(DcfRefusedValue, FailsTheWholeLoadNamingTheKey) {
    const DcfRefusedCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("config.json", c.text);
    ZokConfig config;
    config.trackerCorr = distinctParams();
    config.trackerDcf = distinctDcfParams();

    const LoadOutcome outcome = load(config, path);

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(invalidValueError(c.key, path), outcome.errors);
    EXPECT_EQ(dcfFieldValues(distinctDcfParams()), dcfFieldValues(config.trackerDcf));
    expectSameParams(distinctParams(), config.trackerCorr);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, DcfRefusedValue,
    ::testing::Values(
        DcfRefusedCase{"SectionArray", "{\"TrackerDcf\":[]}", "TrackerDcf"},
        DcfRefusedCase{"SectionNull", "{\"TrackerDcf\":null}", "TrackerDcf"},
        DcfRefusedCase{"NumberAsString", td("\"padding\":\"4\""), "padding"},
        DcfRefusedCase{"IntWithFraction", td("\"gridCells\":48.5"), "gridCells"},
        DcfRefusedCase{"IntAboveRange", td("\"redetectFrames\":2147483648"), "redetectFrames"},
        // Values taken before the refused one must not survive in the record.
        DcfRefusedCase{"AfterValidKeys",
                       td("\"padding\":3,\"gridCells\":32,\"colour\":false,"
                          "\"redetectFrames\":{}"),
                       "redetectFrames"},
        // The first refused key in reading order is named, whatever the order in the file.
        DcfRefusedCase{"FirstInReadingOrderNamed", td("\"scales\":\"x\",\"padding\":\"y\""),
                       "padding"},
        // A refused value in one section refuses the valid values of the other.
        DcfRefusedCase{"DcfValueRefusesCorrSection",
                       "{\"TrackerCorr\":{\"depth\":3,\"threshold\":0.4},"
                       "\"TrackerDcf\":{\"padding\":\"wide\"}}",
                       "padding"},
        DcfRefusedCase{"CorrValueRefusesDcfSection",
                       "{\"TrackerDcf\":{\"padding\":3,\"scales\":9},"
                       "\"TrackerCorr\":{\"depth\":-1}}",
                       "depth"},
        // The "TrackerCorr" keys are read first, whatever the sections' order in the file.
        DcfRefusedCase{"CorrSectionNamedFirst",
                       "{\"TrackerDcf\":{\"padding\":\"x\"},\"TrackerCorr\":{\"depth\":\"y\"}}",
                       "depth"},
        DcfRefusedCase{"CorrSectionRefusedBeforeDcfSection",
                       "{\"TrackerDcf\":[],\"TrackerCorr\":null}", "TrackerCorr"}),
    [](const ::testing::TestParamInfo<DcfRefusedCase>& info) {
        return std::string(info.param.name);
    });

TEST(DcfOverlay, AbsentKeysKeepTheDefaultsAndLaterFilesOverlay) {
    TempDir dir;
    ZokConfig config;
    ASSERT_TRUE(load(config, dir.write("a.json", td("\"padding\":3,\"scales\":9"))).result);
    ASSERT_TRUE(load(config, dir.write("b.json", td("\"scales\":13"))).result);

    DcfParams expected;
    expected.padding = 3.0f;
    expected.scales = 13;
    EXPECT_EQ(dcfFieldValues(expected), dcfFieldValues(config.trackerDcf));
    expectSameParams(TrackerCorr::Params(), config.trackerCorr);
}

TEST(DcfOverlay, BothSectionsOfOneFileAreTaken) {
    TempDir dir;
    ZokConfig config;
    ASSERT_TRUE(load(config, dir.write("both.json", "{\"TrackerDcf\":{\"redetection\":false},"
                                                    "\"TrackerCorr\":{\"zoomFactor\":4}}"))
                    .result);
    EXPECT_FALSE(config.trackerDcf.redetection);
    EXPECT_EQ(4, config.trackerCorr.zoomFactor);
}

} // namespace
} // namespace wyr::zok::testing
