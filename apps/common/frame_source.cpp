#include "frame_source.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <tuple>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <opencv2/videoio/registry.hpp>

#include "synthetic/synthetic.hpp"

namespace zok_track {

namespace {

namespace fs = std::filesystem;

void toBgr(const cv::Mat& in, cv::Mat& out) {
    if (in.channels() == 1) {
        cv::cvtColor(in, out, cv::COLOR_GRAY2BGR);
    } else if (in.channels() == 4) {
        cv::cvtColor(in, out, cv::COLOR_BGRA2BGR);
    } else {
        out = in;
    }
}

class VideoSource final : public FrameSource {
public:
    VideoSource(cv::VideoCapture capture, std::optional<int> frames, bool live = false)
        : capture_(std::move(capture)), frames_(frames), live_(live) {}

    bool read(cv::Mat& frame) override {
        cv::Mat raw;
        if (!capture_.read(raw) || raw.empty()) {
            return false;
        }
        toBgr(raw, frame);
        return true;
    }

    std::optional<int> announcedFrames() const override { return frames_; }

    double framesPerSecond() const override { return capture_.get(cv::CAP_PROP_FPS); }

    bool live() const override { return live_; }

private:
    cv::VideoCapture capture_;
    std::optional<int> frames_;
    bool live_;
};

// The last run of digits in a file name orders the images: frame2.png before frame10.png.
std::tuple<bool, unsigned long long, std::string> frameKey(const fs::path& path) {
    const std::string stem = path.stem().string();
    size_t end = stem.size();
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(stem[end - 1]))) {
        --end;
    }
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(stem[begin - 1]))) {
        --begin;
    }
    if (begin == end) {
        return {false, 0, stem};
    }
    return {true, std::stoull(stem.substr(begin, std::min<size_t>(end - begin, 18))), stem};
}

bool isImageFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    static const char* const kExtensions[] = {".png",  ".jpg", ".jpeg", ".bmp", ".tif",
                                              ".tiff", ".pgm", ".ppm",  ".webp"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* known) { return extension == known; });
}

class FolderSource final : public FrameSource {
public:
    explicit FolderSource(std::vector<fs::path> files) : files_(std::move(files)) {}

    bool read(cv::Mat& frame) override {
        if (next_ >= files_.size()) {
            return false;
        }
        const fs::path& file = files_[next_++];
        const cv::Mat raw = cv::imread(file.string(), cv::IMREAD_COLOR);
        if (raw.empty()) {
            throw InputError("cannot read image '" + file.string() + "'");
        }
        toBgr(raw, frame);
        return true;
    }

    std::optional<int> announcedFrames() const override { return int(files_.size()); }

    double framesPerSecond() const override { return 0.0; }

private:
    std::vector<fs::path> files_;
    size_t next_ = 0;
};

// A textured target wandering over a textured background, 1 to 12 pixels a frame.
class SyntheticSource final : public FrameSource {
public:
    SyntheticSource() : scene_(options()) {
        path_ = wyr::zok::synthetic::randomWalk(scene_.options(), {300, 220}, 200, 12, 7);
    }

    bool read(cv::Mat& frame) override {
        if (next_ >= path_.size()) {
            return false;
        }
        frame = scene_.render(path_[next_++]);
        return true;
    }

    std::optional<int> announcedFrames() const override { return int(path_.size()); }
    double framesPerSecond() const override { return 25.0; }
    std::optional<cv::Rect> truth() const override {
        return cv::Rect(path_[next_ - 1], scene_.options().targetSize);
    }

private:
    static wyr::zok::synthetic::SceneOptions options() {
        wyr::zok::synthetic::SceneOptions o;
        o.type = CV_8UC3;
        return o;
    }

    wyr::zok::synthetic::Scene scene_;
    std::vector<cv::Point> path_;
    size_t next_ = 0;
};

std::unique_ptr<FrameSource> openFolder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && isImageFile(entry.path())) {
            files.push_back(entry.path());
        }
    }
    if (error) {
        throw InputError("cannot list folder '" + folder.string() + "': " + error.message());
    }
    if (files.empty()) {
        throw InputError("no images in folder '" + folder.string() + "'");
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return frameKey(a) < frameKey(b); });
    return std::make_unique<FolderSource>(std::move(files));
}

bool isCameraIndex(const std::string& input) {
    return !input.empty() && input.size() <= 3 &&
           std::all_of(input.begin(), input.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

std::unique_ptr<FrameSource> FrameSource::open(const std::string& input) {
    if (input == kSyntheticInput && !fs::exists(input)) {
        return std::make_unique<SyntheticSource>();
    }
    if (isCameraIndex(input) && !fs::exists(input)) {
        cv::VideoCapture camera(std::stoi(input));
        if (!camera.isOpened()) {
            throw InputError("cannot open camera " + input);
        }
        return std::make_unique<VideoSource>(std::move(camera), std::nullopt, true);
    }
    std::error_code error;
    if (fs::is_directory(input, error)) {
        return openFolder(input);
    }
    if (!fs::exists(input, error)) {
        throw InputError("no such video file or folder: '" + input + "'");
    }
    cv::VideoCapture video(input, cv::CAP_ANY);
    if (!video.isOpened()) {
        throw InputError("cannot open video '" + input + "' (not a video OpenCV can read)");
    }
    const double count = video.get(cv::CAP_PROP_FRAME_COUNT);
    std::optional<int> frames;
    if (count >= 1 && count < 1e9) {
        frames = int(count);
    }
    return std::make_unique<VideoSource>(std::move(video), frames);
}

std::unique_ptr<FrameSource> FrameSource::openPipeline(const std::string& description) {
    if (!cv::videoio_registry::hasBackend(cv::CAP_GSTREAMER)) {
        throw InputError("this OpenCV has no GStreamer backend for the pipeline '" + description +
                         "'");
    }
    cv::VideoCapture pipeline(description, cv::CAP_GSTREAMER);
    if (!pipeline.isOpened()) {
        throw InputError("cannot start the GStreamer pipeline '" + description + "'");
    }
    return std::make_unique<VideoSource>(std::move(pipeline), std::nullopt, true);
}

} // namespace zok_track
