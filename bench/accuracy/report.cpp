#include "accuracy/report.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "accuracy/dataset/metrics.hpp"
#include "accuracy/markdown.hpp"

namespace wyr::zok::accuracy {
namespace {

std::string milliseconds(double ms) {
    return fixed(ms, ms < 10 ? 2 : 1) + " ms";
}

// One row's figures over a set of sequences. The flag's shares are averaged over the
// sequences, as the curves are, so that one long sequence does not decide them.
struct Summary {
    Curves curves;
    double visibleLost = 0, foundOffTarget = 0, absentFound = 0; // sums of per-sequence shares
    size_t visibleSequences = 0, absentSequences = 0;
    std::vector<double> ms;
    int errors = 0;
    std::vector<std::string> failures;
};

Summary summarise(const std::vector<RealSequence>& sequences, const std::vector<SequenceRun>& runs,
                  size_t t, const std::vector<size_t>& subset) {
    Summary s;
    std::vector<Curves> curves;
    for (const size_t i : subset) {
        const RealSequence& seq = sequences[i];
        const SequenceRun& run = runs[i];
        const TrackerTrace& trace = run.traces[t];
        curves.push_back(score(trace.boxes, seq.truth, scoredFrames(seq, run)));
        const FlagShares flag = flagShares(seq, run.start, trace.boxes, trace.found);
        if (!std::isnan(flag.visibleLost)) {
            s.visibleLost += flag.visibleLost;
            s.foundOffTarget += flag.foundOffTarget;
            ++s.visibleSequences;
        }
        if (!std::isnan(flag.absentFound)) {
            s.absentFound += flag.absentFound;
            ++s.absentSequences;
        }
        s.ms.insert(s.ms.end(), trace.ms.begin(), trace.ms.end());
        s.errors += trace.errors;
        if (!trace.failure.empty()) {
            s.failures.push_back(seq.name + " (" + trace.failure + ")");
        }
    }
    s.curves = meanCurves(curves);
    return s;
}

// The median update of each row over the sequences of each frame size, the sizes from the
// most pixels down: the cost of a tracker whose time grows with the target's size depends on the
// frame it runs on, so that one overall median would compare trackers on a mix of sizes.
std::string medianPerFrameSize(const std::vector<SequenceRun>& runs,
                               const std::vector<TrackerRow>& rows,
                               const std::vector<size_t>& subset) {
    const auto morePixels = [](const cv::Size& a, const cv::Size& b) {
        return std::make_tuple(a.area(), a.width) > std::make_tuple(b.area(), b.width);
    };
    std::map<cv::Size, std::vector<size_t>, decltype(morePixels)> bySize(morePixels);
    for (const size_t i : subset) {
        bySize[runs[i].frameSize].push_back(i);
    }
    std::vector<std::string> columns = {"tracker"};
    for (const auto& [size, members] : bySize) {
        columns.push_back(std::to_string(size.width) + " x " + std::to_string(size.height) + " (" +
                          std::to_string(members.size()) + ")");
    }
    std::ostringstream md;
    md << "\nMedian update per frame size (the number of sequences in brackets):\n\n"
       << header(columns);
    for (size_t t = 0; t < rows.size(); ++t) {
        if (!rows[t].unavailable.empty()) {
            continue;
        }
        md << "| " << rows[t].name << " |";
        for (const auto& [size, members] : bySize) {
            std::vector<double> ms;
            for (const size_t i : members) {
                ms.insert(ms.end(), runs[i].traces[t].ms.begin(), runs[i].traces[t].ms.end());
            }
            md << ' ' << milliseconds(quantile(ms, 0.5)) << " |";
        }
        md << '\n';
    }
    return md.str();
}

} // namespace

std::string writeReport(const std::vector<RealSequence>& sequences,
                        const std::vector<SequenceRun>& runs, const std::vector<TrackerRow>& rows,
                        const std::string& dir) {
    std::vector<size_t> all(sequences.size());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    std::map<std::string, std::vector<size_t>> byDataset, byAttribute;
    for (size_t i = 0; i < sequences.size(); ++i) {
        byDataset[sequences[i].dataset].push_back(i);
        for (const std::string& a : sequences[i].attributes) {
            byAttribute[a].push_back(i);
        }
    }

    std::ostringstream overall, notes, md;
    overall << header({"tracker", "success AUC", "success at IoU 0.5", "precision at 20 px",
                       "normalised precision", "visible frames reported lost",
                       "visible frames found off the target", "absent frames reported found",
                       "median update", "95th percentile update"});
    std::ofstream curves(dir + "/curves.csv"), timings(dir + "/timings.csv");
    curves << "tracker,curve,threshold,value\n";
    timings << "tracker,area,ms\n";
    std::vector<Summary> summaries(rows.size());
    for (size_t t = 0; t < rows.size(); ++t) {
        const TrackerRow& row = rows[t];
        if (!row.unavailable.empty()) {
            overall << "| " << row.name << " | " << row.unavailable << " | | | | | | | | |\n";
            continue;
        }
        const Summary s = summaries[t] = summarise(sequences, runs, t, all);
        const Curves& c = s.curves;
        const auto share = [&](double sum, size_t sequences) {
            return row.hasFlag ? percent(sum, sequences) : "(no flag)";
        };
        overall << "| " << row.name << " | " << fixed(c.successAuc(), 3) << " | "
                << fixed(c.successAt50(), 3) << " | " << fixed(c.precisionAt20(), 3) << " | "
                << fixed(c.normalisedAuc(), 3) << " | " << share(s.visibleLost, s.visibleSequences)
                << " | " << share(s.foundOffTarget, s.visibleSequences) << " | "
                << share(s.absentFound, s.absentSequences) << " | "
                << milliseconds(quantile(s.ms, 0.5)) << " | " << milliseconds(quantile(s.ms, 0.95))
                << " |\n";
        if (s.errors > 0) {
            notes << "\n"
                  << row.name << " raised an error on " << s.errors
                  << " updates, counted as lost frames.\n";
        }
        if (!s.failures.empty()) {
            notes << "\n" << row.name << " could not start on";
            for (const std::string& f : s.failures) {
                notes << " " << f;
            }
            notes << "; it keeps the start box there.\n";
        }
        for (int i = 0; i < SUCCESS_STEPS; ++i) {
            curves << '"' << row.name << "\",success," << successThreshold(i) << ','
                   << c.success[size_t(i)] << '\n';
        }
        for (int i = 0; i < PRECISION_STEPS; ++i) {
            curves << '"' << row.name << "\",precision," << precisionThreshold(i) << ','
                   << c.precision[size_t(i)] << '\n';
        }
        for (const size_t i : all) {
            const TrackerTrace& trace = runs[i].traces[t];
            for (size_t u = 0; u < trace.ms.size(); ++u) {
                timings << '"' << row.name << "\"," << trace.area[u] << ',' << trace.ms[u] << '\n';
            }
        }
    }
    md << overall.str() << notes.str();
    md << medianPerFrameSize(runs, rows, all);

    // Success AUC per group of sequences, one column a group.
    const auto groupTable = [&](const std::map<std::string, std::vector<size_t>>& groups) {
        std::vector<std::string> columns = {"tracker"};
        for (const auto& [name, members] : groups) {
            columns.push_back(name + " (" + std::to_string(members.size()) + ")");
        }
        md << header(columns);
        for (size_t t = 0; t < rows.size(); ++t) {
            if (!rows[t].unavailable.empty()) {
                continue;
            }
            md << "| " << rows[t].name << " |";
            for (const auto& [name, members] : groups) {
                md << ' ' << fixed(summarise(sequences, runs, t, members).curves.successAuc(), 3)
                   << " |";
            }
            md << '\n';
        }
    };
    md << "\n### Per dataset\n\nSuccess AUC over the sequences of each dataset (their number in "
          "brackets).\n\n";
    groupTable(byDataset);
    if (!byAttribute.empty()) {
        md << "\n### Per attribute\n\nSuccess AUC over the sequences that their dataset labels "
              "with each attribute (their number in brackets).\n\n";
        groupTable(byAttribute);
    }
    md << "\n### Per sequence\n\nSuccess AUC; the frames column counts those after the start "
          "frame that carry a box.\n\n";
    std::vector<std::string> columns = {"sequence", "dataset", "frames"};
    for (const TrackerRow& row : rows) {
        if (row.unavailable.empty()) {
            columns.push_back(row.name);
        }
    }
    md << header(columns);
    for (size_t i = 0; i < sequences.size(); ++i) {
        const std::vector<bool> scored = scoredFrames(sequences[i], runs[i]);
        md << "| " << sequences[i].name << " | " << sequences[i].dataset << " | "
           << std::count(scored.begin(), scored.end(), true) << " |";
        for (size_t t = 0; t < rows.size(); ++t) {
            if (rows[t].unavailable.empty()) {
                md << ' '
                   << fixed(score(runs[i].traces[t].boxes, sequences[i].truth, scored).successAuc(),
                            3)
                   << " |";
            }
        }
        md << '\n';
    }
    std::ofstream tables(dir + "/real-tables.md");
    tables << md.str();
    if (!tables || !curves || !timings) {
        return "";
    }
    return overall.str();
}

} // namespace wyr::zok::accuracy
