#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

// The physician's diagnosis of one patient's test day.
struct DiagnosisRecord {
    QString Physician; // at most 49 characters
    QDateTime Date;    // when the dialog was confirmed; not stored in the file
    QString Result;    // at most 200 characters when saved by the dialog
};

inline constexpr int kDiagnosisFileSize = 650;
inline constexpr int kPhysicianFieldSize = 50;
inline constexpr int kResultFieldSize = 600;
inline constexpr int kPhysicianLength = 49;
inline constexpr int kResultLength = 200;
inline constexpr int kMaxResultLineBreaks = 7;
inline constexpr int kPhraseCount = 40;

// <caseFolder>/<day>.dia, or an empty text when `day` is not "YYYY-MM-DD"
// (a day never names a path outside the folder).
QString DiagnosisFile(const QString& caseFolder, const QString& day);

// Clears the record, then reads the file when it exists and is not empty.
void LoadDiagnosis(const QString& path, DiagnosisRecord& record);

// Writes the 650-byte file atomically; when both texts are empty, removes the file instead.
// Texts are stored as UTF-8, cut at a character boundary to fit their fields.
bool SaveDiagnosis(const QString& path, const DiagnosisRecord& record);

// The same through the database's case file store (Case/<ID>/<day>.dia, or
// its row on a server): the diagnosis of patient `id`'s `day`.
class Database;
void LoadDiagnosis(Database& db, int id, const QString& day, DiagnosisRecord& record);
bool SaveDiagnosis(Database& db, int id, const QString& day, const DiagnosisRecord& record);

// The 650 bytes of a diagnosis file, and a record read back from them.
QByteArray DiagnosisBytes(const DiagnosisRecord& record);
void ParseDiagnosis(const QByteArray& bytes, DiagnosisRecord& record);

// The dialog's OK: takes the physician (cut to 49 characters); a result longer
// than 200 characters ends there with nothing saved. Otherwise the result and
// `now` enter the record and the file is written or removed. Returns whether the
// result was accepted.
bool ConfirmDiagnosis(const QString& physician, const QString& result, const QDateTime& now,
                      const QString& path, DiagnosisRecord& record);

// The same, saving through the database's case file store.
bool ConfirmDiagnosis(const QString& physician, const QString& result, const QDateTime& now,
                      Database& db, int id, const QString& day, DiagnosisRecord& record);

// The 40 diagnosis phrases (section "DIAGNOSE_RESULT", keys 1283 to 1322) in key order.
QStringList DiagnosisPhrases();

// The dialog's "Add": `current`, a line break when it is not empty, then the
// phrases joined by line breaks. False (message 1334 of section "DIAGNOSE_RESULT")
// when the new text would hold more than seven carriage returns; `out` is then untouched.
bool AppendDiagnosisPhrases(const QString& current, const QStringList& phrases, QString& out);
