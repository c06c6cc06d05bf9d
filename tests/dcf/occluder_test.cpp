#include <cmath>

#include <gtest/gtest.h>

#include "dcf_test_util.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {
namespace {

// A target passing slowly behind a post that stands in the image (a car behind a street lamp):
// as the post covers more of the target, the match weakens only slowly, and a tracker that
// learns every frame it still finds learns the post and stays on it. Judged by how the response
// changes its shape, the covered frames are not learned: the target is reported lost while
// hidden, or followed, and found again once it has passed.
struct PostCase {
    const char* name;
    int type;
    int postWidth; // pixels, against a 36-pixel-wide target
    double speed;  // pixels per frame
    float limit;   // maxResponseVariation
};

class PassingBehindAPost : public ::testing::TestWithParam<PostCase> {};

constexpr int W = 320;
constexpr int H = 240;
constexpr int POST_X = 180;
const cv::Size TARGET(36, 28);

TEST_P(PassingBehindAPost, PostNeverReportedAsTheTarget) {
    const PostCase c = GetParam();
    const cv::Mat background = test::texture({W, H}, c.type, 21);
    const cv::Mat target = test::texture(TARGET, c.type, 22);
    const cv::Mat post = test::texture({c.postWidth, H}, c.type, 23);
    const auto centreAt = [&](int k) { return cv::Point2d(120 + c.speed * k, 120); };
    const auto render = [&](int k) {
        cv::Mat f = test::compose(background, target, centreAt(k));
        post.copyTo(f(cv::Rect(POST_X, 0, c.postWidth, H)));
        return f;
    };
    TrackerDcf::Params params;
    params.maxResponseVariation = c.limit;
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    const cv::Point2d first = centreAt(0);
    tracker->init(render(0),
                  cv::Rect(int(first.x) - TARGET.width / 2, int(first.y) - TARGET.height / 2,
                           TARGET.width, TARGET.height));
    // The frame from which the target stands wholly clear of the post, and the last.
    const int clear = int(std::ceil((POST_X + c.postWidth + TARGET.width / 2 - 120) / c.speed));
    const int frames = clear + 30;
    int refound = -1;
    for (int k = 1; k < frames; ++k) {
        cv::Rect box;
        const bool found = tracker->update(render(k), box);
        const cv::Point2d centre(box.x + box.width / 2.0, box.y + box.height / 2.0);
        const double error = cv::norm(centre - centreAt(k));
        if (found && k >= clear) {
            EXPECT_LT(error, TARGET.width / 2.0) << c.name << " frame " << k;
        }
        if (found && error < 4 && k >= clear && refound < 0) {
            refound = k;
        }
    }
    EXPECT_GE(refound, clear) << c.name << ": never found again";
    EXPECT_LE(refound, clear + 15) << c.name;
}

// Without the limit (0) the tracker learns the post and reports it found in both.
INSTANTIATE_TEST_SUITE_P(Generated, PassingBehindAPost,
                         ::testing::Values(PostCase{"post", CV_8UC3, 30, 1.0, 7.0f},
                                           // Slower, behind a wider post: the response changes
                                           // more gradually, and a tighter limit is needed.
                                           PostCase{"wide_post_slower", CV_8UC3, 40, 0.75, 2.5f}),
                         [](const ::testing::TestParamInfo<PostCase>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace wyr::zok
