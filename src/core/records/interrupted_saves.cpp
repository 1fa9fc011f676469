#include "core/records/interrupted_saves.h"

#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/records_transfer.h"

#include "core/app/app_paths.h"
#include "core/app/durable_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

constexpr int kNameAttempts = 1000;

// Keeps `bytes` under `name` in `folder` (name.1, name.2, ... when taken).
bool keepInRecovery(const QString& folder, const QString& name, const QByteArray& bytes,
                    QString& kept, QString& error)
{
    if (!AppPaths::MakePrivateFolder(folder)) {
        error = "cannot create " + folder;
        return false;
    }
    for (int n = 0; n < kNameAttempts; ++n) {
        kept = folder + '/' + (n == 0 ? name : QString("%1.%2").arg(name).arg(n));
        switch (DurableFile::CreateNew(kept, bytes, &error)) {
        case DurableFile::Created::Yes:
            return true;
        case DurableFile::Created::NameTaken:
            continue;
        case DurableFile::Created::Failed:
            return false;
        }
    }
    error = "no free name for " + name + " in " + folder;
    return false;
}

bool appendLog(const QString& line, QString& error)
{
    QFile log(AppPaths::RecoveryFolder() + "/recovery.log");
    if (!log.open(QIODevice::Append | QIODevice::Text) ||
        log.write((QDateTime::currentDateTime().toString(Qt::ISODate) + ' ' + line + '\n')
                      .toUtf8()) < 0 ||
        !log.flush() || ::fsync(log.handle()) != 0) {
        error = "cannot write " + log.fileName() + ": " + log.errorString();
        return false;
    }
    return true;
}

class Settler {
public:
    Settler(InterruptedSaves& report, QString& error) : m_report(report), m_error(error) {}

    // Test files without rows, through the case store (a folder or the server's table).
    bool orphans(Database& db, const QStringList& keys)
    {
        for (const QString& key : keys) {
            const int id = key.section('/', 0, 0).toInt();
            const QString name = key.section('/', 1);
            QByteArray bytes;
            QString kept;
            if (!db.Files().Read(id, name, bytes) ||
                !keepInRecovery(AppPaths::RecoveryFolder() + '/' + QString::number(id), name,
                                bytes, kept, m_error))
                return fail("cannot recover " + key);
            if (!db.Files().Remove(id, name))
                return fail("cannot remove " + key + ": " + db.Files().LastError());
            if (!noted(key, kept, "a test file without its row, from a session never stored"))
                return false;
        }
        return true;
    }

    // Hidden files of writes that were killed before they took their name.
    bool temporaries(const QString& folder, const QString& recoveryFolder)
    {
        for (const QString& name : DurableFile::AbandonedTemporaries(folder)) {
            const QString path = folder + '/' + name;
            QFile file(path);
            QString kept;
            if (!file.open(QIODevice::ReadOnly))
                return fail("cannot read " + path + ": " + file.errorString());
            const QByteArray bytes = file.readAll();
            file.close();
            if (!keepInRecovery(recoveryFolder, name.mid(1), bytes, kept, m_error))
                return fail("cannot recover " + path);
            if (!QFile::remove(path))
                return fail("cannot remove " + path);
            if (!noted(path, kept, "an unfinished write"))
                return false;
        }
        return true;
    }

private:
    bool noted(const QString& what, const QString& where, const QString& why)
    {
        m_report.recovered << what + " -> " + where;
        return appendLog(QString("moved %1 to %2: %3").arg(what, where, why), m_error);
    }

    bool fail(const QString& text)
    {
        m_error = m_error.isEmpty() ? text : text + ": " + m_error;
        return false;
    }

    InterruptedSaves& m_report;
    QString& m_error;
};

} // namespace

bool SettleInterruptedSaves(Database& db, InterruptedSaves& report, QString& error)
{
    report = InterruptedSaves();
    error.clear();
    if (!db.BeginTransaction()) {
        error = db.LastError();
        return false;
    }
    CaseCheckReport check;
    if (!CheckCaseData(db, check)) {
        error = db.LastError();
        db.Rollback();
        return false;
    }
    report.rowsWithoutFiles = check.missing;
    Settler settler(report, error);
    bool settled = settler.orphans(db, check.orphans) &&
                   settler.temporaries(AppPaths::ProgramFolder(), AppPaths::RecoveryFolder());
    const QStringList cases =
        QDir(AppPaths::CaseRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (int i = 0; settled && i < cases.size(); ++i)
        settled = settler.temporaries(AppPaths::CaseRoot() + '/' + cases[i],
                                      AppPaths::RecoveryFolder() + '/' + cases[i]);
    // A server's removed CaseData rows go with the commit; their bytes are already kept.
    if (!db.Commit()) {
        error = db.LastError();
        db.Rollback();
        return false;
    }
    return settled;
}
