#include <algorithm>

#include <gtest/gtest.h>

#include "tracker/template_ring.hpp"

namespace wyr::zok {
namespace {

using Ring = TemplateRing<AxisTemplateEntry>;

// Entries are told apart by their offset; 0 marks a slot never written.
AxisTemplateEntry entry(int marker) {
    return {cv::Mat(), marker, 0};
}

struct OrderCase {
    size_t capacity;
    int pushes;
};

class RingOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(RingOrder, OldestAndNewestFollowThePushesThroughWrapAround) {
    const auto [capacity, pushes] = GetParam();
    Ring ring(capacity);
    for (int marker = 1; marker <= pushes; ++marker) {
        ring.push(entry(marker));
        const int live = std::min<int>(marker, int(capacity));
        EXPECT_EQ(ring.count(), size_t(live));
        EXPECT_EQ(ring.newest().offset, marker);
        EXPECT_EQ(ring.oldest().offset, marker - live + 1) << "after push " << marker;
        EXPECT_EQ(ring.head(), size_t(marker) % capacity);
    }
}

INSTANTIATE_TEST_SUITE_P(Capacities, RingOrder,
                         ::testing::Values(OrderCase{1, 3}, OrderCase{2, 5}, OrderCase{3, 7},
                                           OrderCase{5, 12}, OrderCase{32, 70}));

TEST(TemplateRing, ZeroCapacityBecomesOne) {
    Ring ring(0);
    EXPECT_EQ(ring.capacity(), 1u);
    ring.push(entry(4));
    ring.push(entry(5));
    EXPECT_EQ(ring.oldest().offset, 5);
    EXPECT_EQ(ring.count(), 1u);
}

TEST(TemplateRing, OldestOfAnEmptyRingIsTheUnwrittenSlot) {
    Ring ring(3);
    EXPECT_EQ(ring.oldest().offset, 0);
    EXPECT_TRUE(ring.oldest().templ.empty());
    EXPECT_EQ(&ring.oldest(), &ring.slot(0));
}

TEST(TemplateRing, PushNewestAgainWithOneSlotLeavesTheEntry) {
    Ring ring(1);
    ring.push(entry(7));
    ring.pushNewestAgain();
    EXPECT_EQ(ring.count(), 1u);
    EXPECT_EQ(ring.head(), 0u);
    EXPECT_EQ(ring.oldest().offset, 7);
}

TEST(TemplateRing, PushNewestAgainFillsTheRingWithTheNewest) {
    Ring ring(3);
    ring.push(entry(1));
    ring.push(entry(2));
    ring.pushNewestAgain();
    EXPECT_EQ(ring.count(), 3u);
    EXPECT_EQ(ring.oldest().offset, 1);
    ring.pushNewestAgain();
    EXPECT_EQ(ring.oldest().offset, 2);
    for (size_t i = 0; i < ring.capacity(); ++i) {
        EXPECT_EQ(ring.slot(i).offset, 2);
    }
}

TEST(TemplateRing, PushNewestAgainOnAnEmptyRingRepeatsTheEmptySlot) {
    Ring ring(2);
    ring.pushNewestAgain();
    EXPECT_EQ(ring.count(), 1u);
    EXPECT_EQ(ring.oldest().offset, 0);
    EXPECT_TRUE(ring.oldest().templ.empty());
}

TEST(TemplateRing, CollapseKeepsOnlyTheLastPush) {
    Ring ring(4);
    for (int marker = 1; marker <= 6; ++marker) {
        ring.push(entry(marker));
    }
    ring.collapse();
    EXPECT_EQ(ring.count(), 1u);
    EXPECT_EQ(ring.oldest().offset, 6);
    EXPECT_EQ(&ring.oldest(), &ring.newest());
    ring.push(entry(7));
    EXPECT_EQ(ring.oldest().offset, 6);
    EXPECT_EQ(ring.newest().offset, 7);
}

TEST(TemplateRing, PushSharesPixelsAndNeverReallocatesSlots) {
    Ring ring(2);
    const AxisTemplateEntry* slots = &ring.slot(0);
    cv::Mat pixels(8, 8, CV_8UC1, cv::Scalar(3));
    for (int i = 0; i < 5; ++i) {
        ring.push({pixels, i, 0});
    }
    EXPECT_EQ(ring.newest().templ.data, pixels.data);
    EXPECT_EQ(&ring.slot(0), slots);
}

} // namespace
} // namespace wyr::zok
