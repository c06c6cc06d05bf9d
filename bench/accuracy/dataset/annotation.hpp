#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::accuracy {

// Reads one box a line, "x y w h" separated by commas, tabs or spaces (mixed too). `base` is
// the pixel index the file gives the top-left pixel (1 for MATLAB-made annotations), so that
// the boxes come out 0-based. A line with a NaN becomes a box of four NaNs; blank lines at the
// end are ignored. Returns "" or one message naming the file and line: a missing file, a blank
// line before the end, a line without exactly four numbers, a non-numeric or infinite value, a
// negative width or height. `boxes` is filled only on success.
std::string readBoxes(const std::string& path, int base, std::vector<cv::Rect2d>& boxes);

// Reads 0/1 flags separated by commas or whitespace, over any number of lines (LaSOT writes one
// line, GOT-10k one flag a line). Returns "" or one message naming the file and line.
std::string readFlags(const std::string& path, std::vector<bool>& flags);

// A sequence annotated one box a frame: the boxes of `annotation` (read as readBoxes does) and
// exactly as many numbered frames in `framesDir`, in order from its first. Returns "" or the
// first problem: the annotation's, no frames, a count that differs, a number missing.
std::string readBoxPerFrame(const std::string& annotation, int base, const std::string& framesDir,
                            std::vector<cv::Rect2d>& boxes, std::vector<std::string>& frames);

} // namespace wyr::zok::accuracy
