#include "zok/zok_config.hpp"

#include <iostream>
#include <string>
#include <utility>

#include "config/file_handle.hpp"
#include "config/file_stream.hpp"
#include "config/json_document.hpp"
#include "config/params_reader.hpp"

namespace wyr::zok {

namespace {

// Strict JSON as RapidJSON parses it by default, but driven by an explicit stack instead of
// recursion: the accepted texts are the same, and a file of deeply nested brackets cannot run
// the call stack out.
constexpr unsigned PARSE_FLAGS = rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag;

constexpr size_t READ_BUFFER_SIZE = 2048;

// Parses the whole of `file`, streaming it through a small buffer so that the text is never
// held whole. False for text that is not JSON, and when the parser runs out of memory. The
// parser stops at a NUL byte as at the end of the file; anything from there on (even the byte
// alone) means the file is not one JSON text.
bool parse(std::FILE* file, JsonDocument& document) {
    char buffer[READ_BUFFER_SIZE];
    FileStream stream(file, buffer, sizeof buffer);
    try {
        document.ParseStream<PARSE_FLAGS>(stream);
    } catch (...) {
        return false;
    }
    return !document.HasParseError() && stream.atEnd() && !std::ferror(file);
}

} // namespace

bool ZokConfig::LoadFromJson(const char* path) {
    FileHandle file = openForReading(path);
    if (!file) {
        std::cerr << "Error: failed to open configuration file '" << (path ? path : "") << "'\n";
        return false;
    }
    JsonDocument document;
    const bool parsed = parse(file.get(), document);
    file.reset();
    if (!parsed) {
        std::cerr << "Error: failed to parse JSON configuration from '" << path << "'\n";
        return false;
    }
    if (!document.IsObject()) {
        return false;
    }
    // Read into copies, so that a value refused halfway through, in either section, leaves the
    // whole record untouched. The "TrackerCorr" keys are read first, so a file with a refused
    // value in both sections names the one in "TrackerCorr".
    TrackerCorr::Params loaded = trackerCorr;
    TrackerDcf::Params loadedDcf = trackerDcf;
    std::string invalidKey = overlayParams(document, loaded);
    if (invalidKey.empty()) {
        invalidKey = overlayParams(document, loadedDcf);
    }
    if (!invalidKey.empty()) {
        std::cerr << "Error: invalid value for \"" << invalidKey << "\" in configuration file '"
                  << path << "'\n";
        return false;
    }
    trackerCorr = std::move(loaded);
    trackerDcf = std::move(loadedDcf);
    return true;
}

} // namespace wyr::zok
