#pragma once
// A program folder with a seeded database and one patient, whose tests are
// stored the way the test writer stores them.
#include "support/stored_tests.h"
#include "support/test_patient.h"

#include "core/records/patient_record.h"

#include <gtest/gtest.h>

class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
        patient = TestPatient("Anna O'Brien", 1, QDate(1976, 5, 14), 168, 61);
        patientId = CreatePatient(db, patient);
        ASSERT_GT(patientId, 0);
        ASSERT_TRUE(LoadPatient(db, patientId, patient)); // as the program sees it (age and all)
    }

    // Writes <n>.dt with the record and samples and registers its row; returns the file name.
    QString addTest(int type, const QString& testTime, ManeuverResult record,
                    const PulseStream& samples = {})
    {
        return WriteRegisteredTest(home, db, patientId, type, testTime, record, samples);
    }

    TempHome home;
    Database db;
    PatientRecord patient;
    int patientId = 0;
};
