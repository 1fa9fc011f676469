#include "core/measure/maneuver_fields.h"

#include <cstring>

namespace {
constexpr std::array<ManeuverField, 38> kFields = {{
    {"IC", false},      {"ERV", false},      {"EVC", false},       {"IVC", false},
    {"TV", false},      {"MV", false},       {"RR", false},        {"tI", false},
    {"tE", false},      {"TV/tI", false},    {"ttot", false},      {"tI/ttot", false},
    {"IRV", false},     {"VC", false},       {"FEV1", false},      {"PEF", false},
    {"FEV1/VC", false}, {"FEF25", false},    {"FEF75", false},     {"FEF2575", false},
    {"FEF50", false},   {"FEV6", false},     {"FEV1/FEV6", false}, {"FEV3", false},
    {"FIVC", false},    {"FIV1", false},     {"PIF", false},       {"FIV1/FIVC", false},
    {"FVC", false},     {"FEV1/FVC", false}, {"FEV3/FVC", false},  {"ELA", true},
    {"FET", false},     {"EVOL", true},      {"MVV", false},       {"ExpCount", true},
    {"Duration", true}, {"InspCount", true},
}};
} // namespace

const std::array<ManeuverField, 38>& ManeuverFields() {
    return kFields;
}

double ManeuverFieldValue(const ManeuverResult& record, int index) {
    if (index < 0 || index >= int(kFields.size()))
        return 0;
    // Word 35 (offset 140) is the unused one: the named fields after it sit one word further.
    const int word = index < 35 ? index : index + 1;
    const char* p = reinterpret_cast<const char*>(&record) + 4 * word;
    if (kFields[index].isInteger) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    float v;
    std::memcpy(&v, p, 4);
    return v;
}
