#include "builtin_strings.h"

#include <unordered_map>

namespace {

const std::unordered_map<int, const char*>& table()
{
    static const std::unordered_map<int, const char*> strings = {
        {132, "OK"},
        {133, "Cancel"},
        {139, "Error"},
        {141, "Prompt"},
        {1193, "TAV Spirometer"},
    };
    return strings;
}

} // namespace

QString BuiltinString(int id)
{
    const auto& strings = table();
    const auto it = strings.find(id);
    return it == strings.end() ? QString() : QString::fromUtf8(it->second);
}
