// Each dataset layout read from tiny folders made here, well-formed and malformed.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "accuracy/dataset/sequence.hpp"
#include "config/config_files.hpp"

namespace wyr::zok::accuracy {
namespace {

namespace fs = std::filesystem;
using wyr::zok::testing::TempDir;

// Writes files under a dataset root, making folders as needed.
class Tree {
public:
    explicit Tree(std::string root) : root_(std::move(root)) {}

    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    std::string text(const std::string& relative, const std::string& content) const {
        const std::string p = path(relative);
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

    // Frames first..last in `dir`, named with `digits` digits: tiny images whose grey level is
    // the frame number, so a test can tell which file a frame came from.
    void frames(const std::string& dir, int first, int last, int digits,
                const std::string& ext = ".jpg") const {
        fs::create_directories(path(dir));
        for (int n = first; n <= last; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "%0*d", digits, n);
            cv::imwrite(path(dir) + "/" + name + ext, cv::Mat(6, 8, CV_8UC3, cv::Scalar::all(n)));
        }
    }

private:
    std::string root_;
};

// `count` lines of one box, in the separator given.
std::string boxes(int count, const std::string& line) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += line + "\n";
    }
    return out;
}

struct ExpectedSequence {
    std::string name, dataset;
    size_t frames;
    cv::Rect2d firstBox;        // the truth of frame 0 (NaN fields where absent)
    std::vector<size_t> absent; // the frames marked absent
    std::string firstFrame;     // ends the path of frame 0
    std::vector<std::string> attributes;
    double frameRate = 0.0;
};

struct ReaderCase {
    const char* name;
    Format format; // asked for; AUTO must find `detected`
    Format detected;
    std::function<void(const Tree&)> build;
    std::vector<ExpectedSequence> sequences;
    // Each problem expected, with "@" standing for the dataset root.
    std::vector<std::string> problems;
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

const double NaN = std::numeric_limits<double>::quiet_NaN();

class Reader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(Reader, FindsEverySequenceAndNamesEveryFault) {
    const ReaderCase& c = GetParam();
    TempDir dir;
    const std::string root = dir.path("data");
    fs::create_directories(root);
    const Tree tree(root);
    c.build(tree);

    const DatasetScan scan = readDataset(root, c.format);

    EXPECT_EQ(c.detected, scan.format);
    std::vector<std::string> problems;
    for (std::string p : c.problems) {
        for (size_t at = p.find('@'); at != std::string::npos; at = p.find('@')) {
            p.replace(at, 1, root);
        }
        problems.push_back(p);
    }
    EXPECT_EQ(problems, scan.problems);
    ASSERT_EQ(c.sequences.size(), scan.sequences.size());
    for (size_t s = 0; s < c.sequences.size(); ++s) {
        const ExpectedSequence& e = c.sequences[s];
        const RealSequence& got = scan.sequences[s];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.name, got.name);
        EXPECT_EQ(e.dataset, got.dataset);
        ASSERT_EQ(e.frames, got.frames.size());
        ASSERT_EQ(e.frames, got.truth.size());
        ASSERT_EQ(e.frames, got.absent.size());
        const cv::Rect2d& t = got.truth[0];
        if (std::isnan(e.firstBox.x)) {
            EXPECT_TRUE(std::isnan(t.x) && std::isnan(t.width));
        } else {
            EXPECT_EQ(e.firstBox, t);
        }
        std::vector<size_t> absent;
        for (size_t k = 0; k < got.absent.size(); ++k) {
            if (got.absent[k]) {
                absent.push_back(k);
                EXPECT_TRUE(std::isnan(got.truth[k].x)) << "frame " << k;
            }
        }
        EXPECT_EQ(e.absent, absent);
        const std::string& first = got.frames[0];
        EXPECT_EQ(e.firstFrame,
                  first.substr(first.size() - std::min(first.size(), e.firstFrame.size())));
        EXPECT_EQ(e.attributes, got.attributes);
        EXPECT_EQ(e.frameRate, got.frameRate);
    }
}

// A clean simple-layout sequence, beside which every malformed one is read.
void goodSimple(const Tree& t) {
    t.frames("good/frames", 1, 3, 5);
    t.text("good/gt.txt", "1,2,3,4\nnan,nan,nan,nan\n5,6,7,8\n\n");
}

const ExpectedSequence GOOD_SIMPLE{"good", "simple", 3, {1, 2, 3, 4}, {1}, "good/frames/00001.jpg",
                                   {}};

INSTANTIATE_TEST_SUITE_P(
    Simple, Reader,
    ::testing::Values(
        ReaderCase{
            "MetaAndNanRows",
            Format::AUTO,
            Format::SIMPLE,
            [](const Tree& t) {
                goodSimple(t);
                t.frames("seq/frames", 1, 2, 5);
                t.text("seq/gt.txt", "0,0,4,4\n1.5,2.5,3,3\n");
                t.text("seq/meta.json",
                       R"({"dataset": "OTB100", "attributes": ["OCC", "SV"], "fps": 25})");
                t.frames("unknown-rate/frames", 1, 1, 5);
                t.text("unknown-rate/gt.txt", "0,0,4,4\n");
                t.text("unknown-rate/meta.json", R"({"fps": null})");
            },
            {GOOD_SIMPLE,
             {"seq", "OTB100", 2, {0, 0, 4, 4}, {}, "seq/frames/00001.jpg", {"OCC", "SV"}, 25.0},
             {"unknown-rate", "simple", 1, {0, 0, 4, 4}, {}, "unknown-rate/frames/00001.jpg", {}}},
            {}},
        ReaderCase{"OneSequenceFolder",
                   Format::SIMPLE,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       t.frames("frames", 1, 2, 5);
                       t.text("gt.txt", "1 2 3 4\n1 2 3 4\n");
                   },
                   {{"data", "simple", 2, {1, 2, 3, 4}, {}, "frames/00001.jpg", {}}},
                   {}},
        ReaderCase{"MissingAnnotation",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 2, 5);
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt: cannot be opened"}},
        ReaderCase{"ShortAnnotation",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 3, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n1,2,3,4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt: 2 boxes for 3 frames"}},
        ReaderCase{"NonNumeric",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 2, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n1,2,x3,4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt:2: 'x3' is not a number"}},
        ReaderCase{"Infinite",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 1, 5);
                       t.text("bad/gt.txt", "1,2,inf,4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt:1: 'inf' is not a number"}},
        ReaderCase{"NegativeSize",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 2, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n1,2,3,-4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt:2: negative width or height"}},
        ReaderCase{"ThreeFields",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 1, 5);
                       t.text("bad/gt.txt", "1,2,3\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt:1: expected 4 numbers (x, y, width, height), found 3 fields"}},
        ReaderCase{"BlankLineInside",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 3, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n\n1,2,3,4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt:2: blank line before the end of the file"}},
        ReaderCase{"MissingFrame",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 2, 5);
                       t.frames("bad/frames", 4, 4, 5);
                       t.text("bad/gt.txt", boxes(3, "1,2,3,4"));
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/frames: no frame numbered 3"}},
        ReaderCase{"NoFrames",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       fs::create_directories(t.path("bad/frames"));
                       t.text("bad/gt.txt", "1,2,3,4\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/frames: no frames"}},
        ReaderCase{"NeverAnnotated",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 2, 5);
                       t.text("bad/gt.txt", "nan,nan,nan,nan\nNaN,NaN,NaN,NaN\n");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/gt.txt: no frame has a box to start from"}},
        ReaderCase{"BadMeta",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 1, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n");
                       t.text("bad/meta.json", R"({"attributes": ["OCC", 3]})");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/meta.json: \"attributes\" is not a list of names"}},
        ReaderCase{"BadFrameRate",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 1, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n");
                       t.text("bad/meta.json", R"({"fps": 0})");
                       t.frames("text/frames", 1, 1, 5);
                       t.text("text/gt.txt", "1,2,3,4\n");
                       t.text("text/meta.json", R"({"fps": "30"})");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/meta.json: \"fps\" is not a positive number",
                    "@/text/meta.json: \"fps\" is not a positive number"}},
        ReaderCase{"MetaNotJson",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("bad/frames", 1, 1, 5);
                       t.text("bad/gt.txt", "1,2,3,4\n");
                       t.text("bad/meta.json", "{\"dataset\": }");
                   },
                   {GOOD_SIMPLE},
                   {"@/bad/meta.json: not valid JSON at byte 12 (Invalid value.)"}},
        ReaderCase{"MetaTooLargeOrTooDeep",
                   Format::AUTO,
                   Format::SIMPLE,
                   [](const Tree& t) {
                       goodSimple(t);
                       t.frames("large/frames", 1, 1, 5);
                       t.text("large/gt.txt", "1,2,3,4\n");
                       t.text("large/meta.json",
                              "{\"dataset\": \"" + std::string(1 << 20, 'x') + "\"}");
                       t.frames("deep/frames", 1, 1, 5);
                       t.text("deep/gt.txt", "1,2,3,4\n");
                       t.text("deep/meta.json", std::string(500000, '['));
                   },
                   {GOOD_SIMPLE},
                   {"@/deep/meta.json: not valid JSON at byte 500000 (Invalid value.)",
                    "@/large/meta.json: larger than 1048576 bytes"}},
        ReaderCase{"EmptyFolder",
                   Format::AUTO,
                   Format::AUTO,
                   [](const Tree&) {},
                   {},
                   {"@: no sequences found (looked for the simple, OTB, UAV123, LaSOT and "
                    "GOT-10k layouts)"}},
        ReaderCase{"EmptyFolderNamedLayout",
                   Format::SIMPLE,
                   Format::SIMPLE,
                   [](const Tree&) {},
                   {},
                   {"@: no sequences found in the simple layout"}}));

INSTANTIATE_TEST_SUITE_P(
    Otb, Reader,
    ::testing::Values(
        ReaderCase{"DelimitersAndOneBasedBoxes",
                   Format::AUTO,
                   Format::OTB,
                   [](const Tree& t) {
                       t.frames("Tabs/img", 1, 3, 4);
                       t.text("Tabs/groundtruth_rect.txt", "11\t21\t5\t6\r\n12\t22\t5\t6\r\n"
                                                           "13\t23\t5\t6\r\n");
                       t.frames("Mixed/img", 1, 2, 4);
                       t.text("Mixed/groundtruth_rect.txt", "11,21, 5 ,6\n12 22 5\t6\n");
                   },
                   {{"Mixed", "OTB", 2, {10, 20, 5, 6}, {}, "Mixed/img/0001.jpg", {}},
                    {"Tabs", "OTB", 3, {10, 20, 5, 6}, {}, "Tabs/img/0001.jpg", {}}},
                   {}},
        ReaderCase{"TwoTargets",
                   Format::OTB,
                   Format::OTB,
                   [](const Tree& t) {
                       t.frames("Jogging/img", 1, 2, 4);
                       t.text("Jogging/groundtruth_rect.1.txt", boxes(2, "1,1,4,4"));
                       t.text("Jogging/groundtruth_rect.2.txt", boxes(2, "3,3,2,2"));
                   },
                   {{"Jogging-1", "OTB", 2, {0, 0, 4, 4}, {}, "Jogging/img/0001.jpg", {}},
                    {"Jogging-2", "OTB", 2, {2, 2, 2, 2}, {}, "Jogging/img/0001.jpg", {}}},
                   {}},
        ReaderCase{"PartialAnnotations",
                   Format::AUTO,
                   Format::OTB,
                   [](const Tree& t) {
                       // Fewer boxes than frames: the first frames. David: frames 300 on.
                       // Tiger1: a box for every frame, tracked from frame 6.
                       t.frames("Diving/img", 1, 5, 4);
                       t.text("Diving/groundtruth_rect.txt", boxes(3, "2,2,3,3"));
                       t.frames("David/img", 1, 302, 4, ".png");
                       t.text("David/groundtruth_rect.txt", boxes(3, "5,5,3,3"));
                       t.frames("Tiger1/img", 1, 7, 4);
                       t.text("Tiger1/groundtruth_rect.txt",
                              boxes(5, "1,1,1,1") + "9,9,2,2\n9,9,2,2\n");
                   },
                   {{"David", "OTB", 3, {4, 4, 3, 3}, {}, "David/img/0300.png", {}},
                    {"Diving", "OTB", 3, {1, 1, 3, 3}, {}, "Diving/img/0001.jpg", {}},
                    {"Tiger1", "OTB", 2, {8, 8, 2, 2}, {}, "Tiger1/img/0006.jpg", {}}},
                   {}},
        ReaderCase{"Malformed",
                   Format::AUTO,
                   Format::OTB,
                   [](const Tree& t) {
                       t.frames("Good/img", 1, 2, 4);
                       t.text("Good/groundtruth_rect.txt", boxes(2, "1,1,4,4"));
                       t.frames("Long/img", 1, 2, 4);
                       t.text("Long/groundtruth_rect.txt", boxes(3, "1,1,4,4"));
                       t.frames("NoBoxes/img", 1, 2, 4);
                       t.frames("Word/img", 1, 2, 4);
                       t.text("Word/groundtruth_rect.txt", "1,1,4,4\n1,1,four,4\n");
                   },
                   {{"Good", "OTB", 2, {0, 0, 4, 4}, {}, "Good/img/0001.jpg", {}}},
                   {"@/Long/groundtruth_rect.txt: 3 boxes for 2 frames",
                    "@/NoBoxes/groundtruth_rect.txt: cannot be opened",
                    "@/Word/groundtruth_rect.txt:2: 'four' is not a number"}}));

INSTANTIATE_TEST_SUITE_P(
    Uav, Reader,
    ::testing::Values(
        ReaderCase{"NanRowsSplitsAndLongSequences",
                   Format::AUTO,
                   Format::UAV,
                   [](const Tree& t) {
                       t.frames("data_seq/UAV123/boat1", 1, 4, 6);
                       t.text("anno/UAV123/boat1.txt",
                              "NaN,NaN,NaN,NaN\n11,21,5,6\nNaN,NaN,NaN,NaN\n12,22,5,6\n");
                       // bird1_1 boxes frames 1..253 of bird1.
                       t.frames("data_seq/UAV123/bird1", 1, 254, 6, ".png");
                       t.text("anno/UAV123/bird1_1.txt", boxes(253, "2,2,4,4"));
                       // UAV20L's sequences take UAV123's frames.
                       t.text("anno/UAV20L/bird1.txt", boxes(254, "3,3,4,4"));
                   },
                   {{"bird1", "UAV20L", 254, {2, 2, 4, 4}, {}, "bird1/000001.png", {}},
                    {"bird1_1", "UAV123", 253, {1, 1, 4, 4}, {}, "bird1/000001.png", {}},
                    {"boat1", "UAV123", 4, {NaN, NaN, NaN, NaN}, {0, 2}, "boat1/000001.jpg", {}}},
                   {}},
        ReaderCase{"Malformed",
                   Format::UAV,
                   Format::UAV,
                   [](const Tree& t) {
                       t.frames("data_seq/UAV123/bird1", 775, 780, 6);
                       t.text("anno/UAV123/bird1_2.txt", boxes(6, "2,2,4,4"));
                       t.frames("data_seq/UAV123/car2", 1, 2, 6);
                       t.text("anno/UAV123/car2.txt", "2,2,4,4\n2,2,4\n");
                       t.text("anno/UAV123/car3.txt", boxes(2, "2,2,4,4"));
                   },
                   {},
                   {"@/anno/UAV123/bird1_2.txt: 6 boxes for 703 frames",
                    "@/anno/UAV123/car2.txt:2: expected 4 numbers (x, y, width, height), found "
                    "3 fields",
                    "@/anno/UAV123/car3.txt: no frame folder @/data_seq/UAV123/car3"}}));

INSTANTIATE_TEST_SUITE_P(
    LaSot, Reader,
    ::testing::Values(
        ReaderCase{"AbsenceFlags",
                   Format::AUTO,
                   Format::LASOT,
                   [](const Tree& t) {
                       t.frames("cat/cat-1/img", 1, 4, 8);
                       t.text("cat/cat-1/groundtruth.txt", boxes(4, "11,21,5,6"));
                       t.text("cat/cat-1/full_occlusion.txt", "0,1,0,0\n");
                       t.text("cat/cat-1/out_of_view.txt", "0,0,1,0\n");
                       t.frames("cat/cat-2/img", 1, 2, 8);
                       t.text("cat/cat-2/groundtruth.txt", boxes(2, "1,1,5,6"));
                   },
                   {{"cat-1", "LaSOT", 4, {10, 20, 5, 6}, {1, 2}, "cat-1/img/00000001.jpg", {}},
                    {"cat-2", "LaSOT", 2, {0, 0, 5, 6}, {}, "cat-2/img/00000001.jpg", {}}},
                   {}},
        ReaderCase{"Malformed",
                   Format::LASOT,
                   Format::LASOT,
                   [](const Tree& t) {
                       t.frames("cat/cat-1/img", 1, 2, 8);
                       t.text("cat/cat-1/groundtruth.txt", boxes(2, "1,1,5,6"));
                       t.text("cat/cat-1/full_occlusion.txt", "0,2\n");
                       t.frames("cat/cat-2/img", 1, 2, 8);
                       t.text("cat/cat-2/groundtruth.txt", boxes(2, "1,1,5,6"));
                       t.text("cat/cat-2/out_of_view.txt", "0,0,0\n");
                       t.frames("cat/cat-3/img", 1, 2, 8);
                   },
                   {},
                   {"@/cat/cat-1/full_occlusion.txt:1: '2' is not a flag (0 or 1)",
                    "@/cat/cat-2/out_of_view.txt: 3 flags for 2 frames",
                    "@/cat/cat-3/groundtruth.txt: cannot be opened"}}));

INSTANTIATE_TEST_SUITE_P(
    Got10k, Reader,
    ::testing::Values(ReaderCase{"AbsenceLabels",
                                 Format::AUTO,
                                 Format::GOT10K,
                                 [](const Tree& t) {
                                     t.frames("GOT-10k_Val_000001", 1, 3, 8);
                                     t.text("GOT-10k_Val_000001/groundtruth.txt",
                                            "10.5,20,5,6\n0,0,0,0\n10,20,5,6\n");
                                     t.text("GOT-10k_Val_000001/absence.label", "0\n1\n0\n");
                                 },
                                 {{"GOT-10k_Val_000001",
                                   "GOT-10k",
                                   3,
                                   {10.5, 20, 5, 6},
                                   {1},
                                   "GOT-10k_Val_000001/00000001.jpg",
                                   {}}},
                                 {}},
                      ReaderCase{"Malformed",
                                 Format::GOT10K,
                                 Format::GOT10K,
                                 [](const Tree& t) {
                                     t.frames("a", 1, 3, 8);
                                     t.text("a/groundtruth.txt", boxes(3, "1,1,5,6"));
                                     t.text("a/absence.label", "0\n1\n");
                                     t.frames("b", 1, 2, 8);
                                     t.frames("c", 1, 2, 8);
                                     t.text("c/groundtruth.txt", boxes(1, "1,1,5,6"));
                                 },
                                 {},
                                 {"@/a/absence.label: 2 flags for 3 frames",
                                  "@/b/groundtruth.txt: cannot be opened",
                                  "@/c/groundtruth.txt: 1 boxes for 2 frames"}}));

TEST(ReadFrame, NamesAnUndecodableOrMisfitFrame) {
    TempDir dir;
    const Tree tree(dir.path(""));
    tree.frames("f", 1, 1, 5);
    const std::string broken = tree.text("f/00002.jpg", "not an image");
    RealSequence seq;
    seq.frames = {tree.path("f/00001.jpg"), broken};

    std::string problem;
    const cv::Mat first = readFrame(seq, 0, {}, problem);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(CV_8UC3, first.type());
    EXPECT_EQ(cv::Size(8, 6), first.size());
    EXPECT_EQ("", problem);

    EXPECT_TRUE(readFrame(seq, 1, first.size(), problem).empty());
    EXPECT_EQ(broken + ": cannot be decoded", problem);

    problem.clear();
    EXPECT_TRUE(readFrame(seq, 0, {16, 12}, problem).empty());
    EXPECT_EQ(seq.frames[0] + ": 8x6 pixels, where the sequence's first frame has 16x12", problem);
}

TEST(ParseFormat, KnowsEveryLayoutByName) {
    for (const char* name : {"auto", "simple", "otb", "uav", "lasot", "got10k"}) {
        Format f = Format::SIMPLE;
        ASSERT_TRUE(parseFormat(name, f)) << name;
        EXPECT_STREQ(name, formatName(f));
    }
    Format f = Format::OTB;
    EXPECT_FALSE(parseFormat("OTB", f));
    EXPECT_EQ(Format::OTB, f);
}

} // namespace
} // namespace wyr::zok::accuracy
