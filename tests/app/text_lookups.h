#pragma once
// The texts the program looks up, by section (text_lookups.csv). Shared by
// the built-in table tests and the language-file tests.
#include "support/data_table.h"

#include <deque>
#include <set>
#include <string>
#include <vector>

namespace text_lookups {

struct SectionIds {
    const char* section;
    std::vector<int> ids;
};

struct Table {
    std::deque<std::string> names; // what `section` points into
    std::vector<SectionIds> lookups;
    std::set<int> withoutDefault;
};

inline const Table& Read()
{
    static const Table table = [] {
        Table t;
        for (const DataRow& row : ReadDataTable(TEXT_LOOKUPS_FILE)) {
            t.names.push_back(row["section"].toStdString());
            std::vector<int> ids;
            for (QString id : row["ids"].split(' ', Qt::SkipEmptyParts)) {
                if (id.endsWith('*'))
                    t.withoutDefault.insert(id.chopped(1).toInt());
                ids.push_back(id.remove('*').toInt());
            }
            t.lookups.push_back({t.names.back().c_str(), ids});
        }
        return t;
    }();
    return table;
}

// Every (section, id) the dialogs, pages and reports ask for.
inline const std::vector<SectionIds>& Lookups()
{
    return Read().lookups;
}

// Ids that only the language files supply.
inline const std::set<int>& WithoutDefault()
{
    return Read().withoutDefault;
}

} // namespace text_lookups
