#pragma once
// Sends the hospital did not confirm, kept until they are: each one an entry
// "<id>.json" (what, for whom, to where, why it failed, how often it was
// tried) beside its message "<id>.hl7" or "<id>.dcm", exactly as it was
// built, in Hospital/outbox/. The message is written before its entry, both
// durably, so an entry always has its message; an entry goes only after the
// receiver confirmed the send.
#include <QByteArray>
#include <QString>

#include <vector>

struct OutboxEntry {
    QString id;   // file stem, unique
    QString kind; // "hl7" or "dicom"
    int patientId = 0;
    QString day;
    QString to;        // HOST:PORT or AE@HOST:PORT
    QString callingAe; // DICOM only
    QString reason;    // why the last try failed
    int attempts = 0;
    QString queued, lastTry; // ISO date-times
};

class Outbox {
  public:
    explicit Outbox(const QString& folder);
    static Outbox InProgramFolder();

    // Keeps `payload` and `entry` (its id is set here).
    bool Add(OutboxEntry& entry, const QByteArray& payload, QString* error = nullptr) const;
    std::vector<OutboxEntry> List() const; // oldest first
    QString PayloadPath(const OutboxEntry& entry) const;
    bool Update(const OutboxEntry& entry, QString* error = nullptr) const;
    bool Remove(const OutboxEntry& entry, QString* error = nullptr) const;
    QString Folder() const { return m_folder; }

  private:
    QString m_folder;
};
