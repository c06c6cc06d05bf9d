// What the element adds to a bare tracker call: the same tracker with the same configuration
// on the same frames (videotestsrc's ball, 640 x 480 BGR), once through
// FlightDirector::update and once pushed through zoktrack in a GstHarness, which maps the
// buffer, tracks, attaches the meta and posts the message. The harness's own queue is counted
// with the element. Frames play forwards and backwards, so the ball never jumps. OpenCV runs on
// one thread here.
#include <vector>

#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>

#include "ball_frames.hpp"
#include "recommended_config.hpp"
#include "zok/flight_director.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"
#include "zoktrack.hpp"

namespace {

const char* const kCaps = "video/x-raw,format=BGR,width=640,height=480,framerate=30/1";

struct Frames {
    std::vector<cv::Mat> frames;
    std::vector<size_t> order; // forwards, then backwards
    cv::Rect start;

    Frames() {
        // OpenCV's workers would wait by spinning on a busy machine and blur the difference;
        // with one thread, both sides do the same work in the timed thread.
        cv::setNumThreads(1);
        gst_init(nullptr, nullptr);
        gst_element_register(nullptr, "zoktrack", GST_RANK_NONE, GST_TYPE_ZOK_TRACK);
        frames = zok_gst_test::ballFrames(kCaps, 64);
        const cv::Rect ball = zok_gst_test::brightBox(frames[0]);
        start = ball + cv::Size(8, 8) - cv::Point(4, 4);
        for (size_t k = 1; k < frames.size(); ++k) {
            order.push_back(k);
        }
        for (size_t k = frames.size() - 2; k > 0; --k) {
            order.push_back(k);
        }
        order.push_back(0);
    }
};

const Frames& frames() {
    static const Frames f;
    return f;
}

GstBuffer* bufferOf(const cv::Mat& frame, const GstVideoInfo& info, gsize align = 0) {
    GstAllocationParams params;
    gst_allocation_params_init(&params);
    params.align = align;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), &params);
    GstVideoFrame mapped;
    gst_video_frame_map(&mapped, &info, buffer, GST_MAP_WRITE);
    frame.copyTo(cv::Mat(frame.size(), frame.type(), GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0),
                         size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0))));
    gst_video_frame_unmap(&mapped);
    return buffer;
}

// range(1): 0 tracks on the cv::Mat frames; 1 on views of the same pixels in GstBuffers made as
// the element gets them, 2 the same with rows 64-byte aligned: the same call, apart from where
// the pixels lie.
// range(0): 0 the correlation tracker with the recommended configuration, 1 the learned
// tracker with its defaults, as the element runs them.
cv::Ptr<wyr::zok::FlightDirector> directorFor(int64_t tracker) {
    if (tracker == 0) {
        return wyr::zok::FlightDirector::create(
            wyr::zok::TrackerCorr::create(zok_track::recommendedParams()),
            wyr::zok::FlightDirector::TRACKER_CORR);
    }
    return wyr::zok::FlightDirector::create(wyr::zok::TrackerDcf::create(),
                                            wyr::zok::FlightDirector::TRACKER_OTHER);
}

void bareTracker(benchmark::State& state) {
    const Frames& f = frames();
    const cv::Ptr<wyr::zok::FlightDirector> director = directorFor(state.range(0));
    std::vector<cv::Mat> frames = f.frames;
    std::vector<GstBuffer*> buffers;
    std::vector<GstMapInfo> maps;
    if (state.range(1) != 0) {
        GstVideoInfo info;
        GstCaps* caps = gst_caps_from_string(kCaps);
        gst_video_info_from_caps(&info, caps);
        gst_caps_unref(caps);
        maps.resize(frames.size());
        for (size_t k = 0; k < frames.size(); ++k) {
            buffers.push_back(bufferOf(frames[k], info, state.range(1) == 2 ? 63 : 0));
            gst_buffer_map(buffers[k], &maps[k], GST_MAP_READ);
            frames[k] = cv::Mat(frames[k].size(), frames[k].type(), maps[k].data,
                                size_t(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0)));
        }
    }
    director->init(frames[0], f.start);
    size_t next = 0, found = 0;
    cv::Rect box;
    for (auto _ : state) {
        found += director->update(frames[f.order[next]], box);
        next = (next + 1) % f.order.size();
    }
    state.counters["found"] = benchmark::Counter(double(found), benchmark::Counter::kAvgIterations);
    for (size_t k = 0; k < buffers.size(); ++k) {
        gst_buffer_unmap(buffers[k], &maps[k]);
        gst_buffer_unref(buffers[k]);
    }
}
BENCHMARK(bareTracker)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"dcf", "gstMemory"})
    ->Unit(benchmark::kMicrosecond);

// range(0): 1 with a track of the correlation tracker, 2 of the learned tracker, 0 without (the
// element's cost when it has nothing to do).
void element(benchmark::State& state) {
    const Frames& f = frames();
    GstVideoInfo info;
    GstCaps* caps = gst_caps_from_string(kCaps);
    gst_video_info_from_caps(&info, caps);
    gst_caps_unref(caps);
    std::vector<GstBuffer*> buffers;
    for (const cv::Mat& frame : f.frames) {
        buffers.push_back(bufferOf(frame, info));
    }
    GstHarness* h = gst_harness_new("zoktrack");
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    gst_harness_set_src_caps_str(h, kCaps);
    gst_util_set_object_arg(G_OBJECT(h->element), "tracker", state.range(0) == 2 ? "dcf" : "corr");
    if (state.range(0) != 0) {
        const std::string box = std::to_string(f.start.x) + "," + std::to_string(f.start.y) + "," +
                                std::to_string(f.start.width) + "," +
                                std::to_string(f.start.height);
        g_object_set(h->element, "box", box.c_str(), nullptr);
    }
    gst_buffer_unref(gst_harness_push_and_pull(h, gst_buffer_ref(buffers[0])));
    size_t next = 0;
    for (auto _ : state) {
        // The source keeps its reference, as a camera's pool does: the element gets a buffer
        // it may not write into, the usual case.
        gst_buffer_unref(gst_harness_push_and_pull(h, gst_buffer_ref(buffers[f.order[next]])));
        next = (next + 1) % f.order.size();
        state.PauseTiming();
        // Messages pile up on a bus nobody reads; the application's reading is not timed.
        gst_bus_set_flushing(bus, TRUE);
        gst_bus_set_flushing(bus, FALSE);
        state.ResumeTiming();
    }
    gst_element_set_bus(h->element, nullptr);
    gst_object_unref(bus);
    gst_harness_teardown(h);
    for (GstBuffer* buffer : buffers) {
        gst_buffer_unref(buffer);
    }
}
BENCHMARK(element)->Arg(0)->Arg(1)->Arg(2)->ArgName("tracking")->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
