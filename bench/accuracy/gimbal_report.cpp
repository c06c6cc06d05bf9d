#include "accuracy/gimbal_report.hpp"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "accuracy/dataset/metrics.hpp"
#include "accuracy/gimbal/view_measures.hpp"
#include "accuracy/gimbal_run.hpp"
#include "accuracy/markdown.hpp"

namespace wyr::zok::accuracy {
namespace {

ViewScore scoreRun(const RealSequence& seq, const SequenceRun& run, size_t t) {
    return scoreViews(run.traces[t].boxes, seq.truth, scoredFrames(seq, run), run.start);
}

// The share of updates in which the tracker reported the target lost.
double reportedLost(const RealSequence& seq, const SequenceRun& run, size_t t) {
    const size_t updates = seq.frames.size() - run.start - 1;
    size_t lost = 0;
    for (size_t k = run.start + 1; k < seq.frames.size(); ++k) {
        lost += !run.traces[t].found[k];
    }
    return updates ? double(lost) / double(updates) : 0.0;
}

// How the run was set up, as a paragraph.
std::string setUp(const std::vector<RealSequence>& sequences, const ClosedLoopSettings& s) {
    const GimbalController::Params c = s.controller;
    const VirtualCamera& camera = s.camera;
    std::map<double, size_t> rates;
    for (const RealSequence& seq : sequences) {
        ++rates[frameRateOf(seq)];
    }
    std::ostringstream out;
    out << "The view is " << s.camera.view.width << " x " << s.camera.view.height
        << " pixels of frames whose width spans " << fixed(s.camera.frameFov, 0)
        << " degrees; the controller's field of view is the view's";
    if (!camera.frame.empty()) {
        out << ", " << fixed(camera.viewFov(), 1) << " degrees wide on " << camera.frame.width
            << " x " << camera.frame.height << " frames";
    }
    out << ". A command acts " << s.delayFrames << (s.delayFrames == 1 ? " frame" : " frames")
        << " after the frame it was computed on. GimbalController: proportional gain "
        << fixed(c.proportionalGain, 2) << " /s, integral gain " << fixed(c.integralGain, 2)
        << " /s², rate limit " << fixed(c.maxRate, 0) << " °/s, dead band " << fixed(c.deadBand, 2)
        << " °. Frame rates:";
    const char* sep = " ";
    for (const auto& [rate, count] : rates) {
        out << sep << fixed(rate, 0) << " fps (" << count
            << (count == 1 ? " sequence)" : " sequences)");
        sep = ", ";
    }
    out << ".\n";
    return out.str();
}

} // namespace

std::string writeClosedLoopReport(const std::vector<RealSequence>& sequences,
                                  const std::vector<SequenceRun>& runs,
                                  const std::vector<TrackerRow>& rows,
                                  const ClosedLoopSettings& settings, const std::string& dir) {
    std::ostringstream overall, perSequence, notes;
    overall << header({"tracker", "target in the central third", "mean centre error in the view",
                       "share of the sequence kept in view", "sequences where it left for good",
                       "frames reported lost"});
    std::vector<std::string> columns = {"sequence", "frames"};
    for (const TrackerRow& row : rows) {
        columns.push_back(row.name);
    }
    perSequence << header(columns);

    std::vector<std::vector<ViewScore>> scores(rows.size());
    for (size_t t = 0; t < rows.size(); ++t) {
        double third = 0, error = 0, kept = 0, lost = 0;
        size_t withError = 0, leftForGood = 0, errors = 0;
        for (size_t i = 0; i < sequences.size(); ++i) {
            const ViewScore s = scoreRun(sequences[i], runs[i], t);
            scores[t].push_back(s);
            third += s.centralThirdShare();
            kept += s.keptShare();
            leftForGood += s.lostForGood();
            lost += reportedLost(sequences[i], runs[i], t);
            if (!std::isnan(s.meanError)) {
                error += s.meanError;
                ++withError;
            }
            errors += size_t(runs[i].traces[t].errors);
            if (!runs[i].traces[t].failure.empty()) {
                notes << "- " << rows[t].name << " could not start on " << sequences[i].name << ": "
                      << runs[i].traces[t].failure << "\n";
            }
        }
        if (errors > 0) {
            notes << "- " << rows[t].name << ": " << errors
                  << " updates raised an error and count as lost\n";
        }
        const size_t n = sequences.size();
        overall << "| " << rows[t].name << " | " << percent(third, n) << " | "
                << (withError ? fixed(error / double(withError), 1) + " px" : "-") << " | "
                << percent(kept, n) << " | " << leftForGood << " of " << n << " | "
                << percent(lost, n) << " |\n";
    }
    for (size_t i = 0; i < sequences.size(); ++i) {
        perSequence << "| " << sequences[i].name << " | "
                    << sequences[i].frames.size() - runs[i].start << " |";
        for (size_t t = 0; t < rows.size(); ++t) {
            const ViewScore& s = scores[t][i];
            perSequence << ' ' << fixed(100 * s.centralThirdShare(), 0) << " % · "
                        << (std::isnan(s.meanError) ? std::string("-") : fixed(s.meanError, 0))
                        << " · " << (s.lostForGood() ? std::to_string(s.keptFrames) : "kept")
                        << " |";
        }
        perSequence << '\n';
    }

    std::ofstream md(dir + "/gimbal-tables.md");
    md << setUp(sequences, settings) << '\n'
       << overall.str() << (notes.str().empty() ? "" : "\n" + notes.str()) << "\n"
       << "### Per sequence\n\n"
       << "Each cell: the share of frames with the target in the central third · the mean "
          "centre error in pixels · the frames until the target left the view for good, "
          "counted from the start (\"kept\" when it never did).\n\n"
       << perSequence.str();

    std::ofstream csv(dir + "/gimbal-paths.csv");
    csv << "tracker,sequence,frame,view_x,view_y,target_x,target_y,found\n";
    for (size_t i = 0; i < sequences.size(); ++i) {
        for (size_t t = 0; t < rows.size(); ++t) {
            const TrackerTrace& trace = runs[i].traces[t];
            for (size_t k = runs[i].start; k < trace.boxes.size(); ++k) {
                const cv::Point2d v = centre(trace.boxes[k]);
                const cv::Point2d g = centre(sequences[i].truth[k]);
                csv << '"' << rows[t].name << "\"," << sequences[i].name << ',' << k << ','
                    << fixed(v.x, 1) << ',' << fixed(v.y, 1) << ',' << fixed(g.x, 1) << ','
                    << fixed(g.y, 1) << ',' << int(trace.found[k]) << '\n';
            }
        }
    }
    md.close();
    csv.close();
    return md && csv ? overall.str() : "";
}

} // namespace wyr::zok::accuracy
