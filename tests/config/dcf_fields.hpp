#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "config/tracker_dcf_fields.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok::testing {

// Every field of the record by name, as a double, in the header's order: what two records are
// compared by, so that a difference is shown with its field's name.
using DcfFieldValues = std::vector<std::pair<std::string, double>>;

inline DcfFieldValues dcfFieldValues(const TrackerDcf::Params& params) {
    struct Collector {
        DcfFieldValues values;
        void number(const char* name, const float& field) { values.emplace_back(name, field); }
        void number(const char* name, const double& field) { values.emplace_back(name, field); }
        void flag(const char* name, const bool& field) { values.emplace_back(name, field); }
        void integer(const char* name, const int& field) { values.emplace_back(name, field); }
        void count(const char* name, const size_t& field) {
            values.emplace_back(name, double(field));
        }
    } collector;
    visitDcfFields(params, collector);
    return collector.values;
}

// A record in which every field differs from its default and from every other field, so that
// a load that resets a field, or writes one field's value into another, is caught.
inline TrackerDcf::Params distinctDcfParams() {
    struct Changer {
        int index = 0;
        void number(const char*, float& field) { field += 0.125f * float(++index); }
        void number(const char*, double& field) { field += 0.125 * ++index; }
        void flag(const char*, bool& field) {
            ++index;
            field = !field;
        }
        void integer(const char*, int& field) { field += 100 * ++index; }
        void count(const char*, size_t& field) { field += size_t(100 * ++index); }
    };
    TrackerDcf::Params params;
    visitDcfFields(params, Changer());
    return params;
}

// A file whose "TrackerDcf" object holds `members`.
inline std::string trackerDcfFile(const std::string& members) {
    return "{\"TrackerDcf\":{" + members + "}}";
}

} // namespace wyr::zok::testing
