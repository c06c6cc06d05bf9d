#include "start_request.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zok_gst {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::optional<int> parseInteger(const std::string& text, size_t begin, size_t end) {
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    const std::string part = text.substr(begin, end - begin);
    // strtoll alone would take leading spaces again, a "+" and hexadecimal; only decimal is
    // meant, so the first character must be a digit or a minus sign.
    if (part.empty() || !(part[0] == '-' || (part[0] >= '0' && part[0] <= '9'))) {
        return std::nullopt;
    }
    errno = 0;
    char* stop = nullptr;
    const long long value = std::strtoll(part.c_str(), &stop, 10);
    if (*stop != '\0' || errno == ERANGE || value < INT_MIN / 4 || value > INT_MAX / 4) {
        return std::nullopt;
    }
    return int(value);
}

} // namespace

std::optional<std::vector<int>> parseIntegers(const std::string& text, size_t count) {
    std::vector<int> values;
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(',', begin);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        const std::optional<int> value = parseInteger(text, begin, end);
        if (!value || values.size() == count) {
            return std::nullopt;
        }
        values.push_back(*value);
        if (comma == std::string::npos) {
            break;
        }
        begin = comma + 1;
    }
    if (values.size() != count) {
        return std::nullopt;
    }
    return values;
}

std::optional<cv::Rect> parseBox(const std::string& text, std::string& why) {
    const std::optional<std::vector<int>> v = parseIntegers(text, 4);
    if (!v || (*v)[2] <= 0 || (*v)[3] <= 0) {
        why = "x,y,width,height in pixels with a positive width and height is expected";
        return std::nullopt;
    }
    return cv::Rect((*v)[0], (*v)[1], (*v)[2], (*v)[3]);
}

std::optional<cv::Point> parseOffset(const std::string& text, std::string& why) {
    const std::optional<std::vector<int>> v = parseIntegers(text, 2);
    if (!v) {
        why = "x,y in pixels from the frame's centre is expected";
        return std::nullopt;
    }
    return cv::Point((*v)[0], (*v)[1]);
}

std::optional<cv::Size> parseHalfSize(const std::string& text, std::string& why) {
    const std::optional<std::vector<int>> v = parseIntegers(text, 2);
    if (!v || (*v)[0] < 0 || (*v)[1] < 0) {
        why = "half-width,half-height in pixels, neither negative, is expected";
        return std::nullopt;
    }
    return cv::Size((*v)[0], (*v)[1]);
}

} // namespace zok_gst
