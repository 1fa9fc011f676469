#pragma once
// A patient as the tests register one: the fields the predicted values and
// the reference sets read; the rest as a new patient has them.
#include "core/records/patient_record.h"

#include <QDate>
#include <QString>

inline PatientRecord TestPatient(const QString& name, int gender, const QDate& birth, int height,
                                 int weight, int standard = 0, int ethnic = 0)
{
    PatientRecord p;
    p.Name = name;
    p.Gender = gender;
    p.Birthdate = birth;
    p.Height = height;
    p.Weight = weight;
    p.Nation = 1;
    p.Standard = standard;
    p.Ethnic = ethnic;
    return p;
}
