#pragma once
// DICOM UIDs that follow from what they name: "2.25." and the decimal value
// of a name-based UUID (ISO/IEC 9834-8), so that the study of a patient's day
// keeps its UID however often the day is sent, from whichever workstation.
#include <QString>

QString DicomUidFromName(const QString& name);
