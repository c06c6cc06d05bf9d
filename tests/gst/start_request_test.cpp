// The texts of the start properties and requests.
#include <climits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "start_request.hpp"

namespace {

struct ListCase {
    const char* text;
    size_t count;
    std::optional<std::vector<int>> expected;
};

class IntegerList : public ::testing::TestWithParam<ListCase> {};

TEST_P(IntegerList, ParsesExactlyTheGivenCount) {
    const ListCase c = GetParam();
    EXPECT_EQ(zok_gst::parseIntegers(c.text, c.count), c.expected) << "'" << c.text << "'";
}

const int kLimit = INT_MAX / 4;

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegerList,
    ::testing::Values(ListCase{"1,2,3,4", 4, std::vector<int>{1, 2, 3, 4}},
                      ListCase{" 1, -2 ,3 ,4 ", 4, std::vector<int>{1, -2, 3, 4}},
                      ListCase{"-0,0", 2, std::vector<int>{0, 0}},
                      ListCase{"536870911,-536870912", 2, std::vector<int>{kLimit, -kLimit - 1}},
                      ListCase{"536870912,0", 2, std::nullopt},
                      ListCase{"-536870913,0", 2, std::nullopt},
                      ListCase{"99999999999999999999,0", 2, std::nullopt},
                      ListCase{"1,2,3", 4, std::nullopt}, ListCase{"1,2,3,4,5", 4, std::nullopt},
                      ListCase{"1,2,3,4,", 4, std::nullopt}, ListCase{",1,2,3", 4, std::nullopt},
                      ListCase{"1,,2,3", 4, std::nullopt}, ListCase{"", 1, std::nullopt},
                      ListCase{"+1,2", 2, std::nullopt}, ListCase{"0x1,2", 2, std::nullopt},
                      ListCase{"1.5,2", 2, std::nullopt}, ListCase{"1 2,3", 2, std::nullopt},
                      ListCase{"- 1,2", 2, std::nullopt}, ListCase{"1e3,2", 2, std::nullopt}));

TEST(StartTexts, BoxNeedsPositiveSides) {
    std::string why;
    EXPECT_EQ(zok_gst::parseBox("-5,-6,1,1", why), cv::Rect(-5, -6, 1, 1));
    for (const char* text : {"1,2,0,3", "1,2,3,0", "1,2,-3,4", "1,2,3"}) {
        why.clear();
        EXPECT_FALSE(zok_gst::parseBox(text, why)) << text;
        EXPECT_NE(why.find("positive width and height"), std::string::npos) << text;
    }
}

TEST(StartTexts, HalfSizeMayBeZeroButNotNegative) {
    std::string why;
    EXPECT_EQ(zok_gst::parseHalfSize("0,0", why), cv::Size(0, 0));
    EXPECT_FALSE(zok_gst::parseHalfSize("0,-1", why));
    EXPECT_FALSE(zok_gst::parseHalfSize("-1,0", why));
    EXPECT_NE(why.find("neither negative"), std::string::npos);
    EXPECT_EQ(zok_gst::parseOffset("-3,4", why), cv::Point(-3, 4));
    EXPECT_FALSE(zok_gst::parseOffset("3", why));
}

} // namespace
