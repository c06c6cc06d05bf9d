#include "frame_feed.hpp"

#include <chrono>
#include <cmath>

namespace zok_mavlink {

using Clock = std::chrono::steady_clock;

FrameFeed::FrameFeed(std::unique_ptr<zok_track::FrameSource> source, std::string reopen, bool loop,
                     double fallbackFps)
    : source_(std::move(source)), reopen_(std::move(reopen)), loop_(loop) {
    const double fps = source_->framesPerSecond();
    period_ = source_->live()
                  ? 0.0
                  : 1.0 / (std::isfinite(fps) && fps > 0.0 && fps <= 1000.0 ? fps : fallbackFps);
    thread_ = std::thread([this] { run(); });
}

FrameFeed::~FrameFeed() {
    stop_ = true;
    thread_.join(); // a live input returns within a frame
}

void FrameFeed::run() {
    int index = 0;
    int readInRound = 0;
    Clock::time_point due = Clock::now();
    while (!stop_) {
        cv::Mat image;
        try {
            if (!source_->read(image)) {
                if (!loop_ || readInRound == 0) {
                    break; // the end, or an input that cannot go round again
                }
                source_ = zok_track::FrameSource::open(reopen_);
                readInRound = 0;
                continue;
            }
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = e.what();
            break;
        }
        ++readInRound;
        Frame frame;
        frame.image = image;
        frame.index = index++;
        if (period_ > 0.0) {
            due +=
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period_));
            // Wake in short steps, so that a stop is seen promptly.
            while (!stop_ && Clock::now() < due) {
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
            }
            if (Clock::now() - due > std::chrono::seconds(1)) {
                due = Clock::now(); // after a stall, keep the pace from now rather than race
            }
            frame.time = frame.index * period_;
        } else {
            frame.time = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            waiting_ = std::move(frame);
        }
        ready_.notify_one();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    ready_.notify_one();
}

std::optional<FrameFeed::Frame> FrameFeed::take(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [this] { return waiting_.has_value() || ended_; });
    std::optional<Frame> frame = std::move(waiting_);
    waiting_.reset();
    return frame;
}

bool FrameFeed::ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_ && !waiting_;
}

std::optional<std::string> FrameFeed::error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

} // namespace zok_mavlink
