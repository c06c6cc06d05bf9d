// A configuration file, through the tracker it configures, steering by centre offsets.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/config_files.hpp"
#include "geometry/geometry.hpp"
#include "synthetic/synthetic.hpp"
#include "tracker/tracker_corr_impl.hpp"
#include "zok/flight_director.hpp"
#include "zok/zok_config.hpp"

namespace wyr::zok::testing {
namespace {

struct SequenceCase {
    const char* name;
    cv::Size frameSize;
    int type;
};

void PrintTo(const SequenceCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfiguredDirector : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(ConfiguredDirector, FollowsAGeneratedSequenceByOffsets) {
    TempDir dir;
    const std::string path =
        dir.write("zok.json", "{\"TrackerCorr\":{\"searchRadiusFactor\":2,\"threshold\":0.8,"
                              "\"altSearchRadiiFactors\":[4],\"depth\":2,\"zoomFactor\":1,"
                              "\"VarianceFilter\":{\"threshold\":50,\"kSize\":5}}}");
    ZokConfig config;
    const LoadOutcome outcome = load(config, path);
    ASSERT_TRUE(outcome.result) << outcome.errors;

    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(config.trackerCorr);
    // The file's values, not the defaults, must be what the tracker runs with.
    const auto& impl = dynamic_cast<const TrackerCorrImpl&>(*tracker);
    EXPECT_EQ(2.0f, impl.searchRadiusFactor);
    EXPECT_EQ(0.8, impl.threshold);
    EXPECT_EQ(std::vector<float>{4.0f}, impl.altSearchRadiiFactors);
    EXPECT_EQ(2u, impl.history.capacity());
    EXPECT_EQ(50.0, impl.varianceThreshold);
    const cv::Ptr<FlightDirector> director =
        FlightDirector::create(tracker, FlightDirector::TRACKER_CORR);

    synthetic::SceneOptions options;
    options.frameSize = GetParam().frameSize;
    options.targetSize = {41, 31}; // odd, so that a box built from half-sizes covers it exactly
    options.type = GetParam().type;
    options.seed = 11;
    const synthetic::Scene scene(options);
    const std::vector<cv::Point> walk = synthetic::randomWalk(options, {120, 90}, 40, 4, 5);
    const auto truth = [&](size_t frame) {
        return centreOffset(cv::Rect(walk[frame], options.targetSize), options.frameSize);
    };

    director->initAtOffset(scene.render(walk[0]), truth(0), 20, 15);
    cv::Point offset = truth(0);
    for (size_t frame = 1; frame < walk.size(); ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_TRUE(director->updateOffset(scene.render(walk[frame]), offset));
        EXPECT_EQ(truth(frame), offset);
        EXPECT_GE(director->matchScore(0), 0.8);
    }
}

INSTANTIATE_TEST_SUITE_P(Director, ConfiguredDirector,
                         ::testing::Values(SequenceCase{"EvenGrey", {320, 240}, CV_8UC1},
                                           SequenceCase{"OddGrey", {321, 241}, CV_8UC1},
                                           SequenceCase{"OddColour", {321, 241}, CV_8UC3}),
                         [](const ::testing::TestParamInfo<SequenceCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace wyr::zok::testing
