#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "dcf/tracker_dcf_impl.hpp"
#include "dcf_test_util.hpp"
#include "zok/flight_director.hpp"

namespace wyr::zok {
namespace {

TrackerDcfImpl& implOf(const cv::Ptr<TrackerDcf>& tracker) {
    return dynamic_cast<TrackerDcfImpl&>(*tracker);
}

double iou(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    return inter / (a.area() + b.area() - inter);
}

// ---- Parameters -------------------------------------------------------------------------

struct ClampCase {
    const char* what;
    std::function<void(TrackerDcf::Params&)> set;
    std::function<bool(const TrackerDcf::Params&)> holds;
};

class ParamsClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ParamsClamp, AppliedAsDocumented) {
    TrackerDcf::Params p;
    GetParam().set(p);
    EXPECT_TRUE(GetParam().holds(appliedParams(p))) << GetParam().what;
}

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Table, ParamsClamp,
    ::testing::Values(
        ClampCase{"defaults kept", [](TrackerDcf::Params&) {},
                  [](const TrackerDcf::Params& a) {
                      return a.padding == 4.0f && a.gridCells == 48 && a.admmIterations == 1 &&
                             a.scales == 17 && a.learningRate == 0.02f && a.colourWeight == 0.3f &&
                             a.lostConfidence == 0.2f && a.learnConfidence == 0.3f &&
                             a.redetectConfidence == 0.4f && a.redetectFrames == 2;
                  }},
        ClampCase{"padding low", [](TrackerDcf::Params& p) { p.padding = 0.5f; },
                  [](const TrackerDcf::Params& a) { return a.padding == 2.0f; }},
        ClampCase{"padding NaN", [](TrackerDcf::Params& p) { p.padding = NaN; },
                  [](const TrackerDcf::Params& a) { return a.padding == 4.0f; }},
        ClampCase{"grid rounded to a fast even length",
                  [](TrackerDcf::Params& p) { p.gridCells = 50; },
                  [](const TrackerDcf::Params& a) { return a.gridCells == 56; }},
        ClampCase{"grid high", [](TrackerDcf::Params& p) { p.gridCells = 1000; },
                  [](const TrackerDcf::Params& a) { return a.gridCells == 96; }},
        ClampCase{"grid low", [](TrackerDcf::Params& p) { p.gridCells = -3; },
                  [](const TrackerDcf::Params& a) { return a.gridCells == 16; }},
        ClampCase{"scales even takes one more", [](TrackerDcf::Params& p) { p.scales = 12; },
                  [](const TrackerDcf::Params& a) { return a.scales == 13; }},
        ClampCase{"scales high", [](TrackerDcf::Params& p) { p.scales = 90; },
                  [](const TrackerDcf::Params& a) { return a.scales == 33; }},
        ClampCase{"iterations", [](TrackerDcf::Params& p) { p.admmIterations = 99; },
                  [](const TrackerDcf::Params& a) { return a.admmIterations == 10; }},
        ClampCase{"rates",
                  [](TrackerDcf::Params& p) {
                      p.learningRate = 2.0f;
                      p.scaleLearningRate = -1.0f;
                      p.colourLearningRate = NaN;
                  },
                  [](const TrackerDcf::Params& a) {
                      return a.learningRate == 1.0f && a.scaleLearningRate == 0.0f &&
                             a.colourLearningRate == 0.04f;
                  }},
        ClampCase{"step", [](TrackerDcf::Params& p) { p.scaleStep = 1.0f; },
                  [](const TrackerDcf::Params& a) { return a.scaleStep == 1.005f; }},
        ClampCase{"levels never below the lost level",
                  [](TrackerDcf::Params& p) {
                      p.lostConfidence = 0.5f;
                      p.learnConfidence = 0.1f;
                      p.redetectConfidence = NaN;
                  },
                  [](const TrackerDcf::Params& a) {
                      return a.learnConfidence == 0.5f && a.redetectConfidence == 0.5f;
                  }},
        ClampCase{"redetect frames", [](TrackerDcf::Params& p) { p.redetectFrames = 0; },
                  [](const TrackerDcf::Params& a) { return a.redetectFrames == 1; }},
        ClampCase{"camera motion fields",
                  [](TrackerDcf::Params& p) {
                      p.minSharpness = -5.0f;
                      p.stillPreference = 1.5f;
                  },
                  [](const TrackerDcf::Params& a) {
                      return !a.cameraMotion && a.minSharpness == 0.0f && a.stillPreference == 1.0f;
                  }},
        ClampCase{"camera motion NaN",
                  [](TrackerDcf::Params& p) {
                      p.minSharpness = NaN;
                      p.stillPreference = NaN;
                  },
                  [](const TrackerDcf::Params& a) {
                      return a.minSharpness == TrackerDcf::Params().minSharpness &&
                             a.stillPreference == TrackerDcf::Params().stillPreference;
                  }},
        ClampCase{"aspect fields high",
                  [](TrackerDcf::Params& p) {
                      p.aspects = 40;
                      p.aspectStep = 2.0f;
                      p.aspectLimit = 50.0f;
                      p.aspectRate = 1.5f;
                  },
                  [](const TrackerDcf::Params& a) {
                      return a.aspects == 33 && a.aspectStep == 1.2f && a.aspectLimit == 10.0f &&
                             a.aspectRate == 1.0f;
                  }},
        ClampCase{"aspect fields low",
                  [](TrackerDcf::Params& p) {
                      p.aspects = 4;
                      p.aspectStep = 1.0f;
                      p.aspectLimit = 0.5f;
                      p.aspectRate = -1.0f;
                  },
                  [](const TrackerDcf::Params& a) {
                      return a.aspects == 5 && a.aspectStep == 1.005f && a.aspectLimit == 1.0f &&
                             a.aspectRate == 0.0f;
                  }},
        ClampCase{"aspect fields NaN",
                  [](TrackerDcf::Params& p) {
                      p.aspectStep = NaN;
                      p.aspectLimit = NaN;
                      p.aspectRate = NaN;
                  },
                  [](const TrackerDcf::Params& a) {
                      return !a.aspectFilter && a.aspects == 9 && a.aspectStep == 1.04f &&
                             a.aspectLimit == 3.0f && a.aspectRate == 0.5f;
                  }},
        ClampCase{"response variation low",
                  [](TrackerDcf::Params& p) { p.maxResponseVariation = -3.0f; },
                  [](const TrackerDcf::Params& a) { return a.maxResponseVariation == 0.0f; }},
        ClampCase{"response variation high",
                  [](TrackerDcf::Params& p) { p.maxResponseVariation = 5000.0f; },
                  [](const TrackerDcf::Params& a) { return a.maxResponseVariation == 1000.0f; }},
        ClampCase{"response variation NaN",
                  [](TrackerDcf::Params& p) { p.maxResponseVariation = NaN; },
                  [](const TrackerDcf::Params& a) { return a.maxResponseVariation == 0.0f; }}));

// ---- Bad input --------------------------------------------------------------------------

constexpr int W = 240;
constexpr int H = 180;
const cv::Rect BOX(100, 70, 32, 24);

cv::Mat frameOf(int type, const cv::Point2d& centre, uint64_t seed = 3) {
    const int channels = CV_MAT_CN(type);
    const int base = channels == 1 ? CV_8UC1 : CV_8UC3;
    const cv::Mat background = test::texture({W, H}, base, seed);
    const cv::Mat target = test::texture(BOX.size(), base, seed + 100);
    cv::Mat f = test::compose(background, target, centre);
    if (channels == 4) {
        cv::cvtColor(f, f, cv::COLOR_BGR2BGRA);
    }
    if (CV_MAT_DEPTH(type) == CV_32F) {
        f.convertTo(f, CV_MAKETYPE(CV_32F, channels));
    }
    return f;
}

const cv::Size TARGET_LOST(36, 28);
const cv::Point2d START(BOX.x + BOX.width / 2.0, BOX.y + BOX.height / 2.0);

struct BadCase {
    const char* what;
    bool atInit; // else at update, after a good init
    std::function<cv::Mat()> frame;
    cv::Rect box;
    int code;
};

class BadInput : public ::testing::TestWithParam<BadCase> {};

// Each refusal is a cv::Exception with its own code, and the tracker goes on exactly as a twin
// that never saw the bad call.
TEST_P(BadInput, RefusedAndStateKept) {
    const BadCase c = GetParam();
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    const cv::Ptr<TrackerDcf> twin = TrackerDcf::create();
    const cv::Mat first = frameOf(CV_32FC3, START);
    tracker->init(first, BOX);
    twin->init(first, BOX);
    cv::Rect box(1, 2, 3, 4);
    try {
        if (c.atInit) {
            tracker->init(c.frame(), c.box);
        } else {
            tracker->update(c.frame(), box);
        }
        FAIL() << c.what << ": no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, c.code) << c.what << ": " << e.what();
    }
    EXPECT_EQ(box, cv::Rect(1, 2, 3, 4)) << c.what;
    EXPECT_EQ(tracker->confidence(), twin->confidence()) << c.what;
    EXPECT_EQ(implOf(tracker).centre(), implOf(twin).centre()) << c.what;
    EXPECT_EQ(implOf(tracker).targetSize(), implOf(twin).targetSize()) << c.what;
    const cv::Mat next = frameOf(CV_32FC3, START + cv::Point2d(3, 2));
    cv::Rect a, b;
    EXPECT_EQ(tracker->update(next, a), twin->update(next, b)) << c.what;
    EXPECT_EQ(a, b) << c.what;
    EXPECT_EQ(tracker->confidence(), twin->confidence()) << c.what;
}

cv::Mat withNaN(cv::Point p) {
    cv::Mat f = frameOf(CV_32FC3, START);
    f.at<cv::Vec3f>(p) = cv::Vec3f(0, std::nanf(""), 0);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInput,
    ::testing::Values(
        BadCase{"empty frame at init", true, [] { return cv::Mat(); }, BOX, cv::Error::StsBadArg},
        BadCase{"16-bit frame", true, [] { return cv::Mat(H, W, CV_16UC1, cv::Scalar(9)); }, BOX,
                cv::Error::StsUnsupportedFormat},
        BadCase{"two channels", true, [] { return cv::Mat(H, W, CV_8UC2, cv::Scalar(9)); }, BOX,
                cv::Error::StsUnsupportedFormat},
        BadCase{"box outside", true, [] { return frameOf(CV_8UC1, START); },
                cv::Rect(W - 10, 20, 32, 24), cv::Error::StsBadSize},
        BadCase{"box at a negative corner", true, [] { return frameOf(CV_8UC1, START); },
                cv::Rect(-1, 20, 32, 24), cv::Error::StsBadSize},
        BadCase{"box too narrow", true, [] { return frameOf(CV_8UC1, START); },
                cv::Rect(20, 20, DCF_MIN_TARGET_SIDE - 1, 24), cv::Error::StsBadSize},
        BadCase{"box too low", true, [] { return frameOf(CV_8UC1, START); },
                cv::Rect(20, 20, 24, DCF_MIN_TARGET_SIDE - 1), cv::Error::StsBadSize},
        BadCase{"NaN in the target at init", true, [] { return withNaN(START); }, BOX,
                cv::Error::StsBadArg},
        BadCase{"empty frame at update", false, [] { return cv::Mat(); }, BOX,
                cv::Error::StsBadArg},
        BadCase{"another size", false,
                [] { return cv::Mat(H + 1, W, CV_32FC3, cv::Scalar::all(9)); }, BOX,
                cv::Error::StsUnmatchedSizes},
        BadCase{"another type", false, [] { return frameOf(CV_8UC3, START); }, BOX,
                cv::Error::StsUnmatchedFormats},
        BadCase{"NaN near the target", false, [] { return withNaN(START + cv::Point2d(20, 0)); },
                BOX, cv::Error::StsBadArg},
        BadCase{"3-D frame at init", true,
                [] {
                    const int sizes[] = {H, W, 3};
                    return cv::Mat(3, sizes, CV_8UC1, cv::Scalar(9));
                },
                BOX, cv::Error::StsUnsupportedFormat},
        // Its rows and columns, and its type, match the first frame's.
        BadCase{"3-D frame at update", false,
                [] {
                    const int sizes[] = {H, W, 1};
                    return cv::Mat(3, sizes, CV_32FC3, cv::Scalar::all(9));
                },
                BOX, cv::Error::StsUnsupportedFormat}));

TEST(BadInputOrder, UpdateBeforeInit) {
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    cv::Rect box;
    try {
        tracker->update(frameOf(CV_8UC1, START), box);
        FAIL() << "no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsError);
    }
}

// NaNs far from the target are never read, so they do not stop tracking.
TEST(BadInputOrder, NaNFarAwayIsHarmless) {
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    tracker->init(frameOf(CV_32FC1, START), BOX);
    cv::Mat next = frameOf(CV_32FC1, START + cv::Point2d(2, 1));
    next.at<float>(H - 1, 0) = std::nanf("");
    cv::Rect box;
    EXPECT_TRUE(tracker->update(next, box));
    EXPECT_GT(iou(box, cv::Rect2d(BOX.x + 2, BOX.y + 1, BOX.width, BOX.height)), 0.7);
}

// Finite float pixels are all taken, however large: no overflow is mistaken for a NaN.
TEST(BadInputOrder, HugeFinitePixelsAreTaken) {
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    cv::Mat first = frameOf(CV_32FC3, START);
    first.rowRange(0, H / 2).setTo(cv::Scalar::all(std::numeric_limits<float>::max()));
    tracker->init(first, BOX);
    cv::Rect box;
    cv::Mat next = frameOf(CV_32FC3, START + cv::Point2d(2, 1));
    next.colRange(0, W / 2).setTo(cv::Scalar::all(-std::numeric_limits<float>::max()));
    tracker->update(next, box);
    EXPECT_TRUE(std::isfinite(tracker->confidence()));
    EXPECT_FALSE(box.empty());
}

// ---- Featureless frames -------------------------------------------------------------------

class Featureless : public ::testing::TestWithParam<int> {};

// Frames of one grey level hold nothing to match: never reported found, never a confident
// match, and the box left is never empty, also where the target was at the frame's corner.
TEST_P(Featureless, NeverFoundNorConfident) {
    const int first = GetParam();
    const auto flat = [](int v) { return cv::Mat(120, 160, CV_8UC3, cv::Scalar::all(v % 256)); };
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    tracker->init(flat(first), cv::Rect(153, 115, 4, 4));
    for (int i = 1; i <= 12; ++i) {
        cv::Rect box;
        EXPECT_FALSE(tracker->update(flat(first + 13 * i), box)) << "frame " << i;
        EXPECT_LT(tracker->confidence(), 0.2) << "frame " << i;
        EXPECT_FALSE(box.empty()) << "frame " << i;
        EXPECT_EQ(box, box & cv::Rect(0, 0, 160, 120)) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(GreyLevels, Featureless, ::testing::Values(0, 1, 77, 200, 255));

// A frame refused while the target is lost (NaN pixels where only the outer rings of the
// re-detection look) leaves the tracker as a twin that never saw it: both go on alike.
TEST(BadInputOrder, RefusedWhileLostKeepsTheSearch) {
    const cv::Size size(640, 480);
    const cv::Point2d home(320, 240);
    const cv::Mat background = test::texture(size, CV_8UC3, 41);
    const cv::Mat target = test::texture(TARGET_LOST, CV_8UC3, 42);
    const cv::Rect start(int(home.x) - TARGET_LOST.width / 2, int(home.y) - TARGET_LOST.height / 2,
                         TARGET_LOST.width, TARGET_LOST.height);
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    const cv::Ptr<TrackerDcf> twin = TrackerDcf::create();
    cv::Mat first;
    test::compose(background, target, home).convertTo(first, CV_32FC3);
    cv::Mat gone;
    background.convertTo(gone, CV_32FC3);
    tracker->init(first, start);
    twin->init(first, start);
    cv::Rect a, b;
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(tracker->update(first, a));
        ASSERT_TRUE(twin->update(first, b));
    }
    for (int k = 0; k < 4; ++k) {
        ASSERT_FALSE(tracker->update(gone, a));
        ASSERT_FALSE(twin->update(gone, b));
    }
    // NaN everywhere but the square the home window and the first ring read.
    cv::Mat poisoned(size, CV_32FC3, cv::Scalar::all(std::nan("")));
    const cv::Rect kept(int(home.x) - 140, int(home.y) - 140, 280, 280);
    gone(kept).copyTo(poisoned(kept));
    EXPECT_THROW(tracker->update(poisoned, a), cv::Exception);
    // The target comes back a little away; both trackers see the same frames.
    for (int k = 0; k < 12; ++k) {
        cv::Mat back;
        test::compose(background, target, home + cv::Point2d(70, 50)).convertTo(back, CV_32FC3);
        EXPECT_EQ(tracker->update(back, a), twin->update(back, b)) << "frame " << k;
        EXPECT_EQ(a, b) << "frame " << k;
        EXPECT_EQ(tracker->confidence(), twin->confidence()) << "frame " << k;
    }
}

// ---- Tracking on generated sequences ----------------------------------------------------

// What a generated frame shows.
struct Shot {
    cv::Point2d centre;
    double scale = 1.0;
    bool hidden = false;     // an occluder covers the target
    bool distractor = false; // a look-alike of the target shows elsewhere
};

struct SequenceCase {
    const char* name;
    int type;
    int frames;
    std::function<Shot(int)> shot;
};

class Sequences : public ::testing::TestWithParam<SequenceCase> {};

constexpr int SW = 320;
constexpr int SH = 240;
const cv::Size TARGET(36, 28);

TEST_P(Sequences, FollowsAndReportsHonestly) {
    const SequenceCase c = GetParam();
    const int base = CV_MAT_CN(c.type) == 1 ? CV_8UC1 : CV_8UC3;
    const cv::Mat background = test::texture({SW, SH}, base, 21);
    const cv::Mat target = test::texture(TARGET, base, 22);
    const cv::Mat occluder = test::texture(TARGET * 2, base, 23);
    // A look-alike: the target's pattern half blended with another one, as a similar object is.
    cv::Mat lookAlike;
    cv::addWeighted(target, 0.5, test::texture(TARGET, base, 24), 0.5, 0.0, lookAlike);
    const auto render = [&](const Shot& s) {
        cv::Mat f = test::compose(background, target, s.centre, s.scale);
        if (s.distractor) {
            f = test::compose(f, lookAlike, cv::Point2d(SW - s.centre.x, SH - s.centre.y), s.scale);
        }
        if (s.hidden) {
            f = test::compose(f, occluder, s.centre);
        }
        if (CV_MAT_DEPTH(c.type) == CV_32F) {
            f.convertTo(f, CV_MAKETYPE(CV_32F, CV_MAT_CN(c.type)));
        }
        return f;
    };
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    const Shot first = c.shot(0);
    tracker->init(render(first),
                  cv::Rect(int(first.centre.x) - TARGET.width / 2,
                           int(first.centre.y) - TARGET.height / 2, TARGET.width, TARGET.height));
    int hidden = 0, hiddenLost = 0, visible = 0, visibleFound = 0, goodOverlap = 0;
    int sinceHidden = -1, refoundAfter = -1;
    for (int k = 1; k < c.frames; ++k) {
        const Shot s = c.shot(k);
        cv::Rect box;
        const bool found = tracker->update(render(s), box);
        const cv::Size2d size(TARGET.width * s.scale, TARGET.height * s.scale);
        const cv::Rect2d truth(s.centre.x - size.width / 2, s.centre.y - size.height / 2,
                               size.width, size.height);
        if (s.hidden) {
            ++hidden;
            hiddenLost += !found;
            sinceHidden = 0;
            // Never "found" on the distractor while the target is hidden.
            EXPECT_FALSE(found && iou(box, truth) < 0.3) << c.name << " frame " << k;
            continue;
        }
        ++visible;
        visibleFound += found;
        goodOverlap += found && iou(box, truth) > 0.6;
        if (sinceHidden >= 0) {
            ++sinceHidden;
            if (found && iou(box, truth) > 0.5 && refoundAfter < 0) {
                refoundAfter = sinceHidden;
            }
        }
    }
    if (hidden > 0) {
        EXPECT_GE(hiddenLost, hidden * 9 / 10) << c.name;
        EXPECT_GE(refoundAfter, 1) << c.name;
        EXPECT_LE(refoundAfter, 10) << c.name;
    }
    EXPECT_GE(goodOverlap, visible * 8 / 10) << c.name;
    EXPECT_GE(visibleFound, visible * 9 / 10) << c.name;
}

Shot walk(int k) {
    return {{90 + 2.0 * k, 110 + 12 * std::sin(k / 9.0)}};
}

INSTANTIATE_TEST_SUITE_P(
    Generated, Sequences,
    ::testing::Values(SequenceCase{"walk_grey", CV_8UC1, 60, walk},
                      SequenceCase{"walk_colour_float", CV_32FC3, 60, walk},
                      SequenceCase{"fast_steps", CV_8UC1, 40,
                                   [](int k) {
                                       return Shot{{60 + 6.0 * k, 80 + 3.0 * k}};
                                   }},
                      SequenceCase{
                          "scale_change", CV_8UC1, 80,
                          [](int k) {
                              return Shot{{160 + 0.5 * k, 120}, 1.0 + 0.35 * std::sin(k / 25.0)};
                          }},
                      SequenceCase{"occlusion_and_distractor", CV_8UC3, 70,
                                   [](int k) {
                                       Shot s{{90 + 1.5 * k, 110}};
                                       s.hidden = k >= 30 && k < 42;
                                       s.distractor = s.hidden;
                                       return s;
                                   }}),
    [](const ::testing::TestParamInfo<SequenceCase>& info) { return info.param.name; });

// A camera that follows its target: the target stands still in the image, a slim figure whose
// box shows as much background as target, while the background streams past. The tracker
// follows the target or says it is lost; it never reports the background found. This takes
// cameraMotion: without it (the default) the filter follows the background it learned.
struct StreamCase {
    const char* name;
    cv::Point step; // of the background, pixels per frame
};

class StreamingBackground : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamingBackground, NeverReportsTheBackgroundFound) {
    const StreamCase c = GetParam();
    constexpr int FRAMES = 60;
    const cv::Size figure(10, 44);
    const cv::Size boxSize(24, 48);
    const cv::Mat background = test::texture(
        {SW + FRAMES * std::abs(c.step.x), SH + FRAMES * std::abs(c.step.y)}, CV_8UC3, 61);
    const cv::Mat target = test::texture(figure, CV_8UC3, 62);
    const cv::Point2d centre(SW / 2.0, SH / 2.0);
    const auto render = [&](int k) {
        const int x = c.step.x >= 0 ? k * c.step.x : (FRAMES - k) * -c.step.x;
        const int y = c.step.y >= 0 ? k * c.step.y : (FRAMES - k) * -c.step.y;
        return test::compose(background(cv::Rect(x, y, SW, SH)), target, centre);
    };
    const cv::Rect2d truth(centre.x - boxSize.width / 2.0, centre.y - boxSize.height / 2.0,
                           boxSize.width, boxSize.height);
    TrackerDcf::Params params;
    params.cameraMotion = true;
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    tracker->init(render(0), cv::Rect(truth));
    int followed = 0;
    for (int k = 1; k < FRAMES; ++k) {
        cv::Rect box;
        const bool found = tracker->update(render(k), box);
        EXPECT_FALSE(found && iou(box, truth) < 0.5) << c.name << " frame " << k;
        followed += found && iou(box, truth) >= 0.5;
    }
    EXPECT_GE(followed, (FRAMES - 1) * 8 / 10) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Generated, StreamingBackground,
                         ::testing::Values(StreamCase{"pan_left", {12, 0}},
                                           StreamCase{"pan_right_fast", {-20, 0}},
                                           StreamCase{"pan_diagonal", {9, 6}}),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                             return info.param.name;
                         });

// What the found flag says of a target that is there but hard to see, and of one that is gone.
// A view of the target taken through a wider and wider blur, or a target of a few cells, must
// stay found; a target that disappears (behind nothing: the background shows where it was), or
// walks out of the frame, or whose view turns to a uniform grey, must be reported lost within a
// few frames and stay lost while it is gone.
struct PresenceCase {
    const char* name;
    cv::Size target;
    int frames;
    int goneFrom;        // the first frame without the target; frames to the end otherwise
    int framesToLose;    // once gone, frames before the target must be reported lost
    double blurPerFrame; // sigma of the blur the target's view takes, growing with the frames
    cv::Point2d step;    // of the target, pixels per frame
    bool greyOut;        // the whole frame turns uniform grey where the target is gone
};

class Presence : public ::testing::TestWithParam<PresenceCase> {};

TEST_P(Presence, FoundWhileThereLostOnceGone) {
    const PresenceCase c = GetParam();
    const cv::Mat background = test::texture({SW, SH}, CV_8UC3, 81);
    const cv::Mat target = test::texture(c.target, CV_8UC3, 82);
    const cv::Point2d start(SW / 3.0, SH / 2.0);
    const auto centreAt = [&](int k) { return start + c.step * k; };
    const auto render = [&](int k) {
        if (k >= c.goneFrom) {
            return c.greyOut ? cv::Mat(SH, SW, CV_8UC3, cv::Scalar::all(128)) : background.clone();
        }
        cv::Mat f = test::compose(background, target, centreAt(k));
        if (c.blurPerFrame > 0 && k > 0) {
            cv::GaussianBlur(f, f, cv::Size(), c.blurPerFrame * k);
        }
        return f;
    };
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    tracker->init(render(0), cv::Rect(cv::Point(cvRound(start.x) - c.target.width / 2,
                                                cvRound(start.y) - c.target.height / 2),
                                      c.target));
    int firstLost = -1;
    for (int k = 1; k < c.frames; ++k) {
        cv::Rect box;
        const bool found = tracker->update(render(k), box);
        if (k < c.goneFrom) {
            EXPECT_TRUE(found) << c.name << " frame " << k << " confidence "
                               << tracker->confidence();
            continue;
        }
        if (!found && firstLost < 0) {
            firstLost = k;
        }
        // Once lost, nothing in an empty view is taken for the target.
        EXPECT_FALSE(found && firstLost >= 0) << c.name << " frame " << k;
    }
    if (c.goneFrom < c.frames) {
        ASSERT_GE(firstLost, 0) << c.name;
        EXPECT_LE(firstLost - c.goneFrom, c.framesToLose) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generated, Presence,
    ::testing::Values(
        PresenceCase{"small_target_walks", {12, 10}, 60, 60, 0, 0.0, {1.5, 0.5}, false},
        PresenceCase{"blurring_view", {36, 28}, 40, 40, 0, 0.05, {1.0, 0.0}, false},
        PresenceCase{"small_blurred_target", {14, 12}, 40, 40, 0, 0.03, {1.0, 0.5}, false},
        PresenceCase{"vanishes", {36, 28}, 60, 30, 3, 0.0, {1.0, 0.0}, false},
        PresenceCase{"small_target_vanishes", {12, 10}, 60, 30, 3, 0.0, {1.0, 0.5}, false},
        PresenceCase{"view_turns_grey", {36, 28}, 50, 25, 1, 0.0, {1.0, 0.0}, true},
        // Walks off the right edge from frame 30 on (its centre passes the edge near frame 36).
        PresenceCase{"leaves_the_frame", {36, 28}, 70, 36, 6, 0.0, {6.0, 0.0}, false}),
    [](const ::testing::TestParamInfo<PresenceCase>& info) { return info.param.name; });

// The other side of the still preference: a camera that pans over a target standing still in
// the world. The target moves with the background, and the preference must not pin the box to
// the place in the image where the target was.
class PanOverStillTarget : public ::testing::TestWithParam<cv::Point> {};

TEST_P(PanOverStillTarget, FollowsTheTargetAcrossTheImage) {
    const cv::Point step = GetParam(); // of the view over the world, pixels per frame
    constexpr int FRAMES = 40;
    const cv::Mat world = test::texture(
        {SW + FRAMES * std::abs(step.x), SH + FRAMES * std::abs(step.y)}, CV_8UC3, 71);
    const cv::Mat target = test::texture(TARGET, CV_8UC3, 72);
    // Midway along the view's path, so that it crosses the image through its centre.
    const cv::Point2d place(SW / 2.0 + FRAMES * std::abs(step.x) / 2.0,
                            SH / 2.0 + FRAMES * std::abs(step.y) / 2.0);
    const cv::Mat scene = test::compose(world, target, place);
    const auto viewAt = [&](int k) {
        return cv::Point(std::max(0, step.x) * k + std::max(0, -step.x) * (FRAMES - k),
                         std::max(0, step.y) * k + std::max(0, -step.y) * (FRAMES - k));
    };
    const auto truthAt = [&](int k) {
        const cv::Point v = viewAt(k);
        return cv::Rect2d(place.x - v.x - TARGET.width / 2.0, place.y - v.y - TARGET.height / 2.0,
                          TARGET.width, TARGET.height);
    };
    TrackerDcf::Params params;
    params.cameraMotion = true;
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    tracker->init(scene(cv::Rect(viewAt(0), cv::Size(SW, SH))), cv::Rect(truthAt(0)));
    int followed = 0;
    for (int k = 1; k < FRAMES; ++k) {
        cv::Rect box;
        const bool found = tracker->update(scene(cv::Rect(viewAt(k), cv::Size(SW, SH))), box);
        followed += found && iou(box, truthAt(k)) >= 0.5;
    }
    EXPECT_GE(followed, (FRAMES - 1) * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Generated, PanOverStillTarget,
                         ::testing::Values(cv::Point(3, 0), cv::Point(-4, 2), cv::Point(6, 0)));

// The box follows the target's size: after a steady growth the box has grown by as much.
TEST(ScaleFollowing, BoxGrowsWithTheTarget) {
    const cv::Mat background = test::texture({SW, SH}, CV_8UC1, 31);
    const cv::Mat target = test::texture(TARGET, CV_8UC1, 32);
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    const cv::Point2d c(160, 120);
    tracker->init(test::compose(background, target, c),
                  cv::Rect(int(c.x) - TARGET.width / 2, int(c.y) - TARGET.height / 2, TARGET.width,
                           TARGET.height));
    cv::Rect box;
    for (int k = 1; k <= 40; ++k) {
        ASSERT_TRUE(tracker->update(test::compose(background, target, c, 1.0 + 0.01 * k), box));
    }
    EXPECT_NEAR(box.width, TARGET.width * 1.4, TARGET.width * 0.12);
    EXPECT_NEAR(box.height, TARGET.height * 1.4, TARGET.height * 0.12);
}

// A first box with as much ground as walker (10 pixels of it on each side), with the support
// cut by motion: the ground's cells are left out at the first update, and the tracker goes on
// following the walker's centre (the box keeps the first box's size) rather than the ground.
TEST(MotionSupportTracking, FollowsTheWalkerNotTheGroundOfTheFirstBox) {
    const cv::Mat background = test::texture({SW, SH}, CV_8UC3, 41);
    const cv::Mat target = test::texture(TARGET, CV_8UC3, 42);
    TrackerDcf::Params params;
    params.motionSupport = true;
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    const cv::Size margin(10, 10);
    const cv::Point2d first = walk(0).centre;
    tracker->init(test::compose(background, target, first),
                  cv::Rect(cv::Point(int(first.x), int(first.y)) - cv::Point(TARGET + margin) / 2,
                           TARGET + margin));
    int near = 0;
    for (int k = 1; k <= 50; ++k) {
        const cv::Point2d c = walk(k).centre;
        cv::Rect box;
        const bool found = tracker->update(test::compose(background, target, c), box);
        near += found && cv::norm((box.tl() + box.br()) / 2 - cv::Point(c)) <= 4;
    }
    EXPECT_GE(near, 45);
}

// The flight director drives the learned tracker as any other: the offset it reports follows
// the target's centre, and a hidden target's update is passed on as a failure.
TEST(Director, DrivesTheLearnedTracker) {
    const cv::Ptr<FlightDirector> director =
        FlightDirector::create(TrackerDcf::create(), FlightDirector::TRACKER_OTHER);
    const cv::Mat background = test::texture({SW, SH}, CV_8UC3, 51);
    const cv::Mat target = test::texture({33, 25}, CV_8UC3, 52);
    // Centre pixel (150, 110) of a 33 x 25 box; the frame's centre pixel is (160, 120).
    director->initAtOffset(test::compose(background, target, {150.5, 110.5}), {-10, -10}, 16, 12);
    cv::Point offset;
    for (int k = 1; k <= 10; ++k) {
        ASSERT_TRUE(director->updateOffset(
            test::compose(background, target, {150.5 + 2 * k, 110.5 + k}), offset));
    }
    EXPECT_LE(std::abs(offset.x - 10), 1);
    EXPECT_LE(std::abs(offset.y - 0), 1);
    const cv::Point before = offset;
    EXPECT_FALSE(director->updateOffset(background, offset));
    EXPECT_EQ(offset, before);
}

} // namespace
} // namespace wyr::zok
