#pragma once

#include <stdexcept>
#include <string>

namespace zok_track {

// A command line the tool cannot take; the message is for the user.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The value of `flag` as an integer from `low` to `high`; UsageError otherwise.
long long parseInteger(const std::string& flag, const std::string& text, long long low,
                       long long high);

// The value of `flag` as a finite number; UsageError otherwise.
double parseNumber(const std::string& flag, const std::string& text);

} // namespace zok_track
