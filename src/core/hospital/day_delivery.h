#pragma once
// A test day to the hospital in one call, for the results page and tavctl
// alike: written to a file (HL7 ORU^R01, DICOM Encapsulated PDF), or sent
// (MLLP, C-STORE). A send the receiver did not confirm is kept in the outbox
// with its reason and tried again by RetryOutbox; it is never reported sent.
#include "core/hospital/hospital_settings.h"
#include "core/hospital/outbox.h"
#include "core/hospital/send_outcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class Database;

struct DayDelivery {
    SendOutcome outcome;
    QString queued; // the outbox entry of a failed send ("" when sent, or nothing could be built)
    QString accession;
};

enum class DeliveryKind { Hl7, Dicom };

// The message or instance of the day written durably to `path`. `accession`
// overrides the order book when not empty.
bool ExportDay(Database& db, DeliveryKind kind, int patientId, const QString& day,
               const HospitalSettings& settings, const QString& path,
               const QString& accession = QString(), QString* error = nullptr);

// A day's message or instance, built and ready to go.
struct PreparedSend {
    DeliveryKind kind = DeliveryKind::Hl7;
    int patientId = 0;
    QString day;
    QString accession;
    QByteArray payload;
};

// Builds from the database (the thread that owns `db`).
bool PrepareSend(Database& db, DeliveryKind kind, int patientId, const QString& day,
                 const HospitalSettings& settings, PreparedSend& out,
                 const QString& accession = QString(), QString* error = nullptr);

// Sends, and keeps a failed send in the outbox. No database: a worker may run it.
DayDelivery Deliver(const PreparedSend& send, const HospitalSettings& settings, const QString& to,
                    const Outbox& outbox);

// PrepareSend and Deliver; false with `error` when the day cannot be built
// (nothing is queued then). A failed send returns true with outcome.sent false and the entry
// queued.
bool SendDay(Database& db, DeliveryKind kind, int patientId, const QString& day,
             const HospitalSettings& settings, const QString& to, const Outbox& outbox,
             DayDelivery& delivery, const QString& accession = QString(), QString* error = nullptr);

struct OutboxRetry {
    int sent = 0;
    int waiting = 0;
    QStringList reasons; // of the entries still waiting
};

// Tries every entry again, oldest first; one other retry at a time is kept out.
OutboxRetry RetryOutbox(const Outbox& outbox, int timeoutMs);
