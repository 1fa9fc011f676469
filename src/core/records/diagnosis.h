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

// Clears the record, then reads the file when it exists and is not empty. False,
// with the reason in `error`, when a file is there but refused: larger than
// kDiagnosisFileSize (never cut to fit; it stays as it is) or unreadable.
// A FIFO or a device under the name reads as no file.
bool LoadDiagnosis(const QString& path, DiagnosisRecord& record, QString* error = nullptr);

// Whether a text fits its field of the file whole: at most 49 (physician) or 200 (result)
// characters as TextRule counts them, and no more UTF-8 bytes than the field holds. A field filled to its last
// byte has no terminating NUL; readers stop at the field's end.
bool PhysicianFits(const QString& physician);
bool ResultFits(const QString& result);

// Writes the 650-byte file atomically; when both texts are empty, removes the file instead.
// Texts are stored as UTF-8; a text that does not fit is cut at a character boundary
// (the dialog never lets one through). False with the reason in `error` when the file
// could not be written whole (the old file then stays as it was) or not removed.
bool SaveDiagnosis(const QString& path, const DiagnosisRecord& record, QString* error = nullptr);

enum class DiagnosisSave {
    Saved,            // file written (or removed when both texts are empty)
    PhysicianTooLong, // message 2205 of section "DIAGNOSE_RESULT": nothing changed
    ResultTooLong,    // message 2206 of section "DIAGNOSE_RESULT": nothing changed
    NotWritten,       // message 2103 of section "DIAGNOSE_RESULT" with the reason; the record holds the texts
    ChangedMeanwhile, // message 2930: another writer saved the day's diagnosis after it was read
    TextRefused,      // a control or direction character (TextRule): the message in saveError
};
// The dialog's OK: texts that do not fit whole change nothing, so the dialog can stay
// open with them. Otherwise both texts and `now` enter the record and the file is
// written or removed; when it could not be written, `saveError` says why.
DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, const QString& path,
                               DiagnosisRecord& record, QString* saveError = nullptr);

// The same through the database's case file store (Case/<ID>/<day>.dia, or
// its row on a server): the diagnosis of patient `id`'s `day`.
class Database;
bool LoadDiagnosis(Database& db, int id, const QString& day, DiagnosisRecord& record,
                   QString* error = nullptr);
bool SaveDiagnosis(Database& db, int id, const QString& day, const DiagnosisRecord& record,
                   QString* error = nullptr);
// Saved only over the diagnosis `record` holds as read: when another writer
// saved a different one meanwhile, nothing is written (ChangedMeanwhile) and
// `changes` names what it changed; saving over it means confirming again with
// the stored diagnosis in `record`. The check and the write hold the
// database's write lock (a server locks the patient's row).
DiagnosisSave ConfirmDiagnosis(const QString& physician, const QString& result,
                               const QDateTime& now, Database& db, int id, const QString& day,
                               DiagnosisRecord& record, QString* saveError = nullptr,
                               QStringList* changes = nullptr);

// The 650 bytes of a diagnosis file, and a record read back from them.
QByteArray DiagnosisBytes(const DiagnosisRecord& record);
void ParseDiagnosis(const QByteArray& bytes, DiagnosisRecord& record);

// The 40 diagnosis phrases (section "DIAGNOSE_RESULT", keys 1283 to 1322) in key order.
QStringList DiagnosisPhrases();

// The dialog's "Add": `current`, a line break when it is not empty, then the
// phrases joined by line breaks. False (message 1334 of section "DIAGNOSE_RESULT")
// when the new text would hold more than seven carriage returns; `out` is then untouched.
bool AppendDiagnosisPhrases(const QString& current, const QStringList& phrases, QString& out);
