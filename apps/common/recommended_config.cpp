#include "recommended_config.hpp"

#include <stdexcept>

#include "config/json_document.hpp"
#include "config/params_reader.hpp"

namespace zok_track {

wyr::zok::TrackerCorr::Params recommendedParams() {
    wyr::zok::JsonDocument document;
    document.Parse(kRecommendedConfig);
    wyr::zok::TrackerCorr::Params params;
    if (document.HasParseError() || !document.IsObject() ||
        !wyr::zok::overlayParams(document, params).empty()) {
        throw std::logic_error("the built-in recommended configuration is not valid");
    }
    return params;
}

wyr::zok::TrackerDcf::Params recommendedDcfParams() {
    wyr::zok::JsonDocument document;
    document.Parse(kRecommendedConfig);
    wyr::zok::TrackerDcf::Params params;
    if (document.HasParseError() || !document.IsObject() ||
        !wyr::zok::overlayParams(document, params).empty()) {
        throw std::logic_error("the built-in recommended configuration is not valid");
    }
    return params;
}

} // namespace zok_track
