#pragma once
#include "core/records/database.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>

#include <memory>

// A cursor over the result of one SELECT, positioned on the first row after Open.
// Callers take the row count first and loop that many times.
class Recordset {
public:
    explicit Recordset(Database& db);
    ~Recordset();

    // Runs `sql` with `values` bound; false on any error (the recordset then has no rows).
    bool Open(const QString& sql, const QVariantList& values = {});
    bool IsOpen() const { return m_open; }
    void Close();

    int GetRecordCount();
    bool MoveFirst();
    bool MoveNext();
    bool MoveLast();
    bool IsEOF() const;

    // Column `name` of the current row. Numeric forms store 0 and return false on failure.
    bool GetFieldValue(const QString& name, int& value);
    bool GetFieldValue(const QString& name, float& value);
    bool GetFieldValue(const QString& name, double& value);
    // Text form: non-text columns are converted as the database layer documents;
    // the string is left unchanged when the cursor is past the last row.
    bool GetFieldValue(const QString& name, QString& value);

private:
    bool currentValue(const QString& name, QVariant& value);

    Database& m_db;
    std::unique_ptr<QSqlQuery> m_query;
    QSqlRecord m_columns; // names of the result's columns
    bool m_open = false;
};
