#include "accuracy/sequences.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "synthetic/synthetic.hpp"

namespace wyr::zok::accuracy {

namespace {

// Room around the first frame for the camera to pan into.
constexpr int kMargin = 400;
const cv::Size kOccluderSize{80, 60};

// Pastes `patch` with its top-left at the fractional `topLeft` of `frame`: resampled
// bilinearly with its coverage, so that edge pixels mix with what lies below.
void paste(cv::Mat& frame, const cv::Mat& patch, const cv::Point2d& topLeft) {
    const cv::Rect canvas = cv::Rect(int(std::floor(topLeft.x)) - 1, int(std::floor(topLeft.y)) - 1,
                                     patch.cols + 3, patch.rows + 3) &
                            cv::Rect(cv::Point(), frame.size());
    if (canvas.empty()) {
        return;
    }
    const cv::Matx23d shift(1, 0, topLeft.x - canvas.x, 0, 1, topLeft.y - canvas.y);
    cv::Mat values;
    patch.convertTo(values, CV_32F);
    const cv::Mat ones(patch.size(), values.type(), cv::Scalar::all(1.0));
    cv::Mat warped;
    cv::Mat coverage;
    cv::warpAffine(values, warped, shift, canvas.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    cv::warpAffine(ones, coverage, shift, canvas.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    cv::Mat ground;
    frame(canvas).convertTo(ground, CV_32F);
    cv::Mat blended = ground.mul(cv::Scalar::all(1.0) - coverage) + warped;
    blended.convertTo(frame(canvas), frame.type());
}

double unitNoise(uint64_t seed, int k, int which) {
    cv::RNG rng(seed * 1000003u + uint64_t(k) * 7u + uint64_t(which));
    return rng.uniform(-1.0, 1.0);
}

// A point bouncing between 0 and `limit` on each axis at `velocity` per frame.
cv::Point2d bounce(const cv::Point2d& start, const cv::Point2d& velocity, const cv::Point2d& limit,
                   int k) {
    const auto axis = [](double s, double v, double l, int k) {
        double p = std::fmod(s + v * k, 2 * l);
        if (p < 0) {
            p += 2 * l;
        }
        return p <= l ? p : 2 * l - p;
    };
    return {axis(start.x, velocity.x, limit.x, k), axis(start.y, velocity.y, limit.y, k)};
}

} // namespace

void Sequence::prepare() {
    cv::RNG rng(seed);
    world_ = synthetic::makeTexture(frameSize + cv::Size(2 * kMargin, 2 * kMargin), type, rng);
    target_ = synthetic::makeTexture(targetSize, type, rng);
    occluder_ = synthetic::makeTexture(kOccluderSize, type, rng);
    for (const cv::Rect& flat : flatGround) {
        world_(flat + cv::Point(kMargin, kMargin)).setTo(cv::Scalar::all(128));
    }
}

Frame Sequence::frame(int k) const {
    const Motion m = motion(k);
    Frame out;
    const cv::Matx23d view(1, 0, -(m.camera.x + kMargin), 0, 1, -(m.camera.y + kMargin));
    cv::warpAffine(world_, out.image, view, frameSize, cv::INTER_LINEAR, cv::BORDER_REFLECT);

    const cv::Size2d size(targetSize.width * m.scale, targetSize.height * m.scale);
    const cv::Point2d centre = m.target - m.camera + cv::Point2d(targetSize) * 0.5;
    out.truth = cv::Rect2d(centre - cv::Point2d(size.width, size.height) * 0.5, size);
    cv::Mat target = target_;
    if (m.scale != 1.0) {
        cv::resize(target_, target,
                   cv::Size(int(std::lround(size.width)), int(std::lround(size.height))), 0, 0,
                   cv::INTER_LINEAR);
    }
    paste(out.image, target, out.truth.tl());
    if (m.blur > 1.0) {
        const int length = int(std::lround(m.blur)) | 1;
        const cv::Rect around = cv::Rect(cv::Point(out.truth.tl()) - cv::Point(length, 2),
                                         cv::Size(out.truth.size()) + cv::Size(2 * length, 4)) &
                                cv::Rect(cv::Point(), frameSize);
        cv::Mat region = out.image(around);
        cv::blur(region, region, cv::Size(length, 1));
    }
    if (m.occluded) {
        paste(out.image, occluder_, m.occluder);
        const cv::Rect2d cover(m.occluder, cv::Size2d(kOccluderSize));
        const cv::Rect2d hidden = cover & out.truth;
        if (hidden.area() >= out.truth.area() - 1e-9) {
            out.visibility = Visibility::HIDDEN;
        } else if (hidden.area() > 0) {
            out.visibility = Visibility::PARTIAL;
        }
    }
    if ((out.truth & cv::Rect2d(0, 0, frameSize.width, frameSize.height)) != out.truth) {
        out.visibility = std::max(out.visibility, Visibility::PARTIAL);
    }
    if (m.gain != 1.0 || m.bias != 0.0) {
        out.image.convertTo(out.image, -1, m.gain, m.bias);
    }
    return out;
}

std::vector<Sequence> makeSequences() {
    std::vector<Sequence> all;
    const auto add = [&](const char* name, const char* what, cv::Size frame, int type,
                         std::function<Sequence::Motion(int)> motion) -> Sequence& {
        Sequence s;
        s.name = name;
        s.what = what;
        s.frameSize = frame;
        s.type = type;
        s.frames = 150;
        s.seed = all.size() + 11;
        s.motion = std::move(motion);
        all.push_back(std::move(s));
        return all.back();
    };
    const cv::Size vga(640, 480);
    const cv::Size hd(1280, 720);

    add("pan", "the whole image pans 2.3, 1.1 px a frame", vga, CV_8UC1, [](int k) {
        Sequence::Motion m;
        m.target = {480, 380};
        m.camera = {2.3 * k, 1.1 * k};
        return m;
    });
    add("jitter", "camera shakes up to 8 px a frame, target walks slowly", hd, CV_8UC3, [](int k) {
        Sequence::Motion m;
        m.target = {500 + 1.2 * k, 300 + 0.5 * k};
        m.camera = {8 * unitNoise(2, k, 0), 8 * unitNoise(2, k, 1)};
        return m;
    });
    add("fast", "target bounces at 24, 13 px a frame", hd, CV_8UC1, [](int k) {
        Sequence::Motion m;
        m.target = bounce({300, 200}, {24, 13}, {1280 - 40, 720 - 30}, k);
        return m;
    });
    add("partial", "an occluder hides up to the top half for 60 frames", vga, CV_8UC3, [](int k) {
        Sequence::Motion m;
        m.target = {150 + 2.0 * k, 220};
        m.occluded = true;
        m.occluder = {250, 220 + 15 - 60};
        return m;
    });
    add("occlusion", "target walks behind a still occluder, hidden 20 frames", vga, CV_8UC1,
        [](int k) {
            Sequence::Motion m;
            m.target = {150 + 2.0 * k, 220};
            m.occluded = true;
            m.occluder = {260, 205};
            return m;
        });
    add("crossing", "an occluder crosses the target, hidden 7 frames", hd, CV_8UC3, [](int k) {
        Sequence::Motion m;
        m.target = {400 + 3.0 * k, 330};
        m.occluded = true;
        m.occluder = {1000 - 3.0 * k, 315};
        return m;
    });
    add("flat ground", "target crosses flat grey ground", vga, CV_8UC3, [](int k) {
        Sequence::Motion m;
        m.target = {60 + 3.0 * k, 150 + 1.0 * k};
        return m;
    }).flatGround = {cv::Rect(180, 0, 220, 480)};
    add("illumination", "light falls to 45 % with a rising offset", hd, CV_8UC3, [](int k) {
        Sequence::Motion m;
        m.target = {500 + 2.0 * k, 300 + std::sin(k / 10.0) * 30};
        m.gain = 1.0 - 0.55 * k / 149.0;
        m.bias = 40.0 * k / 149.0;
        return m;
    });
    add("motion blur", "target at 6-14 px a frame, blurred along its motion", vga, CV_8UC1,
        [](int k) {
            double x = 100;
            for (int i = 0; i < k; ++i) {
                x += 10 + 4 * std::sin(i / 8.0);
            }
            Sequence::Motion m;
            m.target = bounce({x, 220 + 20 * std::sin(k / 15.0)}, {0, 0}, {640 - 40, 480 - 30}, 0);
            m.blur = 10 + 4 * std::sin(k / 8.0);
            return m;
        });
    add("scale", "target grows and shrinks by 10 %", hd, CV_8UC1, [](int k) {
        Sequence::Motion m;
        m.target = {600 + 1.5 * k, 340};
        m.scale = 1.0 + 0.1 * std::sin(2 * CV_PI * k / 75.0);
        return m;
    });
    return all;
}

} // namespace wyr::zok::accuracy
