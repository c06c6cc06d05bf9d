#include "requests.hpp"

namespace zok_gst {

bool isRequest(const GstStructure* structure) {
    return structure != nullptr && (gst_structure_has_name(structure, "zoktrack-start") ||
                                    gst_structure_has_name(structure, "zoktrack-reset"));
}

std::optional<Command> parseRequest(const GstStructure* structure, std::string& why) {
    if (gst_structure_has_name(structure, "zoktrack-reset")) {
        return Command{Command::DROP, {}};
    }
    int x, y, width, height;
    if (const char* text = gst_structure_get_string(structure, "box")) {
        if (const std::optional<cv::Rect> box = parseBox(text, why)) {
            return Command{Command::START, {false, *box, {}, {}}};
        }
        return std::nullopt;
    }
    if (gst_structure_get_int(structure, "x", &x) && gst_structure_get_int(structure, "y", &y) &&
        gst_structure_get_int(structure, "width", &width) &&
        gst_structure_get_int(structure, "height", &height)) {
        // Through the text, so that the integers meet the same limits as the property's.
        const std::string text = std::to_string(x) + "," + std::to_string(y) + "," +
                                 std::to_string(width) + "," + std::to_string(height);
        if (const std::optional<cv::Rect> box = parseBox(text, why)) {
            return Command{Command::START, {false, *box, {}, {}}};
        }
        return std::nullopt;
    }
    const char* offsetText = gst_structure_get_string(structure, "offset");
    const char* halfText = gst_structure_get_string(structure, "half-size");
    if (offsetText == nullptr || halfText == nullptr) {
        why = "a box, or an offset with a half-size, is expected";
        return std::nullopt;
    }
    const std::optional<cv::Point> offset = parseOffset(offsetText, why);
    const std::optional<cv::Size> half = offset ? parseHalfSize(halfText, why) : std::nullopt;
    if (!half) {
        return std::nullopt;
    }
    return Command{Command::START, {true, {}, *offset, *half}};
}

} // namespace zok_gst
