#pragma once
// What became of one send to a hospital server. Sent only when the receiver
// confirmed it (HL7 AA or CA, DICOM status Success); everything else says why.
#include <QString>

struct SendOutcome {
    bool sent = false;
    QString
        reason; // why it was not sent: unreachable, no answer in time, the receiver's error text
    QString answer; // the receiver's code: AA, AE, AR ..., or the DICOM status as 0xNNNN
};
