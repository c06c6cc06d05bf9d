#include "tracker/engines/opencv_correlator.hpp"

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

class OpenCvCorrelator final : public Correlator {
public:
    explicit OpenCvCorrelator(int method) : method_(method) {}

    cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ,
                      const cv::Mat& weights) override {
        cv::Mat response;
        cv::matchTemplate(window, templ, response, method_, weights);
        return response;
    }

private:
    int method_;
};

} // namespace

std::unique_ptr<Correlator> makeOpenCvCorrelator(int method) {
    return std::make_unique<OpenCvCorrelator>(method);
}

} // namespace wyr::zok
