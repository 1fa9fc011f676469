#include "core/records/table_case_store.h"

#include "core/records/database.h"

#include <QSqlError>
#include <QSqlQuery>

bool TableCaseStore::Read(int id, const QString& name, QByteArray& bytes)
{
    QSqlQuery query(m_db.Connection());
    query.prepare("SELECT Bytes FROM CaseData WHERE ID = ? AND Name = ?");
    query.addBindValue(id);
    query.addBindValue(name);
    if (!query.exec() || !query.next()) {
        m_lastError = query.lastError().isValid() ? query.lastError().text()
                                                  : name + " is not stored.";
        return false;
    }
    bytes = query.value(0).toByteArray();
    return true;
}

bool TableCaseStore::Exists(int id, const QString& name)
{
    QSqlQuery query(m_db.Connection());
    query.prepare("SELECT 1 FROM CaseData WHERE ID = ? AND Name = ?");
    query.addBindValue(id);
    query.addBindValue(name);
    return query.exec() && query.next();
}

bool TableCaseStore::Create(int id, const QString& name, const QByteArray& bytes)
{
    m_taken = false;
    if (id < 1 || !IsCaseFileName(name)) {
        m_lastError = "Not a case file name: " + name;
        return false;
    }
    if (!m_db.Execute("INSERT INTO CaseData (ID, Name, Bytes, Written) VALUES (?, ?, ?, ?)",
                      {id, name, bytes,
                       QDateTime::currentDateTime().toUTC().toString(Qt::ISODateWithMs)})) {
        m_taken = m_db.LastErrorWasConflict();
        m_lastError = m_db.LastError();
        return false;
    }
    return true;
}

bool TableCaseStore::Write(int id, const QString& name, const QByteArray& bytes,
                           const QDateTime& written)
{
    if (id < 1 || !IsCaseFileName(name)) {
        m_lastError = "Not a case file name: " + name;
        return false;
    }
    const QDateTime when = written.isValid() ? written : QDateTime::currentDateTime();
    if (!m_db.Execute("INSERT INTO CaseData (ID, Name, Bytes, Written) VALUES (?, ?, ?, ?) "
                      "ON CONFLICT (ID, Name) DO UPDATE SET Bytes = excluded.Bytes, "
                      "Written = excluded.Written",
                      {id, name, bytes, when.toUTC().toString(Qt::ISODateWithMs)})) {
        m_lastError = m_db.LastError();
        return false;
    }
    return true;
}

QDateTime TableCaseStore::Written(int id, const QString& name)
{
    QSqlQuery query(m_db.Connection());
    query.prepare("SELECT Written FROM CaseData WHERE ID = ? AND Name = ?");
    query.addBindValue(id);
    query.addBindValue(name);
    if (!query.exec() || !query.next())
        return QDateTime();
    return QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs).toLocalTime();
}

bool TableCaseStore::Remove(int id, const QString& name)
{
    if (!m_db.Execute("DELETE FROM CaseData WHERE ID = ? AND Name = ?", {id, name})) {
        m_lastError = m_db.LastError();
        return false;
    }
    return true;
}

QStringList TableCaseStore::Names(int id)
{
    QStringList names;
    QSqlQuery query(m_db.Connection());
    query.prepare("SELECT Name FROM CaseData WHERE ID = ?");
    query.addBindValue(id);
    if (query.exec()) {
        while (query.next())
            names << query.value(0).toString();
    }
    return names;
}

bool TableCaseStore::RemoveCase(int id)
{
    if (!m_db.Execute("DELETE FROM CaseData WHERE ID = ?", {id})) {
        m_lastError = m_db.LastError();
        return false;
    }
    return true;
}

QList<int> TableCaseStore::CaseIds()
{
    QList<int> ids;
    QSqlQuery query(m_db.Connection());
    if (query.exec("SELECT DISTINCT ID FROM CaseData")) {
        while (query.next())
            ids << query.value(0).toInt();
    }
    return ids;
}
