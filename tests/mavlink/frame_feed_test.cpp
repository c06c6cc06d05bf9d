#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "mavlink/frame_feed.hpp"

namespace zok_mavlink {
namespace {

using Clock = std::chrono::steady_clock;
using zok_track::FrameSource;

const cv::Size FRAME(64, 48);

// A real input that tells when it is released, so that a test sees which thread lets go of it.
class ReleaseSignal final : public FrameSource {
public:
    explicit ReleaseSignal(std::unique_ptr<FrameSource> inner) : inner_(std::move(inner)) {}
    ~ReleaseSignal() override {
        inner_.reset();
        released_.set_value();
    }
    std::future<void> released() { return released_.get_future(); }

    bool read(cv::Mat& frame) override { return inner_->read(frame); }
    std::optional<int> announcedFrames() const override { return inner_->announcedFrames(); }
    double framesPerSecond() const override { return inner_->framesPerSecond(); }
    bool live() const override { return inner_->live(); }

private:
    std::unique_ptr<FrameSource> inner_;
    std::promise<void> released_;
};

// A pipe that carries raw BGR frames into a pipeline; closing its writing end ends the stream.
class FramePipe {
public:
    FramePipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~FramePipe() {
        closeWriter();
        close(fds_[0]);
    }
    std::string pipeline() const {
        return "fdsrc fd=" + std::to_string(fds_[0]) +
               " ! rawvideoparse width=" + std::to_string(FRAME.width) +
               " height=" + std::to_string(FRAME.height) + " format=bgr framerate=25/1 ! appsink";
    }
    void writeFrame() {
        const std::vector<uint8_t> frame(FRAME.area() * 3, 128); // well under a pipe's buffer
        ASSERT_EQ(write(fds_[1], frame.data(), frame.size()), ssize_t(frame.size()));
    }
    void closeWriter() {
        if (fds_[1] >= 0) {
            close(fds_[1]);
            fds_[1] = -1;
        }
    }

private:
    int fds_[2] = {-1, -1};
};

struct StopCase {
    const char* name;
    // A pipeline description, or empty for the pipe the test writes two frames to and then
    // leaves open without writing more: an input that has stalled.
    const char* pipeline;
    const char* stored; // else an input of FrameSource::open, paced and looped
};

class FeedStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(FeedStop, ReturnsPromptlyAndReleasesTheInputOnceItsReadReturns) {
    const StopCase& c = GetParam();
    FramePipe pipe;
    std::unique_ptr<FrameSource> inner;
    if (c.stored) {
        inner = FrameSource::open(c.stored);
    } else if (c.pipeline) {
        inner = FrameSource::openPipeline(c.pipeline);
    } else {
        pipe.writeFrame();
        pipe.writeFrame(); // the pipeline takes one to start
        inner = FrameSource::openPipeline(pipe.pipeline());
    }
    auto source = std::make_unique<ReleaseSignal>(std::move(inner));
    std::future<void> released = source->released();
    // Opened and wrapped here, so that the test holds its release signal; the feed takes it over.
    auto feed = std::make_unique<FrameFeed>(
        [opened = std::make_shared<std::unique_ptr<FrameSource>>(std::move(source))] {
            return std::move(*opened);
        },
        c.stored ? c.stored : "", c.stored != nullptr, 25.0);
    const std::optional<FrameFeed::Frame> frame = feed->take(5000);
    ASSERT_TRUE(frame);
    if (!c.stored) {
        EXPECT_EQ(frame->image.size(), FRAME);
    }
    if (!c.pipeline && !c.stored) {
        // Whatever the pipeline still held has come; from now on the read blocks.
        while (feed->take(300)) {
        }
    }

    const Clock::time_point start = Clock::now();
    feed.reset();
    const auto took = Clock::now() - start;
    EXPECT_LT(took, FrameFeed::kStopWait + std::chrono::seconds(1));
    if (c.pipeline || c.stored) {
        // A reading thread that stopped was joined: the input is free again (a camera could be
        // opened anew) when the feed is gone.
        EXPECT_LT(took, FrameFeed::kStopWait);
        EXPECT_EQ(released.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    } else {
        // Still blocked in its read; it must end, and let go of the input, on its own when the
        // stream ends, touching nothing of the feed that is gone.
        EXPECT_EQ(released.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
        pipe.closeWriter();
        EXPECT_EQ(released.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FrameFeed, FeedStop,
    ::testing::Values(StopCase{"StalledPipeline", nullptr, nullptr},
                      StopCase{"LivePipeline",
                               "videotestsrc is-live=true ! "
                               "video/x-raw,width=64,height=48,framerate=25/1 ! videoconvert ! "
                               "appsink",
                               nullptr},
                      StopCase{"StoredInputPacedAndLooped", nullptr, "synthetic"}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

// A pipeline whose first frame never comes keeps its open waiting: opened on the feed's
// thread, it must not keep the feed from stopping, and the thread must end on its own once the
// stream does.
TEST(FeedStop, PipelineWhoseFirstFrameNeverComes) {
    FramePipe pipe;
    const auto opened = std::make_shared<std::promise<void>>();
    std::future<void> openReturned = opened->get_future();
    auto feed = std::make_unique<FrameFeed>(
        [pipeline = pipe.pipeline(), opened] {
            struct Returned {
                std::promise<void>& done;
                ~Returned() { done.set_value(); }
            } returned{*opened};
            return FrameSource::openPipeline(pipeline);
        },
        "", false, 25.0);
    EXPECT_FALSE(feed->take(500));
    EXPECT_FALSE(feed->ended());
    EXPECT_EQ(feed->framePeriod(), 0.0);

    const Clock::time_point start = Clock::now();
    feed.reset();
    EXPECT_LT(Clock::now() - start, FrameFeed::kStopWait + std::chrono::seconds(1));
    EXPECT_EQ(openReturned.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    pipe.closeWriter();
    EXPECT_EQ(openReturned.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

// What the opener raises is the feed's error, and the feed has ended.
TEST(FrameFeed, AnInputThatCannotBeOpenedEndsTheFeedWithItsError) {
    FrameFeed feed([]() -> std::unique_ptr<FrameSource> { throw std::runtime_error("no camera"); },
                   "", false, 25.0);
    EXPECT_FALSE(feed.take(5000));
    EXPECT_TRUE(feed.ended());
    EXPECT_EQ(feed.error(), std::optional<std::string>("no camera"));
}

} // namespace
} // namespace zok_mavlink
