#include "core/records/diagnosis.h"

#include "core/app/lang_text.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

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

void LoadDiagnosis(const QString& path, DiagnosisRecord& record)
{
    record.Physician.clear();
    record.Result.clear();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return;
    // A short file gives what it holds; missing bytes count as zeros.
    const QByteArray physician = file.read(kPhysicianFieldSize);
    const QByteArray result = file.read(kResultFieldSize);
    record.Physician = decodeField(physician).left(kPhysicianLength);
    record.Result = decodeField(result);
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

bool SaveDiagnosis(const QString& path, const DiagnosisRecord& record)
{
    if (path.isEmpty())
        return false;
    if (record.Physician.isEmpty() && record.Result.isEmpty())
        return !QFile::exists(path) || QFile::remove(path);
    QByteArray bytes(kDiagnosisFileSize, '\0');
    const QByteArray physician = encodeField(record.Physician, kPhysicianFieldSize);
    const QByteArray result = encodeField(record.Result, kResultFieldSize);
    bytes.replace(0, physician.size(), physician);
    bytes.replace(kPhysicianFieldSize, result.size(), result);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, const QString& path,
                               DiagnosisRecord& record)
{
    if (!PhysicianFits(physician))
        return DiagnosisSave::PhysicianTooLong;
    if (!ResultFits(result))
        return DiagnosisSave::ResultTooLong;
    record.Physician = physician;
    record.Result = result;
    record.Date = now;
    return SaveDiagnosis(path, record) ? DiagnosisSave::Saved : DiagnosisSave::NotWritten;
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
