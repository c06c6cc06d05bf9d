#include <gtest/gtest.h>
#include "zok/tracker_corr.hpp"
TEST(Params, Defaults) { wyr::zok::TrackerCorr::Params p; EXPECT_EQ(p.depth, 1u); }
