// Which rows an accuracy run builds from its --trackers list and its variants.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accuracy/run_setup.hpp"
#include "config/config_files.hpp"

namespace wyr::zok::accuracy {
namespace {

struct SetupCase {
    const char* name;
    const char* trackers;
    std::vector<std::string> variants; // NAME, a learned-tracker variant each
    std::vector<std::string> ids;      // the rows built, in order
    const char* problem;               // the start of the problem, or "" for none
};

class RunRows : public ::testing::TestWithParam<SetupCase> {};

TEST_P(RunRows, KeepsTheNamedRowsAndEveryVariant) {
    const SetupCase& c = GetParam();
    const wyr::zok::testing::TempDir temp;
    const std::string config = temp.path("variant.json");
    std::ofstream(config) << R"({"TrackerDcf": {"minSharpness": 0}})";
    RunSetup setup{temp.path("out"), ZOK_RECOMMENDED_CONFIG, {}, c.trackers};
    for (const std::string& v : c.variants) {
        setup.variants.push_back("dcf:" + v + "=" + config);
    }
    std::vector<TrackerRow> rows;
    const std::string problem = setUpRun(setup, rows);
    EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
    if (problem.empty()) {
        std::vector<std::string> ids;
        for (const TrackerRow& row : rows) {
            ids.push_back(row.id);
        }
        EXPECT_EQ(ids, c.ids);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RunRows,
    ::testing::Values(
        SetupCase{"VariantRunsBesideTheNamedRow", "kcf", {"a"}, {"kcf", "a"}, ""},
        SetupCase{"VariantMayAlsoBeNamed", "a,kcf", {"a"}, {"kcf", "a"}, ""},
        SetupCase{"RowsKeepTheirOrder", "mosse,kcf", {"b", "a"}, {"kcf", "mosse", "b", "a"}, ""},
        SetupCase{
            "UnknownIdIsRefused", "kcf,nope", {"a"}, {}, "--trackers: no tracker called 'nope'"}),
    [](const ::testing::TestParamInfo<SetupCase>& info) { return info.param.name; });

} // namespace
} // namespace wyr::zok::accuracy
