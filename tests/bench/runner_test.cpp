// The runner of the accuracy benchmark over tiny sequence folders made here: a tracker that
// cannot take a sequence's start box, or never returns on it, must not stop the run.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "accuracy/dataset/sequence.hpp"
#include "accuracy/dataset/shifted_starts.hpp"
#include "accuracy/real_run.hpp"
#include "accuracy/trackers.hpp"
#include "accuracy/workers.hpp"
#include "config/config_files.hpp"

namespace wyr::zok::accuracy {
namespace {

namespace fs = std::filesystem;

// A sequence folder in the simple layout: `frames` textured frames of 64 x 48 pixels, the
// target `box` on every one of them.
void makeSequence(const std::string& dir, const cv::Rect& box, int frames) {
    fs::create_directories(dir + "/frames");
    cv::RNG rng(11);
    cv::Mat frame(48, 64, CV_8UC3);
    rng.fill(frame, cv::RNG::UNIFORM, 0, 256);
    std::ofstream gt(dir + "/gt.txt");
    for (int k = 1; k <= frames; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/frames/%05d.png", k);
        cv::imwrite(dir + name, frame);
        gt << box.x << ',' << box.y << ',' << box.width << ',' << box.height << '\n';
    }
}

// Every standard row over a sequence whose first box is as small as `box`: each row that
// cannot take it is left out of that sequence with its reason, the others run to its end.
class TinyStartBox : public ::testing::TestWithParam<cv::Size> {};

TEST_P(TinyStartBox, EveryRowEitherRunsOrIsNotStarted) {
    const wyr::zok::testing::TempDir temp;
    const std::string dir = temp.path("dataset");
    makeSequence(dir + "/tiny", cv::Rect(cv::Point(30, 20), GetParam()), 4);
    const DatasetScan scan = readDataset(dir, Format::SIMPLE);
    ASSERT_EQ(scan.sequences.size(), 1u);
    std::vector<TrackerRow> rows;
    ASSERT_EQ(standardRows(ZOK_RECOMMENDED_CONFIG, rows), "");
    probeRows(rows);

    const std::vector<SequenceRun> runs = runAll(scan.sequences, rows, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].problem, "");
    EXPECT_EQ(runs[0].frameSize, cv::Size(64, 48)) << "through the worker's file";
    ASSERT_EQ(runs[0].traces.size(), rows.size());
    for (size_t t = 0; t < rows.size(); ++t) {
        const TrackerTrace& trace = runs[0].traces[t];
        if (rows[t].id == "mil") {
            EXPECT_NE(trace.failure.find("below the 5 x 5 it is given"), std::string::npos)
                << trace.failure;
        }
        if (rows[t].unavailable.empty() && trace.failure.empty()) {
            EXPECT_EQ(trace.ms.size(), 3u) << rows[t].id << " updated on every later frame";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TinyStartBox,
                         ::testing::Values(cv::Size(4, 4), cv::Size(3, 5), cv::Size(1, 1),
                                           cv::Size(1, 20)));

// A tracker of this test's own: it never returns from init() on a box 7 pixels wide, as MIL
// does on its tiny boxes, and stays where it started otherwise.
class HangsOnWidth7 : public BenchTracker {
public:
    void init(const cv::Mat&, const cv::Rect& box) override {
        while (box.width == 7) {
            pause();
        }
        box_ = box;
    }
    bool update(const cv::Mat&, cv::Rect2d& box) override {
        box = box_;
        return true;
    }

private:
    cv::Rect box_;
};

TEST(Watchdog, AHungWorkerIsStoppedAndTheRunGoesOn) {
    const wyr::zok::testing::TempDir temp;
    const std::string dir = temp.path("dataset");
    makeSequence(dir + "/a-hangs", cv::Rect(10, 10, 7, 7), 4);
    makeSequence(dir + "/b-runs", cv::Rect(10, 10, 9, 9), 4);
    makeSequence(dir + "/c-runs", cv::Rect(12, 10, 9, 9), 4);
    const DatasetScan scan = readDataset(dir, Format::SIMPLE);
    ASSERT_EQ(scan.sequences.size(), 3u);
    std::vector<TrackerRow> rows(1);
    rows[0].id = rows[0].name = "hangs";
    rows[0].make = [] { return std::make_unique<HangsOnWidth7>(); };

    const std::vector<SequenceRun> runs = runAll(scan.sequences, rows, 1, runSequence, 1.0);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].problem,
              "a-hangs: no progress for 1 s, a tracker never returned; its worker was stopped");
    for (size_t s : {1, 2}) {
        EXPECT_EQ(runs[s].problem, "") << scan.sequences[s].name;
        ASSERT_EQ(runs[s].traces.size(), 1u);
        EXPECT_EQ(runs[s].traces[0].ms.size(), 3u) << "the worker in its place ran it";
    }
}

// Moved first boxes: each copy's tracker starts one pixel off in its own direction, from the
// annotated box moved (the 9-pixel box is one HangsOnWidth7 takes and stays at), while the
// truth it is scored against stays where it was; shifts beyond the table are clamped.
TEST(ShiftedStarts, EachCopyStartsFromItsMovedBox) {
    const wyr::zok::testing::TempDir temp;
    const std::string dir = temp.path("dataset");
    const cv::Rect box(20, 10, 9, 9);
    makeSequence(dir + "/s", box, 3);
    const DatasetScan scan = readDataset(dir, Format::SIMPLE);
    ASSERT_EQ(scan.sequences.size(), 1u);
    std::vector<TrackerRow> rows(1);
    rows[0].id = rows[0].name = "stays";
    rows[0].make = [] { return std::make_unique<HangsOnWidth7>(); };

    const std::vector<RealSequence> copies = withShiftedStarts(scan.sequences, 12);
    const cv::Point moves[] = {{0, 0}, {1, 0},   {0, 1},  {-1, 0}, {0, -1},
                               {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    ASSERT_EQ(copies.size(), std::size(moves));
    for (size_t k = 0; k < copies.size(); ++k) {
        EXPECT_EQ(copies[k].name, k == 0 ? "s" : "s~" + std::to_string(k));
        const SequenceRun run = runSequence(copies[k], rows, [](size_t) {});
        ASSERT_EQ(run.problem, "") << copies[k].name;
        EXPECT_EQ(cv::Rect(run.traces[0].boxes[2]), box + moves[k]) << copies[k].name;
        EXPECT_EQ(cv::Rect(copies[k].truth[2]), box) << copies[k].name;
    }
    EXPECT_EQ(withShiftedStarts(scan.sequences, 0).size(), 1u);
}

} // namespace
} // namespace wyr::zok::accuracy
