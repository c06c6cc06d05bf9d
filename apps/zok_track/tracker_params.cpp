#include "tracker_params.hpp"

namespace zok_track {

wyr::zok::TrackerCorr::Params trackerParams(const Options& options) {
    wyr::zok::TrackerCorr::Params params =
        toolConfig(options.configPath, options.libraryDefaults).trackerCorr;
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
    params.engine = flags.engine.value_or(params.engine);
    params.zeroMean = flags.zeroMean.value_or(params.zeroMean);
    params.updateThreshold = flags.updateThreshold.value_or(params.updateThreshold);
    params.redetectThreshold = flags.redetectThreshold.value_or(params.redetectThreshold);
    return params;
}

wyr::zok::TrackerDcf::Params dcfParams(const Options& options) {
    return toolConfig(options.configPath, options.libraryDefaults).trackerDcf;
}

} // namespace zok_track
