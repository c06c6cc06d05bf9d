#include "config/params_reader.hpp"

#include <algorithm>
#include <limits>

#include "config/tracker_dcf_fields.hpp"

namespace wyr::zok {

namespace {

// With IEEE 754 floats, narrowing rounds to nearest and turns a magnitude beyond the float
// range into an infinity of its sign, which is what a configured float should hold.
static_assert(std::numeric_limits<float>::is_iec559, "float must be IEEE 754 single precision");

float toFloat(double value) {
    return static_cast<float>(value);
}

// Reads the members of one JSON object into fields. Every getter is guarded by its type test:
// RapidJSON asserts on a getter of the wrong type. After the first value of the wrong type the
// reader names its key in `invalidKey` and takes nothing more, since the load is then refused.
class MemberReader {
public:
    MemberReader(const JsonValue& object, const char* prefix, std::string& invalidKey)
        : object_(object), prefix_(prefix), invalidKey_(invalidKey) {}

    void number(const char* key, double& field) {
        if (const JsonValue* value = find(key)) {
            if (value->IsNumber()) {
                field = value->GetDouble();
            } else {
                reject(key);
            }
        }
    }

    void number(const char* key, float& field) {
        if (const JsonValue* value = find(key)) {
            if (value->IsNumber()) {
                field = toFloat(value->GetDouble());
            } else {
                reject(key);
            }
        }
    }

    // Anything but the literal true is false, numbers and strings included.
    void flag(const char* key, bool& field) {
        if (const JsonValue* value = find(key)) {
            field = value->IsTrue();
        }
    }

    // An unsigned 32-bit integer, whatever the width of the field.
    void count(const char* key, size_t& field) {
        if (const JsonValue* value = find(key)) {
            if (value->IsUint()) {
                field = value->GetUint();
            } else {
                reject(key);
            }
        }
    }

    void integer(const char* key, int& field) {
        if (const JsonValue* value = find(key)) {
            if (value->IsInt()) {
                field = value->GetInt();
            } else {
                reject(key);
            }
        }
    }

    // One of the engines' names; any other string or type is refused.
    void engine(const char* key, TrackerCorr::Engine& field) {
        if (const JsonValue* value = find(key)) {
            if (value->IsString() &&
                std::string(value->GetString(), value->GetStringLength()) == "opencv") {
                field = TrackerCorr::Engine::OPENCV;
            } else if (value->IsString() &&
                       std::string(value->GetString(), value->GetStringLength()) == "fft") {
                field = TrackerCorr::Engine::FFT;
            } else if (value->IsString() &&
                       std::string(value->GetString(), value->GetStringLength()) == "auto") {
                field = TrackerCorr::Engine::AUTO;
            } else {
                reject(key);
            }
        }
    }

    // Appends to the list rather than replacing it, so that several files can add factors.
    void appendNumbers(const char* key, std::vector<float>& list) {
        const JsonValue* value = find(key);
        if (value == nullptr) {
            return;
        }
        if (!value->IsArray() || !std::all_of(value->Begin(), value->End(),
                                              [](const JsonValue& v) { return v.IsNumber(); })) {
            reject(key);
            return;
        }
        if (value->Empty()) {
            return;
        }
        list.reserve(list.size() + value->Size());
        for (const JsonValue& element : value->GetArray()) {
            list.push_back(toFloat(element.GetDouble()));
        }
    }

    // The member `key` when it is an object; null when it is absent or of another type.
    const JsonValue* object(const char* key) {
        const JsonValue* value = find(key);
        if (value != nullptr && !value->IsObject()) {
            reject(key);
            return nullptr;
        }
        return value;
    }

private:
    // FindMember answers the first of several members of the same name, so the first
    // occurrence of a repeated key counts and the later ones are never looked at.
    const JsonValue* find(const char* key) const {
        if (!invalidKey_.empty()) {
            return nullptr;
        }
        const auto member = object_.FindMember(key);
        return member == object_.MemberEnd() ? nullptr : &member->value;
    }

    void reject(const char* key) { invalidKey_ = std::string(prefix_) + key; }

    const JsonValue& object_;
    const char* prefix_;
    std::string& invalidKey_;
};

} // namespace

std::string overlayParams(const JsonValue& root, TrackerCorr::Params& params) {
    std::string invalidKey;
    const JsonValue* trackerCorr = MemberReader(root, "", invalidKey).object("TrackerCorr");
    if (trackerCorr == nullptr) {
        return invalidKey;
    }
    MemberReader reader(*trackerCorr, "", invalidKey);
    reader.number("searchRadiusFactor", params.searchRadiusFactor);
    reader.number("threshold", params.threshold);
    reader.appendNumbers("altSearchRadiiFactors", params.altSearchRadiiFactors);
    reader.flag("cloneImage", params.cloneImage);
    reader.count("depth", params.depth);
    reader.integer("zoomFactor", params.zoomFactor);
    reader.flag("mode1D", params.mode1D);
    if (const JsonValue* filter = reader.object("VarianceFilter")) {
        MemberReader filterReader(*filter, "VarianceFilter/", invalidKey);
        filterReader.number("threshold", params.varianceFilter.threshold);
        filterReader.integer("kSize", params.varianceFilter.kSize);
        filterReader.flag("greyscale", params.varianceFilter.greyscale);
    }
    reader.number("sigmaExp", params.sigmaExp);
    reader.engine("engine", params.engine);
    reader.flag("zeroMean", params.zeroMean);
    reader.number("updateThreshold", params.updateThreshold);
    reader.number("redetectThreshold", params.redetectThreshold);
    return invalidKey;
}

std::string overlayParams(const JsonValue& root, TrackerDcf::Params& params) {
    std::string invalidKey;
    const JsonValue* trackerDcf = MemberReader(root, "", invalidKey).object("TrackerDcf");
    if (trackerDcf != nullptr) {
        visitDcfFields(params, MemberReader(*trackerDcf, "", invalidKey));
    }
    return invalidKey;
}

} // namespace wyr::zok
