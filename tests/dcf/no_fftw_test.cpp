// In a build without FFTW the learned tracker cannot be made, and says which option it needs.
#include <string>

#include <gtest/gtest.h>

#include "zok/tracker_dcf.hpp"

namespace wyr::zok {
namespace {

TEST(TrackerDcfWithoutFftw, CreateNamesTheOption) {
    try {
        TrackerDcf::create();
        FAIL() << "no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsNotImplemented);
        EXPECT_NE(std::string(e.what()).find("-DZOK_WITH_FFTW=OFF"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace wyr::zok
