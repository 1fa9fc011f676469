#include "gui/app/workbench.h"

#include "core/measure/test_record.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"

#include <QDate>

Workbench::Workbench(Database& db)
    : m_db(db), m_patient(std::make_unique<PatientRecord>()),
      m_predicted(std::make_unique<ManeuverResult>()),
      m_diagnosis(std::make_unique<DiagnosisRecord>())
{
}

Workbench::~Workbench() = default;

bool Workbench::RecomputePredicted()
{
    const QDate day = QDate::fromString(m_testDate, "yyyy-MM-dd");
    m_predictedFound = ComputePredictedValues(m_db, *m_predicted, PatientOnDay(*m_patient, day));
    return m_predictedFound;
}

void Workbench::SetCurrentTestDate(const QString& day)
{
    if (day == m_testDate)
        return;
    m_testDate = day;
    if (m_patient->ID > 0)
        RecomputePredicted();
}

void Workbench::CloseBluetooth()
{
    if (IsBluetoothOpen() && m_bluetooth.close)
        m_bluetooth.close();
}
