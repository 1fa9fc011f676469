#include "core/records/patient_list.h"

#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_record.h"

#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <limits>

namespace {

const char* const kColumns = "SELECT ID, ptID, FirstName, Gender, Birthdate, Height, Weight, "
                             "Nation FROM UserInfo";

QString withoutColon(QString text)
{
    text = text.trimmed();
    if (text.endsWith(':') || text.endsWith(QChar(0xFF1A)))
        text.chop(1);
    return text;
}

// "%", "_" and the escape character itself match only themselves.
QString likePattern(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == '%' || c == '_' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return '%' + escaped + '%';
}

} // namespace

QStringList PatientListHeaders()
{
    QStringList headers{QString()};
    for (int id : {104, 105, 106, 107, 108, 109, 110})
        headers << withoutColon(GetLangText("CASE", id));
    return headers;
}

PatientListQuery::PatientListQuery(Database& db, const QDate& today) : m_db(db), m_today(today)
{
    ReloadGroupNames();
}

void PatientListQuery::ReloadGroupNames()
{
    m_groups.clear();
    for (const NationGroup& group : LoadNationGroups(m_db))
        m_groups.emplace_back(group.ID, group.Name);
}

void PatientListQuery::SetFilter(const QString& text) { m_filter = text.trimmed(); }

void PatientListQuery::SetOrder(PatientListColumn column, bool descending)
{
    m_column = column;
    m_descending = descending;
}

QString PatientListQuery::filterCondition() const
{
    if (m_filter.isEmpty())
        return QString();
    // SQLite's LIKE ignores the case of Latin letters; a server's needs ILIKE for the same.
    const QString like = m_db.IsServer() ? "ILIKE" : "LIKE";
    return QString("(ptID %1 ? ESCAPE '\\' OR FirstName %1 ? ESCAPE '\\')").arg(like);
}

QString PatientListQuery::whereClause() const
{
    return m_filter.isEmpty() ? QString() : " WHERE " + filterCondition();
}

QVariantList PatientListQuery::whereValues() const
{
    if (m_filter.isEmpty())
        return {};
    const QString pattern = likePattern(m_filter);
    return {pattern, pattern};
}

QString PatientListQuery::orderKey() const
{
    switch (m_column) {
    case PatientListColumn::Key:
        return "ID";
    case PatientListColumn::Number:
        return "ptID";
    case PatientListColumn::Name:
        return "FirstName";
    case PatientListColumn::Gender:
        return "Gender";
    case PatientListColumn::Age:
        return "Birthdate"; // the later the birth date, the younger the patient
    case PatientListColumn::Height:
        return "Height";
    case PatientListColumn::Weight:
        return "Weight";
    case PatientListColumn::Nation: {
        // The shown group names decide the order; a group that has gone shows no name and
        // comes first. The ranks are small integers of our own, written into the statement.
        std::vector<std::pair<int, QString>> byName = m_groups;
        std::stable_sort(byName.begin(), byName.end(), [](const auto& a, const auto& b) {
            return QString::compare(a.second, b.second, Qt::CaseInsensitive) < 0;
        });
        QString key = "CASE Nation";
        for (std::size_t rank = 0; rank < byName.size(); ++rank)
            key += QString(" WHEN %1 THEN %2").arg(byName[rank].first).arg(rank + 1);
        return key + " ELSE 0 END";
    }
    }
    return "ID";
}

QString PatientListQuery::orderClause() const
{
    // Age runs against the birth date: ascending age is descending birth date. Equal values
    // follow their keys in the direction the user chose.
    const QString keyDirection = keyDescending() ? " DESC" : " ASC";
    const QString idDirection = m_descending ? " DESC" : " ASC";
    if (m_column == PatientListColumn::Key)
        return " ORDER BY ID" + idDirection;
    return " ORDER BY " + orderKey() + keyDirection + ", ID" + idDirection;
}

bool PatientListQuery::keyDescending() const
{
    return m_descending != (m_column == PatientListColumn::Age);
}

std::vector<PatientListRow> PatientListQuery::read(const QString& sql, const QVariantList& values)
{
    std::vector<PatientListRow> rows;
    if (!m_db.IsOpen())
        return rows;
    QSqlQuery query(m_db.Connection());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return rows;
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return rows;
    while (query.next()) {
        PatientListRow row;
        row.ID = query.value(0).toInt();
        row.PatientNumber = query.value(1).toString();
        row.Name = query.value(2).toString().left(PatientRecord::kNameLength);
        row.Gender = query.value(3).toInt();
        const int birthYear = query.value(4).toString().left(4).toInt();
        row.Age = birthYear > 0 ? std::max(0, m_today.year() - birthYear) : 0;
        row.Height = query.value(5).toInt();
        row.Weight = query.value(6).toInt();
        row.Nation = query.value(7).toInt();
        for (const auto& [id, name] : m_groups)
            if (id == row.Nation)
                row.NationName = name;
        rows.push_back(std::move(row));
    }
    return rows;
}

int PatientListQuery::Count()
{
    if (!m_db.IsOpen())
        return 0;
    QSqlQuery query(m_db.Connection());
    query.prepare("SELECT COUNT(*) FROM UserInfo" + whereClause());
    for (const QVariant& value : whereValues())
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toInt();
}

std::vector<PatientListRow> PatientListQuery::Rows(int first, int count)
{
    if (first < 0 || count <= 0)
        return {};
    QVariantList values = whereValues();
    values << count << first;
    return read(kColumns + whereClause() + orderClause() + " LIMIT ? OFFSET ?", values);
}

std::vector<PatientListRow> PatientListQuery::FirstRows(int count, int& total)
{
    std::vector<PatientListRow> rows = Rows(0, count);
    total = int(rows.size()) < count ? int(rows.size()) : Count();
    return rows;
}

std::optional<PatientListRow> PatientListQuery::Row(int id)
{
    const std::vector<PatientListRow> rows = read(QString(kColumns) + " WHERE ID = ?", {id});
    if (rows.empty())
        return std::nullopt;
    return rows.front();
}

int PatientListQuery::PositionOf(int id)
{
    if (id <= 0 || !m_db.IsOpen())
        return -1;
    // The rows ahead of the patient are counted through the sort index: those with a
    // smaller key, and those with the same key and a smaller ID (larger for descending).
    const QString key = orderKey();
    QSqlQuery own(m_db.Connection());
    own.prepare("SELECT " + key + " FROM UserInfo WHERE ID = ?" +
                (m_filter.isEmpty() ? QString() : " AND " + filterCondition()));
    own.addBindValue(id);
    for (const QVariant& value : whereValues())
        own.addBindValue(value);
    if (!own.exec() || !own.next())
        return -1; // no such patient, or the filter hides it
    const QVariant keyValue = own.value(0);
    if (keyValue.isNull())
        return positionByWalking(id);

    const QString keyBefore = keyDescending() ? ">" : "<";
    const QString idBefore = m_descending ? ">" : "<";
    QString sql = "SELECT COUNT(*) FROM UserInfo" + whereClause();
    sql += m_filter.isEmpty() ? " WHERE " : " AND ";
    QVariantList values = whereValues();
    if (m_column == PatientListColumn::Key) {
        sql += "ID " + idBefore + " ?";
        values << id;
    } else {
        sql += QString("(%1 %2 ? OR (%1 = ? AND ID %3 ?))").arg(key, keyBefore, idBefore);
        values << keyValue << keyValue << id;
    }
    QSqlQuery count(m_db.Connection());
    count.prepare(sql);
    for (const QVariant& value : values)
        count.addBindValue(value);
    if (!count.exec() || !count.next())
        return positionByWalking(id);
    const int position = count.value(0).toInt();
    // Keys the comparison cannot order (empty values, mixed types in an old table) would
    // misplace the patient; the row found there must be the patient's own.
    const std::vector<PatientListRow> there = Rows(position, 1);
    if (there.size() == 1 && there.front().ID == id)
        return position;
    return positionByWalking(id);
}

int PatientListQuery::positionByWalking(int id)
{
    QSqlQuery query(m_db.Connection());
    query.setForwardOnly(true);
    query.prepare("SELECT ID FROM UserInfo" + whereClause() + orderClause());
    for (const QVariant& value : whereValues())
        query.addBindValue(value);
    if (!query.exec())
        return -1;
    for (int position = 0; query.next(); ++position)
        if (query.value(0).toInt() == id)
            return position;
    return -1;
}

std::vector<PatientListRow> LoadPatientList(Database& db, const QDate& today)
{
    PatientListQuery query(db, today);
    return query.Rows(0, std::numeric_limits<int>::max());
}
