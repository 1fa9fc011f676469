#include "core/records/diagnosis.h"

#include "core/app/durable_file.h"
#include "core/app/lang_text.h"
#include "core/app/regular_file.h"
#include "core/app/text_limit.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

void LoadDiagnosis(const QString& path, DiagnosisRecord& record)
{
    record.Physician.clear();
    record.Result.clear();
    if (path.isEmpty())
        return;
    QByteArray bytes;
    // Only the fixed fields are read; a FIFO or a device under the name reads as no file.
    if (RegularFile::Read(path, kDiagnosisFileSize, bytes, nullptr, true) !=
            RegularFile::Status::Read ||
        bytes.isEmpty())
        return;
    ParseDiagnosis(bytes, record);
}

void LoadDiagnosis(Database& db, int id, const QString& day, DiagnosisRecord& record)
{
    record.Physician.clear();
    record.Result.clear();
    const QString name = QFileInfo(DiagnosisFile(QString(), day)).fileName();
    QByteArray bytes;
    if (!name.isEmpty() && db.Files().Read(id, name, bytes) && !bytes.isEmpty())
        ParseDiagnosis(bytes.left(kDiagnosisFileSize), record);
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

int DiagnosisCharacters(const QString& text)
{
    return int(text.toUcs4().size());
}

bool PhysicianFits(const QString& physician)
{
    return DiagnosisCharacters(physician) <= kPhysicianLength &&
           physician.toUtf8().size() <= kPhysicianFieldSize;
}

bool ResultFits(const QString& result)
{
    return DiagnosisCharacters(result) <= kResultLength &&
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

// The dialog's rules, whatever keeps the file.
DiagnosisSave confirm(const QString& physician, const QString& result, const QDateTime& now,
                      DiagnosisRecord& record, QString* saveError,
                      const std::function<bool(QString*)>& save)
{
    if (!PhysicianFits(physician))
        return DiagnosisSave::PhysicianTooLong;
    if (!ResultFits(result))
        return DiagnosisSave::ResultTooLong;
    record.Physician = physician;
    record.Result = result;
    record.Date = now;
    QString error;
    if (save(&error))
        return DiagnosisSave::Saved;
    if (saveError)
        *saveError = error;
    return DiagnosisSave::NotWritten;
}

} // namespace

DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, const QString& path,
                               DiagnosisRecord& record, QString* saveError)
{
    return confirm(physician, result, now, record, saveError,
                   [&](QString* error) { return SaveDiagnosis(path, record, error); });
}

DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, Database& db, int id, const QString& day,
                               DiagnosisRecord& record, QString* saveError)
{
    return confirm(physician, result, now, record, saveError, [&](QString* error) {
        return SaveDiagnosis(db, id, day, record, error);
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
