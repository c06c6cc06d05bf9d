#include "tool_config.hpp"

#include "recommended_config.hpp"

namespace zok_track {

wyr::zok::ZokConfig toolConfig(const std::string& configPath, bool libraryDefaults) {
    wyr::zok::ZokConfig config;
    if (!configPath.empty()) {
        if (!config.LoadFromJson(configPath.c_str())) {
            throw ConfigError("configuration file '" + configPath + "' refused");
        }
    } else if (!libraryDefaults) {
        config.trackerCorr = recommendedParams();
        config.trackerDcf = recommendedDcfParams();
    }
    return config;
}

} // namespace zok_track
