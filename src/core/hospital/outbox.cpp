#include "core/hospital/outbox.h"

#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/hospital/hospital_settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

constexpr qint64 kMaxEntrySize = 64 << 10;

QByteArray entryJson(const OutboxEntry& e)
{
    return QJsonDocument(QJsonObject{{"kind", e.kind},
                                     {"patient", e.patientId},
                                     {"day", e.day},
                                     {"to", e.to},
                                     {"callingAe", e.callingAe},
                                     {"reason", e.reason},
                                     {"attempts", e.attempts},
                                     {"queued", e.queued},
                                     {"lastTry", e.lastTry}})
        .toJson();
}

} // namespace

Outbox::Outbox(const QString& folder) : m_folder(QDir::cleanPath(folder) + '/') {}

Outbox Outbox::InProgramFolder()
{
    return Outbox(HospitalSettings::Folder() + "outbox");
}

QString Outbox::PayloadPath(const OutboxEntry& entry) const
{
    return m_folder + entry.id + (entry.kind == "dicom" ? ".dcm" : ".hl7");
}

bool Outbox::Add(OutboxEntry& entry, const QByteArray& payload, QString* error) const
{
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = "cannot make the outbox folder " + m_folder;
        return false;
    }
    // Names sort by the time queued; the random part keeps two sends of one second apart.
    entry.id = QDateTime::currentDateTimeUtc().toString("yyyyMMddTHHmmsszzz") + '-' +
               QUuid::createUuid().toString(QUuid::Id128).left(8) + '-' + entry.kind;
    if (entry.queued.isEmpty())
        entry.queued = QDateTime::currentDateTime().toString(Qt::ISODate);
    if (!DurableFile::Write(PayloadPath(entry), payload, error))
        return false;
    if (!Update(entry, error)) {
        QFile::remove(PayloadPath(entry));
        return false;
    }
    return true;
}

std::vector<OutboxEntry> Outbox::List() const
{
    std::vector<OutboxEntry> entries;
    for (const QString& name : QDir(m_folder).entryList({"*.json"}, QDir::Files, QDir::Name)) {
        QByteArray bytes;
        if (RegularFile::Read(m_folder + name, kMaxEntrySize, bytes) != RegularFile::Status::Read)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(bytes).object();
        OutboxEntry e;
        e.id = name.chopped(5);
        e.kind = o["kind"].toString();
        e.patientId = o["patient"].toInt();
        e.day = o["day"].toString();
        e.to = o["to"].toString();
        e.callingAe = o["callingAe"].toString();
        e.reason = o["reason"].toString();
        e.attempts = o["attempts"].toInt();
        e.queued = o["queued"].toString();
        e.lastTry = o["lastTry"].toString();
        if ((e.kind == "hl7" || e.kind == "dicom") && QFile::exists(PayloadPath(e)))
            entries.push_back(e);
    }
    return entries;
}

bool Outbox::Update(const OutboxEntry& entry, QString* error) const
{
    return DurableFile::Write(m_folder + entry.id + ".json", entryJson(entry), error);
}

bool Outbox::Remove(const OutboxEntry& entry, QString* error) const
{
    // The entry first: a message without its entry is never sent again.
    if (!QFile::remove(m_folder + entry.id + ".json") || !QFile::remove(PayloadPath(entry))) {
        if (error)
            *error = "cannot remove outbox entry " + entry.id;
        return false;
    }
    return true;
}
