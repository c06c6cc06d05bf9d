// The director's conversions between boxes and centre offsets, and what it passes through.
#include <climits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "director/fake_trackers.hpp"
#include "zok/flight_director.hpp"

namespace wyr::zok::testing {
namespace {

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

struct BoxCase {
    const char* name;
    cv::Size image;
    cv::Point offset;
    int halfWidth;
    int halfHeight;
    cv::Rect box;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.name;
}

class InitAtOffset : public ::testing::TestWithParam<BoxCase> {};

TEST_P(InitAtOffset, StartsTheTrackerOnTheCentredBoxAndGivesTheOffsetBack) {
    const BoxCase& c = GetParam();
    const auto tracker = cv::makePtr<ScriptedTracker>();
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);
    const cv::Mat image(c.image, CV_8UC1, cv::Scalar(0));

    director->initAtOffset(image, c.offset, c.halfWidth, c.halfHeight);

    ASSERT_EQ(1u, tracker->initBoxes.size());
    EXPECT_EQ(c.box, tracker->initBoxes[0]);
    EXPECT_EQ(image.data, tracker->lastPixels);
    EXPECT_EQ(0, tracker->updates);

    tracker->echo = true;
    cv::Point offset(12345, 12345);
    EXPECT_TRUE(director->updateOffset(image, offset));
    EXPECT_EQ(c.offset, offset);
}

INSTANTIATE_TEST_SUITE_P(
    Director, InitAtOffset,
    ::testing::Values(
        BoxCase{"EvenImage", {640, 480}, {0, 0}, 10, 10, {310, 230, 21, 21}},
        BoxCase{"OddImage", {641, 481}, {0, 0}, 10, 10, {310, 230, 21, 21}},
        BoxCase{"SmallEvenImage", {100, 50}, {-5, 7}, 3, 2, {42, 30, 7, 5}},
        BoxCase{"SmallOddImage", {101, 51}, {-5, 7}, 3, 2, {42, 30, 7, 5}},
        BoxCase{"ZeroHalves", {640, 480}, {3, -4}, 0, 0, {323, 236, 1, 1}},
        BoxCase{"OnePixelImage", {1, 1}, {0, 0}, 0, 0, {0, 0, 1, 1}},
        // Not checked here: the tracker's init decides about such boxes.
        BoxCase{"NegativeHalfWidth", {640, 480}, {0, 0}, -1, 2, {321, 238, -1, 5}},
        BoxCase{"OutsideTheImage", {20, 10}, {-30, 0}, 2, 2, {-22, 3, 5, 5}},
        BoxCase{"FarEdgeAtIntMax", {640, 480}, {INT_MAX - 321, 0}, 0, 0, {INT_MAX - 1, 240, 1, 1}}),
    caseName<BoxCase>);

class BoxBeyondInt : public ::testing::TestWithParam<BoxCase> {};

// Such a box would overflow int arithmetic, here or in the tracker's own test of the box.
TEST_P(BoxBeyondInt, IsRefusedBeforeTheTrackerSeesIt) {
    const BoxCase& c = GetParam();
    const auto tracker = cv::makePtr<ScriptedTracker>();
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);
    const cv::Mat image(c.image, CV_8UC1, cv::Scalar(0));

    try {
        director->initAtOffset(image, c.offset, c.halfWidth, c.halfHeight);
        ADD_FAILURE() << "no error raised";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(cv::Error::StsOutOfRange, e.code);
    }
    EXPECT_TRUE(tracker->initBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Director, BoxBeyondInt,
    ::testing::Values(BoxCase{"HalfWidthMax", {640, 480}, {0, 0}, INT_MAX, 0, {}},
                      BoxCase{"HalfHeightMin", {640, 480}, {0, 0}, 0, INT_MIN, {}},
                      BoxCase{"OffsetXMax", {640, 480}, {INT_MAX, 0}, 0, 0, {}},
                      BoxCase{"TopEdgeBelowMin", {640, 480}, {0, INT_MIN}, 0, 241, {}},
                      BoxCase{"FarEdgeOnePast", {640, 480}, {INT_MAX - 320, 0}, 0, 0, {}},
                      BoxCase{"FarEdgeOfWideBox", {640, 480}, {INT_MAX - 400, 0}, 200, 0, {}},
                      BoxCase{"LowerEdge", {640, 480}, {0, INT_MAX - 250}, 0, 20, {}}),
    caseName<BoxCase>);

struct OffsetCase {
    const char* name;
    cv::Size image;
    cv::Rect found;
    cv::Point offset;
};

void PrintTo(const OffsetCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdateOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(UpdateOffset, WritesTheFoundBoxCentreRelativeToTheImageCentre) {
    const OffsetCase& c = GetParam();
    const auto tracker = cv::makePtr<ScriptedTracker>();
    tracker->box = c.found;
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);
    const cv::Mat image(c.image, CV_8UC3, cv::Scalar::all(0));

    cv::Point offset(12345, 12345);
    EXPECT_TRUE(director->updateOffset(image, offset));

    EXPECT_EQ(c.offset, offset);
    EXPECT_EQ(image.data, tracker->lastPixels);
}

INSTANTIATE_TEST_SUITE_P(
    Director, UpdateOffset,
    ::testing::Values(
        OffsetCase{"EvenBoxEvenImage", {640, 480}, {100, 60, 40, 30}, {-200, -165}},
        OffsetCase{"OddBoxEvenImage", {640, 480}, {100, 60, 41, 31}, {-200, -165}},
        OffsetCase{"EvenBoxOddImage", {641, 481}, {100, 60, 40, 30}, {-200, -165}},
        OffsetCase{"CentrePixel", {101, 51}, {50, 25, 1, 1}, {0, 0}},
        // The centre of an even side is the right-hand (lower) of its two middle pixels.
        OffsetCase{"EvenSideTakesLaterMiddle", {100, 50}, {49, 24, 2, 2}, {0, 0}},
        OffsetCase{"TopLeftPixel", {640, 480}, {0, 0, 1, 1}, {-320, -240}},
        OffsetCase{"NegativeCorner", {10, 10}, {-3, -3, 4, 4}, {-6, -6}},
        // Halving rounds towards minus infinity: -3 halves to -2, not -1.
        OffsetCase{"NegativeSizeHalvesDown", {10, 10}, {5, 5, -3, -3}, {-2, -2}}),
    caseName<OffsetCase>);

// A tracker of any kind may answer a box whose centre lies beyond int from the image centre.
TEST(UpdateOffsetBeyondInt, IsRefusedAndLeavesTheOffsetAlone) {
    for (const cv::Rect& found :
         {cv::Rect(INT_MAX - 1, 0, 1000, 10), cv::Rect(0, INT_MAX, 1, INT_MAX),
          cv::Rect(INT_MIN, 0, 4, 4), cv::Rect(0, INT_MIN, 4, -5)}) {
        const auto tracker = cv::makePtr<ScriptedTracker>();
        tracker->box = found;
        const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);
        const cv::Mat image(480, 640, CV_8UC1, cv::Scalar(0));

        cv::Point offset(7, -9);
        try {
            director->updateOffset(image, offset);
            ADD_FAILURE() << "accepted " << found;
        } catch (const cv::Exception& e) {
            EXPECT_EQ(cv::Error::StsOutOfRange, e.code);
        }
        EXPECT_EQ(cv::Point(7, -9), offset);
    }
}

TEST(UpdateOffsetFailure, LeavesTheOffsetAlone) {
    const auto tracker = cv::makePtr<ScriptedTracker>();
    tracker->found = false;
    tracker->box = cv::Rect(100, 60, 40, 30);
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);
    const cv::Mat image(480, 640, CV_8UC1, cv::Scalar(0));

    cv::Point offset(7, -9);
    EXPECT_FALSE(director->updateOffset(image, offset));
    EXPECT_EQ(cv::Point(7, -9), offset);
    EXPECT_EQ(1, tracker->updates);
}

TEST(PassThrough, InitAndUpdateReachTheTrackerUnchanged) {
    const auto tracker = cv::makePtr<ScriptedTracker>();
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_CORR);
    const cv::Mat image(480, 640, CV_8UC1, cv::Scalar(0));

    director->init(image, cv::Rect(1, 2, 3, 4));
    ASSERT_EQ(1u, tracker->initBoxes.size());
    EXPECT_EQ(cv::Rect(1, 2, 3, 4), tracker->initBoxes[0]);

    for (const bool found : {true, false}) {
        tracker->found = found;
        tracker->box = cv::Rect(5, 6, 7, 8);
        cv::Rect box;
        EXPECT_EQ(found, director->update(image, box));
        EXPECT_EQ(cv::Rect(5, 6, 7, 8), box);
        EXPECT_EQ(image.data, tracker->lastPixels);
    }
}

TEST(PassThrough, TrackerErrorsReachTheCaller) {
    const auto director = FlightDirector::create(TrackerCorr::create(TrackerCorr::Params()),
                                                 FlightDirector::TRACKER_CORR);
    const cv::Mat image(48, 64, CV_8UC1, cv::Scalar(0));
    EXPECT_THROW(director->initAtOffset(image, cv::Point(30, 0), 5, 5), cv::Exception);
}

TEST(Create, RefusesAnEmptyTracker) {
    try {
        FlightDirector::create(cv::Ptr<cv::Tracker>(), FlightDirector::TRACKER_CORR);
        ADD_FAILURE() << "no error raised";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(cv::Error::StsNullPtr, e.code);
    }
}

TEST(Create, SharesTheTrackersLifetime) {
    cv::Ptr<cv::Tracker> tracker = cv::makePtr<ScriptedTracker>();
    const std::weak_ptr<cv::Tracker> watch = tracker;
    cv::Ptr<FlightDirector> director =
        FlightDirector::create(tracker, FlightDirector::TRACKER_OTHER);

    tracker.reset();
    EXPECT_FALSE(watch.expired());
    director.reset();
    EXPECT_TRUE(watch.expired());
}

struct ScoreCase {
    size_t index;
    double score;
};

void PrintTo(const ScoreCase& c, std::ostream* os) {
    *os << "index " << c.index;
}

class MatchScore : public ::testing::TestWithParam<ScoreCase> {};

// Indices are compared unsigned and whole: no wrap to a negative, no cut to 32 bits.
TEST_P(MatchScore, ReadsTheCorrelationTrackersListByIndex) {
    const auto director = FlightDirector::create(cv::makePtr<ScriptedCorr>(std::vector{0.9, 0.5}),
                                                 FlightDirector::TRACKER_CORR);
    EXPECT_EQ(GetParam().score, director->matchScore(GetParam().index));
}

INSTANTIATE_TEST_SUITE_P(Director, MatchScore,
                         ::testing::Values(ScoreCase{0, 0.9}, ScoreCase{1, 0.5}, ScoreCase{2, 0.0},
                                           ScoreCase{size_t(1) << 32, 0.0},
                                           ScoreCase{SIZE_MAX, 0.0}));

class OtherTrackerType : public ::testing::TestWithParam<int> {};

TEST_P(OtherTrackerType, HasNoScores) {
    const auto type = FlightDirector::TrackerType(GetParam());
    const auto director =
        FlightDirector::create(cv::makePtr<ScriptedCorr>(std::vector{0.9, 0.5}), type);
    for (const size_t index : {size_t(0), size_t(1), size_t(2)}) {
        EXPECT_EQ(0.0, director->matchScore(index));
    }
}

INSTANTIATE_TEST_SUITE_P(Director, OtherTrackerType,
                         ::testing::Values(int(FlightDirector::TRACKER_OTHER), 7, -1, INT_MIN));

// The type is the caller's word only; a tracker of another kind must not be read as one.
TEST(MatchScoreOfMislabelledTracker, IsZero) {
    const auto director =
        FlightDirector::create(cv::makePtr<ScriptedTracker>(), FlightDirector::TRACKER_CORR);
    EXPECT_EQ(0.0, director->matchScore(0));
}

TEST(MatchScoreOfCorrelationTracker, FollowsItsSearches) {
    TrackerCorr::Params params;
    params.threshold = 1.5; // never reached, so the wider search is always tried
    params.altSearchRadiiFactors = {8.0f};
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const auto director = FlightDirector::create(tracker, FlightDirector::TRACKER_CORR);
    cv::Mat image(120, 160, CV_8UC1);
    cv::RNG(3).fill(image, cv::RNG::UNIFORM, 0, 256);

    director->initAtOffset(image, cv::Point(0, 0), 8, 8);
    for (const size_t index : {size_t(0), size_t(1)}) {
        EXPECT_EQ(0.0, director->matchScore(index));
    }

    cv::Point offset;
    EXPECT_FALSE(director->updateOffset(image, offset));
    const std::vector<double>& scores = tracker->matches();
    ASSERT_EQ(2u, scores.size());
    EXPECT_GT(scores[0], 0.0);
    EXPECT_EQ(scores[0], director->matchScore(0));
    EXPECT_EQ(scores[1], director->matchScore(1));
    EXPECT_EQ(0.0, director->matchScore(2));
}

} // namespace
} // namespace wyr::zok::testing
