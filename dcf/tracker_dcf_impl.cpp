#include "dcf/tracker_dcf_impl.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "dcf/region.hpp"
#include "fft/fft_grid.hpp"
#include "geometry/clamp_or.hpp"
#include "geometry/geometry.hpp"

namespace wyr::zok {

namespace {

// The longer side of the target always fits the region with this margin.
constexpr float MIN_REGION_TO_SIDE = 1.25f;
// How far from the prediction, in target lengths, a peak may lie and still be believed at the
// usual confidence.
constexpr float JUMP_REACH = 1.0f;
// Frames in a row of matches below the learning level after which the target is judged lost.
constexpr int MAX_WEAK_FRAMES = 10;
// Weight of the newest displacement in the velocity.
constexpr float VELOCITY_RATE = 0.6f;
// While lost: windows searched per frame besides the one at the last place (in the first ring
// around it, and in the outer rings), how far apart (as a share of the region's side) and every
// how many frames the searched area grows a ring.
constexpr int INNER_TILES_PER_FRAME = 2;
constexpr int OUTER_TILES_PER_FRAME = 1;
constexpr float TILE_SPACING = 0.5f;
constexpr int FRAMES_PER_RING = 2;
// Weight of the newest frame in the trust put in colour.
constexpr float TRUST_RATE = 0.1f;
// How far a lost target's motion is followed, in region sides.
constexpr float MAX_EXTRAPOLATION = 2.0f;
// Grey-level spread over a sample's cells (on the 8-bit scale) below which it is featureless:
// a flat view holds no peak to find, whatever the filter's rounding errors make of it.
constexpr double MIN_CONTRAST = 0.05;
// The least camera motion, in feature cells, at which a target still in the image and one
// carried with the background are told apart.
constexpr float MIN_PAN_CELLS = 2.0f;
// The confidence from which a match is believed whatever its response's change of shape: a
// target seen clearly that turns or deforms must still be learned.
constexpr double ABERRANT_BELOW = 0.6;

void checkFrameDims(const cv::Mat& frame) {
    if (frame.dims != 2) {
        // An array of more than two dimensions (a numpy array of shape (h, w, c, 1), or one of
        // more channels than a matrix can hold) is no image, whatever its element type.
        CV_Error(cv::Error::StsUnsupportedFormat,
                 cv::format("TrackerDcf takes 2-D frames; this one has %d dimensions", frame.dims));
    }
}

void checkFrameType(const cv::Mat& frame) {
    checkFrameDims(frame);
    const int depth = frame.depth();
    const int channels = frame.channels();
    if ((depth != CV_8U && depth != CV_32F) || (channels != 1 && channels != 3 && channels != 4)) {
        CV_Error(cv::Error::StsUnsupportedFormat,
                 "TrackerDcf takes 8-bit or float frames with 1, 3 or 4 channels");
    }
}

// Offsets (in tiles) of the rings around the centre, ring by ring: index 0 .. 8 r - 1 of ring r.
cv::Point ringOffset(int index, int& ring) {
    ring = 1;
    while (index >= 8 * ring) {
        index -= 8 * ring;
        ++ring;
    }
    const int side = 2 * ring;
    const int edge = index / side;
    const int along = index % side;
    switch (edge) {
    case 0:
        return {-ring + along, -ring};
    case 1:
        return {ring, -ring + along};
    case 2:
        return {ring - along, ring};
    default:
        return {-ring, ring - along};
    }
}

} // namespace

TrackerDcf::Params appliedParams(const TrackerDcf::Params& p) {
    const TrackerDcf::Params d;
    TrackerDcf::Params a = p;
    a.padding = clampOr(p.padding, 2.0f, 8.0f, d.padding);
    a.gridCells = std::clamp(p.gridCells, 16, 96);
    int n = transformLength(a.gridCells);
    while (n % 2 != 0) {
        n = transformLength(n + 1);
    }
    a.gridCells = n;
    a.labelSigma = clampOr(p.labelSigma, 0.01f, 0.5f, d.labelSigma);
    a.learningRate = clampOr(p.learningRate, 0.0f, 1.0f, d.learningRate);
    a.admmIterations = std::clamp(p.admmIterations, 0, 10);
    a.colourWeight = clampOr(p.colourWeight, 0.0f, 1.0f, d.colourWeight);
    a.colourLearningRate = clampOr(p.colourLearningRate, 0.0f, 1.0f, d.colourLearningRate);
    a.scales = std::clamp(p.scales, 3, 33) | 1;
    a.scaleStep = clampOr(p.scaleStep, 1.005f, 1.2f, d.scaleStep);
    a.scaleLearningRate = clampOr(p.scaleLearningRate, 0.0f, 1.0f, d.scaleLearningRate);
    a.motionDamping = clampOr(p.motionDamping, 0.0f, 1.0f, d.motionDamping);
    a.lostConfidence = clampOr(p.lostConfidence, 0.0f, 10.0f, d.lostConfidence);
    a.learnConfidence = clampOr(p.learnConfidence, a.lostConfidence, 10.0f,
                                std::max(a.lostConfidence, d.learnConfidence));
    a.redetectConfidence = clampOr(p.redetectConfidence, a.lostConfidence, 10.0f,
                                   std::max(a.lostConfidence, d.redetectConfidence));
    a.redetectFrames = std::clamp(p.redetectFrames, 1, 10);
    a.minSharpness = clampOr(p.minSharpness, 0.0f, 1000.0f, d.minSharpness);
    a.stillPreference = clampOr(p.stillPreference, 0.0f, 1.0f, d.stillPreference);
    a.aspects = std::clamp(p.aspects, 3, 33) | 1;
    a.aspectStep = clampOr(p.aspectStep, 1.005f, 1.2f, d.aspectStep);
    a.aspectLimit = clampOr(p.aspectLimit, 1.0f, 10.0f, d.aspectLimit);
    a.aspectRate = clampOr(p.aspectRate, 0.0f, 1.0f, d.aspectRate);
    a.maxResponseVariation = clampOr(p.maxResponseVariation, 0.0f, 1000.0f, d.maxResponseVariation);
    return a;
}

TrackerDcfImpl::TrackerDcfImpl(const Params& params) : params_(appliedParams(params)) {}

void TrackerDcfImpl::init(cv::InputArray image, const cv::Rect& boundingBox) {
    const cv::Mat frame = image.getMat();
    if (frame.empty()) {
        CV_Error(cv::Error::StsBadArg, "TrackerDcf::init was given an empty frame");
    }
    checkFrameType(frame);
    if (!liesInside(boundingBox, frame.size()) || boundingBox.width < DCF_MIN_TARGET_SIDE ||
        boundingBox.height < DCF_MIN_TARGET_SIDE) {
        CV_Error(cv::Error::StsBadSize,
                 cv::format("TrackerDcf::init needs a box inside the frame with sides of at "
                            "least %d pixels",
                            DCF_MIN_TARGET_SIDE));
    }
    // Everything is built aside and swapped in at the end, so that a refused init() leaves the
    // tracker as it was.
    Track track;
    track.base = cv::Size2f(float(boundingBox.width), float(boundingBox.height));
    track.centre = cv::Point2f(boundingBox.x + boundingBox.width / 2.0f,
                               boundingBox.y + boundingBox.height / 2.0f);
    track.regionSide = std::max(params_.padding * std::sqrt(track.base.area()),
                                MIN_REGION_TO_SIDE * std::max(track.base.width, track.base.height));
    const int n = params_.gridCells;
    const float cellsPerPixel = float(n) / track.regionSide;

    CorrelationFilter filter;
    CorrelationFilter::Settings settings;
    settings.gridSide = n;
    // Built aside like the rest, as its plane count must stay the filter's.
    FeatureExtractor features;
    features.setColourPlanes(params_.colourFeatures && frame.channels() >= 3);
    settings.channels = features.planeCount();
    settings.targetCells = track.base * cellsPerPixel;
    settings.labelSigma = params_.labelSigma;
    settings.iterations = params_.admmIterations;
    filter.configure(settings);

    const cv::Size sampleSize(n * DCF_CELL_SIZE, n * DCF_CELL_SIZE);
    if (!sampleFiniteRegion(frame, track.centre, cv::Size2f(track.regionSide, track.regionSide),
                            sampleSize, sample_, scratch_)) {
        CV_Error(cv::Error::StsBadArg, "the frame holds NaN or infinite pixels around the target");
    }
    features.compute(sample_, planes_);
    filter.loadSample(planes_);
    filter.learn(1.0f);
    ColourModel colour;
    if (usesColour(frame.type())) {
        makeColourPatch(settings);
        track.colourTrust = learnColour(colour, settings, cv::Point2f(), 1.0f);
    }

    ScaleFilter scaleFilter;
    if (params_.scaleFilter) {
        ScaleFilter::Settings scaleSettings;
        scaleSettings.scales = params_.scales;
        scaleSettings.step = params_.scaleStep;
        scaleSettings.target = track.base;
        scaleFilter.configure(scaleSettings);
        scaleFilter.loadSamples(frame, track.centre, track.base);
        scaleFilter.learn(1.0f, 0.0f);
    }
    AspectFilter aspectFilter;
    if (params_.scaleFilter && params_.aspectFilter) {
        AspectFilter::Settings aspectSettings;
        aspectSettings.aspects = params_.aspects;
        aspectSettings.step = params_.aspectStep;
        aspectSettings.limit = params_.aspectLimit;
        aspectSettings.rate = params_.aspectRate;
        aspectSettings.base = track.base;
        aspectSettings.longestSide = track.regionSide / MIN_REGION_TO_SIDE;
        aspectFilter.configure(aspectSettings);
        aspectFilter.estimate(frame, track.centre, track.base);
        aspectFilter.learn(1.0f, 0.0f);
    }

    CameraMotion camera;
    if (params_.cameraMotion) {
        camera.measure(frame);
        camera.commit();
    }
    MotionSupport motion;
    if (params_.motionSupport) {
        motion.start(frame, track.centre, track.regionSide, n);
    }

    filter_ = std::move(filter);
    features_ = std::move(features);
    scaleFilter_ = std::move(scaleFilter);
    aspectFilter_ = std::move(aspectFilter);
    camera_ = std::move(camera);
    motion_ = std::move(motion);
    colour_ = std::move(colour);
    track_ = track;
    history_.reset(params_.minSharpness);
    variation_.reset();
    frameSize_ = frame.size();
    frameType_ = frame.type();
    confidence_ = 1.0;
    initialised_ = true;
}

TrackerDcfImpl::Search TrackerDcfImpl::searchAt(const cv::Mat& frame, const cv::Point2f& centre,
                                                float scale) {
    const int n = filter_.side();
    const float side = track_.regionSide * scale;
    if (!sampleFiniteRegion(frame, centre, cv::Size2f(side, side),
                            cv::Size(n * DCF_CELL_SIZE, n * DCF_CELL_SIZE), sample_, scratch_)) {
        CV_Error(cv::Error::StsBadArg, "the frame holds NaN or infinite pixels around the target");
    }
    features_.compute(sample_, planes_);
    Search s;
    if (features_.contrast() < MIN_CONTRAST) {
        s.confidence = 0.0;
        s.found = centre;
        return s;
    }
    filter_.loadSample(planes_);
    filter_.respond(response_);
    if (usesColour(frameType_)) {
        mergeColour(filter_.settings(), response_);
    }
    s.peak = findPeak(response_, n / 2 - 1);
    s.confidence = history_.confidence(s.peak);
    s.found = centre + s.peak.shift * (side / float(n));
    return s;
}

bool TrackerDcfImpl::usesColour(int frameType) const {
    return params_.colour && params_.colourWeight > 0 && CV_MAT_CN(frameType) >= 3;
}

namespace {

// The colour response's window for a target of `cells`, at two patch pixels a cell.
cv::Size colourWindow(const cv::Size2f& cells) {
    return {std::max(1, int(std::lround(2 * cells.width))),
            std::max(1, int(std::lround(2 * cells.height)))};
}

// How well the likelihood separates the target's box from the rest of the patch: the mean
// likelihood inside less the mean outside, scaled so that a clear separation gives 1.
float separation(const cv::Mat& likelihood, const cv::Rect& box) {
    const cv::Rect inside = box & cv::Rect(0, 0, likelihood.cols, likelihood.rows);
    const double all = double(likelihood.total());
    if (inside.empty() || double(inside.area()) >= all) {
        return 0.0f;
    }
    const double sum = cv::sum(likelihood)[0];
    const double in = cv::sum(likelihood(inside))[0];
    const double out = (sum - in) / (all - inside.area());
    return std::clamp(float(2.0 * (in / inside.area() - out)), 0.0f, 1.0f);
}

} // namespace

void TrackerDcfImpl::makeColourPatch(const CorrelationFilter::Settings& grid) {
    // The colour model works at half the sample's resolution (two pixels a cell), which is
    // plenty for a histogram and a box mean and costs a quarter.
    const int side = 2 * grid.gridSide;
    cv::resize(sample_, colourPatch_, cv::Size(side, side), 0, 0, cv::INTER_AREA);
}

void TrackerDcfImpl::mergeColour(const CorrelationFilter::Settings& grid, cv::Mat& response) {
    const int n = grid.gridSide;
    const int side = 2 * n;
    makeColourPatch(grid);
    colour_.likelihood(colourPatch_, likelihood_);
    const cv::Size window = colourWindow(grid.targetCells);
    colourResponse(likelihood_, window, colourScores_);
    // Response index (y, x) is a shift of (x, y) cells (wrapping), which puts the target's
    // centre at n + 2 shift in the patch's continuous coordinates. The box mean at pixel p is
    // centred at p for an even window side and at p + 1/2 for an odd one: so pixel n + 2 shift,
    // or the mean of it and the pixel before. Colour scales the filter's scores rather than
    // adding to them, so that a patch of the target's colours cannot outscore the target.
    const float w = params_.colourWeight * track_.colourTrust;
    if (w <= 0) {
        return;
    }
    const int backX = window.width % 2;
    const int backY = window.height % 2;
    for (int y = 0; y < n; ++y) {
        const int sy = y < (n + 1) / 2 ? y : y - n;
        const int py = std::clamp(n + 2 * sy, 1, side - 1);
        const float* a = colourScores_.ptr<float>(py - backY);
        const float* b = colourScores_.ptr<float>(py);
        float* r = response.ptr<float>(y);
        for (int x = 0; x < n; ++x) {
            const int sx = x < (n + 1) / 2 ? x : x - n;
            const int px = std::clamp(n + 2 * sx, 1, side - 1);
            const float c = 0.25f * (a[px - backX] + a[px] + b[px - backX] + b[px]);
            r[x] *= 1.0f + w * (2.0f * c - 1.0f);
        }
    }
}

float TrackerDcfImpl::learnColour(ColourModel& model, const CorrelationFilter::Settings& grid,
                                  const cv::Point2f& shift, float rate) {
    const int n = grid.gridSide;
    const cv::Size window = colourWindow(grid.targetCells);
    const cv::Point2f centre(n + 2 * shift.x, n + 2 * shift.y);
    const cv::Rect box(int(std::lround(centre.x - window.width / 2.0f)),
                       int(std::lround(centre.y - window.height / 2.0f)), window.width,
                       window.height);
    model.learn(colourPatch_, box, rate);
    model.likelihood(colourPatch_, likelihood_);
    return separation(likelihood_, box);
}

float TrackerDcfImpl::clampScale(float scale, const cv::Size2f& shapedBase) const {
    const float lo =
        std::max(0.1f, float(DCF_MIN_TARGET_SIDE) / std::min(shapedBase.width, shapedBase.height));
    const float hi = std::max(lo, std::min({10.0f, frameSize_.width / shapedBase.width,
                                            frameSize_.height / shapedBase.height}));
    return std::clamp(scale, lo, hi);
}

cv::Point2f TrackerDcfImpl::inFrame(const cv::Point2f& p) const {
    return {std::clamp(p.x, 0.0f, float(frameSize_.width)),
            std::clamp(p.y, 0.0f, float(frameSize_.height))};
}

cv::Rect TrackerDcfImpl::box() const {
    // The target's box cut to the frame; its centre always lies in the frame, so some of it
    // always does.
    const cv::Size2f size = targetSize();
    const cv::Rect whole(int(std::lround(track_.centre.x - size.width / 2)),
                         int(std::lround(track_.centre.y - size.height / 2)),
                         int(std::lround(size.width)), int(std::lround(size.height)));
    return whole & cv::Rect(cv::Point(), frameSize_);
}

bool TrackerDcfImpl::update(cv::InputArray image, cv::Rect& boundingBox) {
    if (!initialised_) {
        CV_Error(cv::Error::StsError, "TrackerDcf::update was called before init");
    }
    const cv::Mat frame = image.getMat();
    if (frame.empty()) {
        CV_Error(cv::Error::StsBadArg, "TrackerDcf::update was given an empty frame");
    }
    // Before the size: a 3-D array's rows and columns can match the first frame's.
    checkFrameDims(frame);
    if (frame.size() != frameSize_) {
        CV_Error(cv::Error::StsUnmatchedSizes,
                 "TrackerDcf::update needs frames of the size of the first frame");
    }
    if (frame.type() != frameType_) {
        CV_Error(cv::Error::StsUnmatchedFormats,
                 "TrackerDcf::update needs frames of the type of the first frame");
    }
    // The camera's shift is kept only when the call succeeds: a refused frame changes nothing.
    // The target and its surroundings (half the search region) are left out of the estimate.
    const cv::Size2f around =
        targetSize() + cv::Size2f(1, 1) * (0.25f * track_.regionSide * track_.scale);
    const cv::Rect2f ignore(track_.centre - cv::Point2f(around.width, around.height) * 0.5f,
                            around);
    const cv::Point2f camera =
        params_.cameraMotion ? camera_.measure(frame, ignore) : cv::Point2f();
    const bool found =
        track_.lost ? redetect(frame, camera, boundingBox) : follow(frame, camera, boundingBox);
    if (params_.cameraMotion) {
        camera_.commit();
    }
    // Once, after the first update that did not raise (so that a refused frame changes
    // nothing): the first frame's search was made with the whole box. A target lost at once
    // keeps it, as a later frame is no longer the first one's neighbour.
    cv::Mat support;
    if (motion_.pending() && motion_.cut(frame, filter_.support(), support) && found) {
        filter_.setSupport(support);
        filter_.learn(0.0f);
    }
    return found;
}

bool TrackerDcfImpl::follow(const cv::Mat& frame, const cv::Point2f& camera,
                            cv::Rect& boundingBox) {
    // Where the background carries the target, moved on by its own motion.
    const cv::Point2f carried = track_.centre + camera;
    const cv::Point2f predicted =
        params_.motionPrediction ? carried + track_.velocity * params_.motionDamping : carried;
    Search s = searchAt(frame, predicted, track_.scale);
    preferStill(camera, predicted, s);
    const bool occluded = aberrant(s);
    // A peak further from the prediction than the target is long (plus a step, as fast motion
    // is predicted less well) is believed only at the confidence a re-detection needs:
    // otherwise it is more often something else.
    const float reach =
        JUMP_REACH * std::max(track_.base.width, track_.base.height) * track_.scale +
        float(cv::norm(track_.velocity));
    const bool jump = cv::norm(s.found - predicted) > reach;
    // A long run of matches too weak to learn from is a target that has drifted away or
    // changed beyond the model, more often than one still followed.
    const bool weak = s.confidence < params_.learnConfidence;
    if (s.confidence < params_.lostConfidence ||
        (jump && s.confidence < params_.redetectConfidence) ||
        (weak && track_.weakFrames + 1 >= MAX_WEAK_FRAMES)) {
        track_.weakFrames = 0;
        track_.lost = true;
        track_.framesLost = 1;
        track_.pendingFrames = 0;
        track_.tileCursor = 0;
        track_.innerCursor = 0;
        // The velocity stays: a target that walked behind something is looked for further on.
        // Found again, it is searched for elsewhere, so its response is compared afresh.
        variation_.forget();
        confidence_ = s.confidence;
        boundingBox = box();
        return false;
    }
    const cv::Point2f found = inFrame(s.found);
    float offset = 0.0f;
    if (params_.scaleFilter) {
        // May raise (NaN pixels); nothing has changed yet. Sampled at the first box's shape:
        // the aspect filter's shape never feeds back into the scale, so that a wrong shape
        // cannot carry the search region off.
        scaleFilter_.loadSamples(frame, found, track_.base * track_.scale);
        offset = scaleFilter_.estimate();
    }
    // The shape moves only on frames confident enough to learn from: a weak match's samples
    // are as likely to show an occluder's outline as the target's.
    float aspectOffset = 0.0f;
    float aspect = track_.aspect;
    if (aspectFilter_.configured()) {
        aspectOffset = aspectFilter_.estimate(frame, found, targetSize());
        if (!weak) {
            aspect = aspectFilter_.moved(aspect, aspectOffset);
        }
    }
    const float scale = clampScale(track_.scale * std::pow(params_.scaleStep, offset),
                                   AspectFilter::shaped(track_.base, aspect));

    track_.weakFrames = weak ? track_.weakFrames + 1 : 0;
    // Only confident steps teach the motion; an uncertain one lets it die down.
    if (s.confidence >= params_.learnConfidence) {
        track_.velocity =
            track_.velocity * (1.0f - VELOCITY_RATE) + (found - carried) * VELOCITY_RATE;
    } else {
        track_.velocity *= params_.motionDamping;
    }
    track_.centre = found;
    if (s.confidence >= params_.learnConfidence && !occluded) {
        if (usesColour(frameType_)) {
            // The colour patch of the search just made, which mergeColour() saw.
            const float trust =
                learnColour(colour_, filter_.settings(), s.peak.shift, params_.colourLearningRate);
            track_.colourTrust += TRUST_RATE * (trust - track_.colourTrust);
        }
        filter_.shiftSample(-s.peak.shift);
        filter_.learn(params_.learningRate);
        if (params_.scaleFilter) {
            scaleFilter_.learn(params_.scaleLearningRate, offset);
        }
        if (aspectFilter_.configured()) {
            aspectFilter_.learn(params_.scaleLearningRate, aspectOffset);
        }
        history_.record(s.peak);
        variation_.keep();
    }
    track_.scale = scale;
    track_.aspect = aspect;
    confidence_ = s.confidence;
    boundingBox = box();
    return true;
}

bool TrackerDcfImpl::aberrant(Search& s) {
    if (params_.maxResponseVariation <= 0 || s.confidence <= 0) {
        return false;
    }
    variation_.measure(response_, s.peak);
    const double ratio = variation_.ratio();
    if (!(ratio > params_.maxResponseVariation) || s.confidence >= ABERRANT_BELOW) {
        return false;
    }
    s.confidence *= params_.maxResponseVariation / ratio;
    return true;
}

void TrackerDcfImpl::preferStill(const cv::Point2f& camera, const cv::Point2f& predicted,
                                 Search& s) const {
    if (!params_.cameraMotion || params_.stillPreference <= 0 || s.confidence <= 0) {
        return;
    }
    const int n = filter_.side();
    const float cell = track_.regionSide * track_.scale / float(n);
    // Two hypotheses a cell or two apart cannot be told apart by the response.
    if (float(cv::norm(camera)) < MIN_PAN_CELLS * cell) {
        return;
    }
    const cv::Point2f carried = track_.centre + camera;
    if (cv::norm(s.found - carried) >= cv::norm(s.found - track_.centre)) {
        return; // the peak did not move with the background
    }
    const cv::Point2f stillShift = (track_.centre - predicted) / cell;
    const float still = valueNear(response_, stillShift, n / 2 - 1);
    if (!(still >= params_.stillPreference * s.peak.value)) {
        return;
    }
    s.peak.shift = stillShift;
    s.peak.value = still;
    s.confidence = history_.confidence(s.peak);
    s.found = track_.centre;
}

bool TrackerDcfImpl::redetect(const cv::Mat& frame, const cv::Point2f& camera,
                              cv::Rect& boundingBox) {
    // The window at the last place (or at a candidate being confirmed), then a few of the
    // windows in rings around it, the rings growing with the frames lost until they cover the
    // frame. Both places move with the background: a hidden target stays where the camera
    // leaves it. They are stored only once every search has been made.
    const cv::Point2f last = inFrame(track_.centre + camera);
    const cv::Point2f pending = inFrame(track_.pendingCentre + camera);
    const cv::Point2f home = track_.pendingFrames > 0 ? pending : last;
    Search best = searchAt(frame, home, track_.scale);
    // A target hidden while it moved is looked for where its motion would have taken it.
    if (params_.motionPrediction && track_.pendingFrames == 0 &&
        cv::norm(track_.velocity) * params_.motionDamping > 0.5f) {
        const float reach = track_.regionSide * track_.scale * MAX_EXTRAPOLATION;
        cv::Point2f step = track_.velocity * params_.motionDamping * float(track_.framesLost + 1);
        const float length = float(cv::norm(step));
        if (length > reach) {
            step *= reach / length;
        }
        const cv::Point2f ahead = inFrame(home + step);
        const Search s = searchAt(frame, ahead, track_.scale);
        if (s.confidence > best.confidence) {
            best = s;
        }
    }
    if (params_.redetection) {
        // The first ring, where a target that walked out of sight most often reappears, is
        // searched again every few frames; the outer rings, a few windows a frame, in turn.
        const float spacing = TILE_SPACING * track_.regionSide * track_.scale;
        const int cover = int(std::ceil(std::max(frameSize_.width, frameSize_.height) / spacing));
        const int rings = std::min(cover, 1 + track_.framesLost / FRAMES_PER_RING);
        const auto searchTiles = [&](int& cursor, int first, int count, int perFrame) {
            int searched = 0;
            for (int tried = 0; tried < count && searched < perFrame; ++tried) {
                int ring = 0;
                const cv::Point offset = ringOffset(first + cursor, ring);
                cursor = (cursor + 1) % count;
                const cv::Point2f centre = last + cv::Point2f(offset) * spacing;
                if (centre.x < 0 || centre.y < 0 || centre.x > frameSize_.width ||
                    centre.y > frameSize_.height) {
                    continue;
                }
                const Search s = searchAt(frame, centre, track_.scale);
                ++searched;
                if (s.confidence > best.confidence) {
                    best = s;
                }
            }
        };
        // The cursors are stored only once every search has been made: a search can raise
        // (NaN pixels), and a refused frame leaves the tracker as it was.
        int inner = track_.innerCursor;
        searchTiles(inner, 0, 8, INNER_TILES_PER_FRAME);
        int outer = track_.tileCursor;
        if (rings > 1) {
            outer %= 4 * rings * (rings + 1) - 8;
            searchTiles(outer, 8, 4 * rings * (rings + 1) - 8, OUTER_TILES_PER_FRAME);
        }
        track_.innerCursor = inner;
        track_.tileCursor = outer;
    }
    // A peak can put the target's centre beyond the frame's edge: it is kept inside, as on the
    // usual path, so that the box reported is never empty.
    best.found = inFrame(best.found);
    track_.centre = last;
    track_.pendingCentre = pending;
    ++track_.framesLost;
    confidence_ = best.confidence;
    if (best.confidence >= params_.redetectConfidence) {
        // The candidate of the frame before, or near enough for a target moving on.
        const float near =
            JUMP_REACH * std::max(track_.base.width, track_.base.height) * track_.scale;
        const bool same =
            track_.pendingFrames > 0 && cv::norm(best.found - track_.pendingCentre) <= near;
        track_.pendingFrames = same ? track_.pendingFrames + 1 : 1;
        track_.pendingCentre = best.found;
        if (track_.pendingFrames >= params_.redetectFrames) {
            track_.lost = false;
            track_.framesLost = 0;
            track_.pendingFrames = 0;
            track_.centre = best.found;
            track_.velocity = cv::Point2f();
            confidence_ = best.confidence;
            boundingBox = box();
            return true;
        }
    } else {
        track_.pendingFrames = 0;
    }
    boundingBox = box();
    return false;
}

} // namespace wyr::zok
