#pragma once
// Orders from the hospital's DICOM Modality Worklist: a C-FIND for the
// scheduled procedure steps of one date (and one station, when given).
// Blocking: call it from a worker, never the GUI thread.
#include "core/hospital/network_peer.h"

#include <QDate>
#include <QString>

#include <vector>

struct WorklistOrder {
    QString patientNumber;      // Patient ID
    QString surname, firstName; // from the Patient's Name (family ^ given ^ middle)
    QDate birthDate;
    int sex = -1;   // 0 male, 1 female, -1 not given
    int height = 0; // cm, 0 not given
    int weight = 0; // kg, 0 not given
    QString accession;
    QString procedure;     // Requested Procedure Description
    QString stationAe;     // Scheduled Station AE Title
    QString scheduledDate; // "YYYY-MM-DD"
    QString scheduledTime; // "HH:MM"
    QString modality;
};

struct WorklistQuery {
    QDate date;        // invalid: any date
    QString station;   // empty: any station
    QString accession; // empty: any order
};

bool QueryWorklist(const NetworkPeer& server, const QString& callingAe, const WorklistQuery& query,
                   int timeoutMs, std::vector<WorklistOrder>& orders, QString* error = nullptr);
