// The sequences that UAV123's configuration cuts out of longer recordings: the annotation file
// anno/<subset>/<name>.txt boxes the frames first..last of data_seq/<subset>/<folder>/.
#include <cstring>

#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

constexpr SplitRange UAV123_SPLITS[] = {
    {"bird1_1", "bird1", 1, 253},
    {"bird1_2", "bird1", 775, 1477},
    {"bird1_3", "bird1", 1573, 2437},
    {"car1_1", "car1", 1, 751},
    {"car1_2", "car1", 751, 1627},
    {"car1_3", "car1", 1627, 2629},
    {"car6_1", "car6", 1, 487},
    {"car6_2", "car6", 487, 1807},
    {"car6_3", "car6", 1807, 2953},
    {"car6_4", "car6", 2953, 3925},
    {"car6_5", "car6", 3925, 4861},
    {"car8_1", "car8", 1, 1357},
    {"car8_2", "car8", 1357, 2575},
    {"car16_1", "car16", 1, 415},
    {"car16_2", "car16", 415, 1993},
    {"group1_1", "group1", 1, 1333},
    {"group1_2", "group1", 1333, 2515},
    {"group1_3", "group1", 2515, 3925},
    {"group1_4", "group1", 3925, 4873},
    {"group2_1", "group2", 1, 907},
    {"group2_2", "group2", 907, 1771},
    {"group2_3", "group2", 1771, 2683},
    {"group3_1", "group3", 1, 1567},
    {"group3_2", "group3", 1567, 2827},
    {"group3_3", "group3", 2827, 4369},
    {"group3_4", "group3", 4369, 5527},
    {"person2_1", "person2", 1, 1189},
    {"person2_2", "person2", 1189, 2623},
    {"person4_1", "person4", 1, 1501},
    {"person4_2", "person4", 1501, 2743},
    {"person5_1", "person5", 1, 877},
    {"person5_2", "person5", 877, 2101},
    {"person7_1", "person7", 1, 1249},
    {"person7_2", "person7", 1249, 2065},
    {"person8_1", "person8", 1, 1075},
    {"person8_2", "person8", 1075, 1525},
    {"person12_1", "person12", 1, 601},
    {"person12_2", "person12", 601, 1621},
    {"person14_1", "person14", 1, 847},
    {"person14_2", "person14", 847, 1813},
    {"person14_3", "person14", 1813, 2923},
    {"person17_1", "person17", 1, 1501},
    {"person17_2", "person17", 1501, 2347},
    {"person19_1", "person19", 1, 1243},
    {"person19_2", "person19", 1243, 2791},
    {"person19_3", "person19", 2791, 4357},
    {"truck4_1", "truck4", 1, 577},
    {"truck4_2", "truck4", 577, 1261},
    {"uav1_1", "uav1", 1, 1555},
    {"uav1_2", "uav1", 1555, 2377},
    {"uav1_3", "uav1", 2473, 3469},
};

// The same cuts in the 10 fps version, whose frame numbers are its own.
constexpr SplitRange UAV123_10FPS_SPLITS[] = {
    {"bird1_1", "bird1", 1, 85},          {"bird1_2", "bird1", 259, 493},
    {"bird1_3", "bird1", 525, 813},       {"car1_1", "car1", 1, 251},
    {"car1_2", "car1", 251, 543},         {"car1_3", "car1", 543, 877},
    {"car6_1", "car6", 1, 163},           {"car6_2", "car6", 163, 603},
    {"car6_3", "car6", 603, 985},         {"car6_4", "car6", 985, 1309},
    {"car6_5", "car6", 1309, 1621},       {"car8_1", "car8", 1, 453},
    {"car8_2", "car8", 453, 859},         {"car16_1", "car16", 1, 139},
    {"car16_2", "car16", 139, 665},       {"group1_1", "group1", 1, 445},
    {"group1_2", "group1", 445, 839},     {"group1_3", "group1", 839, 1309},
    {"group1_4", "group1", 1309, 1625},   {"group2_1", "group2", 1, 303},
    {"group2_2", "group2", 303, 591},     {"group2_3", "group2", 591, 895},
    {"group3_1", "group3", 1, 523},       {"group3_2", "group3", 523, 943},
    {"group3_3", "group3", 943, 1457},    {"group3_4", "group3", 1457, 1843},
    {"person2_1", "person2", 1, 397},     {"person2_2", "person2", 397, 875},
    {"person4_1", "person4", 1, 501},     {"person4_2", "person4", 501, 915},
    {"person5_1", "person5", 1, 293},     {"person5_2", "person5", 293, 701},
    {"person7_1", "person7", 1, 417},     {"person7_2", "person7", 417, 689},
    {"person8_1", "person8", 1, 359},     {"person8_2", "person8", 359, 509},
    {"person12_1", "person12", 1, 201},   {"person12_2", "person12", 201, 541},
    {"person14_1", "person14", 1, 283},   {"person14_2", "person14", 283, 605},
    {"person14_3", "person14", 605, 975}, {"person17_1", "person17", 1, 501},
    {"person17_2", "person17", 501, 783}, {"person19_1", "person19", 1, 415},
    {"person19_2", "person19", 415, 931}, {"person19_3", "person19", 931, 1453},
    {"truck4_1", "truck4", 1, 193},       {"truck4_2", "truck4", 193, 421},
    {"uav1_1", "uav1", 1, 519},           {"uav1_2", "uav1", 519, 793},
    {"uav1_3", "uav1", 825, 1157},
};

template <size_t N>
const SplitRange* find(const SplitRange (&table)[N], const std::string& name) {
    for (const SplitRange& r : table) {
        if (name == r.name) {
            return &r;
        }
    }
    return nullptr;
}

} // namespace

const SplitRange* findSplit(const std::string& subset, const std::string& name) {
    if (subset == "UAV123") {
        return find(UAV123_SPLITS, name);
    }
    if (subset == "UAV123_10fps") {
        return find(UAV123_10FPS_SPLITS, name);
    }
    return nullptr;
}

} // namespace wyr::zok::accuracy
