#include "core/records/diagnosis.h"

#include "core/app/lang_text.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// Longest UTF-8 form of `text` that fits in `limit` bytes without splitting a character.
QByteArray encodeField(const QString& text, int limit)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= limit)
        return bytes;
    int end = limit;
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
    record.Physician = decodeField(bytes.left(kPhysicianFieldSize)).left(kPhysicianLength);
    record.Result = decodeField(bytes.mid(kPhysicianFieldSize, kResultFieldSize));
}

QByteArray DiagnosisBytes(const DiagnosisRecord& record)
{
    QByteArray bytes(kDiagnosisFileSize, '\0');
    const QByteArray physician = encodeField(record.Physician, kPhysicianFieldSize - 1);
    const QByteArray result = encodeField(record.Result, kResultFieldSize - 1);
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return;
    ParseDiagnosis(file.read(kDiagnosisFileSize), record);
}

void LoadDiagnosis(Database& db, int id, const QString& day, DiagnosisRecord& record)
{
    record.Physician.clear();
    record.Result.clear();
    const QString name = QFileInfo(DiagnosisFile(QString(), day)).fileName();
    QByteArray bytes;
    if (!name.isEmpty() && db.Files().Read(id, name, bytes))
        ParseDiagnosis(bytes, record);
}

bool SaveDiagnosis(Database& db, int id, const QString& day, const DiagnosisRecord& record)
{
    const QString name = QFileInfo(DiagnosisFile(QString(), day)).fileName();
    if (name.isEmpty())
        return false;
    if (record.Physician.isEmpty() && record.Result.isEmpty())
        return db.Files().Remove(id, name);
    return db.Files().Write(id, name, DiagnosisBytes(record));
}

bool SaveDiagnosis(const QString& path, const DiagnosisRecord& record)
{
    if (path.isEmpty())
        return false;
    if (record.Physician.isEmpty() && record.Result.isEmpty())
        return !QFile::exists(path) || QFile::remove(path);
    const QByteArray bytes = DiagnosisBytes(record);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ConfirmDiagnosis(const QString& physician, const QString& result, const QDateTime& now,
                      const QString& path, DiagnosisRecord& record)
{
    record.Physician = physician.left(kPhysicianLength);
    if (result.size() > kResultLength)
        return false;
    record.Result = result;
    record.Date = now;
    SaveDiagnosis(path, record); // a file that cannot be written is skipped silently
    return true;
}

bool ConfirmDiagnosis(const QString& physician, const QString& result, const QDateTime& now,
                      Database& db, int id, const QString& day, DiagnosisRecord& record)
{
    record.Physician = physician.left(kPhysicianLength);
    if (result.size() > kResultLength)
        return false;
    record.Result = result;
    record.Date = now;
    SaveDiagnosis(db, id, day, record);
    return true;
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
