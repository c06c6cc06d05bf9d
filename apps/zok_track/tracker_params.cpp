#include "tracker_params.hpp"

#include "zok/zok_config.hpp"

namespace zok_track {

wyr::zok::TrackerCorr::Params trackerParams(const Options& options) {
    wyr::zok::ZokConfig config;
    if (!options.configPath.empty() && !config.LoadFromJson(options.configPath.c_str())) {
        throw ConfigError("configuration file '" + options.configPath + "' refused");
    }
    wyr::zok::TrackerCorr::Params& params = config.trackerCorr;
    const ParamFlags& flags = options.params;
    params.searchRadiusFactor = flags.searchRadiusFactor.value_or(params.searchRadiusFactor);
    params.altSearchRadiiFactors =
        flags.altSearchRadiiFactors.value_or(params.altSearchRadiiFactors);
    params.threshold = flags.threshold.value_or(params.threshold);
    params.depth = flags.depth ? size_t(*flags.depth) : params.depth;
    params.zoomFactor = flags.zoomFactor.value_or(params.zoomFactor);
    params.mode1D = flags.mode1D.value_or(params.mode1D);
    params.sigmaExp = flags.sigmaExp.value_or(params.sigmaExp);
    params.varianceFilter.threshold =
        flags.varianceThreshold.value_or(params.varianceFilter.threshold);
    return params;
}

} // namespace zok_track
