#include "frame_feed.hpp"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>

namespace zok_mavlink {

using Clock = std::chrono::steady_clock;

// The reading thread holds its own reference to this, not to the feed: a thread detached while
// blocked in a read outlives the feed, and must find its input, its lock and its flags still
// there when the read returns.
struct FrameFeed::Shared {
    Shared(Opener open, std::string reopen, bool loop, double fallbackFps)
        : open(std::move(open)), reopen(std::move(reopen)), loop(loop), fallbackFps(fallbackFps) {}

    void run();
    // Opens the input and sets its pace; false, with the error set, when it cannot be opened.
    bool start();
    void read();

    const Opener open;
    std::unique_ptr<zok_track::FrameSource> source; // the reading thread's alone
    const std::string reopen;
    const bool loop;
    const double fallbackFps;
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<Frame> waiting;
    bool ended = false; // the last thing the reading thread sets
    std::optional<std::string> error;
    double period = 0.0; // set once, under the lock, before the first frame
    std::atomic<bool> stop{false};
};

FrameFeed::FrameFeed(Opener open, std::string reopen, bool loop, double fallbackFps)
    : shared_(std::make_shared<Shared>(std::move(open), std::move(reopen), loop, fallbackFps)),
      thread_([shared = shared_] { shared->run(); }) {}

FrameFeed::~FrameFeed() {
    shared_->stop = true;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        ended = shared_->ready.wait_for(lock, kStopWait, [this] { return shared_->ended; });
    }
    if (ended) {
        thread_.join(); // past its last lock: returns at once
    } else {
        thread_.detach(); // blocked in a read of a stalled input; see Shared
    }
}

void FrameFeed::Shared::run() {
    if (start()) {
        read();
    }
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
    // Both a taker and the destructor may wait for the end.
    ready.notify_all();
}

bool FrameFeed::Shared::start() {
    try {
        source = open();
        const double fps = source->framesPerSecond();
        std::lock_guard<std::mutex> lock(mutex);
        period = source->live()
                     ? 0.0
                     : 1.0 / (std::isfinite(fps) && fps > 0.0 && fps <= 1000.0 ? fps : fallbackFps);
        return true;
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex);
        error = e.what();
        return false;
    }
}

void FrameFeed::Shared::read() {
    int index = 0;
    int readInRound = 0;
    Clock::time_point due = Clock::now();
    while (!stop) {
        cv::Mat image;
        try {
            if (!source->read(image)) {
                if (!loop || readInRound == 0) {
                    break; // the end, or an input that cannot go round again
                }
                source = zok_track::FrameSource::open(reopen);
                readInRound = 0;
                continue;
            }
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mutex);
            error = e.what();
            break;
        }
        ++readInRound;
        Frame frame;
        frame.image = image;
        frame.index = index++;
        if (period > 0.0) {
            due +=
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period));
            // Wake in short steps, so that a stop is seen promptly.
            while (!stop && Clock::now() < due) {
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
            }
            if (Clock::now() - due > std::chrono::seconds(1)) {
                due = Clock::now(); // after a stall, keep the pace from now rather than race
            }
            frame.time = frame.index * period;
        } else {
            frame.time = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            waiting = std::move(frame);
        }
        ready.notify_one();
    }
}

std::optional<FrameFeed::Frame> FrameFeed::take(int timeoutMs) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->ready.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return shared_->waiting.has_value() || shared_->ended; });
    std::optional<Frame> frame = std::move(shared_->waiting);
    shared_->waiting.reset();
    return frame;
}

bool FrameFeed::ended() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->ended && !shared_->waiting;
}

std::optional<std::string> FrameFeed::error() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->error;
}

double FrameFeed::framePeriod() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->period;
}

} // namespace zok_mavlink
