#pragma once
// A program folder with a seeded database, one patient and helpers that store
// tests the way the test writer does (file under Case/<ID>/, then the row).
#include "support/temp_home.h"
#include "support/test_patient.h"

#include "core/measure/flow_engine.h"
#include "core/measure/ideal_pulses.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"

#include <gtest/gtest.h>

// An FVC manoeuvre of an ideal turbine: a forced expiration then a sine-shaped inspiration.
inline PulseStream FvcPulses(double capacity, double pef, int expCoefficient = 156,
                             int inspCoefficient = 145)
{
    PulseStream samples;
    ForcedExpiration expiration;
    expiration.capacity = capacity;
    expiration.pef = pef;
    const int exp = AppendIdealPulses(
        samples, [&](double t) { return expiration.Volume(t); }, 6.0,
        FlowEngine::ExpiratoryPulseVolume(expCoefficient), 0.0, 1);
    (void)exp;
    SineBreath inspiration;
    inspiration.volume = capacity * 0.9;
    inspiration.duration = 2.5;
    AppendIdealPulses(
        samples, [&](double t) { return inspiration.Volume(t); }, inspiration.duration,
        FlowEngine::InspiratoryPulseVolume(inspCoefficient), 6.05, 0);
    return samples;
}

// Quiet breathing: `breaths` cycles of `volume` L, each 4 s.
inline PulseStream TidalPulses(int breaths, double volume, int expCoefficient = 156,
                               int inspCoefficient = 145)
{
    PulseStream samples;
    SineBreath half;
    half.volume = volume;
    half.duration = 2.0;
    for (int i = 0; i < breaths; ++i) {
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, 2.0,
            FlowEngine::ExpiratoryPulseVolume(expCoefficient), i * 4.0 + 0.01, 1);
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, 2.0,
            FlowEngine::InspiratoryPulseVolume(inspCoefficient), i * 4.0 + 2.01, 0);
    }
    return samples;
}

// Writes <n>.dt of the patient with the record and samples and registers its row;
// returns the file name. `acceptable` sets the FVC acceptance flags.
inline QString WriteRegisteredTest(TempHome& home, Database& db, int patientId, int type,
                                   const QString& testTime, ManeuverResult record,
                                   const PulseStream& samples = {}, bool acceptable = true)
{
    // An FVC record counts the samples of its manoeuvre, the whole file;
    // VC and MVV records count their first breath only (left at 0 here).
    record.ExpCount = 0;
    record.InspCount = 0;
    if (type == kTestFvc) {
        for (const PulseSample& s : samples)
            record.ExpCount += s.direction;
        record.InspCount = int(samples.size()) - record.ExpCount;
    }
    const QString folder = AppPaths::PatientCaseFolder(patientId);
    QDir().mkpath(folder);
    const QString dataName = QString("%1.dt").arg(NextTestNumber(folder));
    SaveContext context;
    context.testType = type;
    context.expCoefficient = 156;
    context.inspCoefficient = 145;
    context.deviceId = "TAV-TEST";
    const TestFileHeader header = MakeHeader(context, dataName, testTime);
    // FVC files end with the acceptance flags, VC files with the tidal summary.
    QByteArray trailer(type == kTestFvc  ? kAcceptanceSize
                       : type == kTestVc ? kTidalSummarySize
                                         : 0,
                       '\0');
    if (type == kTestFvc && acceptable)
        for (int i = 0; i < 8; ++i)
            trailer[i * 4] = 1;
    home.write("Case/" + QString::number(patientId) + "/" + dataName,
               BuildTestFile(header, record, samples.data(), int(samples.size()), trailer));
    EXPECT_TRUE(RegisterTest(db, patientId, dataName, testTime, record, type));
    return dataName;
}

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

    static ManeuverResult fvcRecord(float fvc, float fev1, float pef, float fef25 = 6.0f)
    {
        ManeuverResult r;
        r.FVC = fvc;
        r.FEV1 = fev1;
        r.PEF = pef;
        r.FEF25 = fef25;
        r.FEF50 = fef25 * 0.7f;
        r.FEF75 = fef25 * 0.35f;
        r.FEF2575 = fef25 * 0.6f;
        r.FEV6 = fvc * 0.98f;
        r.VC = fvc;
        r.FEV1_FVC = fev1 / fvc * 100.0f;
        r.MVV = fev1 * 35.0f;
        r.ELA = 47;
        r.EVOL = 120;
        r.FET = 5.5f;
        return r;
    }

    TempHome home;
    Database db;
    PatientRecord patient;
    int patientId = 0;
};
