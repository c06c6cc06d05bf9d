#include "tracker/engines/opencv_correlator.hpp"

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

bool takenForScalar(const cv::Mat& window, const cv::Mat& templ, int method,
                    const cv::Mat& weights) {
    return method == cv::TM_CCOEFF_NORMED && !weights.empty() && window.dims == 2 &&
           templ.dims == 2 && window.channels() == 1 && window.rows - templ.rows + 1 == 4 &&
           window.cols == templ.cols;
}

class OpenCvCorrelator final : public Correlator {
public:
    explicit OpenCvCorrelator(int method) : method_(method) {}

    cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ,
                      const cv::Mat& weights) override {
        cv::Mat response;
        matchTemplateChecked(window, templ, response, method_, weights);
        return response;
    }

private:
    int method_;
};

} // namespace

void matchTemplateChecked(const cv::Mat& window, const cv::Mat& templ, cv::Mat& response,
                          int method, const cv::Mat& weights) {
    if (!takenForScalar(window, templ, method, weights)) {
        cv::matchTemplate(window, templ, response, method, weights);
        return;
    }
    cv::Mat transposed;
    cv::matchTemplate(window.t(), templ.t(), transposed, method, weights.t());
    response = transposed.t();
}

std::unique_ptr<Correlator> makeOpenCvCorrelator(int method) {
    return std::make_unique<OpenCvCorrelator>(method);
}

} // namespace wyr::zok
