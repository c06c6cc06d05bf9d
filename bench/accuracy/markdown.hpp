#pragma once

// The figures and tables of the accuracy pages, in one form for every report.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace wyr::zok::accuracy {

inline std::string fixed(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

// The mean of `count` shares summing to `sum`, as a whole percentage; "-" when there are none.
inline std::string percent(double sum, size_t count) {
    return count == 0 ? "-" : fixed(100.0 * sum / double(count), 0) + " %";
}

// A Markdown table's header row and rule.
inline std::string header(const std::vector<std::string>& columns) {
    std::string h = "|", rule = "|";
    for (const std::string& c : columns) {
        h += " " + c + " |";
        rule += "---|";
    }
    return h + "\n" + rule + "\n";
}

} // namespace wyr::zok::accuracy
