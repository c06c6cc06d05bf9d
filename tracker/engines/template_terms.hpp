#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// The template's side of a normalised score, computed with the same OpenCV operations in the
// same order as cv::matchTemplate, so that the normalisers and the edge cases they decide (a
// template without variance, say) come out the same. Only template-sized arrays are touched,
// and they are kept between calls.
class TemplateTerms {
public:
    // `mask` is empty or CV_32FC1 of the template's size; `method` is cv::TM_CCORR_NORMED or
    // cv::TM_CCOEFF_NORMED.
    void compute(const cv::Mat& templ, const cv::Mat& mask, int method);

    // What each window channel is correlated with (CV_32FC(cn), the template's size), so that
    // the sum over channels is the score's numerator:
    //   unweighted: T (TM_CCORR_NORMED) or T - mean(T) (TM_CCOEFF_NORMED);
    //   weighted: T M^2 (TM_CCORR_NORMED) or M^2 T' - M sum(M^2 T') / sum(M), with
    //   T' = T - sum(M T) / sum(M) (TM_CCOEFF_NORMED).
    const cv::Mat& kernel() const { return kernel_; }
    // Unweighted: the template's norm as the unweighted normalisation uses it. Weighted: the sum
    // of (T M)^2 (TM_CCORR_NORMED) or the norm of M T' (TM_CCOEFF_NORMED).
    double norm() const { return norm_; }
    // Unweighted TM_CCOEFF_NORMED only: the template has no variance, so every score is 1.
    bool flat() const { return flat_; }

    // The mask's own terms, each channel the same single-channel mask: sum(M) and sum(M^2).
    const cv::Scalar& maskSum() const { return maskSum_; }
    const cv::Scalar& maskSquaresSum() const { return mask2Sum_; }
    // M and M^2 (CV_32FC1); `maskChanged` says whether they differ from the previous call's.
    const cv::Mat& mask() const { return mask_; }
    const cv::Mat& maskSquared() const { return mask2_; }
    bool maskChanged() const { return maskChanged_; }

private:
    void unweighted(const cv::Mat& templ, int method);
    void weighted(const cv::Mat& templ, int method);
    void takeMask(const cv::Mat& mask, int channels);

    cv::Mat kernel_;
    double norm_ = 0;
    bool flat_ = false;
    cv::Mat mask_;
    cv::Mat mask2_;
    cv::Mat maskCn_;
    cv::Mat mask2Cn_;
    cv::Scalar maskSum_;
    cv::Scalar mask2Sum_;
    bool maskChanged_ = false;
    cv::Mat templ32_;
    cv::Mat product_;
    cv::Mat centred_;
};

} // namespace wyr::zok
