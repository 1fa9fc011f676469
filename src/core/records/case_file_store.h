#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The bytes of each patient's test and diagnosis files, named as in the case
// folder ("<n>.dt", "<YYYY-MM-DD>.dia"). On a single workstation they are the
// files under Case/<ID>/; on a shared server they are rows of the database,
// written in the transaction of their CaseInfo row. Every reader and writer of
// those files goes through this interface.
class CaseFileStore {
public:
    virtual ~CaseFileStore() = default;

    // True when the bytes live in the database (a file path then means nothing).
    virtual bool InDatabase() const = 0;

    // The stored bytes of `name`; false when there are none or they cannot be read.
    virtual bool Read(int id, const QString& name, QByteArray& bytes) = 0;
    virtual bool Exists(int id, const QString& name) = 0;
    // Stores bytes under a name that must not exist yet: false, with Taken() true,
    // when another writer got there first.
    virtual bool Create(int id, const QString& name, const QByteArray& bytes) = 0;
    // Stores or replaces the bytes of `name`; all of them or nothing. They count
    // as written at `written` (a copy keeps its original's time), or now.
    virtual bool Write(int id, const QString& name, const QByteArray& bytes,
                       const QDateTime& written = QDateTime()) = 0;
    // When `name` was last written; invalid when it is not stored.
    virtual QDateTime Written(int id, const QString& name) = 0;
    // Removes `name`; true when it is gone afterwards (also when it never was).
    virtual bool Remove(int id, const QString& name) = 0;
    // The names stored for the patient, in no particular order.
    virtual QStringList Names(int id) = 0;
    // Removes everything stored for the patient.
    virtual bool RemoveCase(int id) = 0;
    // The patients that have anything stored, in no particular order.
    virtual QList<int> CaseIds() = 0;

    // Whether the last Create failed because the name was taken.
    bool Taken() const { return m_taken; }
    QString LastError() const { return m_lastError; }

protected:
    bool m_taken = false;
    QString m_lastError;
};

// A file name the store accepts: "<digits>.dt" or "<digits>-<digits>-<digits>.dia",
// never a path.
bool IsCaseFileName(const QString& name);
