#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

#include "frame_source.hpp"

namespace zok_mavlink {

// Frames from an input on a thread of their own, so that the MAVLink side stays responsive
// whatever the input does. Stored inputs (files, folders, generated scenes) are paced at their
// frame rate, as a camera would deliver them, and with `loop` start again at their end; live
// ones come as they are made. Only the newest frame waits: one the caller was too slow for is
// dropped, as a camera drops it.
class FrameFeed {
public:
    // How long the destructor waits for the reading thread before letting it go.
    static constexpr std::chrono::milliseconds kStopWait{1500};

    // Makes the input. Run on the reading thread: opening a pipeline or camera waits for its
    // first frame, for as long as it takes, and the caller must stay free to stop meanwhile.
    using Opener = std::function<std::unique_ptr<zok_track::FrameSource>()>;

    // Reads from the input `open` makes, which `reopen` makes again for another round when
    // looping; what `open` raises is the feed's error(). `fallbackFps` paces stored inputs
    // that state no frame rate (folders).
    FrameFeed(Opener open, std::string reopen, bool loop, double fallbackFps);
    // Stops the reading thread, waiting up to kStopWait for it. An input that has stalled (a
    // pipeline or camera that delivers nothing) keeps the thread blocked inside its read for as
    // long as it likes, so a thread still reading then is detached: it ends, and releases the
    // input, when that read returns.
    ~FrameFeed();
    FrameFeed(const FrameFeed&) = delete;
    FrameFeed& operator=(const FrameFeed&) = delete;

    struct Frame {
        cv::Mat image;
        int index = 0; // counted from the first frame, rounds of a loop included
        // When the frame was made, in seconds: by the input's frame rate for a stored input,
        // by the steady clock for a live one.
        double time = 0.0;
    };

    // Waits up to `timeoutMs` for a frame not taken yet.
    std::optional<Frame> take(int timeoutMs);

    // Whether the input has ended (and no frame waits); error() says why when it failed.
    bool ended() const;
    std::optional<std::string> error() const;

    // The pace of a stored input, in seconds per frame; 0 for a live one, and until the input
    // is open.
    double framePeriod() const;

private:
    // Everything the reading thread touches, owned by the thread as well as by the feed.
    struct Shared;

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace zok_mavlink
