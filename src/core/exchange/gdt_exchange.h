#pragma once
// The link to the practice system through GDT files: a request (6301 "send
// patient data", 6302 "new examination") selects or creates the patient; a
// result (6310) carries the day's values and a reference to the PDF report.
#include "core/exchange/day_results.h"
#include "core/exchange/exchange_settings.h"
#include "core/exchange/gdt_record.h"

#include <QDate>
#include <QString>

class Database;

// What a request asks for, checked field by field.
struct GdtRequest {
    QString recordType;
    QString patientNumber;
    QString surname;
    QString firstName;
    QDate birthDate;
    int sex = -1;    // 0 male, 1 female; -1 not given
    int height = 0;  // cm; 0 not given
    int weight = 0;  // kg; 0 not given
    int testType = -1; // the examination a 6302 asks for; -1 none named
};

// The patient's name as the program keeps it: "Surname, First name".
QString GdtPatientName(const QString& surname, const QString& firstName);

// Checks a parsed request: its type, the patient number, name, birth date, sex,
// height and weight (the patient editor's ranges). False with "line N: ..." for
// the first field at fault, and for a field the request holds twice.
bool ReadGdtRequest(const GdtRecord& record, GdtRequest& request, QString* error = nullptr);

struct GdtImport {
    int patientId = 0;
    bool created = false;
    int testType = -1;
};

// What became of a request: stored; refused for what it says (it will never
// be stored as it is); or not stored for a passing fault of the store (the
// database locked or busy, a full disk, the server gone), worth another try.
// Conflict is a refusal too: the number is another person's here (the desktop
// offers the request a new number instead).
enum class GdtStore { Stored, Refused, Conflict, Failed };

// Selects the patient with the request's number and brings the row up to
// date, or creates it; one transaction, so a failure leaves the register as it
// was. A patient whose number matches is taken only when name, birth date and
// sex match too: another person under that number refuses the request, both
// identities named in `error`, and nobody is changed.
GdtStore StoreGdtRequest(Database& db, const GdtRequest& request, GdtImport& result,
                         QString* error = nullptr);

// A request is a few hundred bytes; a file far larger is not one.
constexpr qint64 kMaxGdtRequestSize = 1 << 20;

// Parse, check and store one request file. The file itself is left alone.
// Only a regular file of at most kMaxGdtRequestSize bytes is read: a FIFO, a
// device (also behind a link) or a larger file is refused at once.
GdtStore ImportGdtFile(Database& db, const QString& path, GdtImport& result,
                       QString* error = nullptr);

enum class GdtInboxResult { Empty, Taken, Refused, Waiting };

// The inbox's request file as read and checked, before anything is stored.
// Reading touches files only, never the database, so it runs on a worker.
struct GdtInboxFile {
    enum class State { Empty, Request, Refused, Waiting } state = State::Empty;
    QString path;       // the request file
    GdtRequest request; // Request: what it asks for
    QString reason;     // Refused (the file is set aside already), Waiting
};
GdtInboxFile ReadGdtInbox(const ExchangeSettings& settings);

// The file of a Request after StoreGdtRequest answered `stored` with `reason`:
// removed when stored (Taken), set aside when refused (Refused, Conflict too),
// left for the next look on a passing fault (Waiting). The message in `error`.
GdtInboxResult SettleGdtRequest(const GdtInboxFile& file, GdtStore stored, const QString& reason,
                                QString* error = nullptr);

// Looks for the request file of `settings` in its folder. A request is removed
// only after its patient is stored. One refused for its content is renamed to
// "<name>.refused", or "<name>.N.refused" when that is taken, so that it is
// not read again and no earlier refused request is lost; the reason is in
// `error`. A request that meets a passing fault stays where it is (Waiting,
// the fault in `error`) for the next look, as does a truncated file younger
// than ten seconds: its writer may not have finished.
// ReadGdtInbox, StoreGdtRequest and SettleGdtRequest in one (tavctl).
GdtInboxResult TakeGdtRequest(Database& db, const ExchangeSettings& settings, GdtImport& result,
                              QString* error = nullptr);

// The 6310 record of a day: header, patient, date and time of the examination,
// one test block (8410 id, 8411 name, 8420 value, 8421 unit) per value and its
// predicted value, lower limit, z-score and percent, the findings, and the PDF
// report as a file reference when `pdfPath` is given.
GdtRecord BuildGdtResult(const DayResults& day, const ExchangeSettings& settings,
                         const QString& pdfPath = QString());

// Serialises and writes the record atomically.
bool WriteGdtFile(const GdtRecord& record, const QString& path, QString* error = nullptr);
