#include "tracker/engines/template_terms.hpp"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

bool sameContent(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) {
        return false;
    }
    const size_t rowBytes = size_t(a.cols) * a.elemSize();
    for (int y = 0; y < a.rows; ++y) {
        if (std::memcmp(a.ptr(y), b.ptr(y), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

// Element by element, as cv::Scalar's own div() does.
cv::Scalar divide(const cv::Scalar& a, const cv::Scalar& b) {
    return {a[0] / b[0], a[1] / b[1], a[2] / b[2], a[3] / b[3]};
}

} // namespace

void TemplateTerms::compute(const cv::Mat& templ, const cv::Mat& mask, int method) {
    if (mask.empty()) {
        unweighted(templ, method);
        return;
    }
    takeMask(mask, templ.channels());
    weighted(templ, method);
}

void TemplateTerms::unweighted(const cv::Mat& templ, int method) {
    cv::Scalar mean;
    cv::Scalar sdv;
    cv::meanStdDev(templ, mean, sdv);
    double templNorm = sdv[0] * sdv[0] + sdv[1] * sdv[1] + sdv[2] * sdv[2] + sdv[3] * sdv[3];
    flat_ = method == cv::TM_CCOEFF_NORMED && templNorm < DBL_EPSILON;
    const double templSum2 =
        templNorm + mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2] + mean[3] * mean[3];
    if (method == cv::TM_CCORR_NORMED) {
        mean = cv::Scalar::all(0);
        templNorm = templSum2;
    }
    const double invArea = 1. / (double(templ.rows) * templ.cols);
    norm_ = std::sqrt(templNorm) / std::sqrt(invArea);
    // The window's sums times the template's mean are taken out of the kernel rather than out of
    // the correlation, which keeps large, nearly equal terms out of the transforms.
    templ.convertTo(templ32_, CV_32F);
    cv::subtract(templ32_, mean, kernel_);
}

void TemplateTerms::takeMask(const cv::Mat& mask, int channels) {
    maskChanged_ = !sameContent(mask, mask_) || maskCn_.channels() != channels;
    if (!maskChanged_) {
        return;
    }
    mask.copyTo(mask_);
    cv::multiply(mask_, mask_, mask2_);
    const std::vector<cv::Mat> planes(size_t(channels), mask_);
    cv::merge(planes, maskCn_);
    cv::multiply(maskCn_, maskCn_, mask2Cn_);
    maskSum_ = cv::sum(maskCn_);
    mask2Sum_ = cv::sum(mask2Cn_);
}

void TemplateTerms::weighted(const cv::Mat& templ, int method) {
    templ.convertTo(templ32_, CV_32F);
    flat_ = false;
    if (method == cv::TM_CCORR_NORMED) {
        cv::multiply(templ32_, mask2Cn_, kernel_);
        cv::multiply(templ32_, maskCn_, product_);
        norm_ = cv::norm(product_, cv::NORM_L2SQR);
        return;
    }
    cv::multiply(maskCn_, templ32_, product_);
    const cv::Scalar templMean = divide(cv::sum(product_), maskSum_);
    cv::subtract(templ32_, templMean, centred_);
    cv::multiply(maskCn_, centred_, product_);
    norm_ = cv::norm(product_, cv::NORM_L2);
    cv::multiply(maskCn_, product_, kernel_);
    // The window's weighted means times sum(M^2 T') are taken out of the kernel: the numerator
    // is then one correlation summed over channels.
    const cv::Scalar offset = divide(cv::sum(kernel_), maskSum_);
    for (int y = 0; y < kernel_.rows; ++y) {
        float* k = kernel_.ptr<float>(y);
        const float* m = mask_.ptr<float>(y);
        for (int x = 0; x < kernel_.cols; ++x) {
            for (int c = 0; c < kernel_.channels(); ++c) {
                k[x * kernel_.channels() + c] -= float(offset[c] * double(m[x]));
            }
        }
    }
}

} // namespace wyr::zok
