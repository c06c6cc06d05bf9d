#include "zok/zok_config.hpp"

#include <iostream>
#include <string>
#include <utility>

#include "config/depth_limit.hpp"
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

enum class Parse { OK, NOT_JSON, TOO_LARGE, TOO_DEEP };

// Parses the whole of `file`, streaming it through a small buffer so that the text is never
// held whole. NOT_JSON for text that is not JSON, and when the parser runs out of memory. The
// parser stops at a NUL byte as at the end of the file; anything from there on (even the byte
// alone) means the file is not one JSON text. It stops too at the first byte beyond
// CONFIG_FILE_MAX_BYTES and at the first array or object deeper than CONFIG_MAX_NESTING, so
// that it never holds more than a file within both bounds makes it hold.
Parse parse(std::FILE* file, JsonDocument& document) {
    char buffer[READ_BUFFER_SIZE];
    FileStream stream(file, buffer, sizeof buffer, CONFIG_FILE_MAX_BYTES);
    bool tooDeep = false;
    bool parsed = false;
    // Populate() hands the document's own handler over and takes the root value from it when
    // the parse succeeds; on every way out it frees what the parse left on its stack.
    auto generator = [&](JsonDocument& handler) {
        DepthLimit<JsonDocument> limited(handler, CONFIG_MAX_NESTING);
        rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ThrowingAllocator> reader;
        parsed = !reader.Parse<PARSE_FLAGS>(stream, limited).IsError();
        tooDeep = limited.exceeded();
        return parsed;
    };
    try {
        document.Populate(generator);
    } catch (...) {
        return Parse::NOT_JSON;
    }
    if (stream.tooLarge()) {
        return Parse::TOO_LARGE;
    }
    if (tooDeep) {
        return Parse::TOO_DEEP;
    }
    return parsed && stream.atEnd() && !std::ferror(file) ? Parse::OK : Parse::NOT_JSON;
}

} // namespace

bool ZokConfig::LoadFromJson(const char* path) {
    FileHandle file = openForReading(path);
    if (!file) {
        std::cerr << "Error: failed to open configuration file '" << (path ? path : "") << "'\n";
        return false;
    }
    JsonDocument document;
    const Parse parsed = parse(file.get(), document);
    file.reset();
    switch (parsed) {
    case Parse::OK:
        break;
    case Parse::NOT_JSON:
        std::cerr << "Error: failed to parse JSON configuration from '" << path << "'\n";
        return false;
    case Parse::TOO_LARGE:
        std::cerr << "Error: configuration file '" << path << "' is larger than "
                  << CONFIG_FILE_MAX_BYTES << " bytes\n";
        return false;
    case Parse::TOO_DEEP:
        std::cerr << "Error: configuration file '" << path
                  << "' nests arrays and objects deeper than " << CONFIG_MAX_NESTING << " levels\n";
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
