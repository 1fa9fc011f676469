#include "core/records/diagnosis.h"

#include "core/app/durable_file.h"
#include "core/app/lang_text.h"
#include "core/app/regular_file.h"
#include "core/app/text_limit.h"
#include "core/app/text_rule.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <climits>
#include <functional>

namespace {

// Longest UTF-8 form of `text` that fits in `limit` bytes without splitting a character.
QByteArray encodeField(const QString& text, int limit)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= limit)
        return bytes;
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end;
    return bytes.left(end);
}

QString decodeField(const QByteArray& field)
{
    const int end = field.indexOf('\0');
    return QString::fromUtf8(end < 0 ? field : field.left(end));
}

} // namespace

QString DiagnosisFile(const QString& caseFolder, const QString& day)
{
    static const QRegularExpression dayPattern("^\\d{4}-\\d{2}-\\d{2}$");
    if (!dayPattern.match(day).hasMatch())
        return QString();
    return caseFolder + '/' + day + ".dia";
}

void ParseDiagnosis(const QByteArray& bytes, DiagnosisRecord& record)
{
    record.Physician.clear();
    record.Result.clear();
    // A short file gives what it holds; missing bytes count as zeros.
    const QByteArray physician = bytes.left(kPhysicianFieldSize);
    const QByteArray result = bytes.mid(kPhysicianFieldSize, kResultFieldSize);
    record.Physician = TextLimit::Left(decodeField(physician), kPhysicianLength);
    record.Result = decodeField(result);
}

QByteArray DiagnosisBytes(const DiagnosisRecord& record)
{
    QByteArray bytes(kDiagnosisFileSize, '\0');
    const QByteArray physician = encodeField(record.Physician, kPhysicianFieldSize);
    const QByteArray result = encodeField(record.Result, kResultFieldSize);
    bytes.replace(0, physician.size(), physician);
    bytes.replace(kPhysicianFieldSize, result.size(), result);
    return bytes;
}

bool LoadDiagnosis(const QString& path, DiagnosisRecord& record, QString* error)
{
    record.Physician.clear();
    record.Result.clear();
    if (path.isEmpty())
        return true;
    QByteArray bytes;
    switch (RegularFile::Read(path, kDiagnosisFileSize, bytes, error)) {
    case RegularFile::Status::Read:
        ParseDiagnosis(bytes, record);
        return true;
    case RegularFile::Status::Missing:
    case RegularFile::Status::NotRegular:
        return true;
    case RegularFile::Status::TooLarge:
    case RegularFile::Status::Failed:
        break;
    }
    return false;
}

bool LoadDiagnosis(Database& db, int id, const QString& day, DiagnosisRecord& record,
                   QString* error)
{
    record.Physician.clear();
    record.Result.clear();
    const QString name = QFileInfo(DiagnosisFile(QString(), day)).fileName();
    if (name.isEmpty() || !db.Files().Exists(id, name))
        return true;
    QByteArray bytes;
    if (!db.Files().Read(id, name, bytes)) {
        if (error)
            *error = db.Files().LastError();
        return false;
    }
    // A server row holds whatever was stored; more than the format holds is refused too.
    if (bytes.size() > kDiagnosisFileSize) {
        if (error)
            *error = RegularFile::Describe(RegularFile::Status::TooLarge, name, kDiagnosisFileSize);
        return false;
    }
    ParseDiagnosis(bytes, record);
    return true;
}

bool SaveDiagnosis(Database& db, int id, const QString& day, const DiagnosisRecord& record,
                   QString* error)
{
    const QString name = QFileInfo(DiagnosisFile(QString(), day)).fileName();
    if (name.isEmpty()) {
        if (error)
            *error = "no diagnosis file";
        return false;
    }
    CaseFileStore& files = db.Files();
    const bool ok = record.Physician.isEmpty() && record.Result.isEmpty()
                        ? files.Remove(id, name)
                        : files.Write(id, name, DiagnosisBytes(record));
    if (!ok && error)
        *error = files.LastError();
    return ok;
}

bool PhysicianFits(const QString& physician)
{
    return TextLimit::Length(physician) <= kPhysicianLength &&
           physician.toUtf8().size() <= kPhysicianFieldSize;
}

bool ResultFits(const QString& result)
{
    return TextLimit::Length(result) <= kResultLength &&
           result.toUtf8().size() <= kResultFieldSize;
}

bool SaveDiagnosis(const QString& path, const DiagnosisRecord& record, QString* error)
{
    if (path.isEmpty()) {
        if (error)
            *error = "no diagnosis file";
        return false;
    }
    if (record.Physician.isEmpty() && record.Result.isEmpty()) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        if (error)
            *error = QString("cannot remove %1: %2").arg(path, file.errorString());
        return false;
    }
    return DurableFile::Write(path, DiagnosisBytes(record), error);
}

namespace {

// The dialog's rules, whatever keeps the file: `save` gets the record as read
// and the one to store.
DiagnosisSave confirm(const QString& physician, const QString& result, const QDateTime& now,
                      DiagnosisRecord& record, QString* saveError,
                      const std::function<DiagnosisSave(const DiagnosisRecord&, QString*)>& save)
{
    // The rule of every name and free text; the result may span lines.
    const QString refused = TextRule::Refusal(physician, GetLangText("REPORT", 186), INT_MAX);
    const QString resultRefused =
        TextRule::Refusal(result, GetLangText("REPORT", 184), INT_MAX, true);
    if (!refused.isEmpty() || !resultRefused.isEmpty()) {
        if (saveError)
            *saveError = refused.isEmpty() ? resultRefused : refused;
        return DiagnosisSave::TextRefused;
    }
    if (!PhysicianFits(physician))
        return DiagnosisSave::PhysicianTooLong;
    if (!ResultFits(result))
        return DiagnosisSave::ResultTooLong;
    const DiagnosisRecord read = record;
    record.Physician = physician;
    record.Result = result;
    record.Date = now;
    QString error;
    const DiagnosisSave outcome = save(read, &error);
    if (outcome == DiagnosisSave::ChangedMeanwhile)
        record = read;
    if (outcome == DiagnosisSave::NotWritten && saveError)
        *saveError = error;
    return outcome;
}

// What another writer changed between `read` and `stored`, one line a field.
QStringList differences(const DiagnosisRecord& read, const DiagnosisRecord& stored)
{
    QStringList out;
    if (read.Physician != stored.Physician)
        out << QString("Physician: %1 -> %2").arg(read.Physician, stored.Physician);
    if (read.Result != stored.Result)
        out << QString("Diagnosis: %1 -> %2")
                   .arg(QString(read.Result).replace("\r\n", " / "),
                        QString(stored.Result).replace("\r\n", " / "));
    return out;
}

DiagnosisSave saveIfUnchanged(Database& db, int id, const QString& day,
                              const DiagnosisRecord& read, const DiagnosisRecord& changed,
                              QString* error, QStringList* changes)
{
    const auto failed = [&](const QString& reason) {
        db.Rollback();
        if (error)
            *error = reason;
        return DiagnosisSave::NotWritten;
    };
    if (!db.BeginTransaction())
        return failed(db.LastError());
    // SQLite's transaction holds the write lock already; a server locks the patient's row.
    if (db.IsServer() && !db.Execute("SELECT ID FROM UserInfo WHERE ID = ? FOR UPDATE", {id}))
        return failed(db.LastError());
    DiagnosisRecord stored;
    QString reason;
    if (!LoadDiagnosis(db, id, day, stored, &reason))
        return failed(reason);
    const QStringList found = differences(read, stored);
    if (changes)
        *changes = found;
    if (!found.isEmpty()) {
        db.Rollback();
        return DiagnosisSave::ChangedMeanwhile;
    }
    if (!SaveDiagnosis(db, id, day, changed, &reason))
        return failed(reason);
    return db.Commit() ? DiagnosisSave::Saved : failed(db.LastError());
}

} // namespace

DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, const QString& path,
                               DiagnosisRecord& record, QString* saveError)
{
    return confirm(physician, result, now, record, saveError,
                   [&](const DiagnosisRecord&, QString* error) {
                       return SaveDiagnosis(path, record, error) ? DiagnosisSave::Saved
                                                                 : DiagnosisSave::NotWritten;
                   });
}

DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, Database& db, int id, const QString& day,
                               DiagnosisRecord& record, QString* saveError,
                               QStringList* changes)
{
    return confirm(physician, result, now, record, saveError,
                   [&](const DiagnosisRecord& read, QString* error) {
                       return saveIfUnchanged(db, id, day, read, record, error, changes);
                   });
}

QStringList DiagnosisPhrases()
{
    QStringList phrases;
    for (int key = 1283; key < 1283 + kPhraseCount; ++key)
        phrases << GetLangText("DIAGNOSE_RESULT", key);
    return phrases;
}

bool AppendDiagnosisPhrases(const QString& current, const QStringList& phrases, QString& out)
{
    QString text = current;
    if (!text.isEmpty())
        text += "\r\n";
    text += phrases.join("\r\n");
    if (text.count('\r') > kMaxResultLineBreaks)
        return false;
    out = text;
    return true;
}
