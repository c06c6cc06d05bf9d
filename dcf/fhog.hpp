#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// Felzenszwalb's HOG features on square cells: 31 planes per cell.
//
// Planes 0..17 hold the contrast-sensitive orientations (bin o covers directions around
// o * 20 degrees, measured from +x towards +y, i.e. downwards in the image), planes 18..26 the
// contrast-insensitive ones (bin o + 18 pools o and o + 9) and planes 27..30 the gradient energy
// of the cell normalised by each of its four 2 x 2-cell blocks: the block reaching right and down
// from the cell (27), right and up (28), left and down (29), left and up (30). Each orientation
// value is half the sum, over the four blocks, of the cell's histogram divided by the block's
// norm and truncated at 0.2; so a plane's values lie in [0, 0.4], and the energy planes in
// [0, 0.2357 * 18 * 0.2].
//
// Gradients are central differences, in the units of the pixel values: 8-bit and float frames
// of the same values (0..255) give the same features, and float frames should use that scale,
// since the normalisation's regulariser (1e-4 on a block's squared norm) is set for it. In a
// colour frame each pixel takes the gradient of the channel with the largest magnitude (on a
// tie, the earlier channel in memory order). Each pixel's magnitude votes for its orientation
// in the four cells around it, weighted bilinearly by the distance of the pixel's centre from
// the cells' centres.
//
// Borders: the grid covers the top-left (rows / cellSize) x (cols / cellSize) cells; pixels
// beyond them are not read. The outermost ring of pixels of that area has no gradient (its
// central differences would need pixels outside), and votes falling in cells outside the grid
// are dropped. Blocks that would reach outside the grid take the norm of the nearest block
// inside it, so a border cell is normalised by its inner blocks counted twice (or, at a corner,
// four times). Cells not on the border see only pixels and blocks inside the grid.
class FhogExtractor {
public:
    static constexpr int kPlanes = 31;
    static constexpr int kSensitiveBins = 18;
    static constexpr int kInsensitiveBins = 9;

    // Features of `image` (CV_8UC1, CV_8UC3 BGR, CV_32FC1 or CV_32FC3 with finite values) on
    // cells of `cellSize` pixels, into `planes`: kPlanes CV_32FC1 matrices of
    // (rows / cellSize) x (cols / cellSize). Matrices of that size and type are written in
    // place (whatever shares their data sees the new values); others are reallocated. After
    // the first call of a size, calls of the same size and type make no heap allocations.
    // Raises cv::Exception, with `planes` untouched, on an empty image (StsBadArg), another
    // type (StsUnsupportedFormat), cellSize < 1 (StsOutOfRange) or an image of fewer than
    // 2 x 2 cells (StsBadSize).
    void compute(const cv::Mat& image, int cellSize, std::vector<cv::Mat>& planes);

private:
    void loadChannels(const cv::Mat& image, const cv::Size& area);
    void prepareScratch(int cellsY, int cellsX, int cols, int cellSize);
    void gradientsOfRow(int y, int cols);
    void binOrientations(int cols, int cellsX);
    void voteRow(int y, int cols, int cellSize, int cellsX);
    void normaliseBlocks(int cellsY, int cellsX);
    void writeFeatures(int cellsY, int cellsX, std::vector<cv::Mat>& planes);

    int channelCount_ = 0;
    // Float planes of the frame's area, one per channel, during a call: views of owned_, or of
    // the caller's frame when it is one float channel (never written through).
    std::array<cv::Mat, 3> channels_;
    std::array<cv::Mat, 3> owned_;
    std::array<cv::Mat, 3> bytes_; // an 8-bit frame's channels, before conversion

    // Per pixel of the current row (indexed by x): the gradient, its squared magnitude, and
    // where and how much it votes.
    std::vector<float> dx_, dy_, magnitude_;
    std::vector<int> voteIndex_;
    std::vector<float> voteLeft_, voteRight_;
    // Per column: the padded index of the left cell a pixel votes into, and its weight to the
    // right one.
    std::vector<int> voteCell_;
    std::vector<float> voteFraction_;
    // Histograms with a ring of one padding cell, laid out [row][bin][column]; rowVotes_ holds
    // one row of pixels' votes before they are split between two cell rows.
    std::vector<float> histogram_, rowVotes_;
    // Squared cell norms, and per block (padded by one, border blocks replicated) the truncation
    // level and the scale of the normalisation.
    std::vector<float> energy_, blockClip_, blockScale_;
};

} // namespace wyr::zok
