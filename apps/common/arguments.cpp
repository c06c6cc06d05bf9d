#include "arguments.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zok_track {

long long parseInteger(const std::string& flag, const std::string& text, long long low,
                       long long high) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        throw UsageError("invalid value for " + flag + ": '" + text + "' (an integer from " +
                         std::to_string(low) + " to " + std::to_string(high) + " is expected)");
    }
    return value;
}

double parseNumber(const std::string& flag, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        throw UsageError("invalid value for " + flag + ": '" + text +
                         "' (a finite number is expected)");
    }
    return value;
}

} // namespace zok_track
