#include "core/hospital/day_delivery.h"

#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/hospital/dicom_store.h"
#include "core/hospital/encapsulated_pdf.h"
#include "core/hospital/mllp_sender.h"
#include "core/hospital/oru_message.h"

#include <QDateTime>
#include <QLockFile>

namespace {

bool build(Database& db, DeliveryKind kind, int patientId, const QString& day,
           const HospitalSettings& settings, const QString& accession, QByteArray& payload,
           QString& usedAccession, QString* error)
{
    HospitalDay d;
    if (!LoadHospitalDay(db, patientId, day, d, accession, error))
        return false;
    usedAccession = d.accession;
    if (kind == DeliveryKind::Dicom)
        return EncapsulatedPdfBytes(d, payload, error);
    OruOptions options;
    options.sendingFacility = settings.sendingFacility;
    options.receivingApplication = settings.receivingApplication;
    options.receivingFacility = settings.receivingFacility;
    options.assigningAuthority = settings.assigningAuthority;
    options.controlId = NewHl7ControlId();
    options.created = QDateTime::currentDateTime();
    payload = BuildOruMessage(d, options);
    return true;
}

// One try of a message as it was built, from memory.
SendOutcome deliver(DeliveryKind kind, const QString& to, const QString& callingAe,
                    const QByteArray& payload, int timeoutMs)
{
    NetworkPeer peer;
    SendOutcome o;
    if (!NetworkPeer::Parse(to, kind == DeliveryKind::Dicom, peer, &o.reason))
        return o;
    if (kind == DeliveryKind::Hl7)
        return SendMllp(peer, payload, timeoutMs);
    return StoreDicomBytes(peer, callingAe, payload, timeoutMs);
}

// An outbox message far beyond any report is not read.
constexpr qint64 kMaxPayloadSize = 256LL << 20;

} // namespace

bool ExportDay(Database& db, DeliveryKind kind, int patientId, const QString& day,
               const HospitalSettings& settings, const QString& path, const QString& accession,
               QString* error)
{
    QByteArray payload;
    QString used;
    return build(db, kind, patientId, day, settings, accession, payload, used, error) &&
           DurableFile::Write(path, payload, error);
}

bool PrepareSend(Database& db, DeliveryKind kind, int patientId, const QString& day,
                 const HospitalSettings& settings, PreparedSend& out, const QString& accession,
                 QString* error)
{
    out.kind = kind;
    out.patientId = patientId;
    out.day = day;
    return build(db, kind, patientId, day, settings, accession, out.payload, out.accession, error);
}

DayDelivery Deliver(const PreparedSend& send, const HospitalSettings& settings, const QString& to,
                    const Outbox& outbox)
{
    DayDelivery delivery;
    delivery.accession = send.accession;
    delivery.outcome =
        deliver(send.kind, to, settings.callingAe, send.payload, settings.timeoutSeconds * 1000);
    if (delivery.outcome.sent)
        return delivery;
    OutboxEntry entry;
    entry.kind = send.kind == DeliveryKind::Dicom ? "dicom" : "hl7";
    entry.patientId = send.patientId;
    entry.day = send.day;
    entry.to = to;
    entry.callingAe = settings.callingAe;
    entry.reason = delivery.outcome.reason;
    entry.attempts = 1;
    entry.lastTry = QDateTime::currentDateTime().toString(Qt::ISODate);
    QString reason;
    if (!outbox.Add(entry, send.payload, &reason))
        delivery.outcome.reason += "; and it could not be kept in the outbox: " + reason;
    else
        delivery.queued = entry.id;
    return delivery;
}

bool SendDay(Database& db, DeliveryKind kind, int patientId, const QString& day,
             const HospitalSettings& settings, const QString& to, const Outbox& outbox,
             DayDelivery& delivery, const QString& accession, QString* error)
{
    PreparedSend send;
    if (!PrepareSend(db, kind, patientId, day, settings, send, accession, error))
        return false;
    delivery = Deliver(send, settings, to, outbox);
    return true;
}

OutboxRetry RetryOutbox(const Outbox& outbox, int timeoutMs)
{
    OutboxRetry result;
    if (outbox.List().empty())
        return result; // nothing waits (the folder may not even exist yet)
    QLockFile lock(outbox.Folder() + "retry.lock");
    if (!lock.tryLock(0)) {
        result.reasons << "another retry of the outbox is running";
        return result;
    }
    for (OutboxEntry entry : outbox.List()) {
        const DeliveryKind kind = entry.kind == "dicom" ? DeliveryKind::Dicom : DeliveryKind::Hl7;
        QByteArray payload;
        SendOutcome o;
        if (RegularFile::Read(outbox.PayloadPath(entry), kMaxPayloadSize, payload, &o.reason) ==
            RegularFile::Status::Read)
            o = deliver(kind, entry.to, entry.callingAe, payload, timeoutMs);
        if (o.sent && outbox.Remove(entry)) {
            ++result.sent;
            continue;
        }
        entry.reason = o.sent ? "sent, but the outbox entry could not be removed" : o.reason;
        ++entry.attempts;
        entry.lastTry = QDateTime::currentDateTime().toString(Qt::ISODate);
        outbox.Update(entry);
        ++result.waiting;
        result.reasons << entry.id + ": " + entry.reason;
    }
    return result;
}
