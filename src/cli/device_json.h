#pragma once
// JSON forms of the records that tavctl prints.
#include "core/device/patient_model.h"
#include "core/measure/test_record.h"

#include <QJsonArray>
#include <QJsonObject>

// Every named field of the record, under the record's own names.
QJsonObject ManeuverJson(const ManeuverResult& record);
QJsonArray AcceptanceJson(const AcceptanceFlags& flags);
// The true values of a virtual patient.
QJsonObject TruthJson(const ProfileTruth& truth);
// "fvc", "vc" or "mvv" to a TestType; -1 for anything else.
int ParseTestType(const QString& name);
