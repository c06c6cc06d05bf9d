// zok_accuracy_real: zok's trackers beside their peers on annotated real footage.
//   zok_accuracy_real --dataset DIR [--format auto|simple|otb|uav|lasot|got10k]
//                     [--trackers ID,...] [--variant [dcf:]NAME=config.json]... [--jobs N]
//                     [--recommended config.json] [--starts N] [--shifts N] [--out DIR]
// --starts N also runs each sequence from N - 1 later frames, as sequences of their own named
// "<name>@<k>" (accuracy/dataset/later_starts.hpp); default 1, one pass from the first frame.
// --shifts N (1 to 9) also runs each of those from N - 1 first boxes moved by a pixel, named
// "<name>~<k>" (accuracy/dataset/shifted_starts.hpp); default 1, the box as annotated.
// Writes DIR/real-tables.md, DIR/curves.csv and DIR/timings.csv (--out, default ".") and prints
// the overall table. Exit status: 0 when every sequence ran, 1 when some were left out (each
// named on stderr with its reason; the others are reported), 2 on a usage error or when no
// sequence could run.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "accuracy/dataset/later_starts.hpp"
#include "accuracy/dataset/shifted_starts.hpp"
#include "accuracy/report.hpp"
#include "accuracy/run_setup.hpp"
#include "accuracy/workers.hpp"

namespace {

using namespace wyr::zok::accuracy;

constexpr int LEFT_OUT = 1;
constexpr int USAGE = 2;

int usage(const std::string& problem) {
    std::cerr << "zok_accuracy_real: " << problem << "\n"
              << "usage: zok_accuracy_real --dataset DIR [--format auto|simple|otb|uav|lasot|"
                 "got10k] [--trackers ID,...] [--variant [dcf:]NAME=config.json]... [--jobs N] "
                 "[--recommended config.json] [--starts N] [--shifts N] [--out DIR]\n";
    return USAGE;
}

// `value` as a whole count of 1 to `most`, into `count`; false, leaving it, otherwise.
bool parseCount(const std::string& value, int most, int& count) {
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > most) {
        return false;
    }
    count = int(n);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string dataset, trackers = "all", recommended = "config/recommended.json", out = ".";
    std::vector<std::string> variants;
    Format format = Format::AUTO;
    int jobs = 1;
    int starts = 1;
    int shifts = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return usage(arg + " needs a value");
        }
        const std::string value = argv[++i];
        if (arg == "--dataset") {
            dataset = value;
        } else if (arg == "--format") {
            if (!parseFormat(value, format)) {
                return usage("--format: unknown layout '" + value + "'");
            }
        } else if (arg == "--trackers") {
            trackers = value;
        } else if (arg == "--variant") {
            variants.push_back(value);
        } else if (arg == "--jobs" || arg == "--starts" || arg == "--shifts") {
            const bool isJobs = arg == "--jobs";
            const bool isShifts = arg == "--shifts";
            const int most = isJobs ? 64 : isShifts ? MAX_SHIFTED_STARTS : 20;
            if (!parseCount(value, most, isJobs ? jobs : isShifts ? shifts : starts)) {
                return usage(arg + ": expected a count of 1 to " + std::to_string(most) +
                             ", got '" + value + "'");
            }
        } else if (arg == "--recommended") {
            recommended = value;
        } else if (arg == "--out") {
            out = value;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (dataset.empty()) {
        return usage("--dataset is required");
    }
    std::vector<TrackerRow> rows;
    const std::string problem = setUpRun({out, recommended, variants, trackers}, rows);
    if (!problem.empty()) {
        return usage(problem);
    }

    DatasetScan scan = readDataset(dataset, format);
    for (const std::string& p : scan.problems) {
        std::cerr << "left out: " << p << '\n';
    }
    scan.sequences = withShiftedStarts(withLaterStarts(scan.sequences, starts), shifts);
    const std::vector<SequenceRun> runs = runAll(scan.sequences, rows, jobs);
    std::vector<RealSequence> ran;
    std::vector<SequenceRun> clean;
    size_t leftOut = scan.problems.size();
    for (size_t s = 0; s < runs.size(); ++s) {
        if (runs[s].problem.empty()) {
            ran.push_back(scan.sequences[s]);
            clean.push_back(runs[s]);
            for (size_t t = 0; t < rows.size() && t < runs[s].traces.size(); ++t) {
                if (!runs[s].traces[t].failure.empty()) {
                    std::cerr << "not started: " << rows[t].name << " on " << scan.sequences[s].name
                              << " (" << runs[s].traces[t].failure
                              << "); it keeps the start box there\n";
                }
            }
        } else {
            std::cerr << "left out: " << runs[s].problem << '\n';
            ++leftOut;
        }
    }
    if (ran.empty()) {
        std::cerr << "zok_accuracy_real: no sequence could run\n";
        return USAGE;
    }
    const std::string table = writeReport(ran, clean, rows, out);
    if (table.empty()) {
        std::cerr << "zok_accuracy_real: cannot write the results into " << out << '\n';
        return USAGE;
    }
    std::cout << "Read " << ran.size() + leftOut << " sequences in the " << formatName(scan.format)
              << " layout under " << dataset << "; " << ran.size() << " ran, " << leftOut
              << " left out.\n";
    if (starts > 1) {
        std::cout << "Each sequence ran from up to " << starts
                  << " starts, each start counted as a sequence.\n";
    }
    if (shifts > 1) {
        std::cout << "Each start was also made from " << shifts - 1
                  << " first boxes moved by a pixel, each counted as a sequence.\n";
    }
    std::cout << '\n' << table;
    return leftOut > 0 ? LEFT_OUT : 0;
}
