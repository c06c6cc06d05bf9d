#include "result_writer.hpp"

#include <cmath>
#include <iomanip>

namespace zok_track {

namespace {

// JSON has no NaN or infinity; a score without a value is written as null.
void writeScore(std::ostream& out, double score, Format format) {
    if (!std::isfinite(score)) {
        out << (format == Format::JsonLines ? "null" : "nan");
    } else {
        out << std::fixed << std::setprecision(6) << score;
    }
}

} // namespace

ResultWriter::ResultWriter(std::ostream& out, Format format) : out_(out), format_(format) {
    if (format_ == Format::Csv) {
        out_ << "frame,found,x,y,width,height,dx,dy,scores\n";
    }
}

void ResultWriter::write(const FrameResult& r) {
    const char* separator = format_ == Format::Csv ? ";" : ",";
    if (format_ == Format::Csv) {
        out_ << r.frame << ',' << (r.found ? 1 : 0) << ',' << r.box.x << ',' << r.box.y << ','
             << r.box.width << ',' << r.box.height << ',' << r.offset.x << ',' << r.offset.y << ',';
    } else {
        out_ << "{\"frame\":" << r.frame << ",\"found\":" << (r.found ? "true" : "false")
             << ",\"box\":[" << r.box.x << ',' << r.box.y << ',' << r.box.width << ','
             << r.box.height << "],\"offset\":[" << r.offset.x << ',' << r.offset.y
             << "],\"scores\":[";
    }
    for (size_t i = 0; i < r.scores.size(); ++i) {
        if (i > 0) {
            out_ << separator;
        }
        writeScore(out_, r.scores[i], format_);
    }
    out_ << (format_ == Format::Csv ? "\n" : "]}\n");
}

} // namespace zok_track
