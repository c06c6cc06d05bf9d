// The director over the learned tracker, a tracker of another kind: what it passes through and
// the offsets it derives, frame by frame against the same tracker driven bare.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/geometry.hpp"
#include "synthetic/synthetic.hpp"
#include "zok/flight_director.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok::testing {
namespace {

struct DcfSequenceCase {
    const char* name;
    cv::Size frameSize;
    int type;
    FlightDirector::TrackerType stated;
};

void PrintTo(const DcfSequenceCase& c, std::ostream* os) {
    *os << c.name;
}

class DcfDirector : public ::testing::TestWithParam<DcfSequenceCase> {};

TEST_P(DcfDirector, SteersByTheOffsetsOfTheTrackersOwnBoxes) {
    const DcfSequenceCase& c = GetParam();
    cv::Ptr<TrackerDcf> steered;
    try {
        steered = TrackerDcf::create();
    } catch (const cv::Exception& e) {
        ASSERT_EQ(e.code, cv::Error::StsNotImplemented);
        GTEST_SKIP() << "the learned tracker is not in this build";
    }
    const cv::Ptr<TrackerDcf> bare = TrackerDcf::create();
    const cv::Ptr<FlightDirector> director = FlightDirector::create(steered, c.stated);

    synthetic::SceneOptions options;
    options.frameSize = c.frameSize;
    options.targetSize = {41, 31}; // odd, so that a box built from half-sizes covers it exactly
    options.type = c.type;
    options.seed = 17;
    const synthetic::Scene scene(options);
    const std::vector<cv::Point> walk = synthetic::randomWalk(options, {120, 90}, 30, 4, 9);
    const cv::Point start = centreOffset(cv::Rect(walk[0], options.targetSize), c.frameSize);

    const cv::Mat first = scene.render(walk[0]);
    director->initAtOffset(first, start, 20, 15);
    cv::Rect box = boxAtOffset(start, 20, 15, c.frameSize);
    bare->init(first, box);
    cv::Point offset = start;
    int found = 0;
    for (size_t frame = 1; frame < walk.size(); ++frame) {
        SCOPED_TRACE(frame);
        // A few frames without the target, so that a lost update is passed through as well.
        const cv::Mat image = scene.render(walk[frame], frame < 20 || frame > 23);
        const cv::Point before = offset;
        const bool steeredFound = director->updateOffset(image, offset);
        ASSERT_EQ(bare->update(image, box), steeredFound);
        EXPECT_EQ(bare->confidence(), steered->confidence());
        EXPECT_EQ(steeredFound ? centreOffset(box, c.frameSize) : before, offset);
        // Scores are the correlation tracker's alone, whatever the caller stated.
        EXPECT_EQ(0.0, director->matchScore(0));
        if (steeredFound) {
            ++found;
            const cv::Point truth =
                centreOffset(cv::Rect(walk[frame], options.targetSize), c.frameSize);
            EXPECT_LE(cv::norm(offset - truth), 3.0);
        }
    }
    EXPECT_GE(found, 15);
}

INSTANTIATE_TEST_SUITE_P(
    Director, DcfDirector,
    ::testing::Values(
        DcfSequenceCase{"EvenGrey", {320, 240}, CV_8UC1, FlightDirector::TRACKER_OTHER},
        DcfSequenceCase{"OddColour", {321, 241}, CV_8UC3, FlightDirector::TRACKER_OTHER},
        DcfSequenceCase{"StatedAsCorr", {320, 240}, CV_8UC1, FlightDirector::TRACKER_CORR}),
    [](const ::testing::TestParamInfo<DcfSequenceCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
} // namespace wyr::zok::testing
