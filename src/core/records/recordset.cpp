#include "core/records/recordset.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>

#include <cmath>
#include <limits>

namespace {

// "yyyy-MM-dd HH:mm:ss" of a stored date or date-time text. Date and time are parsed
// apart: a local QDateTime would consult the time-zone files for every value.
QString dateTimeText(const QString& text)
{
    const QString datePart = text.section(' ', 0, 0);
    const QString timePart = text.section(' ', 1, 1, QString::SectionSkipEmpty);
    QDate date = QDate::fromString(datePart, "yyyy-MM-dd");
    if (!date.isValid())
        date = QDate::fromString(datePart, "yyyy-M-d");
    QTime time = timePart.isEmpty() ? QTime(0, 0) : QTime::fromString(timePart, "HH:mm:ss");
    if (!time.isValid())
        time = QTime::fromString(timePart, "H:m:s");
    if (!date.isValid() || !time.isValid())
        return text;
    return date.toString("yyyy-MM-dd") + ' ' + time.toString("HH:mm:ss");
}

} // namespace

Recordset::Recordset(Database& db) : m_db(db) {}

Recordset::~Recordset() { Close(); }

bool Recordset::Open(const QString& sql, const QVariantList& values)
{
    Close();
    if (!m_db.IsOpen())
        return false;
    m_query = std::make_unique<QSqlQuery>(m_db.Connection());
    m_query->setForwardOnly(false);
    if (!m_db.Run(*m_query, sql, values)) {
        m_query.reset();
        return false;
    }
    m_open = true;
    // The column names once per query: QSqlQuery::record() copies every value of the row.
    m_columns = m_query->record();
    if (m_query->isSelect())
        m_query->first();
    return true;
}

void Recordset::Close()
{
    m_query.reset();
    m_columns.clear();
    m_open = false;
}

int Recordset::GetRecordCount()
{
    if (!m_open || !m_query->isSelect())
        return 0;
    // SQLite cannot tell the count: walk to the end and come back.
    const int position = m_query->at();
    if (!m_query->last())
        return 0;
    const int count = m_query->at() + 1;
    if (position >= 0)
        m_query->seek(position);
    else if (position == QSql::BeforeFirstRow)
        m_query->first();
    else
        m_query->next(); // past the end again
    return count;
}

bool Recordset::MoveFirst() { return m_open && m_query->first(); }
bool Recordset::MoveNext() { return m_open && m_query->next(); }
bool Recordset::MoveLast() { return m_open && m_query->last(); }
bool Recordset::IsEOF() const { return !m_open || !m_query->isValid(); }

bool Recordset::currentValue(const QString& name, QVariant& value)
{
    if (!m_open || !m_query->isValid())
        return false;
    const int index = m_columns.indexOf(name);
    if (index < 0)
        return false;
    value = m_query->value(index);
    return true;
}

bool Recordset::GetFieldValue(const QString& name, int& value)
{
    QVariant v;
    bool ok = currentValue(name, v) && !v.isNull();
    if (ok) {
        // Through a double: a stored 1e10 or infinity fails instead of wrapping round.
        const double number =
            v.typeId() == QMetaType::Double ? v.toDouble() : double(v.toLongLong(&ok));
        ok = ok && std::isfinite(number) && number >= double(std::numeric_limits<int>::min()) &&
             number <= double(std::numeric_limits<int>::max());
        if (ok)
            value = static_cast<int>(std::lround(number));
    }
    if (!ok)
        value = 0;
    return ok;
}

bool Recordset::GetFieldValue(const QString& name, double& value)
{
    QVariant v;
    bool ok = currentValue(name, v) && !v.isNull();
    if (ok)
        value = v.toDouble(&ok);
    // Infinity and NaN are no stored measurement.
    if (!ok || !std::isfinite(value)) {
        value = 0;
        ok = false;
    }
    return ok;
}

bool Recordset::GetFieldValue(const QString& name, float& value)
{
    double number = 0;
    bool ok = GetFieldValue(name, number);
    if (ok && std::fabs(number) > double(std::numeric_limits<float>::max())) {
        number = 0;
        ok = false;
    }
    value = static_cast<float>(number);
    return ok;
}

bool Recordset::GetFieldValue(const QString& name, QString& value)
{
    if (!m_open) {
        Database::Notify(QString::fromUtf8("数据库可能已经断开,\r\n请重新连接、然后重试."),
                         QString::fromUtf8("提示"));
        return false;
    }
    QVariant v;
    if (!currentValue(name, v))
        return false;
    if (v.isNull()) {
        value.clear();
        return true;
    }
    const QString declared = m_db.DeclaredType(name);
    switch (v.typeId()) {
    case QMetaType::Double:
        value = declared == "FLOAT" ? QString::asprintf("%.4f", static_cast<float>(v.toDouble()))
                                    : QString::asprintf("%.8f", v.toDouble());
        return true;
    case QMetaType::QByteArray:
        value = "[BLOB]";
        return true;
    case QMetaType::Bool:
        value = v.toBool() ? "TRUE" : "FALSE";
        return true;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (declared == "BOOLEAN" || declared == "BOOL")
            value = v.toLongLong() != 0 ? "TRUE" : "FALSE";
        else
            value = QString::number(v.toLongLong());
        return true;
    case QMetaType::QString:
        if (declared == "DATE" || declared == "DATETIME") {
            value = dateTimeText(v.toString().trimmed());
        } else {
            value = v.toString();
        }
        return true;
    default:
        value = "UN_KNOW";
        return true;
    }
}
