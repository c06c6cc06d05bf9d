// Later starts of a sequence: which frames each copy keeps, with its truth and absent flags.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accuracy/dataset/later_starts.hpp"

namespace wyr::zok::accuracy {
namespace {

TEST(LaterStarts, CopiesBeginEvenlySpacedWithTheirTruth) {
    struct Case {
        size_t frames;
        int starts;
        std::vector<size_t> firsts; // the first frame of each sequence returned, in order
    };
    // A copy of fewer than two frames has nothing to score and is left out (the last case).
    for (const Case& c :
         {Case{9, 1, {0}}, Case{9, 3, {0, 3, 6}}, Case{10, 3, {0, 3, 6}}, Case{3, 3, {0, 1}}}) {
        RealSequence seq; // frame k is "f<k>", its box at x = k, frame 2 absent
        seq.name = "seq";
        for (size_t k = 0; k < c.frames; ++k) {
            seq.frames.push_back("f" + std::to_string(k));
            seq.truth.emplace_back(double(k), 0, 5, 5);
            seq.absent.push_back(k == 2);
        }
        const std::vector<RealSequence> out = withLaterStarts({seq}, c.starts);
        ASSERT_EQ(c.firsts.size(), out.size()) << c.frames << " frames, " << c.starts;
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t first = c.firsts[i];
            EXPECT_EQ(i == 0 ? "seq" : "seq@" + std::to_string(i), out[i].name);
            ASSERT_EQ(c.frames - first, out[i].frames.size()) << out[i].name;
            ASSERT_EQ(out[i].frames.size(), out[i].truth.size());
            ASSERT_EQ(out[i].frames.size(), out[i].absent.size());
            for (size_t k = 0; k < out[i].frames.size(); ++k) {
                EXPECT_EQ("f" + std::to_string(first + k), out[i].frames[k]);
                EXPECT_EQ(double(first + k), out[i].truth[k].x);
                EXPECT_EQ(first + k == 2, bool(out[i].absent[k]));
            }
        }
    }
}

} // namespace
} // namespace wyr::zok::accuracy
