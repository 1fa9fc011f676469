#pragma once
// "Test connection" of the settings: C-ECHO to the worklist and the archive,
// a TCP connection to the HL7 receiver (an acknowledgement needs a real
// message, which the outbox rules keep for real results). One line per server
// set; blocking, for a worker.
#include "core/hospital/hospital_settings.h"

#include <QString>

#include <vector>

struct LinkCheck {
    QString server; // "WORKLIST", "PACS", "HL7"
    QString address;
    bool ok = false;
    QString detail;
};

std::vector<LinkCheck> CheckHospitalLinks(const HospitalSettings& settings);
