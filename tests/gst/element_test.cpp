// The element in a GstHarness: tracking videotestsrc's ball, agreement with the tracker driven
// directly, restarts, changes of frame size, refused values and caps.
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "harness.hpp"
#include "recommended_config.hpp"
#include "zok/flight_director.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"
#include "zoktrack.hpp"

namespace {

using zok_gst_test::ballFrames;
using zok_gst_test::brightBox;
using zok_gst_test::TrackHarness;

const int kWidth = 320, kHeight = 240;

std::string caps(const std::string& format, int width = kWidth, int height = kHeight) {
    return "video/x-raw,format=" + format + ",width=" + std::to_string(width) +
           ",height=" + std::to_string(height) + ",framerate=30/1";
}

std::string boxText(const cv::Rect& box) {
    return std::to_string(box.x) + "," + std::to_string(box.y) + "," + std::to_string(box.width) +
           "," + std::to_string(box.height);
}

cv::Rect metaBox(const ZokTrackMeta& meta) {
    return {meta.x, meta.y, meta.width, meta.height};
}

// The ball's box in `frame`, a margin wider so that the template holds some background.
cv::Rect ballStart(const cv::Mat& frame) {
    const cv::Rect ball = brightBox(frame);
    return (ball + cv::Size(8, 8) - cv::Point(4, 4)) & cv::Rect(0, 0, frame.cols, frame.rows);
}

// ---------------------------------------------------------------------------------------------
// The ball, in every format the element takes.

struct BallCase {
    const char* tracker;
    const char* format;
};

class FollowsBall : public ::testing::TestWithParam<BallCase> {};

TEST_P(FollowsBall, BoxesStayOnTheBall) {
    const BallCase c = GetParam();
    const std::vector<cv::Mat> frames = ballFrames(caps(c.format), 60);
    TrackHarness t;
    t.setCaps(caps(c.format));
    gst_util_set_object_arg(G_OBJECT(t.element()), "tracker", c.tracker);
    bool hadMeta = true;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    EXPECT_FALSE(hadMeta) << "no track set yet, so no meta";

    const cv::Rect start = ballStart(frames[1]);
    g_object_set(t.element(), "box", boxText(start).c_str(), nullptr);
    t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.started);
    EXPECT_EQ(metaBox(meta), start);

    int moved = 0;
    double errorSum = 0;
    for (size_t k = 2; k < frames.size(); ++k) {
        t.pushFrame(frames[k], hadMeta, meta);
        ASSERT_TRUE(hadMeta) << "frame " << k;
        ASSERT_TRUE(meta.found) << "frame " << k;
        EXPECT_FALSE(meta.started);
        // Centres, since the learned tracker may also resize the box.
        const cv::Rect ball = brightBox(frames[k]);
        const cv::Point2d truth(ball.x + ball.width / 2.0, ball.y + ball.height / 2.0);
        const cv::Point2d centre(meta.x + meta.width / 2.0, meta.y + meta.height / 2.0);
        EXPECT_LE(std::abs(centre.x - truth.x), 5) << "frame " << k;
        EXPECT_LE(std::abs(centre.y - truth.y), 5) << "frame " << k;
        errorSum += cv::norm(centre - truth);
        moved = std::max(moved, int(cv::norm(ball.tl() - start.tl())));
    }
    EXPECT_LT(errorSum / double(frames.size() - 2), 3.0) << "mean distance from the ball";
    EXPECT_GT(moved, 40) << "the ball should have travelled, or the test proves nothing";
}

INSTANTIATE_TEST_SUITE_P(TrackersAndFormats, FollowsBall,
                         ::testing::Values(BallCase{"corr", "BGR"}, BallCase{"corr", "GRAY8"},
                                           BallCase{"corr", "BGRx"}, BallCase{"dcf", "BGR"},
                                           BallCase{"dcf", "GRAY8"}, BallCase{"dcf", "BGRx"}),
                         [](const auto& info) {
                             return std::string(info.param.tracker) + "_" + info.param.format;
                         });

// ---------------------------------------------------------------------------------------------
// The meta and the message against the tracker driven directly on the same frames.

struct AgreeCase {
    const char* tracker;
    const char* format;
    bool garbagePadding; // BGRx: fill the padding byte with noise, which must not count
};

class AgreesWithTracker : public ::testing::TestWithParam<AgreeCase> {};

TEST_P(AgreesWithTracker, MetaAndMessageMatchTheBareTracker) {
    const AgreeCase c = GetParam();
    std::vector<cv::Mat> frames = ballFrames(caps(c.format), 40);
    std::vector<cv::Mat> bgr(frames.size());
    cv::RNG rng(7);
    for (size_t k = 0; k < frames.size(); ++k) {
        if (frames[k].channels() == 4) {
            cv::cvtColor(frames[k], bgr[k], cv::COLOR_BGRA2BGR);
            if (c.garbagePadding) {
                cv::Mat noise(frames[k].size(), CV_8UC1);
                rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
                const int fromTo[] = {0, 3};
                cv::mixChannels(&noise, 1, &frames[k], 1, fromTo, 1);
            }
        } else {
            bgr[k] = frames[k];
        }
    }
    const cv::Rect start = ballStart(frames[0]);

    TrackHarness t;
    t.setCaps(caps(c.format));
    gst_util_set_object_arg(G_OBJECT(t.element()), "tracker", c.tracker);
    g_object_set(t.element(), "box", boxText(start).c_str(), nullptr);
    std::vector<ZokTrackMeta> metas;
    for (const cv::Mat& frame : frames) {
        bool hadMeta = false;
        ZokTrackMeta meta{};
        const cv::Mat out = t.pushFrame(frame, hadMeta, meta);
        ASSERT_TRUE(hadMeta);
        EXPECT_EQ(cv::norm(out, frame, cv::NORM_INF), 0.0) << "without draw, pixels pass unchanged";
        metas.push_back(meta);
    }
    const std::vector<GstStructure*> reports = t.takeReports();
    ASSERT_EQ(reports.size(), frames.size());

    const bool corr = std::string(c.tracker) == "corr";
    cv::Ptr<wyr::zok::TrackerCorr> tracker;
    cv::Ptr<wyr::zok::TrackerDcf> dcf;
    cv::Ptr<wyr::zok::FlightDirector> director;
    if (corr) {
        tracker = wyr::zok::TrackerCorr::create(zok_track::recommendedParams());
        director =
            wyr::zok::FlightDirector::create(tracker, wyr::zok::FlightDirector::TRACKER_CORR);
    } else {
        dcf = wyr::zok::TrackerDcf::create();
        director = wyr::zok::FlightDirector::create(dcf, wyr::zok::FlightDirector::TRACKER_OTHER);
    }
    director->init(bgr[0], start);
    cv::Rect box = start;
    for (size_t k = 0; k < frames.size(); ++k) {
        bool found = true;
        std::vector<double> scores;
        double confidence = 1.0;
        if (k > 0) {
            cv::Rect updated;
            found = director->update(bgr[k], updated);
            box = found ? updated : box;
            if (corr) {
                scores = tracker->matches();
                confidence = scores.empty() ? 0.0 : scores.back();
            } else {
                confidence = dcf->confidence();
            }
        }
        const ZokTrackMeta& meta = metas[k];
        EXPECT_EQ(bool(meta.found), found) << "frame " << k;
        EXPECT_EQ(bool(meta.started), k == 0) << "frame " << k;
        EXPECT_EQ(metaBox(meta), box) << "frame " << k;
        const cv::Point offset = box.tl() + cv::Point(box.width / 2, box.height / 2) -
                                 cv::Point(kWidth / 2, kHeight / 2);
        EXPECT_EQ(cv::Point(meta.offset_x, meta.offset_y), offset) << "frame " << k;
        ASSERT_EQ(meta.n_scores, scores.size()) << "frame " << k;
        for (size_t i = 0; i < scores.size(); ++i) {
            EXPECT_EQ(meta.scores[i], scores[i]) << "frame " << k;
        }
        EXPECT_EQ(meta.confidence, confidence) << "frame " << k;
        EXPECT_EQ(meta.frame, k);

        // The message says what the meta says.
        const GstStructure* s = reports[k];
        gboolean mFound = FALSE, mStarted = FALSE;
        int x = 0, y = 0, width = 0, height = 0, ox = 0, oy = 0;
        double messageConfidence = -1;
        guint64 frame = 99;
        ASSERT_TRUE(gst_structure_get(
            s, "found", G_TYPE_BOOLEAN, &mFound, "started", G_TYPE_BOOLEAN, &mStarted, "x",
            G_TYPE_INT, &x, "y", G_TYPE_INT, &y, "width", G_TYPE_INT, &width, "height", G_TYPE_INT,
            &height, "offset-x", G_TYPE_INT, &ox, "offset-y", G_TYPE_INT, &oy, "confidence",
            G_TYPE_DOUBLE, &messageConfidence, "frame", G_TYPE_UINT64, &frame, nullptr));
        EXPECT_EQ(bool(mFound), bool(meta.found));
        EXPECT_EQ(bool(mStarted), bool(meta.started));
        EXPECT_EQ(cv::Rect(x, y, width, height), metaBox(meta));
        EXPECT_EQ(cv::Point(ox, oy), cv::Point(meta.offset_x, meta.offset_y));
        EXPECT_EQ(messageConfidence, meta.confidence);
        EXPECT_EQ(frame, meta.frame);
        const GValue* array = gst_structure_get_value(s, "scores");
        ASSERT_NE(array, nullptr);
        ASSERT_EQ(gst_value_array_get_size(array), meta.n_scores);
        for (guint i = 0; i < meta.n_scores; ++i) {
            EXPECT_EQ(g_value_get_double(gst_value_array_get_value(array, i)), meta.scores[i]);
        }
        guint64 updateNs = 0;
        EXPECT_TRUE(gst_structure_get_uint64(s, "update-ns", &updateNs));
        EXPECT_EQ(updateNs, meta.update_ns);
    }
    for (GstStructure* s : reports) {
        gst_structure_free(s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AgreesWithTracker,
    ::testing::Values(AgreeCase{"corr", "BGR", false}, AgreeCase{"corr", "GRAY8", false},
                      AgreeCase{"corr", "BGRx", true}, AgreeCase{"dcf", "BGR", false},
                      AgreeCase{"dcf", "GRAY8", false}, AgreeCase{"dcf", "BGRx", true}));

// ---------------------------------------------------------------------------------------------
// Restarts and resets, by every way a request can reach the element.

enum class Route { PROPERTY, DOWNSTREAM_EVENT, UPSTREAM_EVENT, APPLICATION_MESSAGE };

struct RestartCase {
    const char* name;
    Route route;
    const char* request; // a GstStructure text, or for PROPERTY "name=value"
    bool drops;          // the request ends the track rather than moving it
};

void send(TrackHarness& t, Route route, const std::string& text) {
    if (route == Route::PROPERTY) {
        const size_t equals = text.find('=');
        const std::string name = text.substr(0, equals), value = text.substr(equals + 1);
        if (name == "reset") {
            g_object_set(t.element(), "reset", TRUE, nullptr);
        } else {
            g_object_set(t.element(), name.c_str(), value.c_str(), nullptr);
        }
        return;
    }
    GstStructure* s = gst_structure_from_string(text.c_str(), nullptr);
    ASSERT_NE(s, nullptr) << text;
    switch (route) {
    case Route::DOWNSTREAM_EVENT:
        EXPECT_TRUE(gst_harness_push_event(t.harness(),
                                           gst_event_new_custom(GST_EVENT_CUSTOM_DOWNSTREAM, s)));
        break;
    case Route::UPSTREAM_EVENT:
        EXPECT_TRUE(gst_harness_push_upstream_event(
            t.harness(), gst_event_new_custom(GST_EVENT_CUSTOM_UPSTREAM, s)));
        break;
    case Route::APPLICATION_MESSAGE:
        EXPECT_TRUE(gst_element_post_message(
            t.element(), gst_message_new_application(GST_OBJECT(t.element()), s)));
        break;
    case Route::PROPERTY:
        break;
    }
}

class Restarts : public ::testing::TestWithParam<RestartCase> {};

// The requested box: 31 x 31 pixels with its centre 10 pixels left of and above the frame's
// centre pixel (160, 120), as each request below describes it.
const cv::Rect kMovedBox(135, 95, 31, 31);

TEST_P(Restarts, TakenOnTheNextFrame) {
    const RestartCase c = GetParam();
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 8);
    TrackHarness t;
    t.setCaps(caps("BGR"));
    // A half-size alone starts nothing; it waits for an offset.
    g_object_set(t.element(), "box", boxText(ballStart(frames[0])).c_str(), "half-size", "15,15",
                 nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    for (int k = 0; k < 4; ++k) {
        t.pushFrame(frames[k], hadMeta, meta);
        ASSERT_TRUE(hadMeta);
        ASSERT_TRUE(meta.found);
    }
    send(t, c.route, c.request);
    t.pushFrame(frames[4], hadMeta, meta);
    if (c.drops) {
        EXPECT_FALSE(hadMeta);
        t.pushFrame(frames[5], hadMeta, meta);
        EXPECT_FALSE(hadMeta) << "the track stays dropped";
        return;
    }
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.started);
    EXPECT_TRUE(meta.found);
    EXPECT_EQ(metaBox(meta), kMovedBox);
    EXPECT_EQ(cv::Point(meta.offset_x, meta.offset_y), cv::Point(-10, -10));
    t.pushFrame(frames[5], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_FALSE(meta.started) << "a request is taken once";
}

INSTANTIATE_TEST_SUITE_P(
    Routes, Restarts,
    ::testing::Values(
        RestartCase{"BoxProperty", Route::PROPERTY, "box=135,95,31,31", false},
        RestartCase{"OffsetProperty", Route::PROPERTY, "offset=-10,-10", false},
        RestartCase{"ResetProperty", Route::PROPERTY, "reset=true", true},
        RestartCase{"DownstreamBoxString", Route::DOWNSTREAM_EVENT,
                    "zoktrack-start, box=(string)\"135,95,31,31\"", false},
        RestartCase{"DownstreamBoxIntegers", Route::DOWNSTREAM_EVENT,
                    "zoktrack-start, x=(int)135, y=(int)95, width=(int)31, height=(int)31", false},
        RestartCase{"UpstreamOffset", Route::UPSTREAM_EVENT,
                    "zoktrack-start, offset=(string)\"-10,-10\", half-size=(string)\"15,15\"",
                    false},
        RestartCase{"UpstreamReset", Route::UPSTREAM_EVENT, "zoktrack-reset", true},
        RestartCase{"ApplicationBox", Route::APPLICATION_MESSAGE,
                    "zoktrack-start, box=(string)\"135,95,31,31\"", false},
        RestartCase{"ApplicationReset", Route::APPLICATION_MESSAGE, "zoktrack-reset", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Restarts, OffsetPropertiesStartOnceBothAreSet) {
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 3);
    TrackHarness t;
    t.setCaps(caps("BGR"));
    bool hadMeta = true;
    ZokTrackMeta meta{};
    g_object_set(t.element(), "offset", "-10,-10", nullptr);
    t.pushFrame(frames[0], hadMeta, meta);
    EXPECT_FALSE(hadMeta) << "an offset without a half-size starts nothing";
    g_object_set(t.element(), "half-size", "15,15", nullptr);
    t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_EQ(metaBox(meta), kMovedBox);
}

TEST(Restarts, EachStreamStartsFromTheStartPropertiesSetLast) {
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 4);
    const cv::Rect ball = ballStart(frames[0]);
    TrackHarness t;
    auto restartStream = [&t] {
        for (const GstState state : {GST_STATE_READY, GST_STATE_PLAYING}) {
            ASSERT_NE(gst_element_set_state(t.element(), state), GST_STATE_CHANGE_FAILURE);
        }
        t.setCaps(caps("BGR"));
    };
    t.setCaps(caps("BGR"));
    g_object_set(t.element(), "box", boxText(ball).c_str(), "offset", "-10,-10", "half-size",
                 "15,15", nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_EQ(metaBox(meta), kMovedBox);

    // A new stream starts the track again from the properties, not from where it was.
    restartStream();
    t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.started);
    EXPECT_EQ(metaBox(meta), kMovedBox) << "the offset was set after the box";
    EXPECT_EQ(meta.frame, 0u) << "frames count from the stream's start";

    g_object_set(t.element(), "box", boxText(ball).c_str(), nullptr);
    restartStream();
    t.pushFrame(frames[2], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.started);
    EXPECT_EQ(metaBox(meta), ball) << "the box was set last";
}

TEST(Restarts, RefusedRequestKeepsTheTrack) {
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 3);
    TrackHarness t;
    t.setCaps(caps("BGR"));
    g_object_set(t.element(), "box", boxText(ballStart(frames[0])).c_str(), nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    GstStructure* s = gst_structure_from_string("zoktrack-start, box=(string)\"1,2,3\"", nullptr);
    EXPECT_FALSE(
        gst_harness_push_event(t.harness(), gst_event_new_custom(GST_EVENT_CUSTOM_DOWNSTREAM, s)));
    const std::vector<std::string> warnings = t.takeTexts(GST_MESSAGE_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("refused start request"), std::string::npos) << warnings[0];
    t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.found);
    EXPECT_FALSE(meta.started);
}

// ---------------------------------------------------------------------------------------------
// A change of frame size restarts the track at its box scaled to the new size.

TEST(FrameSize, ChangeRestartsAtTheScaledBox) {
    // The same scene at twice the size, as a camera switching modes would give it.
    const std::vector<cv::Mat> small = ballFrames(caps("BGR"), 10);
    std::vector<cv::Mat> large(small.size());
    for (size_t k = 0; k < small.size(); ++k) {
        cv::resize(small[k], large[k], {}, 2, 2, cv::INTER_NEAREST);
    }
    TrackHarness t;
    t.setCaps(caps("BGR"));
    g_object_set(t.element(), "box", boxText(ballStart(small[0])).c_str(), nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    for (int k = 0; k < 6; ++k) {
        t.pushFrame(small[k], hadMeta, meta);
        ASSERT_TRUE(meta.found);
    }
    const cv::Rect last = metaBox(meta);
    t.setCaps(caps("BGR", 2 * kWidth, 2 * kHeight));
    t.pushFrame(large[6], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_TRUE(meta.started);
    EXPECT_EQ(metaBox(meta), cv::Rect(2 * last.x, 2 * last.y, 2 * last.width, 2 * last.height));
    // From there the box follows the ball, keeping the distance it restarted at.
    const cv::Point restartedAt = cv::Point(meta.x, meta.y) - brightBox(large[6]).tl();
    for (int k = 7; k < 10; ++k) {
        t.pushFrame(large[k], hadMeta, meta);
        ASSERT_TRUE(hadMeta);
        EXPECT_TRUE(meta.found);
        EXPECT_FALSE(meta.started);
        const cv::Point drift = cv::Point(meta.x, meta.y) - brightBox(large[k]).tl() - restartedAt;
        EXPECT_LE(cv::norm(drift), 4.0) << "frame " << k;
    }
}

// ---------------------------------------------------------------------------------------------
// Start boxes that do not lie inside the frame.

struct OutsideCase {
    const char* name;
    const char* property;
    const char* value;
};

class StartOutside : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(StartOutside, ReportsNotFoundAndWarns) {
    const OutsideCase c = GetParam();
    const std::vector<cv::Mat> frames = ballFrames(caps("GRAY8"), 3);
    TrackHarness t;
    t.setCaps(caps("GRAY8"));
    if (std::string(c.property) == "offset") {
        g_object_set(t.element(), "half-size", "10,10", nullptr);
    }
    g_object_set(t.element(), c.property, c.value, nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_FALSE(meta.found);
    EXPECT_FALSE(meta.started);
    const TrackHarness::Problems posted = t.takeProblems();
    EXPECT_TRUE(posted.errors.empty());
    ASSERT_EQ(posted.warnings.size(), 1u);
    EXPECT_NE(posted.warnings[0].find("does not lie inside the frame (320 x 240)"),
              std::string::npos)
        << posted.warnings[0];
    t.pushFrame(frames[1], hadMeta, meta);
    EXPECT_FALSE(hadMeta) << "no track follows a refused start";
    EXPECT_TRUE(t.takeProblems().errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Boxes, StartOutside,
                         ::testing::Values(OutsideCase{"Beyond", "box", "400,300,20,20"},
                                           OutsideCase{"AcrossRightEdge", "box", "310,100,20,20"},
                                           OutsideCase{"AcrossTopEdge", "box", "100,-1,20,20"},
                                           OutsideCase{"HugeFarEdge", "box",
                                                       "100,100,536870911,20"},
                                           OutsideCase{"OffsetPastEdge", "offset", "150,0"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Values refused when set: a warning on the bus, the old value kept, the element still tracking.

struct BadValueCase {
    const char* name;
    const char* property;
    const char* value;    // a path under the test's folder when it starts with '@'
    const char* contents; // for '@' values: the file's text
    const char* message;  // part of the warning's text
};

class BadValue : public ::testing::TestWithParam<BadValueCase> {};

TEST_P(BadValue, RefusedWithWarningAndElementStillUsable) {
    const BadValueCase c = GetParam();
    std::string value = c.value;
    if (value[0] == '@') {
        value = testing::TempDir() + value.substr(1);
        std::ofstream(value) << c.contents;
    }
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 4);
    const cv::Rect start = ballStart(frames[0]);
    TrackHarness t;
    t.setCaps(caps("BGR"));
    g_object_set(t.element(), "box", boxText(start).c_str(), "offset", "1,2", nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    gchar* before = nullptr;
    g_object_get(t.element(), c.property, &before, nullptr);

    g_object_set(t.element(), c.property, value.c_str(), nullptr);
    const TrackHarness::Problems posted = t.takeProblems();
    EXPECT_TRUE(posted.errors.empty()) << "a bad value is no stream error";
    const std::vector<std::string>& warnings = posted.warnings;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.message), std::string::npos) << warnings[0];
    gchar* after = nullptr;
    g_object_get(t.element(), c.property, &after, nullptr);
    EXPECT_STREQ(after, before) << "a refused value leaves the property as it was";
    g_free(before);
    g_free(after);

    for (int k = 1; k < 4; ++k) {
        t.pushFrame(frames[k], hadMeta, meta);
        ASSERT_TRUE(hadMeta);
        EXPECT_TRUE(meta.found);
        EXPECT_FALSE(meta.started) << "the refused value started nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Properties, BadValue,
    ::testing::Values(
        BadValueCase{"BoxLetters", "box", "a,b,c,d", "", "invalid value for box: 'a,b,c,d'"},
        BadValueCase{"BoxThreeNumbers", "box", "1,2,3", "", "invalid value for box: '1,2,3'"},
        BadValueCase{"BoxFiveNumbers", "box", "1,2,3,4,5", "", "invalid value for box"},
        BadValueCase{"BoxZeroWidth", "box", "1,2,0,4", "", "positive width and height"},
        BadValueCase{"BoxTrailingComma", "box", "1,2,3,4,", "", "invalid value for box"},
        BadValueCase{"BoxHex", "box", "0x10,2,3,4", "", "invalid value for box"},
        BadValueCase{"BoxOverflow", "box", "1,2,99999999999,4", "", "invalid value for box"},
        BadValueCase{"OffsetOneNumber", "offset", "7", "", "invalid value for offset: '7'"},
        BadValueCase{"HalfSizeNegative", "half-size", "-1,2", "", "neither negative"},
        BadValueCase{"ConfigMissing", "config", "/nonexistent/zok.json", "",
                     "configuration file '/nonexistent/zok.json' was refused"},
        BadValueCase{"ConfigNotJson", "config", "@bad.json", "{\"TrackerCorr\": {", "refused"},
        BadValueCase{"ConfigWrongType", "config", "@wrong.json",
                     "{\"TrackerCorr\": {\"threshold\": \"high\"}}", "refused"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadValue, RefusedBeforeThereIsABusIsReportedOnStart) {
    GstElement* element = gst_element_factory_make("zoktrack", nullptr);
    ASSERT_NE(element, nullptr);
    g_object_set(element, "box", "1,2", nullptr);
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(element, bus);
    ASSERT_EQ(gst_element_set_state(element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    const auto problems = GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING);
    GstMessage* message = gst_bus_pop_filtered(bus, problems);
    ASSERT_NE(message, nullptr);
    ASSERT_EQ(GST_MESSAGE_TYPE(message), GST_MESSAGE_WARNING);
    EXPECT_EQ(gst_bus_pop_filtered(bus, problems), nullptr);
    GError* error = nullptr;
    gst_message_parse_warning(message, &error, nullptr);
    EXPECT_NE(std::string(error->message).find("invalid value for box: '1,2'"), std::string::npos)
        << error->message;
    g_error_free(error);
    gst_message_unref(message);
    gst_element_set_state(element, GST_STATE_NULL);
    gst_element_set_bus(element, nullptr);
    gst_object_unref(bus);
    gst_object_unref(element);
}

// A value refused while a real pipeline starts or plays is no failure of the stream: a warning,
// and every frame passes with the track it had, up to the end of the stream.
struct WhilePlayingCase {
    const char* name;
    const char* property;
    const char* value;
    bool beforePlaying; // set before set_state(PLAYING) rather than right after it
    const char* message;
};

class RefusedWhilePlaying : public ::testing::TestWithParam<WhilePlayingCase> {};

TEST_P(RefusedWhilePlaying, StreamRunsToItsEnd) {
    const WhilePlayingCase c = GetParam();
    const int frames = 30;
    const cv::Rect start = ballStart(ballFrames(caps("BGR"), 1)[0]);
    const std::string line = "videotestsrc pattern=ball num-buffers=" + std::to_string(frames) +
                             " ! " + caps("BGR") + " ! zoktrack name=track box=" + boxText(start) +
                             " ! fakesink sync=false";
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(line.c_str(), &parseError);
    ASSERT_NE(pipeline, nullptr) << parseError->message;
    GstElement* track = gst_bin_get_by_name(GST_BIN(pipeline), "track");
    GstBus* bus = gst_element_get_bus(pipeline);
    if (c.beforePlaying) {
        g_object_set(track, c.property, c.value, nullptr);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (!c.beforePlaying) {
        g_object_set(track, c.property, c.value, nullptr);
    }

    int reports = 0;
    bool ended = false;
    std::vector<std::string> warnings, errors;
    const auto types = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING |
                                      GST_MESSAGE_ELEMENT);
    while (GstMessage* message = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND, types)) {
        GError* error = nullptr;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            ended = true;
            break;
        case GST_MESSAGE_ERROR:
            gst_message_parse_error(message, &error, nullptr);
            errors.emplace_back(error->message);
            break;
        case GST_MESSAGE_WARNING:
            gst_message_parse_warning(message, &error, nullptr);
            warnings.emplace_back(error->message);
            break;
        default:
            reports += gst_structure_has_name(gst_message_get_structure(message), "zoktrack");
        }
        if (error != nullptr) {
            g_error_free(error);
        }
        gst_message_unref(message);
        if (ended || !errors.empty()) {
            break;
        }
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(track);
    gst_object_unref(pipeline);

    EXPECT_TRUE(errors.empty()) << errors[0];
    EXPECT_TRUE(ended) << "the stream reached its end";
    EXPECT_EQ(reports, frames) << "every frame tracked on the box set before";
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.message), std::string::npos) << warnings[0];
}

INSTANTIATE_TEST_SUITE_P(
    Moments, RefusedWhilePlaying,
    ::testing::Values(
        WhilePlayingCase{"BoxAfterPlay", "box", "1,2,3", false, "invalid value for box: '1,2,3'"},
        WhilePlayingCase{"BoxBeforePlay", "box", "1,2,3", true, "invalid value for box: '1,2,3'"},
        WhilePlayingCase{"HalfSizeAfterPlay", "half-size", "-1,2", false, "neither negative"},
        WhilePlayingCase{"ConfigAfterPlay", "config", "/nonexistent/zok.json", false,
                         "configuration file '/nonexistent/zok.json' was refused"}),
    [](const auto& info) { return std::string(info.param.name); });

// The configuration file reaches the chosen tracker through its own section: a level no match
// reaches makes every update fail, which neither tracker's own configuration does on the ball.
struct ConfigCase {
    const char* tracker;
    const char* json;
    size_t scores; // search scores of a lost frame: without wider searches for corr, none for dcf
};

class ConfigSection : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigSection, ReachesTheChosenTracker) {
    const ConfigCase c = GetParam();
    if (std::string(c.tracker) == "dcf" && !ZOK_WITH_FFTW) {
        GTEST_SKIP() << "the learned tracker needs FFTW";
    }
    const std::string path = testing::TempDir() + "strict-" + c.tracker + ".json";
    std::ofstream(path) << c.json;
    const std::vector<cv::Mat> frames = ballFrames(caps("BGR"), 3);
    TrackHarness t;
    t.setCaps(caps("BGR"));
    const cv::Rect start = ballStart(frames[0]);
    gst_util_set_object_arg(G_OBJECT(t.element()), "tracker", c.tracker);
    g_object_set(t.element(), "config", path.c_str(), "box", boxText(start).c_str(), nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    ASSERT_TRUE(meta.found);
    t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(hadMeta);
    EXPECT_FALSE(meta.found);
    EXPECT_EQ(meta.n_scores, c.scores);
    EXPECT_EQ(metaBox(meta), start) << "while lost, the last box found";
    gchar* config = nullptr;
    g_object_get(t.element(), "config", &config, nullptr);
    EXPECT_EQ(std::string(config), path);
    g_free(config);
}

INSTANTIATE_TEST_SUITE_P(
    Trackers, ConfigSection,
    ::testing::Values(ConfigCase{"corr", "{\"TrackerCorr\": {\"threshold\": 2.0}}", 1},
                      ConfigCase{"dcf", "{\"TrackerDcf\": {\"lostConfidence\": 10}}", 0}),
    [](const auto& info) { return std::string(info.param.tracker); });

TEST(Config, LearnedTrackerIsTheDefault) {
    if (!ZOK_WITH_FFTW) {
        GTEST_SKIP() << "the learned tracker needs FFTW";
    }
    GstElement* element = gst_element_factory_make("zoktrack", nullptr);
    gint tracker = -1;
    g_object_get(element, "tracker", &tracker, nullptr);
    GEnumClass* values = G_ENUM_CLASS(g_type_class_ref(GST_TYPE_ZOK_TRACK_TRACKER));
    EXPECT_STREQ(g_enum_get_value(values, tracker)->value_nick, "dcf");
    g_type_class_unref(values);
    gst_object_unref(element);
}

// ---------------------------------------------------------------------------------------------
// Caps it cannot take.

class RefusedCaps : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedCaps, RefusedAtNegotiationWithAClearWarning) {
    TrackHarness t;
    GstCaps* refused = gst_caps_from_string(GetParam());
    // A sticky event is stored whatever the peer says; the refusal shows on the first buffer.
    gst_harness_push_event(t.harness(), gst_event_new_caps(refused));
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_harness_push_event(t.harness(), gst_event_new_segment(&segment));
    EXPECT_EQ(gst_harness_push(t.harness(), gst_buffer_new_allocate(nullptr, 64 * 48 * 3, nullptr)),
              GST_FLOW_NOT_NEGOTIATED);
    const std::vector<std::string> warnings = t.takeTexts(GST_MESSAGE_WARNING);
    ASSERT_FALSE(warnings.empty());
    EXPECT_NE(warnings[0].find("zoktrack cannot take"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("BGR, BGRx, GRAY8"), std::string::npos) << warnings[0];
}

INSTANTIATE_TEST_SUITE_P(Caps, RefusedCaps,
                         ::testing::Values("video/x-raw,format=RGB,width=64,height=48",
                                           "video/x-raw,format=I420,width=64,height=48",
                                           "video/x-raw,format=GRAY16_LE,width=64,height=48",
                                           "audio/x-raw,format=S16LE,rate=8000,channels=1"));

// ---------------------------------------------------------------------------------------------
// Drawing.

class Draws : public ::testing::TestWithParam<const char*> {};

TEST_P(Draws, OnlyWhenAskedAndOnlyNearTheTrack) {
    const std::vector<cv::Mat> frames = ballFrames(caps(GetParam()), 3);
    const cv::Rect start = ballStart(frames[0]);
    TrackHarness t;
    t.setCaps(caps(GetParam()));
    g_object_set(t.element(), "box", boxText(start).c_str(), "draw", TRUE, nullptr);
    bool hadMeta = false;
    ZokTrackMeta meta{};
    t.pushFrame(frames[0], hadMeta, meta);
    const cv::Mat out = t.pushFrame(frames[1], hadMeta, meta);
    ASSERT_TRUE(meta.found);
    cv::Mat changed;
    cv::compare(out.reshape(1), frames[1].reshape(1), changed, cv::CMP_NE);
    EXPECT_GT(cv::countNonZero(changed), 100) << "the box and the window are drawn";
    // The box's outline is drawn on the box's own edge.
    const cv::Rect box = metaBox(meta);
    const cv::Mat outline = changed.reshape(out.channels())(cv::Rect(box.x, box.y, box.width, 1));
    EXPECT_GT(cv::countNonZero(outline.reshape(1)), box.width / 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, Draws, ::testing::Values("BGR", "GRAY8", "BGRx"));

} // namespace
