// Later starts of a sequence: which frames each copy keeps, and that its truth and absent flags
// stay aligned with its frames.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accuracy/dataset/later_starts.hpp"

namespace wyr::zok::accuracy {
namespace {

// A sequence of `n` frames named "f<k>", the box of frame k at x = k, frame 2 marked absent.
RealSequence numbered(size_t n) {
    RealSequence seq;
    seq.name = "seq";
    seq.dataset = "D";
    for (size_t k = 0; k < n; ++k) {
        seq.frames.push_back("f" + std::to_string(k));
        seq.truth.emplace_back(double(k), 0, 5, 5);
        seq.absent.push_back(k == 2);
    }
    return seq;
}

struct StartsCase {
    const char* name;
    size_t frames;
    int starts;
    std::vector<std::string> names;
    std::vector<size_t> firstFrames; // of each sequence returned
};

void PrintTo(const StartsCase& c, std::ostream* os) {
    *os << c.name;
}

class LaterStarts : public ::testing::TestWithParam<StartsCase> {};

TEST_P(LaterStarts, CopiesBeginEvenlySpacedWithTheirTruth) {
    const StartsCase& c = GetParam();
    const std::vector<RealSequence> out = withLaterStarts({numbered(c.frames)}, c.starts);
    ASSERT_EQ(c.names.size(), out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(out[i].name);
        EXPECT_EQ(c.names[i], out[i].name);
        EXPECT_EQ("D", out[i].dataset);
        const size_t first = c.firstFrames[i];
        ASSERT_EQ(c.frames - first, out[i].frames.size());
        ASSERT_EQ(out[i].frames.size(), out[i].truth.size());
        ASSERT_EQ(out[i].frames.size(), out[i].absent.size());
        for (size_t k = 0; k < out[i].frames.size(); ++k) {
            EXPECT_EQ("f" + std::to_string(first + k), out[i].frames[k]);
            EXPECT_EQ(double(first + k), out[i].truth[k].x);
            EXPECT_EQ(first + k == 2, bool(out[i].absent[k]));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dataset, LaterStarts,
    ::testing::Values(StartsCase{"OneStartIsTheSequence", 9, 1, {"seq"}, {0}},
                      StartsCase{"ThreeStarts", 9, 3, {"seq", "seq@1", "seq@2"}, {0, 3, 6}},
                      StartsCase{"UnevenLength", 10, 3, {"seq", "seq@1", "seq@2"}, {0, 3, 6}},
                      // A copy of fewer than two frames has nothing to score.
                      StartsCase{"TooShortCopiesLeftOut", 3, 3, {"seq", "seq@1"}, {0, 1}}));

} // namespace
} // namespace wyr::zok::accuracy
