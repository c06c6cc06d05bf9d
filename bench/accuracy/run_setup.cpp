#include "accuracy/run_setup.hpp"

#include <filesystem>
#include <system_error>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

namespace wyr::zok::accuracy {

std::string setUpRun(const RunSetup& setup, std::vector<TrackerRow>& rows) {
    std::error_code ec;
    std::filesystem::create_directories(setup.out, ec);
    if (!std::filesystem::is_directory(setup.out)) {
        return "--out: cannot make the folder " + setup.out;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::setNumThreads(1);

    std::string problem = standardRows(setup.recommended, rows);
    const size_t standard = rows.size();
    for (size_t v = 0; problem.empty() && v < setup.variants.size(); ++v) {
        problem = addVariant(setup.variants[v], rows);
    }
    if (problem.empty()) {
        problem = selectRows(setup.trackers, rows, standard);
    }
    if (problem.empty()) {
        probeRows(rows);
    }
    return problem;
}

} // namespace wyr::zok::accuracy
